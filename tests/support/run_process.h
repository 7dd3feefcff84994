#pragma once
#include <map>
#include <string>
#include <vector>

namespace quarlink::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs a program with arguments (no shell), feeding `input` on standard input.
// `env` entries are added to (or replace in) the environment.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env = {}, const std::string& input = {});

}  // namespace quarlink::test
