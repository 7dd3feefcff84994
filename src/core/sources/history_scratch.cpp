#include "core/sources/history_scratch.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/env/date.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"

namespace quarlink {

namespace {

namespace fs = std::filesystem;
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
            error = scratch_text::kDamaged + echoText((folder / wanted).string());
            bytes.clear();
            return false;
        }
        for (std::size_t offset = 0; offset + size <= bytes.size(); offset += size)
            at[codeAt(bytes.data() + offset) % kCodesPerFile].push_back(static_cast<std::uint32_t>(offset));
        name = wanted;
        return true;
    }
};

}  // namespace

struct HistoryScratch::State {
    std::string header;
    std::int32_t from = 0, to = 0;
    // The progress file's lines after its header, each a unit's entry and
    // the days it lacked, without the lengths.
    std::vector<std::string> lines;
    // Each file's length once its units' rows are in. A unit's line in the
    // progress file carries the lengths it left, so a run cut short anywhere
    // goes on from exactly what it recorded, with nothing flushed.
    std::map<std::string, std::uint64_t> lengths;
    // The rows of the unit being taken, by hundred (kBuckets: TOPIX).
    std::vector<std::string> packed = std::vector<std::string>(kBuckets + 1);
    const char* kind = "bars";  // of the hundreds' rows packed: bars or margin
    LoadedBucket loadedBars, loadedMargin;
    // The files stay open for appending while the run gathers: a file of
    // the market is some ninety appends, a day of the API as many.
    std::map<std::string, int> appending;
    std::pair<dev_t, ino_t> identity{};

