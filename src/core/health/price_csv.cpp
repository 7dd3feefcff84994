#include "health/price_csv.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_set>

#include "health/price_check.h"
#include "health/price_file_reader.h"
#include "store/atomic_file.h"
#include "store/batch_writer.h"
#include "store/folder_layout.h"
#include "store/index_table.h"
#include "store/price_file.h"
#include "store/price_series.h"

namespace quarlink {
namespace {

constexpr long long kMaxCsvBytes = 512LL << 20;

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
        if (r.date == kEndOfFileDate) break;  // no reader gets past it
        if ((from && r.date < from) || (to && r.date > to)) continue;
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
    CsvImport result;
    if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    std::array<int, kColumns> columnOf;
    columnOf.fill(-1);
    std::size_t width = 0;
    std::size_t lineNo = 0;
    bool header = false;
    std::unordered_set<std::int32_t> seen;
    auto fail = [&](std::size_t line, const std::string& why) {
        result.error = lineError(line, why);
        result.rows.clear();
    };
    forEachLine(text, [&](std::string_view raw) {
        ++lineNo;
        if (!result.error.empty()) return;
        const std::string_view line = trim(raw);
        if (line.empty()) return;
        const std::vector<std::string> fields = splitCsvLine(line);
        if (!header) {
            header = true;
            width = fields.size();
            for (std::size_t i = 0; i < fields.size(); ++i) {
                const std::string name = lower(trim(fields[i]));
                const auto* known = std::find_if(std::begin(kNames), std::end(kNames),
                                                 [&](const char* k) { return name == k; });
                if (known == std::end(kNames)) return fail(lineNo, "知らない列名です：" + std::string(trim(fields[i])));
                int& slot = columnOf[static_cast<std::size_t>(known - std::begin(kNames))];
                if (slot >= 0) return fail(lineNo, "列名が重複しています：" + name);
                slot = static_cast<int>(i);
            }
            for (int c = kDate; c <= kVolume; ++c)
                if (columnOf[c] < 0) return fail(lineNo, std::string("列がありません：") + kNames[c]);
            if ((columnOf[kSell] < 0) != (columnOf[kBuy] < 0))
                return fail(lineNo, "margin_sell と margin_buy は両方そろえてください");
            result.hasMargins = columnOf[kSell] >= 0;
            return;
        }
        if (fields.size() != width)
            return fail(lineNo, "列の数が見出しと違います（" + std::to_string(fields.size()) + "列、見出しは" +
                                    std::to_string(width) + "列）");
        std::int32_t v[kColumns] = {};
        if (!parseDate(fields[static_cast<std::size_t>(columnOf[kDate])], v[kDate]))
            return fail(lineNo, "日付が読めないか暦にありません：" + fields[static_cast<std::size_t>(columnOf[kDate])]);
        for (int c = kOpen; c < kColumns; ++c) {
            if (columnOf[c] < 0) continue;
            const std::string& field = fields[static_cast<std::size_t>(columnOf[c])];
            if (!parseValue(field, v[c])) return fail(lineNo, std::string(kNames[c]) + " が数ではありません：" + field);
            if (v[c] < 0) return fail(lineNo, std::string(kNames[c]) + " が負です：" + field);
        }
        const PriceRecord r{v[kDate], v[kOpen], v[kHigh], v[kLow], v[kClose], v[kVolume], v[kBuy], v[kSell]};
        if (r.date > today) return fail(lineNo, "今日より後の日付です");
        if (!pricesConsistent(r)) return fail(lineNo, "高値・安値が始値・終値と矛盾しています");
        if (!seen.insert(r.date).second) return fail(lineNo, "同じ日付の行がすでにあります");
        result.rows.push_back(r);
    });
    if (result.error.empty() && !header) result.error = "見出しの行がありません";
    return result;
}

ImportResult importPriceCsv(std::string_view existingImage, const CsvImport& csv, bool overwrite) {
    PriceSeries incoming;
    incoming.rows = csv.rows;
    if (!csv.hasMargins) {
        // The file's balances: of the day itself, else of the nearest earlier day.
        PriceSeries file = parsePriceSeries(existingImage);
        sortByDate(file);
        std::vector<std::size_t> order(incoming.size());
        for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
        std::stable_sort(order.begin(), order.end(),
                         [&](std::size_t a, std::size_t b) { return incoming[a].date < incoming[b].date; });
        std::size_t k = 0;
        const PriceRecord* last = nullptr;
        for (std::size_t i : order) {
            PriceRecord& r = incoming[i];
            while (k < file.size() && file[k].date <= r.date) last = &file[k++];
            r.marginBuy = last ? last->marginBuy : 0;
            r.marginSell = last ? last->marginSell : 0;
        }
    }
    ImportResult result;
    std::unordered_set<std::int32_t> present;
    for (const PriceRecord& r : parsePriceSeries(existingImage).rows) present.insert(r.date);
    for (const PriceRecord& r : incoming.rows) {
        if (!present.count(r.date))
            ++result.added;
        else if (overwrite)
            ++result.replaced;
        else
            ++result.kept;
    }
    result.image = mergePriceImages(existingImage, serializePriceSeries(incoming), overwrite);
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

bool readCsvFile(const std::filesystem::path& path, std::string& text, std::string* error) {
    // A FIFO or a device must not hang or flood the import.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = fileErrorText("cannot open", path, errno);
        return false;
    }
    struct stat st {};
    const bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    if (!regular || st.st_size > kMaxCsvBytes) {
        if (error) *error = "cannot read " + path.string() + (regular ? ": larger than 512 MB" : ": not a regular file");
        return false;
    }
    return readWholeFile(path, text, error);
}

}  // namespace quarlink
