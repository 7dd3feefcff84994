#pragma once
#include <filesystem>
#include <map>
#include <string>
#include <string_view>

namespace quarlink {

// Replaces many files in a row, each atomically (a kill leaves every target
// old or new), but without the per-file cost of the one-off writer:
// - no flush per file: flush() (or the destructor, so a cancelled job is
//   covered too) flushes each file system once;
// - no inode freed and allocated per file: the new content goes into a spare
//   file in the target's folder, which is then exchanged with the target, so
//   the old content becomes the next spare. File systems slow down badly when
//   thousands of inodes are freed and allocated in a burst.
// Spares carry the temporary-file names, so a killed run's spares are removed
// at the next start like any other leftover.
class BatchWriter {
public:
    BatchWriter() = default;
    ~BatchWriter() { flush(); }
    BatchWriter(BatchWriter&& other) noexcept;
    BatchWriter(const BatchWriter&) = delete;
    BatchWriter& operator=(const BatchWriter&) = delete;
    BatchWriter& operator=(BatchWriter&&) = delete;

    bool replace(const std::filesystem::path& target, std::string_view bytes, std::string* error = nullptr);
    bool copy(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error = nullptr);

    // Removes the spares and flushes what was written. False when a file
    // system reported an error while flushing.
    bool flush();

private:
    // Writes a target that does not exist yet; `handled` is false when this
    // file system cannot do it this way (the caller then uses a spare).
    bool createNew(const std::filesystem::path& target, std::string_view bytes, std::string* error, bool& handled);

    std::map<std::filesystem::path, std::filesystem::path> spares_;  // folder -> spare file
    std::map<std::filesystem::path, bool> written_;                   // folders to flush
};

}  // namespace quarlink