    ~State() { close(); }
    void close() {
        for (const auto& [name, fd] : appending) ::close(fd);
        appending.clear();
    }
    void forgetLoaded() {
        loadedBars.forget();
        loadedMargin.forget();
    }
    bool append(const fs::path& folder, const std::string& name, std::string_view bytes, std::string& error) {
        const fs::path path = folder / name;
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
    std::string allLengths() const {
        std::string text;
        for (const auto& [name, length] : lengths) text += "\t@" + name + '=' + std::to_string(length);
        return text;
    }
    // The progress file whole: the header, a line a unit taken, the last
    // with every length. Units taken later are appended, a line each.
    bool writeProgress(const fs::path& folder, std::string& error) const {
        std::string text = header + '\n';
        for (const std::string& line : lines) text += line + (&line == &lines.back() ? allLengths() : "") + '\n';
        return replaceFileAtomically(folder / kProgress, text, &error);
    }
    bool asRecorded(const fs::path& folder);
    template <class Row>
    bool read(const fs::path& folder, LoadedBucket& loaded, const char* kind, int code, std::int32_t first,
              std::int32_t last, std::vector<Row>& rows, std::string& error);
};

// The folder and its two subfolders as the program made them: a symlink or
// anything else standing there is removed (never followed).
bool foldersReal(const fs::path& folder) {
    std::error_code ec;
    for (const fs::path& dir : {folder, folder / "bars", folder / "margin"}) {
        const fs::file_type type = fs::symlink_status(dir, ec).type();
        if (type == fs::file_type::directory || type == fs::file_type::not_found) continue;
        fs::remove(dir, ec);
        return false;
    }
    return true;
}

// Each file cut back to the length recorded with the last units taken (a
// file with no length recorded goes), then read whole and checked; false
// when one is shorter than recorded or gone (as after a power cut), not
// whole records, or not the program's own: then nothing taken is trusted.
bool HistoryScratch::State::asRecorded(const fs::path& folder) {
    std::error_code ec;
    std::map<std::string, std::uint64_t> seen;
    for (const char* kind : {"bars", "margin"})
        for (fs::directory_iterator it(folder / kind, ec), end; !ec && it != end; it.increment(ec))
            seen[std::string(kind) + '/' + it->path().filename().string()] = 0;
    seen["topix"] = 0;
    std::string bytes;
    for (auto& [name, size] : seen) {
        const fs::path path = folder / name;
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

HistoryScratch::HistoryScratch(fs::path folder) : folder_(std::move(folder)), state_(std::make_unique<State>()) {}

HistoryScratch::~HistoryScratch() = default;

bool HistoryScratch::open(const std::string& header, std::int32_t from, std::int32_t to, Taken& taken,
                          std::string& error) {
    State& s = *state_;
    taken = {};
    s.close();
    s.forgetLoaded();
    s.lines.clear();
    s.lengths.clear();
    clearUnit();
    s.header = header;
    s.from = from, s.to = to;

    std::string bytes;
    std::vector<std::string> lines;
    const bool real = foldersReal(folder_);
    if (real && readWholeFile(folder_ / kProgress, bytes))
        for (std::size_t at = 0, end; at < bytes.size(); at = end + 1) {
            end = bytes.find('\n', at);
            if (end == std::string::npos) break;  // a line cut short by a power cut is no unit taken
            lines.push_back(bytes.substr(at, end - at));
        }
    const bool begun = lines.size() > 1 && lines.front() == header;
    bool same = !lines.empty() && lines.front() == header;
    for (std::size_t i = 1; same && i < lines.size(); ++i) {
        const std::string& line = lines[i];
        std::size_t at = line.find("\t@");
        const std::string unit = line.substr(0, at);
        std::string entry = unit;
        if (const std::size_t plus = unit.find("\t+"); plus != std::string::npos) {
            entry.resize(plus);
            std::vector<std::int32_t>& days = taken.lacking[entry];
            for (std::size_t d = plus + 2; same && d < unit.size(); d += 9) {
                std::int32_t day = 0;
                const char* stop = unit.data() + std::min(d + 8, unit.size());
                const auto parsed = std::from_chars(unit.data() + d, stop, day);
                same = parsed.ec == std::errc() && parsed.ptr == unit.data() + d + 8 && validDate(day) &&
                       (d + 8 == unit.size() || unit[d + 8] == ',');
                days.push_back(day);
            }
        }
        s.lines.push_back(unit);
        taken.entries.push_back(std::move(entry));
        while (same && at != std::string::npos) {
            const std::size_t next = line.find("\t@", at + 2), end = next == std::string::npos ? line.size() : next;
            const std::size_t equals = line.rfind('=', end);
            std::uint64_t length = 0;
            const auto parsed = std::from_chars(line.data() + equals + 1, line.data() + end, length);
            same = equals != std::string::npos && equals > at + 2 && parsed.ec == std::errc() &&
                   parsed.ptr == line.data() + end;
            if (same) s.lengths[line.substr(at + 2, equals - at - 2)] = length;
            at = next;
        }
    }
    if (same) same = s.asRecorded(folder_);
    taken.startedOver = !real || (begun && !same);
    std::error_code ec;
    if (!same) {
        taken.entries.clear();
        taken.lacking.clear();
        s.lines.clear();
        s.lengths.clear();
        if (fs::remove_all(folder_, ec); ec) {
            error = echoText(folder_.string() + ": " + ec.message());
            return false;
        }
    }
    for (const char* sub : {"bars", "margin"}) fs::create_directories(folder_ / sub, ec);
    if (ec) {
        error = echoText(folder_.string() + ": " + ec.message());
        return false;
    }
    struct stat st {};
    s.identity = ::lstat(folder_.c_str(), &st) == 0 ? std::pair<dev_t, ino_t>{st.st_dev, st.st_ino}
                                                   : std::pair<dev_t, ino_t>{};
    // Rewritten when new, or when its last line was cut short: the next line must not follow that.
    if ((!same || (!bytes.empty() && bytes.back() != '\n')) && !s.writeProgress(folder_, error)) return false;
    return true;
}

bool HistoryScratch::unchanged() const {
    struct stat st {};
    return state_->identity.first && ::lstat(folder_.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
           state_->identity == std::pair<dev_t, ino_t>{st.st_dev, st.st_ino};
}

void HistoryScratch::add(const jquants::DailyBar& row) {
    state_->kind = "bars";
    if (row.code >= 1000 && row.code <= 9999) Record<jquants::DailyBar>::put(row, state_->packed[row.code / kCodesPerFile]);
}
void HistoryScratch::add(const jquants::MarginBalance& row) {
    state_->kind = "margin";
    if (row.code >= 1000 && row.code <= 9999)
        Record<jquants::MarginBalance>::put(row, state_->packed[row.code / kCodesPerFile]);
}
void HistoryScratch::add(const jquants::IndexBar& row) { Record<jquants::IndexBar>::put(row, state_->packed[kBuckets]); }

void HistoryScratch::clearUnit() {
    for (std::string& bytes : state_->packed) bytes.clear();
}

bool HistoryScratch::commit(const std::string& entry, const std::vector<std::int32_t>& lacking, std::string& error) {
    State& s = *state_;
    s.forgetLoaded();
    // One append to each file the unit's rows fall in.
    std::string unitLengths;
    for (int bucket = 0; bucket <= kBuckets; ++bucket) {
        std::string& bytes = s.packed[bucket];
        if (bytes.empty()) continue;
        const std::string name = bucket == kBuckets ? std::string("topix") : bucketName(s.kind, bucket * kCodesPerFile);
        if (!s.append(folder_, name, bytes, error)) {
            clearUnit();
            return false;
        }
        s.lengths[name] += bytes.size();
        unitLengths += "\t@" + name + '=' + std::to_string(s.lengths[name]);
        bytes.clear();
    }
    std::string line = entry;
    for (std::size_t i = 0; i < lacking.size(); ++i) line += (i ? "," : "\t+") + std::to_string(lacking[i]);
    // One line appended: the rows are in the files' page cache, and a run cut
    // short after it finds them there (before it, cuts them off).
    if (!appendBytes(folder_ / kProgress, line + unitLengths + '\n', error)) return false;
    s.lines.push_back(std::move(line));
    return true;
}

template <class Row>
bool HistoryScratch::State::read(const fs::path& folder, LoadedBucket& loaded, const char* kind, int code,
                                 std::int32_t first, std::int32_t last, std::vector<Row>& rows, std::string& error) {
    rows.clear();
    if (const std::string name = bucketName(kind, code); loaded.name != name)
        if (!loaded.load(folder, name, Record<Row>::kSize, from, to, error)) return false;
    for (const std::uint32_t at : loaded.at[code % kCodesPerFile]) {
        const Row row = Record<Row>::get(loaded.bytes.data() + at);
        if (row.code == code && row.date >= first && row.date <= last) rows.push_back(row);
    }
    byDateOnce(rows);
    return true;
}

bool HistoryScratch::bars(int code, std::int32_t from, std::int32_t to, std::vector<jquants::DailyBar>& rows,
                          std::string& error) {
    return state_->read(folder_, state_->loadedBars, "bars", code, from, to, rows, error);
}

bool HistoryScratch::margins(int code, std::int32_t from, std::int32_t to, std::vector<jquants::MarginBalance>& rows,
                             std::string& error) {
    return state_->read(folder_, state_->loadedMargin, "margin", code, from, to, rows, error);
}

bool HistoryScratch::topix(std::int32_t from, std::int32_t to, std::vector<jquants::IndexBar>& rows, std::string& error) {
    rows.clear();
    std::string bytes;
    errno = 0;
    if (!readWholeFile(folder_ / "topix", bytes, &error) && errno != ENOENT) return false;
    if (!scratchValid("topix", bytes, state_->from, state_->to)) {
        error = scratch_text::kDamaged + echoText((folder_ / "topix").string());
        return false;
    }
    constexpr std::size_t size = Record<jquants::IndexBar>::kSize;
    for (std::size_t at = 0; at + size <= bytes.size(); at += size)
        if (const jquants::IndexBar bar = Record<jquants::IndexBar>::get(bytes.data() + at); bar.date >= from && bar.date <= to)
            rows.push_back(bar);
    byDateOnce(rows);
    return true;
}

void HistoryScratch::close() { state_->close(); }

void HistoryScratch::discard() {
    state_->close();
    std::error_code ec;
    fs::remove_all(folder_, ec);
    state_->lines.clear();
    state_->lengths.clear();
    state_->forgetLoaded();
    clearUnit();
}

}  // namespace quarlink
