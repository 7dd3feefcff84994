#pragma once
#include <cstddef>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace quarlink {

// Reads price files one after another into one buffer that grows to the
// largest of them and is kept: a run over thousands of files allocates (and
// faults in fresh pages) a few times instead of once per file. Opens as the
// store does (no symlink, no FIFO, at most 64 MB).
class PriceFileReader {
public:
    // The file's bytes, valid until the next read; false with `error` naming
    // the path and why.
    bool read(const std::filesystem::path& path, std::string_view& image, std::string* error = nullptr);

private:
    std::unique_ptr<char[]> buffer_;
    std::size_t size_ = 0;
};

}  // namespace quarlink
