#include "cli_help.h"

#include <algorithm>
#include <vector>

namespace quarlink::cli {
namespace {

constexpr std::size_t kWidth = 80;  // of a terminal, and of the lines help2man reads
constexpr std::size_t kIndent = 2;
constexpr std::size_t kGap = 2;     // help2man needs two blanks before a description

std::string label(const CLI::Option& option) {
    if (option.get_lnames().empty()) return option.get_name(true);
    std::string text = "--" + option.get_lnames().front();
    if (option.get_items_expected_max() > 0) text += ' ' + option.get_type_name();
    return text;
}

// A '\n' in a description breaks the line there; it wraps by itself elsewhere.
void appendLine(std::string& out, const CLI::Option& option, std::size_t column) {
    std::string line(kIndent, ' ');
    line += label(option);
    line.resize(column, ' ');
    std::size_t width = column;
    bool lineStart = true;
    auto breakLine = [&] {
        line += '\n' + std::string(column, ' ');
        width = column;
        lineStart = true;
    };
    std::string_view rest = option.get_description();
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find_first_of(" \n"), rest.size());
        const std::string_view word = rest.substr(0, end);
        const bool forced = end < rest.size() && rest[end] == '\n';
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!word.empty()) {
            if (!lineStart && width + 1 + word.size() > kWidth) {
                breakLine();
            } else if (!lineStart) {
                line += ' ';
                ++width;
            }
            line += word;
            width += word.size();
            lineStart = false;
        }
        if (forced) breakLine();
    }
    out += line + '\n';
}

}  // namespace

std::string renderHelp(const CLI::App& app, std::string_view prose) {
    // A command's own --help is no option of the command.
    const CLI::Option* ownHelp = app.get_parent() ? app.get_help_ptr() : nullptr;
    std::vector<const CLI::Option*> unsaid =
        app.get_options([&](const CLI::Option* o) { return o != ownHelp && !o->get_group().empty(); });
    std::size_t column = 0;
    for (const CLI::Option* o : unsaid) column = std::max(column, kIndent + label(*o).size() + kGap);

    auto appendGroup = [&](std::string& out, std::string_view group) {
        for (auto it = unsaid.begin(); it != unsaid.end();) {
            if ((*it)->get_group() != group) {
                ++it;
                continue;
            }
            appendLine(out, **it, column);
            it = unsaid.erase(it);
        }
    };
    std::string out;
    while (!prose.empty()) {
        const std::size_t end = prose.find('\n');
        const std::string_view line = prose.substr(0, end);
        prose.remove_prefix(end == std::string_view::npos ? prose.size() : end + 1);
        if (line == "{options}") {
            appendGroup(out, "Options");
        } else if (line.starts_with("{options ") && line.ends_with('}')) {
            appendGroup(out, line.substr(9, line.size() - 10));
        } else {
            out.append(line) += '\n';
        }
    }
    if (!unsaid.empty()) {
        out += "\nOptions:\n";
        for (const CLI::Option* o : unsaid) appendLine(out, *o, column);
    }
    return out;
}

}  // namespace quarlink::cli
