#include "core/sources/market_history.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

#include "core/env/clock.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/bulk_download.h"
#include "core/web/jquants/bulk_list.h"
#include "core/web/jquants/jquants_json.h"
#include "core/web/jquants/jquants_plan.h"
#include "core/web/jquants/jquants_text.h"

namespace quarlink {

namespace history_text {
inline constexpr const char* kFolderFailed = "J-Quantsから取得した履歴を作業フォルダに保存できません：";
inline constexpr const char* kReadFailed = "J-Quantsから取得した履歴を読み込めません：";
inline constexpr const char* kMarginDay = " 信用残";
inline constexpr const char* kFileOfNoDate = "月も日も名前から読み取れない一括ファイルがあります：";
inline constexpr const char* kStartedOver =
    "作業フォルダの取得途中の履歴（history）が壊れているか置き換えられていたため、初めから取り直しました。";
inline constexpr const char* kDamaged =
    "作業フォルダの取得途中の履歴（history）が壊れているか置き換えられています。次の実行で初めから取り直します：";
}  // namespace history_text

namespace {

namespace fs = std::filesystem;
using jquants::Outcome;
using jquants::Status;

enum class Dataset { Bars, Margin, Topix };
constexpr const char* kEndpoints[] = {"/equities/bars/daily", "/markets/margin-interest", "/indices/bars/daily/topix"};
constexpr const char* kWords[] = {"bars", "margin", "topix"};
constexpr const char* kProgress = "progress";

// Gathered rows as fixed records in this machine's byte order: the folder
// lives for one initial run on one machine. Each starts with the date, the
// code and a flag, so that a hundred codes share a file.
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

// A code's rows go to the file of its hundred (bars/13 holds 1300..1399):
// a bulk file's rows leave in one append to each of some ninety files
// rather than one to each of thousands, and a code reads its hundred's file
// once for all of them.
constexpr int kCodesPerFile = 100;
constexpr int kBuckets = 10000 / kCodesPerFile;

constexpr std::size_t kHead = 4 + 2 + 2;
int codeAt(const char* record) {
    std::int16_t code = 0;
    std::memcpy(&code, record + 4, sizeof code);
    return code;
}

bool amount(double v) { return std::isfinite(v) && v >= 0; }

template <class Row>
struct Record;
template <>
struct Record<jquants::DailyBar> {
    static constexpr std::size_t kSize = kHead + 6 * 8;
    static void put(const jquants::DailyBar& b, std::string& out) {
        Packer(out) << b.date << std::int16_t(b.code) << std::int16_t(b.traded) << b.open << b.high << b.low << b.close
                    << b.volume << b.adjFactor;
    }
    static jquants::DailyBar get(const char* at) {
        jquants::DailyBar b;
        std::int16_t code = 0, traded = 0;
        Unpacker(at) >> b.date >> code >> traded >> b.open >> b.high >> b.low >> b.close >> b.volume >> b.adjFactor;
        b.traded = traded != 0;
        b.code = code;
        return b;
    }
    static bool valid(const char* at) {
        std::int16_t traded = 0;
        std::memcpy(&traded, at + 6, sizeof traded);
        const jquants::DailyBar b = get(at);
        return (traded == 0 || traded == 1) && amount(b.open) && amount(b.high) && amount(b.low) && amount(b.close) &&
               amount(b.volume) && amount(b.adjFactor) && b.adjFactor > 0;
    }
};
template <>
struct Record<jquants::MarginBalance> {
    static constexpr std::size_t kSize = kHead + 2 * 8;
    static void put(const jquants::MarginBalance& b, std::string& out) {
        Packer(out) << b.date << std::int16_t(b.code) << std::int16_t(0) << b.longVol << b.shortVol;
    }
    static jquants::MarginBalance get(const char* at) {
        jquants::MarginBalance b;
        std::int16_t code = 0, unused = 0;
        Unpacker(at) >> b.date >> code >> unused >> b.longVol >> b.shortVol;
        b.code = code;
        return b;
    }
    static bool valid(const char* at) {
        const jquants::MarginBalance b = get(at);
        return amount(b.longVol) && amount(b.shortVol);
    }
};
template <>
struct Record<jquants::IndexBar> {
    static constexpr std::size_t kSize = kHead + 4 * 8;
    static void put(const jquants::IndexBar& b, std::string& out) {
        Packer(out) << b.date << std::int32_t(0) << b.open << b.high << b.low << b.close;
    }
    static jquants::IndexBar get(const char* at) {
        jquants::IndexBar b;
        std::int32_t unused = 0;
        Unpacker(at) >> b.date >> unused >> b.open >> b.high >> b.low >> b.close;
        return b;
    }
    static bool valid(const char* at) {
        const jquants::IndexBar b = get(at);
        return codeAt(at) == 0 && amount(b.open) && amount(b.high) && amount(b.low) && amount(b.close);
    }
};

// Whether `bytes`, a scratch file of `name` ("bars/13", "margin/72", "topix"),
// holds whole records of its own kind, each of a valid date within the span
// and of a code of its hundred: the folder is the program's own, but a disk
// error or a hand may have changed it, and nothing read from it is trusted
// further than this.
bool scratchValid(const std::string& name, std::string_view bytes, std::int32_t from, std::int32_t to) {
    const auto check = [&](auto row, int bucket) {
        using Row = decltype(row);
        constexpr std::size_t size = Record<Row>::kSize;
        if (bytes.size() % size != 0) return false;
        for (std::size_t at = 0; at < bytes.size(); at += size) {
            const char* record = bytes.data() + at;
            std::int32_t date = 0;
            std::memcpy(&date, record, sizeof date);
            if (date < from || date > to || !validDate(date) || !Record<Row>::valid(record)) return false;
            if (bucket >= 0 && codeAt(record) / kCodesPerFile != bucket) return false;
        }
        return true;
    };
    if (name == "topix") return check(jquants::IndexBar{}, -1);
    const std::size_t slash = name.find('/');
    int bucket = -1;
    const std::string_view number = std::string_view(name).substr(slash + 1);
    if (slash == std::string::npos || number.size() != 2 ||
        std::from_chars(number.data(), number.data() + 2, bucket).ptr != number.data() + 2 || bucket < 10)
        return false;
    if (name.compare(0, slash, "bars") == 0) return check(jquants::DailyBar{}, bucket);
    if (name.compare(0, slash, "margin") == 0) return check(jquants::MarginBalance{}, bucket);
    return false;
}


std::string bucketName(const char* kind, int code) {
    char name[24];
    std::snprintf(name, sizeof name, "%s/%02d", kind, code / kCodesPerFile);
    return name;
}

// A scratch file of the program's own folder, made on first use. A run cut
// short leaves bytes past the length the progress file records: the next
// run cuts them off and takes their unit again.
bool appendBytes(const fs::path& path, std::string_view bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    int err = errno;
    bool ok = fd >= 0 && writeFully(fd, bytes, err);
    if (fd >= 0 && ::close(fd) != 0 && ok) ok = false, err = errno;
    if (!ok) error = fileErrorText("write", path, err);
    return ok;
}

// A date taken twice (a file rewritten since and taken again) keeps its last row.
template <class Row>
void byDateOnce(std::vector<Row>& rows) {
    std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) { return a.date < b.date; });
    std::vector<Row> once;
    once.reserve(rows.size());
    for (const Row& row : rows) {
        if (!once.empty() && once.back().date == row.date) once.back() = row;
        else once.push_back(row);
    }
    rows = std::move(once);
}

