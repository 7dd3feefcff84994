#include "core/jobs/index_update.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

#include "core/sources/master_index.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/number_text.h"
#include "core/store/split_book.h"
#include "core/store/text_encoding.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;

bool readableLine(const std::string& line) {
    return line.size() <= index_update_text::kMaxLineBytes && line.find_first_of(std::string("\0\r\n", 3)) == std::string::npos;
}

// The same flags but for the order of their tokens.
bool sameMeaning(std::string_view a, std::string_view b) {
    IndexFlags x = parseFlags(a), y = parseFlags(b);
    const auto byDate = [](const Split& l, const Split& r) {
        return l.date < r.date || (l.date == r.date && l.ratio < r.ratio);
    };
    std::sort(x.splits.begin(), x.splits.end(), byDate);
    std::sort(y.splits.begin(), y.splits.end(), byDate);
    return x.n225 == y.n225 && x.obs == y.obs && x.a500 == y.a500 && x.splits == y.splits;
}

bool holdsSplit(const IndexTable& table, const CodeSplit& s) {
    if (!table.isRegistered(s.code)) return false;
    const std::vector<Split> splits = parseFlags(table.flags[s.code]).splits;
    return std::any_of(splits.begin(), splits.end(), [&](const Split& t) { return t.date == s.split.date; });
}

JobOutcome ended(JobState state, std::string message = {},
                 JobOutcome::StopReason reason = JobOutcome::StopReason::Failed) {
    JobOutcome o;
    o.state = state;
    if (state == JobState::Stopped) o.stopReason = reason;
    if (!message.empty()) o.message = std::move(message);
    return o;
}

}  // namespace

IndexUpdate::IndexUpdate(Application& app, PageFetcher& fetcher, const Endpoints& endpoints,
                         const WebEnvironment& environment)
    : app_(app), reader_(fetcher, endpoints, *environment.clock), sources_(app, reader_, endpoints, environment) {}

JobOutcome IndexUpdate::open() {
    downloaded_ = false;
    action = Action::Download;
    current_ = IndexTable{};
    // A new chart folder has no index.txt yet: every published code is then
    // a change, and the apply writes the file.
    std::error_code ec;
    const bool missing = fs::symlink_status(layout::indexFile(app_), ec).type() == fs::file_type::not_found &&
                         fs::is_directory(layout::chartFolder(app_), ec);
    if (!missing && !loadIndexTable(layout::indexFile(app_), current_))
        return ended(JobState::Stopped, index_update_text::kOpenError);
    return ended(JobState::Idle);
}

JobOutcome IndexUpdate::start() {
    if (action == Action::Download) return download();
    if (!downloaded_) return ended(JobState::Stopped, index_update_text::kNotDownloaded);
    JobOutcome o;
    o.state = JobState::Running;
    o.question = index_update_text::kApplyQuestion;
    return o;
}

JobOutcome IndexUpdate::tick() { return ended(JobState::Finished); }

JobOutcome IndexUpdate::answer(bool yes) { return yes ? write() : ended(JobState::Stopped); }

JobOutcome IndexUpdate::download() {
    changed_.clear();
    unregistered_.clear();
    leftOut_.clear();
    replacedNames_.clear();
    downloaded_ = false;
    std::string note;
    DataSource& source = sources_.of(settings.source);
    source.restart();
    if (const SourceResult refused = source.connect(); !refused.answered()) return stoppedBy(refused);
    MasterIndex list;
    const SourceResult answer = source.listedIssues()->listedIssues(current_, list);
    if (!answer.answered()) {
        // A failure on this machine (the pages' copy that could not be kept
        // or read back) says all there is; any other failure says that the
        // download failed, with the source's reason after it. A refused key
        // or plan stops as refused.
        if (answer.local) return ended(JobState::Stopped, answer.reason);
        std::string text = index_update_text::kDownloadFailed;
        if (!answer.reason.empty()) text += "\n" + answer.reason;
        return ended(JobState::Stopped, text,
                     answer.answer == Answer::Refused || answer.answer == Answer::OutsidePlan
                         ? JobOutcome::StopReason::Failed
                         : stopReasonFor(answer.answer));
    }
    if (!list.table.date && source.listedCodes())
        return ended(JobState::Stopped,
                     std::string(index_update_text::kDownloadFailed) + "\n" + index_update_text::kEmptyMaster,
                     JobOutcome::StopReason::Connection);
    new_ = std::move(list.table);
    keepSplits();
    replacedNames_ = std::move(list.replacedNames);
    if (list.skippedCodes) note = formatInt(index_update_text::kSkippedCodes, static_cast<int>(list.skippedCodes));
    downloaded_ = true;
    for (int code = 0; code < kCodeCount; ++code) {
        if (current_.name[code] == new_.name[code] && current_.market[code] == new_.market[code] &&
            current_.unit[code] == new_.unit[code] && current_.flags[code] == new_.flags[code])
            continue;
        if (!new_.name[code].empty() && !readableLine(entryLine(new_, code))) {
            leftOut_.push_back(code);
            continue;
        }
        (new_.name[code].empty() ? unregistered_ : changed_).push_back(code);
    }
    if (!leftOut_.empty()) {
        if (!note.empty()) note += "\n";
        note += formatInt(index_update_text::kLeftOut, static_cast<int>(leftOut_.size()));
        for (std::size_t i = 0; i < leftOut_.size() && i < 20; ++i)
            note += (i ? "," : "") + layout::codeName(leftOut_[i]);
        if (leftOut_.size() > 20) note += ",...";
    }
    return ended(JobState::Finished, note);
}

