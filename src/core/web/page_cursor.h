#pragma once
#include <cstdint>
#include <string>
#include <string_view>

namespace quarlink {

// Cuts a page from the front by marker strings: each search starts at the
// beginning of what remains and matches the marker's bytes exactly.
class PageCursor {
public:
    explicit PageCursor(std::string_view page) : rest_(page) {}

    bool contains(std::string_view marker) const { return rest_.find(marker) != std::string_view::npos; }
    // Drops the text up to and including the marker; false when it is absent.
    bool skipPast(std::string_view marker);
    // `value` becomes the text before the marker, which is dropped with it.
    bool takeUpTo(std::string_view marker, std::string_view& value);
    std::string_view rest() const { return rest_; }

private:
    std::string_view rest_;
};

// Price rule: every "," and "." removed, then the leading integer.
std::int32_t readPriceNumber(std::string_view text);
// Volume rule: every "," removed, then the leading integer (stops at a point).
std::int32_t readVolumeNumber(std::string_view text);
// The integer of the text the pages' date format gives ("%04d%02d%02d" when
// `zeroPadYear`, else "%4d%02d%02d"); year * 10000 + month * 100 + day for
// sound values.
std::int32_t composeDate(std::int64_t year, std::int64_t month, std::int64_t day, bool zeroPadYear);

}  // namespace quarlink