// One hundred's file in memory, each code's records found once.
struct LoadedBucket {
    std::string name;
    std::string bytes;
    std::vector<std::vector<std::uint32_t>> at = std::vector<std::vector<std::uint32_t>>(kCodesPerFile);

    void forget() {
        name.clear();
        bytes = std::string();
        for (auto& list : at) list.clear();
    }
    bool load(const fs::path& folder, const std::string& wanted, std::size_t size, std::int32_t from, std::int32_t to,
              std::string& error) {
        forget();
        errno = 0;
        if (!readWholeFile(folder / wanted, bytes, &error) && errno != ENOENT) return false;
        if (!scratchValid(wanted, bytes, from, to)) {
            error = history_text::kDamaged + echoText((folder / wanted).string());
            bytes.clear();
            return false;
        }
        for (std::size_t offset = 0; offset + size <= bytes.size(); offset += size)
            at[codeAt(bytes.data() + offset) % kCodesPerFile].push_back(static_cast<std::uint32_t>(offset));
        name = wanted;
        return true;
    }
};

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
    State(const Application& a, Endpoints e, const WebEnvironment& environment)
        : app(a), endpoints(e), api(a, std::move(e), environment) {}

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
    // Each scratch file's length once its units' rows are in. A unit's line
    // in the progress file carries the lengths it left, so a run cut short
    // anywhere goes on from exactly what it recorded, with nothing flushed.
    std::map<std::string, std::uint64_t> lengths;
    std::string unitLengths;  // "\t@name=length" for each file the unit being taken wrote
    // The rows of the unit being taken, by hundred (kBuckets: TOPIX).
    std::vector<std::string> packed = std::vector<std::string>(kBuckets + 1);
    LoadedBucket loadedBars, loadedMargin;
    std::function<void(const jquants::DailyBar&)> watch;
    // The scratch files stay open for appending while the run gathers: a
    // file of the market is some ninety appends, a day of the API as many.
    std::map<std::string, int> appending;

    ~State() { closeScratch(); }
    void closeScratch() {
        for (const auto& [name, fd] : appending) ::close(fd);
        appending.clear();
    }
    bool append(const std::string& name, std::string_view bytes, std::string& error) {
        const fs::path path = folder() / name;
        auto it = appending.find(name);
        if (it == appending.end()) {
            const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
            if (fd < 0) {
                error = fileErrorText("write", path, errno);
                return false;
            }
            it = appending.emplace(name, fd).first;
        }
        int err = 0;
        if (writeFully(it->second, bytes, err)) return true;
        error = fileErrorText("write", path, err);
        return false;
    }

    fs::path folder() const { return app.workDir / kFolder; }
    // A run resumed on a later day asks up to a later day: what was taken
    // for the same start and data still holds, so the span's end is not part of it.
    std::string header() const {
        return "span\t" + std::to_string(from) + '\t' + (askedMargin ? "1" : "0") + '\t' + (topix ? "1" : "0") +
               (bars ? "" : "\tmargin-only");
    }
    // The progress file whole: the header, a line a unit taken, the last
    // with every length. Units taken later are appended, a line each.
    bool writeProgress(std::string& error) const {
        std::string text = header() + '\n';
        for (const std::string& entry : taken) text += entry + (&entry == &taken.back() ? allLengths() : "") + '\n';
        return replaceFileAtomically(folder() / kProgress, text, &error);
    }
    std::string allLengths() const {
        std::string text;
        for (const auto& [name, length] : lengths) text += "\t@" + name + '=' + std::to_string(length);
        return text;
    }
    bool scratchAsRecorded();
    bool foldersReal();
    // Whether history/ is still the folder resume() made: one replaced
    // since (by a symlink, say) is neither written nor read.
    bool sameFolder() const;
    std::pair<dev_t, ino_t> identity{};
    // The business days of the span, from the calendar: those a file should
    // hold and does not are asked of the API.
    std::vector<std::int32_t> days;
    std::uint32_t daysHeld = 0;  // of the file being taken, a bit a day of its month
    bool anyRow = false;
    std::vector<std::int32_t> daysLacking(const Unit& unit) const;
    void forgetLoaded() {
        loadedBars.forget();
        loadedMargin.forget();
    }
    template <class Row>
    void pack(const Row& row) {
        // Ordinary shares only: the codes a price file can have.
        if constexpr (std::is_same_v<Row, jquants::IndexBar>) Record<Row>::put(row, packed[kBuckets]);
        else if (row.code >= 1000 && row.code <= 9999) Record<Row>::put(row, packed[row.code / kCodesPerFile]);
    }
    SourceResult storePacked(Dataset dataset);
    template <class Row>
    bool readCode(LoadedBucket& loaded, const char* kind, int code, std::int32_t from, std::int32_t to,
                  std::vector<Row>& rows, std::string& error);

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
        if (!jquants::bulkFileDays(u.listed.key, u.first, u.last, month))
            return SourceResult::of(Answer::Unrecognised,
                                    withApiReason(jquants_text::kUnrecognised,
                                                  history_text::kFileOfNoDate + echoText(u.listed.key)));
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

