#include "store/text_encoding.h"

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
            // EILSEQ or EINVAL (truncated sequence): replace one byte, go on.
            out.append(replacement);
            ++src;
            --srcLeft;
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
std::string eucJpToUtf8(std::string_view s) { return convert(s, kEucJp, "UTF-8", "\xEF\xBF\xBD"); }
std::string utf8ToEucJp(std::string_view s) { return convert(s, "UTF-8", kEucJp, "?"); }

}  // namespace quarlink
