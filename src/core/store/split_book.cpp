#include "core/store/split_book.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"
#include "core/store/number_text.h"

namespace quarlink {

namespace {

std::string pendingLine(const CodeSplit& s) {
    return layout::codeName(s.code) + "," + composeFlags(false, false, false, {s.split}) + "\n";
}

}  // namespace

bool splitOfFactor(double adjFactor, double& ratio) {
    if (!std::isfinite(adjFactor) || adjFactor <= 0 || adjFactor == 1) return false;
    ratio = 1 / adjFactor;
    // A factor served rounded (0.333333) still means a whole ratio (3).
    if (const double whole = std::round(ratio); whole >= 1 && std::fabs(ratio - whole) < 1e-4 * whole) ratio = whole;
    return std::isfinite(ratio) && ratio > 0;
}

std::string flagsWithSplits(std::string_view flags, const std::vector<Split>& add) {
    // Every token already there stays as it is written; a new split token
    // goes before the first split of a later date, else at the end.
    std::vector<std::string> tokens;
    for (std::size_t pos = 0; pos < flags.size();) {
        const std::size_t comma = std::min(flags.find(',', pos), flags.size());
        tokens.emplace_back(flags.substr(pos, comma - pos));
        pos = comma + 1;
    }
    const auto dateOf = [](const std::string& token) {
        const std::vector<Split> one = parseFlags(token).splits;
        return one.empty() ? -1 : one.front().date;
    };
    bool added = false;
    for (const Split& s : add) {
        const auto later = std::find_if(tokens.begin(), tokens.end(), [&](const std::string& t) {
            return !t.empty() && t.front() == 'S' && dateOf(t) >= s.date;
        });
        if (later != tokens.end() && dateOf(*later) == s.date) continue;
        tokens.insert(later, composeFlags(false, false, false, {s}));
        added = true;
    }
    if (!added) return std::string(flags);
    std::string out;
    for (const std::string& t : tokens) out += (out.empty() ? "" : ",") + t;
    return out;
}

void SplitBook::addFactor(int code, std::int32_t date, double adjFactor) {
    if (double ratio = 0; splitOfFactor(adjFactor, ratio)) add(code, Split{date, ratio});
}

void SplitBook::add(int code, const Split& split) {
    if (code < 0 || code >= kCodeCount) return;
    const auto same = [&](const CodeSplit& s) { return s.code == code && s.split.date == split.date; };
    if (std::none_of(found_.begin(), found_.end(), same)) found_.push_back({code, split});
}

bool SplitBook::commit(const Application& app, std::vector<CodeSplit>* recorded, std::string* error) {
    if (recorded) recorded->clear();
    if (found_.empty()) return true;
    IndexTable table;
    std::string bytes, why;
    errno = 0;
    if (!readWholeFile(layout::indexFile(app), bytes, &why)) {
        // A folder without index.txt keeps every split pending; any other
        // failure must not let a new index.txt replace one that is there.
        if (errno != ENOENT) {
            if (error) *error = why;
            return false;
        }
    } else {
        readIndexTable(bytes, table);
    }

    std::vector<CodeSplit> pending = loadPendingSplits(app), written;
    const std::size_t pendingBefore = pending.size();
    bool indexChanged = false;
    for (const CodeSplit& s : found_) {
        if (table.isRegistered(s.code)) {
            std::string& flags = table.flags[s.code];
            const std::string after = flagsWithSplits(flags, {s.split});
            if (after == flags) continue;
            flags = after;
            indexChanged = true;
        } else {
            const auto same = [&](const CodeSplit& p) { return p.code == s.code && p.split.date == s.split.date; };
            if (std::any_of(pending.begin(), pending.end(), same)) continue;
            pending.push_back(s);
        }
        written.push_back(s);
    }
    if (indexChanged && !saveIndexTable(layout::indexFile(app), table, table.date, error)) return false;
    if (pending.size() != pendingBefore && !savePendingSplits(app, pending, error)) return false;
    if (recorded) *recorded = std::move(written);
    return true;
}

std::vector<CodeSplit> loadPendingSplits(const Application& app) {
    std::vector<CodeSplit> out;
    std::string bytes;
    if (!readWholeFile(app.workDir / SplitBook::kPendingSplitsFile, bytes)) return out;
    forEachLine(bytes, [&](std::string_view line) {
        const std::size_t comma = line.find(',');
        if (comma != 4) return;
        const int code = layout::codeOfName(line.substr(0, 4));
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        for (const Split& s : parseFlags(line.substr(5)).splits)
            if (code >= 0 && s.date > 0 && s.ratio > 0 && std::isfinite(s.ratio)) out.push_back({code, s});
    });
    return out;
}

bool savePendingSplits(const Application& app, const std::vector<CodeSplit>& splits, std::string* error) {
    const auto path = app.workDir / SplitBook::kPendingSplitsFile;
    if (splits.empty()) {
        std::error_code ec;
        std::filesystem::remove(path, ec);
        if (ec && error) *error = fileErrorText("cannot remove", path, ec.value());
        return !ec;
    }
    std::string text;
    for (const CodeSplit& s : splits) text += pendingLine(s);
    return replaceFileAtomically(path, text, error);
}

std::string splitsText(const std::vector<CodeSplit>& splits) {
    std::string text;
    for (const CodeSplit& s : splits) {
        if (!text.empty()) text += "、";
        text += layout::codeName(s.code) + " " + splitText(s.split);
    }
    return text;
}

}  // namespace quarlink
