#include "core/sources/market_history.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <unistd.h>

#include "core/env/clock.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/web/jquants/bulk_download.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink {

namespace history_text {
inline constexpr const char* kFolderFailed = "J-Quantsから取得した履歴を作業フォルダに保存できません：";
inline constexpr const char* kReadFailed = "J-Quantsから取得した履歴を読み込めません：";
inline constexpr const char* kMarginDay = " 信用残";
}  // namespace history_text

namespace {

namespace fs = std::filesystem;
using jquants::Outcome;
using jquants::Status;

enum class Dataset { Bars, Margin, Topix };
constexpr const char* kEndpoints[] = {"/equities/bars/daily", "/markets/margin-interest", "/indices/bars/daily/topix"};
constexpr const char* kWords[] = {"bars", "margin", "topix"};
constexpr const char* kPlans[] = {"free", "light", "standard", "premium"};
// The years back each plan's files (and API) reach.
constexpr int kPlanYears[] = {2, 5, 10, 20};
constexpr const char* kProgress = "progress";
// Units taken between two flushes of the gathered rows and the progress file.
constexpr int kUnitsPerSync = 8;

int planRank(const std::string& plan) {
    for (int rank = 1; rank < 4; ++rank)
        if (plan == kPlans[rank]) return rank;
    return 0;
}

bool validDate(std::int32_t d) {
    using namespace std::chrono;
    return year_month_day{year{d / 10000}, month{unsigned(d / 100 % 100)}, day{unsigned(d % 100)}}.ok();
}

std::int32_t lastOfMonth(std::int32_t d) {
    using namespace std::chrono;
    const year_month_day last{year{d / 10000} / month{unsigned(d / 100 % 100)} / std::chrono::last};
    return int(last.year()) * 10000 + int(unsigned(last.month())) * 100 + int(unsigned(last.day()));
}

// The days a listed file holds, by the stamp its name ends with: a month
// (YYYYMM, historical) or a day (YYYYMMDD, live).
bool daysOfKey(const std::string& key, std::int32_t& first, std::int32_t& last, bool& month) {
    const std::size_t end = key.rfind(".csv");
    const std::size_t start = key.rfind('_', end);
    if (end == std::string::npos || start == std::string::npos) return false;
    const std::string stamp = key.substr(start + 1, end - start - 1);
    if ((stamp.size() != 6 && stamp.size() != 8) ||
        !std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    month = stamp.size() == 6;
    first = std::stoi(month ? stamp + "01" : stamp);
    if (first < 19000101 || !validDate(first)) return false;
    last = month ? lastOfMonth(first) : first;
    return true;
}

// Gathered rows as fixed records in this machine's byte order: the folder
// lives for one initial run on one machine. The code is the file's name.
class Packer {
public:
    explicit Packer(std::string& out) : out_(out) {}
    template <class T>
    Packer& operator<<(T value) {
        out_.append(reinterpret_cast<const char*>(&value), sizeof value);
        return *this;
    }

private:
    std::string& out_;
};
class Unpacker {
public:
    explicit Unpacker(const char* at) : at_(at) {}
    template <class T>
    Unpacker& operator>>(T& value) {
        std::memcpy(&value, at_, sizeof value);
        at_ += sizeof value;
        return *this;
    }

private:
    const char* at_;
};

template <class Row>
struct Record;
template <>
struct Record<jquants::DailyBar> {
    static constexpr std::size_t kSize = 4 + 4 + 6 * 8;
    static void put(const jquants::DailyBar& b, std::string& out) {
        Packer(out) << b.date << std::int32_t(b.traded) << b.open << b.high << b.low << b.close << b.volume << b.adjFactor;
    }
    static jquants::DailyBar get(const char* at, int code) {
        jquants::DailyBar b;
        std::int32_t traded = 0;
        Unpacker(at) >> b.date >> traded >> b.open >> b.high >> b.low >> b.close >> b.volume >> b.adjFactor;
        b.traded = traded != 0;
        b.code = code;
        return b;
    }
};
template <>
struct Record<jquants::MarginBalance> {
    static constexpr std::size_t kSize = 4 + 4 + 2 * 8;
    static void put(const jquants::MarginBalance& b, std::string& out) {
        Packer(out) << b.date << std::int32_t(0) << b.longVol << b.shortVol;
    }
    static jquants::MarginBalance get(const char* at, int code) {
        jquants::MarginBalance b;
        std::int32_t unused = 0;
        Unpacker(at) >> b.date >> unused >> b.longVol >> b.shortVol;
        b.code = code;
        return b;
    }
};
template <>
struct Record<jquants::IndexBar> {
    static constexpr std::size_t kSize = 4 + 4 + 4 * 8;
    static void put(const jquants::IndexBar& b, std::string& out) {
        Packer(out) << b.date << std::int32_t(0) << b.open << b.high << b.low << b.close;
    }
    static jquants::IndexBar get(const char* at, int) {
        jquants::IndexBar b;
        std::int32_t unused = 0;
        Unpacker(at) >> b.date >> unused >> b.open >> b.high >> b.low >> b.close;
        return b;
    }
};

// Appends whole records. A file appears whole the first time, as every new
// file does; a record cut short by a kill is dropped first (its unit was not
// recorded as taken, so it comes again).
bool appendRecords(const fs::path& path, std::string_view bytes, std::size_t recordSize, std::string& error) {
    long long size = 0;
    std::string why;
    const int fd = openUserFile(path, O_RDWR | O_CLOEXEC, kMaxPriceFileBytes, size, nullptr, &why);
    if (fd < 0 && errno == ENOENT) {
        // A scratch file of the program's own folder: made in place. A run cut
        // short leaves at worst a part of a record, cut off by the next append,
        // and the unit is taken again, as it was never recorded.
        const int made = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        int err = errno;
        bool ok = made >= 0 && writeFully(made, bytes, err);
        if (made >= 0 && ::close(made) != 0 && ok) ok = false, err = errno;
        if (!ok) error = fileErrorText("write", path, err);
        return ok;
    }
    if (fd < 0) {
        error = path.string() + ": " + why;
        return false;
    }
    const long long whole = size - size % static_cast<long long>(recordSize);
    bool ok = (whole == size || ::ftruncate(fd, whole) == 0) && ::lseek(fd, whole, SEEK_SET) >= 0;
    int err = errno;
    if (ok) ok = writeFully(fd, bytes, err);
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (!ok) error = fileErrorText("write", path, err);
    return ok;
}

// A code's (or TOPIX's) gathered rows of from..to by date; a date taken
// twice (a unit taken again after a kill or a rewrite) keeps its last row.
template <class Row>
bool readRecords(const fs::path& path, int code, std::int32_t from, std::int32_t to, std::vector<Row>& rows,
                 std::string& error) {
    rows.clear();
    std::string bytes;
    if (!readWholeFile(path, bytes, &error)) return errno == ENOENT;
    for (std::size_t at = 0; at + Record<Row>::kSize <= bytes.size(); at += Record<Row>::kSize) {
        const Row row = Record<Row>::get(bytes.data() + at, code);
        if (row.date >= from && row.date <= to) rows.push_back(row);
    }
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.date < b.date; });
    std::vector<Row> once;
    for (const Row& row : rows) {
        if (!once.empty() && once.back().date == row.date) once.back() = row;
        else once.push_back(row);
    }
    rows = std::move(once);
    return true;
}

