#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quarlink {

// Shift-JIS helpers that step over double-byte characters, so that a trail
// byte is never taken for an ASCII character.
inline bool isSjisLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Position of `needle` in `haystack` starting on a character boundary, or npos.
std::size_t sjisFind(std::string_view haystack, std::string_view needle);

// Removes leading and trailing space, tab, CR, LF, VT and FF; a trailing
// byte that completes a double-byte character is never taken for blank.
std::string sjisTrim(std::string_view text);

// Plain trim of the same blanks, for UTF-8 texts (paths).
std::string trimBlanks(std::string_view text);

}  // namespace quarlink
