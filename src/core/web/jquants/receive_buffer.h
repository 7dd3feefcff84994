#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace quarlink::jquants {

// The bytes of one answer, up to a limit. The address range of the largest
// answer is reserved once and only the pages written take memory, so an
// answer costs its own size: no copy made to grow it, whatever
// Content-Length says under gzip. Where the range cannot be reserved, a
// string grows instead.
class ReceiveBuffer {
public:
    explicit ReceiveBuffer(std::size_t limit);
    ~ReceiveBuffer();
    ReceiveBuffer(const ReceiveBuffer&) = delete;
    ReceiveBuffer& operator=(const ReceiveBuffer&) = delete;

    // False, keeping nothing more, once the answer would pass the limit.
    bool append(const char* bytes, std::size_t size);
    void assign(std::string_view text);
    void clear() { size_ = 0; }
    // Gives the pages written since the last release back to the system.
    void release();

    char* data() { return mapped_ ? mapped_ : fallback_.data(); }
    std::string_view view() const { return {mapped_ ? mapped_ : fallback_.data(), size_}; }

private:
    std::size_t limit_, reserved_ = 0;
    char* mapped_ = nullptr;
    std::size_t size_ = 0, touched_ = 0;
    std::string fallback_;
};

}  // namespace quarlink::jquants
