#pragma once
#include <string>
#include <string_view>

namespace quarlink {

// File texts are Shift-JIS (CP932) bytes and page texts EUC-JP bytes; they
// are converted only to show them or to turn fixed UTF-8 texts into the bytes
// of a file or page. Invalid input bytes become U+FFFD ("?" towards legacy
// encodings) rather than failing the whole text; a UTF-8 character without a
// legacy form becomes one "?", whatever its length in bytes.
std::string cp932ToUtf8(std::string_view cp932);
std::string utf8ToCp932(std::string_view utf8);
// The characters of `utf8` that have no CP932 form, each once, in order of
// first appearance; empty when the whole text converts.
std::string withoutCp932Form(std::string_view utf8);
// "<what>にShift-JISで表せない文字があります：<chars>", or empty when the text converts.
std::string cp932Refusal(std::string_view what, std::string_view utf8);
std::string eucJpToUtf8(std::string_view eucJp);
std::string utf8ToEucJp(std::string_view utf8);

// The literal form used in code: u8"..." texts as std::string.
inline std::string u8s(std::u8string_view text) { return std::string(text.begin(), text.end()); }

}  // namespace quarlink
