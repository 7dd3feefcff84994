#pragma once
#include <filesystem>
#include <string>
#include <string_view>

namespace quarlink {

// Every whole-file rewrite goes through here: the new content goes into a
// temporary file beside the target, is flushed to disk, and is renamed over
// the target. A crash, kill or full disk leaves either the old file or the
// new one, never a mixture.
class AtomicFileWriter {
public:
    explicit AtomicFileWriter(std::filesystem::path target);
    // The new file gets `mode` from its creation on (a secret is never
    // readable by others, not even in its temporary), not the old file's.
    AtomicFileWriter(std::filesystem::path target, unsigned mode);
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
    std::filesystem::path temp_;
    int fd_ = -1;
    int mode_ = -1;  // -1: the old file's, else 0666 less the umask
    bool failed_ = false;
    std::string error_;
};

// Replaces `target` with `bytes`; on failure the old file is untouched and
// `error` (if given) says why.
bool replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                           std::string* error = nullptr);

// Copies the price file `source` over `target` through a temporary file. A
// missing, odd or unreadable source fails without touching the target.
bool copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        std::string* error = nullptr);

// Flushes the file system that holds `path` (after a batch of writes).
bool syncFileSystem(const std::filesystem::path& path);

// The largest price file the jobs read (about two million records): a
// bigger one is refused rather than held in memory.
inline constexpr long long kMaxPriceFileBytes = 64LL << 20;

// How a file that may not be ours is opened. Strict (the chart folder's and
// the working folder's files): no symlink, no FIFO, only a regular file of at
// most 64 MB. FollowLinks: the same, but a symlink is followed (a file the
// user names in the options, such as a CA bundle).
enum class FileRule { Strict, FollowLinks };

// The one open every reader of such a file uses: `flags` (O_RDONLY, O_RDWR)
// plus the rule above, refusing files over `limit` bytes. Returns the
// descriptor, its size and (when asked) its number of names, or -1 with
// errno set and `why` saying what stands there (file_text::kSymlink,
// kNotRegular, kOver64MB, or the system's reason).
int openUserFile(const std::filesystem::path& path, int flags, long long limit, long long& size,
                 long* links = nullptr, std::string* why = nullptr);

// Opens a price file for reading without following a symlink and without
// blocking on a FIFO; on success `fd` is open and `size` is its length. False
// unless it is a regular file of sane size; `error` then names the path and
// why (file_text::kNotRegular, ...).
bool openPriceFileForReading(const std::filesystem::path& path, int& fd, long long& size, std::string* error);

enum class PriceFileKind { Missing, Regular, Odd };
// What stands at a price file's name, without following a symlink; for an
// odd one `why` says what it is; `size` gets its length.
PriceFileKind examinePriceFile(const std::filesystem::path& path, std::string* why = nullptr,
                               long long* size = nullptr);

// Reads a whole price file opened as above. Missing, odd or oversized files
// fail with a text naming the path.
bool readPriceFileBytes(const std::filesystem::path& path, std::string& bytes, std::string* error = nullptr);

// Reads a whole file under `rule` (never blocking, at most 64 MB). Returns
// false when it cannot be opened or read, or is not a regular file of sane
// size; errno and `error` say why.
bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string* error = nullptr,
                   FileRule rule = FileRule::Strict);

// Creates a new, empty temporary file beside `target` and sets `name` to its
// path. Returns its descriptor (open for writing), or -1 with errno set.
int createTemporaryFile(const std::filesystem::path& target, std::filesystem::path& name, unsigned mode = 0666);

// Writes all of `bytes` to `fd` (short writes continued; a write of nothing
// counts as a full disk). On failure `err` holds the errno.
bool writeFully(int fd, std::string_view bytes, int& err);

// "<path>を<step>（<reason>）", the writers' and readers' error texts: the
// step in words ("cannot write" becomes 書けません), the reason from err, or
// as given (a file_text reason).
std::string fileErrorText(const char* step, const std::filesystem::path& path, int err);
std::string fileReasonText(const char* step, const std::filesystem::path& path, std::string_view reason);
// The reason alone, as above.
std::string fileErrorReason(int err);

// Why a file or folder was left alone, as the skipped-files lists and the
// refusals name it after the path.
namespace file_text {
inline constexpr const char* kSymlink = "シンボリックリンクです";
inline constexpr const char* kNotRegular = "通常のファイルではありません";
inline constexpr const char* kOver64MB = "64 MBを超えています";
inline constexpr const char* kTooLarge = "大きすぎます";
inline constexpr const char* kNotAFolder = "フォルダではありません";
inline constexpr const char* kNotOurFolder = "このユーザーのフォルダではありません";
}  // namespace file_text

// True for the names the writer gives its temporary files.
bool isTemporaryFileName(std::string_view fileName);

// Removes temporary files left in `folder` by a writer that was killed.
// Returns how many were removed.
int removeStaleTemporaryFiles(const std::filesystem::path& folder);

}  // namespace quarlink
