#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

namespace quarlink {

// One trading day of the chart program's price files. In memory buy comes
// before sell; on disk sell is stored first (see encodeRecord).
struct PriceRecord {
    std::int32_t date = -1;
    std::int32_t open = 0;
    std::int32_t high = 0;
    std::int32_t low = 0;
    std::int32_t close = 0;
    std::int32_t volume = 0;
    std::int32_t marginBuy = 0;
    std::int32_t marginSell = 0;

    friend bool operator==(const PriceRecord&, const PriceRecord&) = default;
};

inline constexpr std::size_t kRecordSize = 32;
inline constexpr std::int32_t kEndOfFileDate = -1;

using RecordBytes = std::array<unsigned char, kRecordSize>;

RecordBytes encodeRecord(const PriceRecord& record);
void encodeRecord(const PriceRecord& record, unsigned char* out);

// Decodes `available` bytes (at most 32); bytes past them read as 0xFF, as a
// read at end of file does, so decoding nothing gives date -1.
PriceRecord decodeRecord(const unsigned char* bytes, std::size_t available = kRecordSize);

}  // namespace quarlink
