#include "core/store/text_encoding.h"

#include <cerrno>
#include <iconv.h>

namespace quarlink {
namespace {

// The Microsoft variants: plain "SHIFT_JIS" maps 0x5C to the yen sign, and
// pages made on Windows use the MS forms of 〜 − ‖.
constexpr const char* kCp932 = "CP932";
constexpr const char* kEucJp = "EUC-JP-MS";

std::string convert(std::string_view in, const char* from, const char* to, std::string_view replacement) {
    iconv_t cd = ::iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::string(in);
    const bool fromUtf8 = std::string_view(from) == "UTF-8";
    std::string out;
    out.reserve(in.size() * 3 / 2 + 16);
    char buffer[4096];
    auto* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    while (srcLeft > 0) {
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const std::size_t r = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        out.append(buffer, static_cast<std::size_t>(dst - buffer));
        if (r == static_cast<std::size_t>(-1)) {
            if (errno == E2BIG) continue;
            // EILSEQ or EINVAL (truncated sequence): one replacement for the
            // whole character, so a name keeps its length in characters.
            std::size_t skip = 1;
            if (fromUtf8)
                while (skip < srcLeft && skip < 4 && (static_cast<unsigned char>(src[skip]) & 0xC0) == 0x80) ++skip;
            out.append(replacement);
            src += skip;
            srcLeft -= skip;
            ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
    }
    char* dst = buffer;
    std::size_t dstLeft = sizeof buffer;
    ::iconv(cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(buffer, static_cast<std::size_t>(dst - buffer));
    ::iconv_close(cd);
    return out;
}

}  // namespace

std::string cp932ToUtf8(std::string_view s) { return convert(s, kCp932, "UTF-8", "\xEF\xBF\xBD"); }
std::string utf8ToCp932(std::string_view s) { return convert(s, "UTF-8", kCp932, "?"); }
std::string withoutCp932Form(std::string_view utf8) {
    iconv_t cd = ::iconv_open(kCp932, "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) return {};
    std::string missing;
    for (std::size_t at = 0; at < utf8.size();) {
        const auto lead = static_cast<unsigned char>(utf8[at]);
        const std::size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
        const std::string_view one = utf8.substr(at, length);
        auto* src = const_cast<char*>(one.data());
        std::size_t srcLeft = one.size();
        char buffer[16];
        char* dst = buffer;
        std::size_t dstLeft = sizeof buffer;
        const bool converts = ::iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<std::size_t>(-1) && srcLeft == 0;
        ::iconv(cd, nullptr, nullptr, nullptr, nullptr);
        if (!converts && missing.find(one) == std::string::npos) missing.append(one);
        at += one.size();
    }
    ::iconv_close(cd);
    return missing;
}

std::string cp932Refusal(std::string_view what, std::string_view utf8) {
    const std::string missing = withoutCp932Form(utf8);
    if (missing.empty()) return {};
    return std::string(what) + "にShift-JISで表せない文字があります：" + missing;
}

std::string eucJpToUtf8(std::string_view s) { return convert(s, kEucJp, "UTF-8", "\xEF\xBF\xBD"); }
std::string utf8ToEucJp(std::string_view s) { return convert(s, "UTF-8", kEucJp, "?"); }

}  // namespace quarlink