// A file of the bulk list, or a day (a span for TOPIX) through the API.
struct Unit {
    Dataset dataset = Dataset::Bars;
    bool file = false;
    jquants::BulkFile listed;
    std::int32_t first = 0, last = 0;
    bool done = false;

    // Its line in the progress file: a file changed since does not match.
    std::string entry() const {
        if (file) return "file\t" + listed.key + '\t' + listed.lastModified + '\t' + std::to_string(listed.size);
        return std::string("day\t") + kWords[int(dataset)] + '\t' + std::to_string(first) + '\t' + std::to_string(last);
    }
    std::string name() const {
        if (file) return echoText(listed.key.substr(listed.key.rfind('/') + 1), 80);
        if (dataset == Dataset::Topix) return "TOPIX";
        return jquants::isoDate(first) + (dataset == Dataset::Margin ? history_text::kMarginDay : "");
    }
};

}  // namespace

struct JQuantsHistory::State {
    State(const Application& a, Endpoints e) : app(a), endpoints(e), api(a, std::move(e)) {}

    const Application& app;
    Endpoints endpoints;
    JQuantsSource api;
    std::mutex mutex;  // abort() may come while connect() makes the download
    std::unique_ptr<jquants::BulkDownload> download;
    bool aborted = false;

    std::int32_t from = 0, to = 0;
    bool askedMargin = false;
    bool bars = true;  // false: the margin balances alone
    bool margin = false, topix = false;  // gathered
    std::vector<Unit> units;
    std::vector<std::string> taken;  // the progress file's entries
    int unrecorded = 0;              // units taken since the progress file was written

