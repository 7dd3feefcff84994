#include "core/portfolio/portfolio_rows.h"

#include <cstdio>
#include <limits>

#include "core/store/index_table.h"
#include "core/store/number_text.h"
#include "core/store/text_encoding.h"

namespace quarlink {

std::vector<std::string> splitLines(std::string_view bytes) {
    std::vector<std::string> lines;
    forEachLine(bytes, [&](std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        lines.emplace_back(line);
    });
    return lines;
}

PortfolioRow splitFields(std::string_view line, std::size_t count) {
    PortfolioRow row(count);
    std::size_t pos = 0;
    for (std::size_t i = 0; i < count && pos <= line.size(); ++i) {
        const std::size_t comma = line.find(',', pos);
        const std::size_t end = comma == std::string_view::npos ? line.size() : comma;
        for (char c : line.substr(pos, end - pos))
            if (c != '\r' && c != '\n') row[i].push_back(c);
        if (comma == std::string_view::npos) break;
        pos = comma + 1;
    }
    return row;
}

std::string cleanField(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '\n' && c != '\r' && c != ',') out.push_back(c);
    return out;
}

std::string joinFields(const PortfolioRow& row) {
    std::string line;
    for (std::size_t i = 0; i < row.size(); ++i) {
        if (i) line.push_back(',');
        line += cleanField(row[i]);
    }
    line += "\r\n";
    return line;
}

bool isPortfolioNumber(std::string_view number) {
    if (number.empty()) return false;
    for (char c : number)
        if (c < '0' || c > '9') return false;
    return true;
}

std::string fileNamePart(std::string_view text) {
    std::string part(text);
    for (char& c : part)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '_';
    return part;
}

std::int32_t fieldNumber(std::string_view text) { return clampToInt32(leadingInteger(text)); }

std::int64_t amountNumber(std::string_view text) { return leadingInteger(text); }

void addToTotal(std::int64_t& total, std::int64_t term) {
    if (__builtin_add_overflow(total, term, &total))
        total = term > 0 ? std::numeric_limits<std::int64_t>::max() : std::numeric_limits<std::int64_t>::min();
}

std::int32_t fieldDate(std::string_view text) {
    std::string digits;
    for (char c : text)
        if (c != '/') digits.push_back(c);
    return fieldNumber(digits);
}

std::string formatDate(int year, int month, int day) { return slashDate(year * 10000 + month * 100 + day); }

std::string recordDateText(std::int32_t yyyymmdd) {
    std::string text = std::to_string(yyyymmdd);
    if (text.size() > 6) text.insert(6, "/");
    if (text.size() > 4) text.insert(4, "/");
    return text;
}

std::string sjis(std::string_view utf8) { return utf8ToCp932(utf8); }

}  // namespace quarlink
