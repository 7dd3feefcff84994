#include "core/jobs/code_cursor.h"

#include "core/store/index_table.h"

namespace quarlink {

void CodeCursor::begin(bool onlyIndexed, const std::filesystem::path& indexFile) {
    indexOnly = onlyIndexed;
    if (!indexOnly) return;
    std::vector<int> list;
    if (loadCodeList(indexFile, list) != 0) codes = std::move(list);
}

bool CodeCursor::advance(int& current) {
    if (current == kNikkeiCode) {
        if (!indexOnly) {
            current = kFirstStockCode;
            return true;
        }
        if (position >= codes.size()) return false;
        current = codes[position++];
        return true;
    }
    if (current >= kLastCode) return false;
    if (!indexOnly) {
        ++current;
        return true;
    }
    if (position >= codes.size()) return false;
    current = codes[position++];
    return true;
}

bool CodeCursor::seek(int code, int& current) {
    if (code == kNikkeiCode) {
        position = 0;
        current = kNikkeiCode;
        return true;
    }
    if (!indexOnly) {
        if (code < 0 || code > kLastCode) return false;
        current = code;
        return true;
    }
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (codes[i] == code) {
            current = code;
            position = i + 1;
            return true;
        }
    for (std::size_t i = 0; i < codes.size(); ++i)
        if (codes[i] > code) {
            current = codes[i];
            position = i + 1;
            return true;
        }
    return false;
}

bool CodeCursor::seekOnce(std::optional<int>& code, int& current) {
    if (!code) return true;
    const int target = *code;
    code.reset();
    return seek(target, current);
}

}  // namespace quarlink
