#include "core/health/price_csv.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <map>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "core/health/price_check.h"
#include "core/health/price_file_reader.h"
#include "core/store/atomic_file.h"
#include "core/store/batch_writer.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"
#include "core/store/price_file.h"
#include "core/store/price_series.h"

namespace quarlink {
namespace {

constexpr long long kMaxCsvBytes = 512LL << 20;
constexpr std::size_t kMaxRows = kMaxPriceFileBytes / kRecordSize;

char* putInt(char* p, std::int32_t v) { return std::to_chars(p, p + 12, v).ptr; }

char* putTwo(char* p, int v) {
    p[0] = static_cast<char>('0' + v / 10);
    p[1] = static_cast<char>('0' + v % 10);
    return p + 2;
}

char* putDate(char* p, std::int32_t d) {
    if (d < 10000101 || d > 99991231) return putInt(p, d);  // not YYYYMMDD: as stored
    const int year = d / 10000;
    p = putTwo(p, year / 100);
    p = putTwo(p, year % 100);
    *p++ = '-';
    p = putTwo(p, d / 100 % 100);
    *p++ = '-';
    return putTwo(p, d % 100);
}

enum Column { kDate, kOpen, kHigh, kLow, kClose, kVolume, kSell, kBuy, kColumns };
constexpr const char* kNames[kColumns] = {"date", "open", "high", "low", "close", "volume", "margin_sell", "margin_buy"};

std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// Splits one line at commas outside double quotes; quotes are removed ("" is one quote).
std::vector<std::string> splitCsvLine(std::string_view line) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted) {
            if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
                fields.back() += '"';
                ++i;
            } else if (c == '"') {
                quoted = false;
            } else {
                fields.back() += c;
            }
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// A whole number, or a decimal rounded to the nearest; thousands separators allowed.
bool parseValue(std::string_view text, std::int32_t& value) {
    std::string digits;
    for (char c : trim(text))
        if (c != ',') digits += c;
    if (digits.empty()) return false;
    std::size_t i = digits[0] == '-' || digits[0] == '+' ? 1 : 0;
    bool any = false, point = false;
    for (std::size_t j = i; j < digits.size(); ++j) {
        if (digits[j] >= '0' && digits[j] <= '9')
            any = true;
        else if (digits[j] == '.' && !point)
            point = true;
        else
            return false;
    }
    if (!any) return false;
    errno = 0;
    const double v = std::strtod(digits.c_str(), nullptr);
    const double r = std::round(v);
    if (errno == ERANGE || r < std::numeric_limits<std::int32_t>::min() || r > std::numeric_limits<std::int32_t>::max())
        return false;
    value = static_cast<std::int32_t>(r);
    return true;
}

bool parseDate(std::string_view text, std::int32_t& date) {
    text = trim(text);
    if (text == "-1") {
        date = kEndOfFileDate;
        return true;
    }
    std::string digits;
    if (text.size() == 10 && (text[4] == '-' || text[4] == '/') && text[7] == text[4])
        digits = std::string(text.substr(0, 4)) + std::string(text.substr(5, 2)) + std::string(text.substr(8, 2));
    else if (text.size() == 8)
        digits = std::string(text);
    else
        return false;
    std::int32_t d = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return false;
        d = d * 10 + (c - '0');
    }
    if (!isCalendarDate(d)) return false;
    date = d;
    return true;
}

std::string lineError(std::size_t line, const std::string& why) { return std::to_string(line) + "行目：" + why; }

// Takes a CSV a line at a time, so that a file is never held whole.
class RowReader {
public:
    explicit RowReader(std::int32_t today) : today_(today) { columnOf_.fill(-1); }

    // Splits `bytes` into lines, `pending` holding a line not yet ended; false
    // once a line is refused, after which nothing more is read.
    bool feed(std::string_view bytes, std::string& pending) {
        while (!bytes.empty()) {
            const std::size_t lf = bytes.find('\n');
            const std::string_view piece = bytes.substr(0, lf);
            if (pending.size() + piece.size() > kMaxCsvLineBytes)
                return fail(lineNo_ + 1, "行が長すぎます（" + std::to_string(kMaxCsvLineBytes) + "バイトまで）");
            pending += piece;
            if (lf == std::string_view::npos) break;
            if (!take(pending)) return false;
            pending.clear();
            bytes.remove_prefix(lf + 1);
        }
        return true;
    }

    CsvImport finish(const std::string& pending) && {
        if (result_.error.empty() && !pending.empty()) take(pending);
        if (result_.error.empty() && !header_) result_.error = "見出しの行がありません";
        return std::move(result_);
    }

private:
    bool fail(std::size_t line, const std::string& why) {
        result_.error = lineError(line, why);
        result_.rows.clear();
        return false;
    }

    bool take(std::string_view raw) {
        ++lineNo_;
        if (lineNo_ == 1 && raw.substr(0, 3) == "\xEF\xBB\xBF") raw.remove_prefix(3);
        const std::string_view line = trim(raw);
        if (line.empty()) return true;
        const std::vector<std::string> fields = splitCsvLine(line);
        return header_ ? row(fields) : header(fields);
    }