    fs::path folder() const { return app.workDir / kFolder; }
    fs::path codeFile(const char* kind, int code) const {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", code);
        return folder() / kind / name;
    }
    // A run resumed on a later day asks up to a later day: what was taken
    // for the same start and data still holds, so the span's end is not part of it.
    std::string header() const {
        return "span\t" + std::to_string(from) + '\t' + (askedMargin ? "1" : "0") + '\t' + (topix ? "1" : "0") +
               (bars ? "" : "\tmargin-only");
    }
    bool writeProgress(std::string& error) const {
        std::string text = header() + '\n';
        for (const std::string& entry : taken) text += entry + '\n';
        return replaceFileAtomically(folder() / kProgress, text, &error);
    }

    SourceResult addFiles(Dataset dataset, std::vector<jquants::BulkFile>& listed);
    SourceResult resume();
    SourceResult take(Unit& unit);
    template <class Row>
    SourceResult store(Dataset dataset, std::vector<Row>& rows);
    template <class Row>
    SourceResult takeFile(Unit& unit);
};

SourceResult JQuantsHistory::State::addFiles(Dataset dataset, std::vector<jquants::BulkFile>& listed) {
    std::vector<Unit> files;
    std::set<std::int32_t> months;  // with a file of their own
    for (jquants::BulkFile& f : listed) {
        Unit u{dataset, true, std::move(f)};
        bool month = false;
        if (!daysOfKey(u.listed.key, u.first, u.last, month))
            return SourceResult::of(Answer::Unrecognised,
                                    withApiReason(jquants_text::kUnrecognised,
                                                  "a J-Quants file of no month or day: " + echoText(u.listed.key)));
        if (month) months.insert(u.first / 100);
        files.push_back(std::move(u));
    }
    // Early in a month the days of the month before are listed beside its
    // month's file, which holds them all.
    for (Unit& u : files)
        if (u.last >= from && u.first <= to && (u.first != u.last || !months.count(u.first / 100)))
            units.push_back(std::move(u));
    return {};
}

SourceResult JQuantsHistory::State::resume() {
    const fs::path dir = folder();
    std::string bytes, error;
    std::vector<std::string> lines;
    if (readWholeFile(dir / kProgress, bytes))
        for (std::size_t at = 0, end; at < bytes.size(); at = end + 1) {
            end = bytes.find('\n', at);
            if (end == std::string::npos) end = bytes.size();
            lines.push_back(bytes.substr(at, end - at));
        }
    const bool same = !lines.empty() && lines.front() == header();
    taken.clear();
    std::error_code ec;
    if (same) {
        taken.assign(lines.begin() + 1, lines.end());
    } else if (fs::remove_all(dir, ec); ec) {
        return SourceResult::localFailure(history_text::kFolderFailed + echoText(dir.string() + ": " + ec.message()));
    }
    const std::set<std::string> done(taken.begin(), taken.end());
    for (Unit& u : units) u.done = done.count(u.entry()) != 0;
    for (const char* sub : {"bars", "margin"}) fs::create_directories(dir / sub, ec);
    if (ec) return SourceResult::localFailure(history_text::kFolderFailed + echoText(dir.string() + ": " + ec.message()));
    if (!same && !writeProgress(error)) return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
    return {};
}

// The rows of a unit, a code's in one write to its file.
template <class Row>
SourceResult JQuantsHistory::State::store(Dataset dataset, std::vector<Row>& rows) {
    std::string bytes, error;
    if constexpr (std::is_same_v<Row, jquants::IndexBar>) {
        for (const Row& row : rows) Record<Row>::put(row, bytes);
        if (!bytes.empty() && !appendRecords(folder() / "topix", bytes, Record<Row>::kSize, error))
            return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
        return {};
    } else {
        std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.code < b.code; });
        for (std::size_t i = 0; i < rows.size();) {
            const int code = rows[i].code;
            bytes.clear();
            for (; i < rows.size() && rows[i].code == code; ++i) Record<Row>::put(rows[i], bytes);
            if (!appendRecords(codeFile(kWords[int(dataset)], code), bytes, Record<Row>::kSize, error))
                return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
        }
        return {};
    }
}