// Each scratch file cut back to the length recorded with the last units
// taken (a file with no length recorded goes), then read whole and checked;
// false when one is shorter than recorded or gone (as after a power cut),
// not whole records, or not the program's own: then nothing taken is trusted.
bool JQuantsHistory::State::scratchAsRecorded() {
    std::error_code ec;
    std::map<std::string, std::uint64_t> seen;
    for (const char* kind : {"bars", "margin"})
        for (fs::directory_iterator it(folder() / kind, ec), end; !ec && it != end; it.increment(ec))
            seen[std::string(kind) + '/' + it->path().filename().string()] = 0;
    seen["topix"] = 0;
    std::string bytes;
    for (auto& [name, size] : seen) {
        const fs::path path = folder() / name;
        const auto recorded = lengths.find(name);
        const std::uint64_t keep = recorded == lengths.end() ? 0 : recorded->second;
        const fs::file_type type = fs::symlink_status(path, ec).type();
        if (type == fs::file_type::not_found && keep == 0) continue;
        if (type != fs::file_type::regular) return false;
        size = fs::file_size(path, ec);
        if (ec || size < keep) return false;
        if (keep == 0) fs::remove(path, ec);
        else if (size > keep) fs::resize_file(path, keep, ec);
        if (ec) return false;
        if (keep && (!readWholeFile(path, bytes) || !scratchValid(name, bytes, from, to))) return false;
    }
    for (const auto& [name, length] : lengths)
        if (length > 0 && !seen.count(name)) return false;
    return true;
}

