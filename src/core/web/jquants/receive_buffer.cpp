#include "core/web/jquants/receive_buffer.h"

#include <algorithm>
#include <cstring>
#include <sys/mman.h>
#include <unistd.h>

namespace quarlink::jquants {

ReceiveBuffer::ReceiveBuffer(std::size_t limit) : limit_(limit) {
    const std::size_t page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    reserved_ = (limit + page - 1) / page * page;
    void* range = ::mmap(nullptr, reserved_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    if (range != MAP_FAILED) mapped_ = static_cast<char*>(range);
}

ReceiveBuffer::~ReceiveBuffer() {
    if (mapped_) ::munmap(mapped_, reserved_);
}

bool ReceiveBuffer::append(const char* bytes, std::size_t size) {
    if (size > limit_ - size_) return false;
    if (mapped_) {
        std::memcpy(mapped_ + size_, bytes, size);
    } else {
        fallback_.resize(size_);
        fallback_.append(bytes, size);
    }
    size_ += size;
    touched_ = std::max(touched_, size_);
    return true;
}

void ReceiveBuffer::assign(std::string_view text) {
    clear();
    append(text.data(), text.size());
}

void ReceiveBuffer::release() {
    if (mapped_ && touched_) ::madvise(mapped_, touched_, MADV_DONTNEED);
    else if (!mapped_) fallback_ = std::string();
    touched_ = 0;
    size_ = 0;
}

}  // namespace quarlink::jquants
