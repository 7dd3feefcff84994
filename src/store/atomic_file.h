#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace quarlink {

// Synced: the file and its folder are flushed before the writer reports
// success. Deferred: the rename is still atomic (a killed process leaves the
// old file or the new one), but flushing is left to one syncFileSystem() call
// at the end of a batch, which is what makes copying thousands of files fast.
enum class Durability { Synced, Deferred };

// Every whole-file rewrite goes through here: the new content goes into a
// temporary file beside the target, is flushed to disk, and is renamed over
// the target. A crash, kill or full disk leaves either the old file or the
// new one, never a mixture.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target, Durability durability = Durability::Synced);
    ~AtomicFileWriter();  // discards the temporary file unless committed
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    bool open();
    bool write(std::string_view bytes);
    bool commit();
    void discard();

    // errno-style text of the first failure, empty when none.
    const std::string& error() const { return error_; }
    const std::filesystem::path& target() const { return target_; }

private:
    bool fail(const char* step, int err);

    std::filesystem::path target_;
    Durability durability_;
    std::filesystem::path temp_;
    int fd_ = -1;
    bool failed_ = false;
    std::string error_;
};

// Replaces `target` with `bytes`; on failure the old file is untouched and
// `error` (if given) says why.
bool replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::string* error = nullptr, Durability durability = Durability::Synced);

// Copies `source` over `target` through a temporary file. A missing or
// unreadable source fails without touching the target.
bool copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        std::string* error = nullptr, Durability durability = Durability::Synced);

// Flushes the file system that holds `path` (after a batch of deferred writes).
bool syncFileSystem(const std::filesystem::path& path);

// Reads a whole file. Returns false when it cannot be opened or read.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string* error = nullptr);

// True for the names the writer gives its temporary files.
bool isTemporaryFileName(std::string_view fileName);

// Removes temporary files left in `folder` by a writer that was killed.
// Returns how many were removed.
int removeStaleTemporaryFiles(const std::filesystem::path& folder);

}  // namespace quarlink
