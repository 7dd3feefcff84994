#pragma once
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quarlink {

inline constexpr int kCodeCount = 10000;
inline constexpr int kFirstUnprotectedCode = 600;  // 0000..0599 are indices and special series

// The chart program's index.txt in memory. Texts are the file's Shift-JIS
// bytes; a code is registered when its name is non-empty.
struct IndexTable {
    std::vector<std::string> name = std::vector<std::string>(kCodeCount);
    std::vector<std::string> market = std::vector<std::string>(kCodeCount);
    std::vector<std::string> unit = std::vector<std::string>(kCodeCount);
    std::vector<std::string> flags = std::vector<std::string>(kCodeCount);
    std::int32_t date = 0;

    bool isRegistered(int code) const { return code >= 0 && code < kCodeCount && !name[code].empty(); }
    void clearEntry(int code);
};

// Fills the table from the file's bytes (CR LF or LF lines, any length). An
// empty text leaves the table unchanged. A code line whose code is not a
// number in 0..9999 is ignored.
void readIndexTable(std::string_view text, IndexTable& table);

// The file image: "date=%08d" and one line per registered code, CR LF ends.
std::string writeIndexTable(const IndexTable& table, std::int32_t headerDate);

// The update jobs' code list: one code per line after the header, from the
// line's first four characters. Returns -1 (empty list) for a "code=" file.
int readCodeList(std::string_view text, std::vector<int>& codes);

// File forms. Load returns false when the file cannot be read; the code list
// reader returns 0 then. Save replaces the file atomically.
bool loadIndexTable(const std::filesystem::path& path, IndexTable& table);
bool saveIndexTable(const std::filesystem::path& path, const IndexTable& table, std::int32_t headerDate,
                    std::string* error = nullptr);
int loadCodeList(const std::filesystem::path& path, std::vector<int>& codes);

// Calls `line` for each line of `text` without its LF (a CR stays); a last
// line without LF counts, an empty text has no lines.
template <typename F>
void forEachLine(std::string_view text, F&& line) {
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t lf = text.find('\n', pos);
        const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
        line(text.substr(pos, end - pos));
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
    }
}

}  // namespace quarlink