    bool header(const std::vector<std::string>& fields) {
        header_ = true;
        width_ = fields.size();
        for (std::size_t i = 0; i < fields.size(); ++i) {
            const std::string name = lower(trim(fields[i]));
            const auto* known =
                std::find_if(std::begin(kNames), std::end(kNames), [&](const char* k) { return name == k; });
            if (known == std::end(kNames)) return fail(lineNo_, "知らない列名です：" + echoText(trim(fields[i])));
            int& slot = columnOf_[static_cast<std::size_t>(known - std::begin(kNames))];
            if (slot >= 0) return fail(lineNo_, "列名が重複しています：" + name);
            slot = static_cast<int>(i);
        }
        for (int c = kDate; c <= kVolume; ++c)
            if (columnOf_[c] < 0) return fail(lineNo_, std::string("列がありません：") + kNames[c]);
        if ((columnOf_[kSell] < 0) != (columnOf_[kBuy] < 0))
            return fail(lineNo_, "margin_sell と margin_buy は両方そろえてください");
        result_.hasMargins = columnOf_[kSell] >= 0;
        return true;
    }

    bool row(const std::vector<std::string>& fields) {
        if (fields.size() != width_)
            return fail(lineNo_, "列の数が見出しと違います（" + std::to_string(fields.size()) + "列、見出しは" +
                                     std::to_string(width_) + "列）");
        if (result_.rows.size() == kMaxRows)
            return fail(lineNo_, "行が多すぎます（価格ファイルに入るのは" + std::to_string(kMaxRows) + "件まで）");
        const auto field = [&](int c) -> const std::string& { return fields[static_cast<std::size_t>(columnOf_[c])]; };
        std::int32_t v[kColumns] = {};
        if (!parseDate(field(kDate), v[kDate]))
            return fail(lineNo_, "日付が読めないか暦にありません：" + echoText(field(kDate)));
        // A record dated -1 is no day: its values are whatever the file held.
        const bool day = v[kDate] != kEndOfFileDate;
        for (int c = kOpen; c < kColumns; ++c) {
            if (columnOf_[c] < 0) continue;
            if (!parseValue(field(c), v[c]))
                return fail(lineNo_, std::string(kNames[c]) + " が数ではありません：" + echoText(field(c)));
            if (day && v[c] < 0) return fail(lineNo_, std::string(kNames[c]) + " が負です：" + echoText(field(c)));
        }
        const PriceRecord r{v[kDate], v[kOpen], v[kHigh], v[kLow], v[kClose], v[kVolume], v[kBuy], v[kSell]};
        if (day && r.date > today_) return fail(lineNo_, "今日より後の日付です");
        if (day && !pricesConsistent(r)) return fail(lineNo_, "高値・安値が始値・終値と矛盾しています");
        if (day && !seen_.insert(r.date).second) return fail(lineNo_, "同じ日付の行がすでにあります");
        result_.rows.push_back(r);
        return true;
    }

    std::int32_t today_;
    CsvImport result_;
    std::array<int, kColumns> columnOf_;
    std::size_t width_ = 0;
    std::size_t lineNo_ = 0;
    bool header_ = false;
    std::unordered_set<std::int32_t> seen_;
};

}  // namespace

std::string priceCsv(std::string_view image, std::int32_t from, std::int32_t to) {
    std::string out;
    appendPriceCsv(out, image, from, to);
    return out;
}

void appendPriceCsv(std::string& out, std::string_view image, std::int32_t from, std::int32_t to) {
    const std::size_t n = image.size() / kRecordSize;
    out.reserve(out.size() + 64 + n * 72);
    out += kPriceCsvHeader;
    out += '\n';
    const auto* base = reinterpret_cast<const unsigned char*>(image.data());
    char line[128];
    for (std::size_t i = 0; i < n; ++i) {
        const PriceRecord r = decodeRecord(base + i * kRecordSize);
        // A record dated -1 has no date within bounds; the whole file keeps it.
        const bool wanted = r.date == kEndOfFileDate ? !from && !to
                                                     : (!from || r.date >= from) && (!to || r.date <= to);
        if (!wanted) continue;
        char* p = putDate(line, r.date);
        for (const std::int32_t v : {r.open, r.high, r.low, r.close, r.volume, r.marginSell, r.marginBuy}) {
            *p++ = ',';
            p = putInt(p, v);
        }
        *p++ = '\n';
        out.append(line, static_cast<std::size_t>(p - line));
    }
}

CsvImport parsePriceCsv(std::string_view text, std::int32_t today) {
    RowReader reader(today);
    std::string pending;
    reader.feed(text, pending);
    return std::move(reader).finish(pending);
}