void IndexUpdate::keepSplits() {
    std::map<int, std::vector<Split>> pending;
    for (const CodeSplit& s : loadPendingSplits(app_)) pending[s.code].push_back(s.split);
    for (int code = 0; code < kCodeCount; ++code) {
        if (!new_.isRegistered(code)) continue;
        // The published list knows nothing of the splits read from the data.
        std::vector<Split> keep;
        if (current_.isRegistered(code) && current_.flags[code].find('S') != std::string::npos)
            keep = parseFlags(current_.flags[code]).splits;
        if (const auto it = pending.find(code); it != pending.end())
            keep.insert(keep.end(), it->second.begin(), it->second.end());
        if (keep.empty()) continue;
        std::string& flags = new_.flags[code];
        std::string merged = flagsWithSplits(flags, keep);
        if (merged == flags) continue;
        // Only the local tokens were missing: the local text, as it is, is no change.
        if (current_.isRegistered(code) && sameMeaning(merged, current_.flags[code])) merged = current_.flags[code];
        flags = std::move(merged);
    }
}

void IndexUpdate::abort() { sources_.abort(); }

std::string IndexUpdate::newNameNote(int code) const {
    const auto it = replacedNames_.find(code);
    return it == replacedNames_.end() ? std::string() : index_update_text::kReplacedName + echoText(it->second);
}

std::string IndexUpdate::newDateText() const { return slashDate(new_.date); }

int IndexUpdate::removeChanged(int row) {
    if (row < 0 || row >= static_cast<int>(changed_.size())) return -1;
    changed_.erase(changed_.begin() + row);
    if (changed_.empty()) return -1;
    return std::min(row, static_cast<int>(changed_.size()) - 1);
}

int IndexUpdate::removeUnregistered(int row) {
    if (row < 0 || row >= static_cast<int>(unregistered_.size())) return -1;
    current_.clearEntry(unregistered_[row]);
    unregistered_.erase(unregistered_.begin() + row);
    if (unregistered_.empty()) return -1;
    return std::min(row, static_cast<int>(unregistered_.size()) - 1);
}

JobOutcome IndexUpdate::write() {
    // The local table changes only once the file is written, so a failed
    // write leaves both the file and the lists as they were.
    IndexTable merged = current_;
    for (const int code : changed_) {
        merged.name[code] = new_.name[code];
        merged.market[code] = new_.market[code];
        merged.unit[code] = new_.unit[code];
        merged.flags[code] = new_.flags[code];
    }
    if (!saveIndexTable(layout::indexFile(app_), merged, new_.date))
        return ended(JobState::Stopped, index_update_text::kWriteError);
    current_ = std::move(merged);
    changed_.clear();
    std::string message = index_update_text::kApplied;
    // The pending splits that index.txt now holds are pending no more.
    const std::vector<CodeSplit> pending = loadPendingSplits(app_);
    std::vector<CodeSplit> left;
    std::copy_if(pending.begin(), pending.end(), std::back_inserter(left),
                 [&](const CodeSplit& s) { return !holdsSplit(current_, s); });
    if (std::string error; left.size() != pending.size() && !savePendingSplits(app_, left, &error))
        message += std::string("\n") + index_update_text::kPendingNotSaved + error;
    return ended(JobState::Finished, message);
}

std::string IndexUpdate::entryLine(const IndexTable& table, int code) {
    if (!table.isRegistered(code)) return {};
    std::string line = layout::codeName(code) + "," + table.name[code] + "," + table.market[code] + "," +
                       table.unit[code];
    if (!table.flags[code].empty()) line += "," + table.flags[code];
    return line;
}

IndexEntryView IndexUpdate::view(const IndexTable& table, int code) {
    IndexEntryView v;
    if (code < 0 || code >= kCodeCount) return v;
    v.name = table.name[code].empty() ? std::string(index_update_text::kNoEntry) : cp932ToUtf8(table.name[code]);
    if (const int m = marketIndex(table.market[code]); m >= 0) v.market = kMarketCodes[m].displayName;
    v.unit = cp932ToUtf8(table.unit[code]);
    const IndexFlags flags = parseFlags(table.flags[code]);
    v.n225 = flags.n225;
    v.obs = flags.obs;
    v.a500 = flags.a500;
    for (const Split& s : flags.splits) v.splits.push_back(splitText(s));
    return v;
}

}  // namespace quarlink
