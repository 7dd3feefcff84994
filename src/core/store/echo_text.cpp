#include "core/store/echo_text.h"

#include <cstdio>

namespace quarlink {
namespace {

// Length of the valid UTF-8 sequence at `at`, 0 when there is none.
std::size_t utf8Length(std::string_view s, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
    const unsigned char lead = byte(at);
    std::size_t n = 0;
    unsigned min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) n = 2, min = 0x80;
    else if (lead >= 0xE0 && lead <= 0xEF) n = 3, min = 0x800;
    else if (lead >= 0xF0 && lead <= 0xF4) n = 4, min = 0x10000;
    else return 0;
    if (at + n > s.size()) return 0;
    unsigned code = lead & (0x7F >> n);
    for (std::size_t i = 1; i < n; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(at + i) & 0x3F);
    }
    // Overlong forms, surrogates and the C1 controls are shown escaped too.
    if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF || (code >= 0x80 && code < 0xA0))
        return 0;
    return n;
}

}  // namespace

std::string echoText(std::string_view bytes, std::size_t limit) {
    std::string out;
    std::size_t at = 0;
    while (at < bytes.size()) {
        const unsigned char c = static_cast<unsigned char>(bytes[at]);
        std::string piece;
        std::size_t used = 1;
        if (c >= 0x20 && c < 0x7F) {
            piece.assign(1, static_cast<char>(c));
        } else if (c == '\n') {
            piece = "\\n";
        } else if (c == '\r') {
            piece = "\\r";
        } else if (c == '\t') {
            piece = "\\t";
        } else if (const std::size_t n = c >= 0x80 ? utf8Length(bytes, at) : 0) {
            piece.assign(bytes.substr(at, n));
            used = n;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", c);
            piece = hex;
        }
        if (out.size() + piece.size() > limit) {
            out += "…";
            break;
        }
        out += piece;
        at += used;
    }
    return out;
}

}  // namespace quarlink
