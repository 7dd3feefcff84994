#pragma once
#include <string>
#include <string_view>

#include <CLI/CLI.hpp>

namespace quarlink::cli {

// A help text from its prose and the declarations of `app`: a line "{options}"
// becomes the lines of the arguments and options of CLI11's default group,
// "{options NAME}" those of group NAME, each "  LABEL  description" with the
// descriptions in one column and wrapped to the width of a terminal. An
// option placed by no such line is listed at the end, so none goes unsaid.
std::string renderHelp(const CLI::App& app, std::string_view prose);

}  // namespace quarlink::cli
