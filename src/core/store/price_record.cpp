#include "core/store/price_record.h"

#include <bit>
#include <cstring>

namespace quarlink {
namespace {

void put(unsigned char* out, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<unsigned char>(v);
    out[1] = static_cast<unsigned char>(v >> 8);
    out[2] = static_cast<unsigned char>(v >> 16);
    out[3] = static_cast<unsigned char>(v >> 24);
}

std::int32_t get(const unsigned char* bytes, std::size_t available, std::size_t offset) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        const std::uint32_t b = offset + i < available ? bytes[offset + i] : 0xFFu;
        v |= b << (8 * i);
    }
    return static_cast<std::int32_t>(v);
}

}  // namespace

void encodeRecord(const PriceRecord& r, unsigned char* out) {
    if constexpr (std::endian::native == std::endian::little) {
        const std::int32_t fields[8] = {r.date, r.open, r.high, r.low, r.close, r.volume, r.marginSell, r.marginBuy};
        std::memcpy(out, fields, kRecordSize);
        return;
    }
    put(out + 0, r.date);
    put(out + 4, r.open);
    put(out + 8, r.high);
    put(out + 12, r.low);
    put(out + 16, r.close);
    put(out + 20, r.volume);
    put(out + 24, r.marginSell);
    put(out + 28, r.marginBuy);
}

RecordBytes encodeRecord(const PriceRecord& record) {
    RecordBytes bytes{};
    encodeRecord(record, bytes.data());
    return bytes;
}

PriceRecord decodeRecord(const unsigned char* bytes, std::size_t available) {
    if (available > kRecordSize) available = kRecordSize;
    PriceRecord r;
    if constexpr (std::endian::native == std::endian::little) {
        if (available == kRecordSize) {
            std::int32_t fields[8];
            std::memcpy(fields, bytes, kRecordSize);
            r = {fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[7], fields[6]};
            return r;
        }
    }
    r.date = get(bytes, available, 0);
    r.open = get(bytes, available, 4);
    r.high = get(bytes, available, 8);
    r.low = get(bytes, available, 12);
    r.close = get(bytes, available, 16);
    r.volume = get(bytes, available, 20);
    r.marginSell = get(bytes, available, 24);
    r.marginBuy = get(bytes, available, 28);
    return r;
}

}  // namespace quarlink