template <class Row>
SourceResult JQuantsHistory::State::takeFile(Unit& unit) {
    // One file's rows at a time: those of the span and of ordinary shares.
    std::vector<Row> rows;
    const auto keep = [this](const Row& row) {
        if constexpr (std::is_same_v<Row, jquants::IndexBar>) return row.date >= from && row.date <= to;
        else return row.date >= from && row.date <= to && row.code >= 1000 && row.code <= 9999;
    };
    jquants::CsvRows<Row> csv(jquants::RowSink<Row>{[&] { rows.clear(); },
                                                    [&](std::vector<Row>& batch) {
                                                        for (Row& row : batch)
                                                            if (keep(row)) rows.push_back(row);
                                                    }});
    if (const Status s = download->file(api.client(), unit.listed.key, csv); !s.ok()) return api.stopFor(s);
    return store(unit.dataset, rows);
}

SourceResult JQuantsHistory::State::take(Unit& unit) {
    if (unit.file) {
        switch (unit.dataset) {
        case Dataset::Bars: return takeFile<jquants::DailyBar>(unit);
        case Dataset::Margin: return takeFile<jquants::MarginBalance>(unit);
        case Dataset::Topix: return takeFile<jquants::IndexBar>(unit);
        }
    }
    jquants::Client& client = api.client();
    if (unit.dataset == Dataset::Bars) {
        jquants::DailyBars bars;
        if (const Status s = client.dailyBarsByDate(unit.first, bars); !s.ok()) return api.stopFor(s);
        return store(unit.dataset, bars.rows);
    }
    if (unit.dataset == Dataset::Topix) {
        jquants::IndexBars bars;
        const Status s = client.topix(unit.first, unit.last, bars);
        if (s.outcome == Outcome::NotInPlan) {
            SourceResult r = api.stopFor(s);
            r.reason = withApiReason(jquants_text::kTopixPlan, s);
            return r;
        }
        if (!s.ok()) return api.stopFor(s);
        std::erase_if(bars.rows, [&](const jquants::IndexBar& b) { return b.date < from || b.date > to; });
        return store(unit.dataset, bars.rows);
    }
    jquants::MarginBalances balances;
    const Status s = client.marginInterestByDate(unit.first, balances);
    if (s.outcome == Outcome::NotInPlan) {
        // The key's plan has none, whatever endpoints.conf says: the codes go without.
        margin = false;
        api.note(jquants_text::kMarginPlanNote);
        for (Unit& u : units)
            if (u.dataset == Dataset::Margin) u.done = true;
        return {};
    }
    if (!s.ok()) return api.stopFor(s);
    return store(unit.dataset, balances.rows);
}

JQuantsHistory::JQuantsHistory(const Application& app, Endpoints endpoints)
    : state_(std::make_unique<State>(app, std::move(endpoints))) {}

JQuantsHistory::~JQuantsHistory() = default;

JQuantsSource& JQuantsHistory::api() { return state_->api; }

SourceResult JQuantsHistory::connect() {
    State& s = *state_;
    if (SourceResult r = s.api.connect(); !r.answered()) return r;
    auto download = std::make_unique<jquants::BulkDownload>(s.endpoints, s.api.environment, [&s](const std::string& line) {
        if (s.api.onWait) s.api.onWait(line);
    });
    const std::lock_guard lock(s.mutex);
    s.download = std::move(download);
    if (s.aborted) s.download->abort();
    return {};
}

void JQuantsHistory::abort() {
    State& s = *state_;
    s.api.abort();
    const std::lock_guard lock(s.mutex);
    s.aborted = true;
    if (s.download) s.download->abort();
}

void JQuantsHistory::restart() {
    State& s = *state_;
    s.api.restart();
    const std::lock_guard lock(s.mutex);
    s.aborted = false;
    if (s.download) s.download->resetAbort();
}

std::string JQuantsHistory::notes() const { return state_->api.notes(); }

