#include "core/store/sjis_text.h"

namespace quarlink {
namespace {

bool isBlank(unsigned char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::size_t charLength(std::string_view s, std::size_t i) {
    return isSjisLeadByte(static_cast<unsigned char>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

}  // namespace

std::size_t sjisFind(std::string_view haystack, std::string_view needle) {
    if (needle.empty()) return 0;
    for (std::size_t i = 0; i + needle.size() <= haystack.size(); i += charLength(haystack, i)) {
        if (haystack.compare(i, needle.size(), needle) == 0) return i;
    }
    return std::string_view::npos;
}

std::string sjisTrim(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size() && isBlank(static_cast<unsigned char>(text[begin]))) ++begin;
    std::size_t end = begin;  // one past the last non-blank character
    for (std::size_t i = begin; i < text.size();) {
        const std::size_t len = charLength(text, i);
        if (len == 2 || !isBlank(static_cast<unsigned char>(text[i]))) end = i + len;
        i += len;
    }
    return std::string(text.substr(begin, end - begin));
}

std::string trimBlanks(std::string_view text) {
    std::size_t begin = 0, end = text.size();
    while (begin < end && isBlank(static_cast<unsigned char>(text[begin]))) ++begin;
    while (end > begin && isBlank(static_cast<unsigned char>(text[end - 1]))) --end;
    return std::string(text.substr(begin, end - begin));
}

}  // namespace quarlink
