#include "core/store/index_table.h"

#include <cstdio>

#include "core/store/atomic_file.h"
#include "core/store/number_text.h"

namespace quarlink {
namespace {

std::string withoutLineEnds(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (char c : field)
        if (c != '\r' && c != '\n') out.push_back(c);
    return out;
}

// Takes the text up to the next "," (skipping it) or to the end.
std::string_view takeField(std::string_view& rest) {
    const std::size_t comma = rest.find(',');
    const std::string_view field = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view{} : rest.substr(comma + 1);
    return field;
}

int parseCode(std::string_view field) {
    const std::string code = withoutLineEnds(field);
    if (code.empty()) return -1;
    int value = 0;
    for (char c : code) {
        if (c < '0' || c > '9') return -1;
        value = value * 10 + (c - '0');
        if (value >= kCodeCount) return -1;
    }
    return value;
}

}  // namespace

void IndexTable::clearEntry(int code) {
    if (code < 0 || code >= kCodeCount) return;
    name[code].clear();
    market[code].clear();
    unit[code].clear();
    flags[code].clear();
}

void readIndexTable(std::string_view text, IndexTable& table) {
    bool header = true;
    forEachLine(text, [&](std::string_view line) {
        if (header) {
            header = false;
            table.date = clampToInt32(leadingInteger(line.substr(std::min<std::size_t>(5, line.size()), 8)));
            return;
        }
        std::string_view rest = line;
        const int code = parseCode(takeField(rest));
        if (code < 0) return;
        table.name[code] = withoutLineEnds(takeField(rest));
        table.market[code] = withoutLineEnds(takeField(rest));
        table.unit[code] = withoutLineEnds(takeField(rest));
        table.flags[code] = withoutLineEnds(rest);
    });
}

std::string writeIndexTable(const IndexTable& table, std::int32_t headerDate) {
    std::string out;
    out.reserve(256 * 1024);
    char header[32];
    std::snprintf(header, sizeof header, "date=%08d\r\n", headerDate);
    out += header;
    for (int code = 0; code < kCodeCount; ++code) {
        if (!table.isRegistered(code)) continue;
        char digits[8];
        std::snprintf(digits, sizeof digits, "%04d", code);
        out += digits;
        for (const auto* field : {&table.name, &table.market, &table.unit}) {
            out += ',';
            out += withoutLineEnds((*field)[code]);
        }
        const std::string flags = withoutLineEnds(table.flags[code]);
        if (!flags.empty()) {
            out += ',';
            out += flags;
        }
        out += "\r\n";
    }
    return out;
}

int readCodeList(std::string_view text, std::vector<int>& codes) {
    codes.clear();
    bool header = true;
    int result = 1;
    forEachLine(text, [&](std::string_view line) {
        if (result < 0) return;
        if (header) {
            header = false;
            if (line.substr(0, 5) == "code=") result = -1;
            return;
        }
        int code = 0;
        for (std::size_t i = 0; i < 4; ++i) {
            const char c = i < line.size() ? line[i] : '\0';
            code = code * 10 + (c >= '0' && c <= '9' ? c - '0' : 0);
        }
        codes.push_back(code);
    });
    return result;
}

bool loadIndexTable(const std::filesystem::path& path, IndexTable& table) {
    std::string bytes;
    if (!readWholeFile(path, bytes)) return false;
    readIndexTable(bytes, table);
    return true;
}

bool saveIndexTable(const std::filesystem::path& path, const IndexTable& table, std::int32_t headerDate,
                    std::string* error) {
    return replaceFileAtomically(path, writeIndexTable(table, headerDate), error);
}

int loadCodeList(const std::filesystem::path& path, std::vector<int>& codes) {
    std::string bytes;
    codes.clear();
    if (!readWholeFile(path, bytes)) return 0;
    return readCodeList(bytes, codes);
}

}  // namespace quarlink
