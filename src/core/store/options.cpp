#include "core/store/options.h"

#include <algorithm>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/sjis_text.h"

namespace quarlink {
namespace {

constexpr std::size_t kMaxLine = 255;

std::string withoutLineEnds(std::string_view text) {
    std::string out(text);
    out.erase(std::remove_if(out.begin(), out.end(), [](char c) { return c == '\r' || c == '\n'; }), out.end());
    return out;
}

}  // namespace

void parseOptions(std::string_view bytes, Application& app) {
    std::string_view line = bytes.substr(0, kMaxLine);
    if (const auto lf = line.find('\n'); lf != std::string_view::npos) line = line.substr(0, lf + 1);
    if (const auto nul = line.find('\0'); nul != std::string_view::npos) line = line.substr(0, nul);

    const auto comma = line.find(',');
    const std::string_view path = line.substr(0, comma);
    std::string_view flag;
    if (comma != std::string_view::npos) {
        flag = line.substr(comma + 1);
        flag = flag.substr(0, flag.find(','));
    }
    // A line without a comma would otherwise carry its line end into the path.
    app.chartFolder = withoutLineEnds(path);
    app.launchChart = clampToInt32(leadingDigits(flag));
}

std::string formatOptions(const Application& app, bool withLineEnd) {
    std::string text = app.chartFolder;
    std::replace(text.begin(), text.end(), '\\', '/');
    text += "," + std::to_string(app.launchChart);
    if (withLineEnd) text += "\r\n";
    return text;
}

LoadOptionsResult loadOptions(Application& app, Prompter& prompter) {
    const auto file = layout::optionsFile(app);
    std::string bytes;
    std::error_code ec;
    const bool exists = std::filesystem::exists(file, ec);
    if (exists && readWholeFile(file, bytes)) {
        parseOptions(bytes, app);
        return LoadOptionsResult::Loaded;
    }
    prompter.message(options_text::kFirstStart);
    // An options file that exists but cannot be read is not replaced by the defaults.
    if (exists || !replaceFileAtomically(file, formatOptions(app, false))) {
        prompter.message(options_text::kCreateFailed);
        return LoadOptionsResult::FirstStartNotSaved;
    }
    return LoadOptionsResult::FirstStart;
}

bool saveOptions(Application& app, std::string_view path, bool launchChart, Prompter& prompter) {
    std::string folder = trimBlanks(path);
    std::replace(folder.begin(), folder.end(), '\\', '/');
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    app.chartFolder = folder;
    app.launchChart = launchChart ? 1 : 0;
    if (!replaceFileAtomically(layout::optionsFile(app), formatOptions(app, true))) {
        prompter.message(options_text::kSaveFailed);
        return false;
    }
    return true;
}

}  // namespace quarlink
