#include "core/health/price_file_reader.h"

#include <algorithm>
#include <cerrno>
#include <unistd.h>

#include "core/store/atomic_file.h"

namespace quarlink {

bool PriceFileReader::read(const std::filesystem::path& path, std::string_view& image, std::string* error) {
    int fd = -1;
    long long size = 0;
    if (!openPriceFileForReading(path, fd, size, error)) return false;
    // A little room beyond the file, so that growth while reading is seen and bounded.
    const std::size_t want = static_cast<std::size_t>(size) + 4096;
    if (want > size_) {
        size_ = std::max(want, size_ * 2);
        buffer_ = std::make_unique<char[]>(size_);
    }
    std::size_t got = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buffer_.get() + got, size_ - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            if (error) *error = fileErrorText("cannot read", path, errno);
            ::close(fd);
            return false;
        }
        got += static_cast<std::size_t>(n);
        if (n == 0 || got == size_) break;
    }
    ::close(fd);
    image = std::string_view(buffer_.get(), std::min<std::size_t>(got, static_cast<std::size_t>(kMaxPriceFileBytes)));
    return true;
}

}  // namespace quarlink