SourceResult JQuantsHistory::plan(std::int32_t from, std::int32_t to, bool margin, bool topix, HistoryCost& cost,
                                  bool bars) {
    State& s = *state_;
    cost = {};
    s.units.clear();
    if (!s.download)
        if (SourceResult r = connect(); !r.answered()) return r;
    jquants::Client& client = s.api.client();
    const int rank = planRank(s.endpoints.jquantsPlan);
    cost.plan = kPlans[rank];
    cost.requestsPerMinute = client.requestsPerMinute();
    const std::uint64_t sentBefore = client.requestsSent();
    s.from = from;
    s.to = to;
    s.askedMargin = s.margin = margin;
    s.bars = bars;
    s.topix = topix;

    // The service says what the key's plan has, whatever endpoints.conf
    // names: a dataset without files comes a day at a time through the API.
    // Free has no files but the calendar's, and where bars have none,
    // nothing else has.
    std::vector<Dataset> byDay;
    std::int32_t firstListed = 0;
    bool files = true;
    for (const Dataset d : {Dataset::Bars, Dataset::Margin, Dataset::Topix}) {
        if ((d == Dataset::Bars && !bars) || (d == Dataset::Margin && !margin) || (d == Dataset::Topix && !topix))
            continue;
        jquants::BulkFiles listed;
        Status st;
        st.outcome = Outcome::NotInPlan;
        if (files) st = client.bulkList(kEndpoints[int(d)], from / 100, to / 100, listed);
        if (st.outcome == Outcome::NotInPlan) {
            files = files && d != Dataset::Bars;
            byDay.push_back(d);
            continue;
        }
        if (!st.ok()) return s.api.stopFor(st);
        const std::size_t before = s.units.size();
        if (SourceResult r = s.addFiles(d, listed.rows); !r.answered()) return r;
        if (d == Dataset::Bars && s.units.size() > before) firstListed = s.units[before].first;
    }
    // Days no file holds (the newest, not yet in a file; a span the listing
    // leaves out) come a whole-market day at a time, like a plan without files.
    std::vector<std::int32_t> days;
    std::vector<std::pair<Dataset, std::int32_t>> uncovered;
    {
        // The calendar through the API keeps to the plan's window and says so.
        if (const Status st = s.api.calendarDays(from, to, days); !st.ok()) return s.api.stopFor(st);
        for (const Dataset d : {Dataset::Bars, Dataset::Margin}) {
            if (std::find(byDay.begin(), byDay.end(), d) != byDay.end() || (d == Dataset::Margin && !margin) ||
                (d == Dataset::Bars && !bars))
                continue;
            for (const std::int32_t day : days)
                if (std::none_of(s.units.begin(), s.units.end(), [&](const Unit& u) {
                        return u.file && u.dataset == d && u.first <= day && day <= u.last;
                    }))
                    uncovered.push_back({d, day});
        }
        for (const auto& [d, day] : uncovered) s.units.push_back({d, false, {}, day, day});
    }
    if (!byDay.empty()) {
        for (const Dataset d : byDay) {
            if (days.empty()) break;
            if (d == Dataset::Topix) {
                s.units.push_back({d, false, {}, days.front(), days.back()});
                continue;
            }
            if (d == Dataset::Margin) {
                // One day asked tells whether the plan has balances at all.
                jquants::MarginBalances probe;
                const Status st = client.marginInterestByDate(days.front(), probe);
                if (st.outcome == Outcome::NotInPlan) {
                    s.margin = false;
                    continue;
                }
                if (!st.ok()) return s.api.stopFor(st);
            }
            for (const std::int32_t day : days) s.units.push_back({d, false, {}, day, day});
        }
    }
    // By date, a month's files together; TOPIX through the API first, as a
    // plan without it refuses it at once.
    const auto order = [](const Unit& u) { return !u.file && u.dataset == Dataset::Topix ? -1 : int(u.dataset); };
    std::stable_sort(s.units.begin(), s.units.end(), [&](const Unit& a, const Unit& b) {
        return a.first != b.first ? a.first < b.first : order(a) < order(b);
    });
    // Files start at the plan's window: a span from before it is said once.
    const std::int32_t today = s.api.environment.clock->japanNow().yyyymmdd();
    if (firstListed > from && from < today - kPlanYears[rank] * 10000) {
        char text[256];
        std::snprintf(text, sizeof text, jquants_text::kWindowNote, jquants::isoDate(firstListed).c_str(), "");
        s.api.note(text);
    }
    if (SourceResult r = s.resume(); !r.answered()) return r;

    cost.requests = client.requestsSent() - sentBefore;
    for (const Unit& u : s.units) {
        cost.bulk = cost.bulk || u.file;
        if (u.done) continue;
        ++cost.requests;  // a file's URL, or a day
        if (!u.file) continue;
        ++cost.files;
        cost.bytes += u.listed.size;
    }
    if (cost.requestsPerMinute > 0)
        cost.time = std::chrono::seconds((cost.requests * 60 + cost.requestsPerMinute - 1) / cost.requestsPerMinute);
    return {};
}