// The folder and its two subfolders as the program made them: a symlink or
// anything else standing there is removed (never followed) and the
// gathering starts over.
bool JQuantsHistory::State::foldersReal() {
    bool real = true;
    std::error_code ec;
    for (const fs::path& dir : {folder(), folder() / "bars", folder() / "margin"}) {
        const fs::file_type type = fs::symlink_status(dir, ec).type();
        if (type == fs::file_type::directory || type == fs::file_type::not_found) continue;
        fs::remove(dir, ec);
        real = false;
        break;
    }
    return real;
}

bool JQuantsHistory::State::sameFolder() const {
    struct stat st {};
    return identity.first && ::lstat(folder().c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           identity == std::pair<dev_t, ino_t>{st.st_dev, st.st_ino};
}

SourceResult JQuantsHistory::State::resume() {
    const fs::path dir = folder();
    std::string bytes, error;
    std::vector<std::string> lines;
    const bool real = foldersReal();
    if (real && readWholeFile(dir / kProgress, bytes))
        for (std::size_t at = 0, end; at < bytes.size(); at = end + 1) {
            end = bytes.find('\n', at);
            if (end == std::string::npos) break;
            lines.push_back(bytes.substr(at, end - at));
        }
    bool same = !lines.empty() && lines.front() == header();
    taken.clear();
    lengths.clear();
    forgetLoaded();
    closeScratch();
    std::map<std::string, std::vector<std::int32_t>> fallbacks;  // a file's days asked of the API
    for (std::size_t i = 1; same && i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t at = line.find("\t@");
        std::string entry = line.substr(0, at);
        if (const std::size_t plus = entry.find("\t+"); plus != std::string::npos) {
            std::vector<std::int32_t>& days = fallbacks[entry.substr(0, plus)];
            for (std::size_t d = plus + 2; same && d < entry.size(); d += 9) {
                std::int32_t day = 0;
                const auto parsed = std::from_chars(entry.data() + d, entry.data() + std::min(d + 8, entry.size()), day);
                same = parsed.ec == std::errc() && parsed.ptr == entry.data() + d + 8 && validDate(day) &&
                       (d + 8 == entry.size() || entry[d + 8] == ',');
                days.push_back(day);
            }
            entry.resize(plus);
        }
        taken.push_back(std::move(entry));
        while (same && at != std::string::npos) {
            const std::size_t next = line.find("\t@", at + 2), end = next == std::string::npos ? line.size() : next;
            const std::size_t equals = line.rfind('=', end);
            std::uint64_t length = 0;
            const auto parsed = std::from_chars(line.data() + equals + 1, line.data() + end, length);
            same = equals != std::string::npos && equals > at + 2 && parsed.ec == std::errc() && parsed.ptr == line.data() + end;
            if (same) lengths[line.substr(at + 2, equals - at - 2)] = length;
            at = next;
        }
    }
    std::error_code ec;
    const bool begun = lines.size() > 1 && lines.front() == header();
    if (same) same = scratchAsRecorded();
    if (!real || (begun && !same)) api.note(history_text::kStartedOver);
    // A line cut short by a power cut is no unit taken; the next line must not follow it.
    if (same && !bytes.empty() && bytes.back() != '\n' && !writeProgress(error))
        return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
    if (!same) {
        taken.clear();
        lengths.clear();
        fallbacks.clear();
        if (fs::remove_all(dir, ec); ec)
            return SourceResult::localFailure(history_text::kFolderFailed + echoText(dir.string() + ": " + ec.message()));
    }
    // The days a file taken before lacked follow it, as when it was taken.
    for (std::size_t i = 0; i < units.size(); ++i)
        if (const auto f = fallbacks.find(units[i].entry()); f != fallbacks.end())
            for (auto day = f->second.rbegin(); day != f->second.rend(); ++day)
                units.insert(units.begin() + static_cast<std::ptrdiff_t>(i + 1), Unit{units[i].dataset, false, {}, *day, *day});
    const std::set<std::string> done(taken.begin(), taken.end());
    for (Unit& u : units) u.done = done.count(u.entry()) != 0;
    for (const char* sub : {"bars", "margin"}) fs::create_directories(dir / sub, ec);
    if (ec) return SourceResult::localFailure(history_text::kFolderFailed + echoText(dir.string() + ": " + ec.message()));
    struct stat st {};
    identity = ::lstat(dir.c_str(), &st) == 0 ? std::pair<dev_t, ino_t>{st.st_dev, st.st_ino} : std::pair<dev_t, ino_t>{};
    if (!same && !writeProgress(error)) return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
    return {};
}

// The unit's rows, one append to each file they fall in.
SourceResult JQuantsHistory::State::storePacked(Dataset dataset) {
    forgetLoaded();
    std::string error;
    for (int bucket = 0; bucket <= kBuckets; ++bucket) {
        std::string& bytes = packed[bucket];
        if (bytes.empty()) continue;
        const std::string name = bucket == kBuckets ? std::string("topix") : bucketName(kWords[int(dataset)], bucket * kCodesPerFile);
        if (!append(name, bytes, error)) {
            for (std::string& rest : packed) rest.clear();
            return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
        }
        lengths[name] += bytes.size();
        unitLengths += "\t@" + name + '=' + std::to_string(lengths[name]);
        bytes.clear();
    }
    return {};
}

template <class Row>
SourceResult JQuantsHistory::State::store(Dataset dataset, std::vector<Row>& rows) {
    if constexpr (std::is_same_v<Row, jquants::DailyBar>)
        if (watch) {
            for (const Row& row : rows)
                if (row.date >= from && row.date <= to) watch(row);
            return {};
        }
    for (std::string& bytes : packed) bytes.clear();
    for (const Row& row : rows) pack(row);
    return storePacked(dataset);
}

template <class Row>
SourceResult JQuantsHistory::State::takeFile(Unit& unit) {
    // One file's rows at a time: those of the span and of ordinary shares.
    const auto keep = [this](const Row& row) {
        if constexpr (std::is_same_v<Row, jquants::IndexBar>) return row.date >= from && row.date <= to;
        else return row.date >= from && row.date <= to && row.code >= 1000 && row.code <= 9999;
    };
    daysHeld = 0;
    anyRow = false;
    jquants::CsvRows<Row> csv(jquants::RowSink<Row>{[&] {
                                                        for (std::string& bytes : packed) bytes.clear();
                                                        daysHeld = 0;
                                                        anyRow = false;
                                                    },
                                                    [&](std::vector<Row>& batch) {
                                                        anyRow = anyRow || !batch.empty();
                                                        for (const Row& row : batch) {
                                                            if (row.date / 100 == unit.first / 100)
                                                                daysHeld |= 1u << (row.date % 100 - 1);
                                                            if (!keep(row)) continue;
                                                            if constexpr (std::is_same_v<Row, jquants::DailyBar>)
                                                                if (watch) {
                                                                    watch(row);
                                                                    continue;
                                                                }
                                                            pack(row);
                                                        }
                                                    }});
    csv.expect(unit.first, unit.last);
    if (const Status s = download->file(api.client(), unit.listed.key, csv); !s.ok()) return api.stopFor(s);
    if (const std::size_t n = csv.rows().corrections) api.note(fillIn(jquants_text::kMarginCorrections, {std::to_string(n)}));
    return watch ? SourceResult{} : storePacked(unit.dataset);
}

// The business days of a file just taken that it did not hold: a day
// without bars or TOPIX, or every day of a margin file without a row.
std::vector<std::int32_t> JQuantsHistory::State::daysLacking(const Unit& unit) const {
    std::vector<std::int32_t> lacking;
    for (const std::int32_t day : days)
        if (day >= std::max(unit.first, from) && day <= std::min(unit.last, to) &&
            (unit.dataset == Dataset::Margin ? !anyRow : !(daysHeld & (1u << (day % 100 - 1)))))
            lacking.push_back(day);
    return lacking;
}

template <class Row>
bool JQuantsHistory::State::readCode(LoadedBucket& loaded, const char* kind, int code, std::int32_t from,
                                     std::int32_t to, std::vector<Row>& rows, std::string& error) {
    rows.clear();
    if (const std::string name = bucketName(kind, code); loaded.name != name)
        if (!loaded.load(folder(), name, Record<Row>::kSize, this->from, this->to, error)) return false;
    for (const std::uint32_t at : loaded.at[code % kCodesPerFile]) {
        const Row row = Record<Row>::get(loaded.bytes.data() + at);
        if (row.code == code && row.date >= from && row.date <= to) rows.push_back(row);
    }
    byDateOnce(rows);
    return true;
}

SourceResult JQuantsHistory::State::take(Unit& unit) {
    unitLengths.clear();
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
    if (balances.corrections)
        api.note(fillIn(jquants_text::kMarginCorrections, {std::to_string(balances.corrections)}));
    return store(unit.dataset, balances.rows);
}

JQuantsHistory::JQuantsHistory(const Application& app, Endpoints endpoints, const WebEnvironment& environment)
    : state_(std::make_unique<State>(app, std::move(endpoints), environment)) {}

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
    cost.plan = s.endpoints.jquantsPlan;
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
    // Asked within the plan's window: what a list answers for months before
    // it is not documented (a refusal would stop the run).
    const std::int32_t today = s.api.environment.clock->japanNow().yyyymmdd();
    const std::int32_t listFrom = std::max(from, jquantsFilesFrom(s.endpoints.jquantsPlan, today));
    for (const Dataset d : {Dataset::Bars, Dataset::Margin, Dataset::Topix}) {
        if ((d == Dataset::Bars && !bars) || (d == Dataset::Margin && !margin) || (d == Dataset::Topix && !topix))
            continue;
        jquants::BulkFiles listed;
        Status st;
        st.outcome = Outcome::NotInPlan;
        if (files) st = client.bulkList(kEndpoints[int(d)], listFrom / 100, std::max(listFrom, to) / 100, listed);
        // A plan whose window is narrower than thought names it.
        if (st.outcome == Outcome::PlanWindow && st.windowFrom > listFrom && st.windowFrom <= to)
            st = client.bulkList(kEndpoints[int(d)], st.windowFrom / 100, to / 100, listed);
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
        s.days = days;
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
    if (firstListed > from && from < today - planFacts(cost.plan).years * 10000) {
        s.api.note(fillIn(jquants_text::kWindowNote, {jquants::isoDate(firstListed), ""}));
    }
    if (!s.watch)
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
    if (next == s.units.end()) {
        s.closeScratch();
        return SourceResult::of(Answer::NoData);
    }
    if (!s.watch && !s.sameFolder())
        return SourceResult::localFailure(history_text::kDamaged + echoText(s.folder().string()));
    const std::size_t at = static_cast<std::size_t>(next - s.units.begin());
    if (SourceResult r = s.take(*next); !r.answered()) return r;
    Unit& unit = s.units[at];
    status = unit.name();
    if (unit.done) return {};  // margin that the plan turned out not to have
    unit.done = true;
    // A file that should have held business days and did not: those days
    // come from the API next, as on a plan without files.
    std::string lacking;
    if (unit.file) {
        const std::vector<std::int32_t> days = s.daysLacking(unit);
        const Dataset dataset = unit.dataset;
        for (std::size_t i = 0; i < days.size(); ++i) {
            lacking += (i ? "," : "\t+") + std::to_string(days[i]);
            s.units.insert(s.units.begin() + static_cast<std::ptrdiff_t>(at + 1 + i), Unit{dataset, false, {}, days[i], days[i]});
        }
    }
    if (s.watch) return {};
    const std::string entry = s.units[at].entry();
    s.taken.push_back(entry);
    // One line appended: its rows are in the scratch files' page cache, and
    // a run cut short after it finds them there (before it, cuts them off).
    std::string error;
    if (!appendBytes(s.folder() / kProgress, entry + lacking + s.unitLengths + '\n', error))
        return SourceResult::localFailure(history_text::kFolderFailed + echoText(error));
    return {};
}

void JQuantsHistory::watchBars(std::function<void(const jquants::DailyBar&)> watch) { state_->watch = std::move(watch); }

std::size_t JQuantsHistory::gatheredCount() const {
    return static_cast<std::size_t>(
        std::count_if(state_->units.begin(), state_->units.end(), [](const Unit& u) { return u.done; }));
}

std::size_t JQuantsHistory::totalCount() const { return state_->units.size(); }

void JQuantsHistory::discard() {
    state_->closeScratch();
    std::error_code ec;
    fs::remove_all(state_->folder(), ec);
    state_->units.clear();
    state_->taken.clear();
    state_->lengths.clear();
    state_->forgetLoaded();
}

SourceResult JQuantsHistory::codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) {
    State& s = *state_;
    rows = {};
    if (code < 1000 || code > 9999) return SourceResult::of(Answer::NoData);
    std::string error;
    std::vector<jquants::DailyBar> bars;
    if (!s.readCode(s.loadedBars, "bars", code, from, to, bars, error))
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    historyFromBars(code, bars, rows);
    if (margin && !rows.dates.empty()) {
        if (!s.margin) {
            s.api.note(jquants_text::kMarginPlanNote);
        } else {
            std::vector<jquants::MarginBalance> raw;
            if (!s.readCode(s.loadedMargin, "margin", code, rows.dates.front(), rows.dates.back(), raw, error))
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
    if (!s.readCode(s.loadedMargin, "margin", code, from, to, raw, error))
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
    std::string bytes;
    errno = 0;
    if (!readWholeFile(s.folder() / "topix", bytes, &error) && errno != ENOENT)
        return SourceResult::localFailure(history_text::kReadFailed + echoText(error));
    for (std::size_t at = 0; at + Record<jquants::IndexBar>::kSize <= bytes.size(); at += Record<jquants::IndexBar>::kSize)
        if (const jquants::IndexBar bar = Record<jquants::IndexBar>::get(bytes.data() + at); bar.date >= from && bar.date <= to)
            bars.push_back(bar);
    byDateOnce(bars);
    topixFrom(bars, rows);
    return {};
}

SourceResult JQuantsHistory::businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) {
    return state_->api.businessDays(from, to, days);
}

SourceResult JQuantsHistory::listedCodes(std::vector<int>& codes) { return state_->api.listedCodes(codes); }

}  // namespace quarlink