bool readPriceCsvFile(const std::filesystem::path& path, std::int32_t today, CsvImport& csv, std::string* error) {
    // A FIFO or a device must not hang or flood the import.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = fileErrorText("cannot open", path, errno);
        return false;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    const auto refuse = [&](std::string why) {
        ::close(fd);
        if (error) *error = std::move(why);
        return false;
    };
    const std::string tooLarge = fileReasonText("cannot read", path, "512 MBを超えています");
    if (!regular) return refuse(fileReasonText("cannot read", path, file_text::kNotRegular));
    if (st.st_size > kMaxCsvBytes) return refuse(tooLarge);
    RowReader reader(today);
    std::string pending;
    char buffer[65536];
    long long total = 0;
    for (bool more = true; more;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return refuse(fileErrorText("cannot read", path, errno));
        // A file that grows while read is held to the bound it was admitted under.
        if ((total += n) > kMaxCsvBytes) return refuse(tooLarge);
        more = n > 0 && reader.feed(std::string_view(buffer, static_cast<std::size_t>(n)), pending);
    }
    ::close(fd);
    csv = std::move(reader).finish(pending);
    return true;
}

ImportResult importPriceCsv(std::string_view existingImage, const CsvImport& csv, bool overwrite) {
    PriceSeries file, incoming;
    std::vector<PriceRecord> fileEnds;  // the file's records dated -1, in file order
    for (const PriceRecord& r : parseAllRecords(existingImage).rows)
        (r.date == kEndOfFileDate ? fileEnds : file.rows).push_back(r);
    // The CSV's rows dated -1, each with the date of the dated row before it.
    struct End {
        std::int32_t after;
        PriceRecord record;
    };
    std::vector<End> ends;
    std::int32_t after = std::numeric_limits<std::int32_t>::min();
    for (const PriceRecord& r : csv.rows) {
        if (r.date == kEndOfFileDate) {
            ends.push_back({after, r});
        } else {
            incoming.append(r);
            after = r.date;
        }
    }
    if (!csv.hasMargins) {
        // The file's balances: of the day itself, else of the nearest earlier day.
        PriceSeries sorted = file;
        sortByDate(sorted);
        std::vector<std::size_t> order(incoming.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return incoming[a].date < incoming[b].date; });
        std::size_t k = 0;
        const PriceRecord* last = nullptr;
        for (std::size_t i : order) {
            PriceRecord& r = incoming[i];
            while (k < sorted.size() && sorted[k].date <= r.date) last = &sorted[k++];
            r.marginBuy = last ? last->marginBuy : 0;
            r.marginSell = last ? last->marginSell : 0;
        }
    }
    ImportResult result;
    const auto count = [&](bool present) {
        int& n = !present ? result.added : overwrite ? result.replaced : result.kept;
        ++n;
    };
    std::unordered_set<std::int32_t> present;
    for (const PriceRecord& r : file.rows) present.insert(r.date);
    for (const PriceRecord& r : incoming.rows) count(present.count(r.date) > 0);
    // Identical records dated -1 are interchangeable: per content, how many
    // the file holds and how many of them the CSV's rows take the place of.
    std::map<RecordBytes, std::pair<int, int>> held;
    for (const PriceRecord& r : fileEnds) ++held[encodeRecord(r)].first;
    for (const End& e : ends) {
        const auto it = held.find(encodeRecord(e.record));
        const bool same = it != held.end() && it->second.second < it->second.first;
        if (same) ++it->second.second;
        count(same);
    }

    mergeSeries(file, incoming, overwrite);
    std::stable_sort(ends.begin(), ends.end(), [](const End& a, const End& b) { return a.after < b.after; });
    PriceSeries merged;
    merged.rows.reserve(file.size() + ends.size() + fileEnds.size());
    auto end = ends.begin();
    for (const PriceRecord& r : file.rows) {
        for (; end != ends.end() && end->after < r.date; ++end) merged.append(end->record);
        merged.append(r);
    }
    for (; end != ends.end(); ++end) merged.append(end->record);
    for (const PriceRecord& r : fileEnds)
        if (int& taken = held[encodeRecord(r)].second; taken > 0)
            --taken;
        else
            merged.append(r);
    result.image = serializePriceSeries(merged);
    return result;
}

bool exportPriceCsvFile(const std::filesystem::path& priceFile, const std::filesystem::path& csv,
                        std::string* error) {
    std::string bytes;
    return readPriceFileBytes(priceFile, bytes, error) && replaceFileAtomically(csv, priceCsv(bytes), error);
}

FolderExport exportPriceCsvFolder(const std::filesystem::path& dataFolder, const std::vector<int>& codes,
                                  std::int32_t from, std::int32_t to, const std::filesystem::path& out) {
    FolderExport result;
    BatchWriter batch;
    PriceFileReader reader;
    std::string_view image;
    std::string csv, error;
    for (int code : codes) {
        const std::string name = layout::codeName(code);
        csv.clear();
        const bool read = reader.read(dataFolder / name, image, &error);
        if (read) appendPriceCsv(csv, image, from, to);
        if (read && batch.replace(out / (name + ".csv"), csv, &error))
            ++result.written;
        else
            result.failures.push_back(error);
    }
    if (!batch.flush()) {
        result.written -= static_cast<int>(batch.failures().size());
        result.failures.insert(result.failures.end(), batch.failures().begin(), batch.failures().end());
    }
    return result;
}

}  // namespace quarlink