SourceResult JQuantsHistory::gatherNext(std::string& status) {
    State& s = *state_;
    status.clear();
    const auto next = std::find_if(s.units.begin(), s.units.end(), [](const Unit& u) { return !u.done; });
    if (next == s.units.end()) return SourceResult::of(Answer::NoData);
    Unit& unit = *next;
    if (SourceResult r = s.take(unit); !r.answered()) return r;
    status = unit.name();
    if (unit.done) return {};  // margin that the plan turned out not to have
    unit.done = true;
    s.taken.push_back(unit.entry());
    // The rows are on disk before the units are recorded as taken: a flush
    // every few units (and after the last), so a run cut short takes at
    // most those again.
    if (++s.unrecorded < kUnitsPerSync && std::any_of(s.units.begin(), s.units.end(), [](const Unit& u) { return !u.done; }))
        return {};
    s.unrecorded = 0;
    std::string error;
    if (!syncFileSystem(s.folder()) || !s.writeProgress(error))
        return SourceResult::localFailure(history_text::kFolderFailed + echoText(error.empty() ? s.folder().string() : error));
    return {};
}

std::size_t JQuantsHistory::gatheredCount() const {
    return static_cast<std::size_t>(
        std::count_if(state_->units.begin(), state_->units.end(), [](const Unit& u) { return u.done; }));
}

std::size_t JQuantsHistory::totalCount() const { return state_->units.size(); }

void JQuantsHistory::discard() {
    std::error_code ec;
    fs::remove_all(state_->folder(), ec);
    state_->units.clear();
    state_->taken.clear();
}

SourceResult JQuantsHistory::codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) {
    State& s = *state_;
    rows = {};
    if (code < 1000 || code > 9999) return SourceResult::of(Answer::NoData);
    std::string error;
    std::vector<jquants::DailyBar> bars;
    if (!readRecords(s.codeFile("bars", code), code, from, to, bars, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    historyFromBars(code, bars, rows);
    if (margin && !rows.dates.empty()) {
        if (!s.margin) {
            s.api.note(jquants_text::kMarginPlanNote);
        } else {
            std::vector<jquants::MarginBalance> raw;
            if (!readRecords(s.codeFile("margin", code), code, rows.dates.front(), rows.dates.back(), raw, error))
                return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
            MarginRows balances;
            balanceRows(code, raw, balances);
            placeBalances(balances, rows);
        }
    }
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsHistory::marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) {
    State& s = *state_;
    rows = {};
    if (!s.margin) return SourceResult::of(Answer::OutsidePlan);
    if (code < 1000 || code > 9999) return SourceResult::of(Answer::NoData);
    std::string error;
    std::vector<jquants::MarginBalance> raw;
    if (!readRecords(s.codeFile("margin", code), code, from, to, raw, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    balanceRows(code, raw, rows);
    return SourceResult::of(rows.dates.empty() ? Answer::NoData : Answer::Data);
}

SourceResult JQuantsHistory::indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) {
    State& s = *state_;
    if (indexCode != 102 || !s.topix) return s.api.indexBars(indexCode, from, to, rows);
    rows = {};
    std::string error;
    std::vector<jquants::IndexBar> bars;
    if (!readRecords(s.folder() / "topix", 0, from, to, bars, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    topixFrom(bars, rows);
    return {};
}

SourceResult JQuantsHistory::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    return state_->api.businessDays(from, to, days);
}

SourceResult JQuantsHistory::listedCodes(std::vector<int>& codes) { return state_->api.listedCodes(codes); }

}  // namespace quarlink
