#include "core/store/atomic_file.h"

#include <atomic>
#include <utility>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quarlink {
namespace {

constexpr std::string_view kTempMarker = ".qltmp-";

void syncFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

}  // namespace

namespace {
// The steps the writers and readers name, as the user reads them.
const char* stepText(std::string_view step) {
    static constexpr std::pair<std::string_view, const char*> kSteps[] = {
        {"cannot read", "読めません"},   {"cannot write", "書けません"},     {"write", "書けません"},
        {"cannot create", "作れません"}, {"mkdir", "作れません"},          {"cannot open", "開けません"},
        {"open", "開けません"},          {"cannot replace", "置き換えられません"},
        {"cannot flush", "ディスクに書き出せません"},                      {"cannot close", "閉じられません"},
        {"flock", "ロックできません"},   {"lstat", "調べられません"},     {"cannot remove", "削除できません"},
    };
    for (const auto& [name, text] : kSteps)
        if (step == name) return text;
    return nullptr;
}

// The errors a user can act on, in words; the rest as the C library says
// them, quoted like any text the program did not write.
std::string errorText(int err) {
    switch (err) {
    case ENOSPC: return "ディスクの空きがありません。空きを作ってから、もう一度実行してください";
    case EDQUOT: return "ディスクの割り当てを使い切りました。空きを作ってから、もう一度実行してください";
    case EACCES:
    case EPERM: return "アクセス権がありません";
    case ENOENT: return "見つかりません";
    case ELOOP: return file_text::kSymlink;
    case EROFS: return "読み取り専用の場所です";
    case EIO: return "入出力エラーです";
    case ENOTDIR: return "途中にフォルダでないものがあります";
    case EISDIR: return "フォルダです";
    case EFBIG: return file_text::kTooLarge;
    case EEXIST: return "すでにあります";
    case ENOTEMPTY: return "フォルダが空ではありません";
    case EBUSY:
    case ETXTBSY: return "使用中です";
    case EMFILE:
    case ENFILE: return "開いているファイルが多すぎます。ほかのプログラムを閉じてから、もう一度実行してください";
    case ENAMETOOLONG: return "名前が長すぎます";
    case EXDEV: return "別のファイルシステムにあります";
    case ENXIO: return "読み書きする相手のいない特殊ファイルです";
    default: return "\"" + std::string(std::strerror(err)) + "\"";
    }
}
}  // namespace

std::string fileErrorReason(int err) { return errorText(err); }

std::string fileErrorText(const char* step, const std::filesystem::path& path, int err) {
    return fileReasonText(step, path, errorText(err));
}

std::string fileReasonText(const char* step, const std::filesystem::path& path, std::string_view reason) {
    const char* done = stepText(step);
    return path.string() + "を" + (done ? done : step) + "（" + std::string(reason) + "）";
}

bool writeFully(int fd, std::string_view bytes, int& err) {
    const char* data = bytes.data();
    std::size_t size = bytes.size();
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            err = errno;
            return false;
        }
        if (n == 0) {
            err = ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

AtomicFileWriter::AtomicFileWriter(std::filesystem::path target) : target_(std::move(target)) {}
AtomicFileWriter::AtomicFileWriter(std::filesystem::path target, unsigned mode)
    : target_(std::move(target)), mode_(static_cast<int>(mode & 07777)) {}

AtomicFileWriter::~AtomicFileWriter() { discard(); }

bool AtomicFileWriter::fail(const char* step, int err) {
    if (!failed_) {
        failed_ = true;
        error_ = fileErrorText(step, target_, err);
    }
    discard();
    return false;
}

int createTemporaryFile(const std::filesystem::path& target, std::filesystem::path& name, unsigned mode) {
    static std::atomic<unsigned> counter{0};
    const std::string base = "." + target.filename().string() + std::string(kTempMarker);
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = target.parent_path() / (base + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1)));
        const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

bool AtomicFileWriter::open() {
    fd_ = createTemporaryFile(target_, temp_, mode_ >= 0 ? static_cast<unsigned>(mode_) : 0666);
    if (fd_ < 0) {
        const int err = errno;
        temp_.clear();
        return fail("cannot create", err);
    }
    struct stat st {};
    if (mode_ >= 0) ::fchmod(fd_, static_cast<mode_t>(mode_));  // the umask may have taken bits the caller asked for
    else if (::stat(target_.c_str(), &st) == 0) ::fchmod(fd_, st.st_mode & 07777);
    return true;
}

bool AtomicFileWriter::write(std::string_view bytes) {
    if (fd_ < 0) return false;
    int err = 0;
    if (!writeFully(fd_, bytes, err)) return fail("cannot write", err);
    return true;
}

bool AtomicFileWriter::commit() {
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) return fail("cannot flush", errno);
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) return fail("cannot close", errno);
    if (::rename(temp_.c_str(), target_.c_str()) != 0) return fail("cannot replace", errno);
    temp_.clear();
    syncFolder(target_.parent_path());
    return true;
}

void AtomicFileWriter::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!temp_.empty()) {
        ::unlink(temp_.c_str());
        temp_.clear();
    }
}

bool replaceFileAtomically(const std::filesystem::path& target, std::string_view bytes, std::string* error) {
    AtomicFileWriter writer(target);
    const bool ok = writer.open() && writer.write(bytes) && writer.commit();
    if (!ok && error) *error = writer.error();
    return ok;
}

namespace {

// The one rule for opening a file that a user or another program may have
// put there: not through a symlink, never waiting on a FIFO (O_NONBLOCK makes
// its open return at once), only a regular file, and only up to `limit`
// bytes, so that no odd file can hang, redirect or flood a job. Empty when
// opened; else why not, with errno set.
std::string whyNotOpened(const std::filesystem::path& path, int flags, long long limit, FileRule rule, int& fd,
                         long long& size, long* links = nullptr) {
    if (rule == FileRule::Strict) flags |= O_NOFOLLOW;
    fd = ::open(path.c_str(), flags | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        const int err = errno;
        struct stat st {};
        const bool link = rule == FileRule::Strict &&
                          (err == ELOOP || (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)));
        std::string why = link ? file_text::kSymlink : errorText(err);
        errno = link ? ELOOP : err;
        return why;
    }
    struct stat st {};
    std::string why;
    int err = EINVAL;
    if (::fstat(fd, &st) != 0)
        err = errno, why = errorText(err);
    else if (!S_ISREG(st.st_mode))
        why = file_text::kNotRegular;
    else if (st.st_size > limit)
        why = limit == kMaxPriceFileBytes ? file_text::kOver64MB : file_text::kTooLarge, err = EFBIG;
    if (!why.empty()) {
        ::close(fd);
        fd = -1;
        errno = err;
        return why;
    }
    size = static_cast<long long>(st.st_size);
    if (links) *links = static_cast<long>(st.st_nlink);
    return {};
}

// Reads up to `limit` bytes of an open file; a file that grows while read
// stays within the bound.
bool readOpenFile(int fd, const std::filesystem::path& path, long long size, long long limit, std::string& bytes,
                  std::string* error) {
    std::string out;
    out.reserve(static_cast<std::size_t>(size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int err = errno;
            ::close(fd);
            if (error) *error = fileErrorText("cannot read", path, err);
            errno = err;
            return false;
        }
        if (n == 0 || static_cast<long long>(out.size()) + n > limit) break;
        out.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    bytes = std::move(out);
    return true;
}

}  // namespace

int openUserFile(const std::filesystem::path& path, int flags, long long limit, long long& size, long* links,
                 std::string* why) {
    int fd = -1;
    std::string reason = whyNotOpened(path, flags, limit, FileRule::Strict, fd, size, links);
    if (!reason.empty() && why) *why = std::move(reason);
    return fd;
}

bool openPriceFileForReading(const std::filesystem::path& path, int& fd, long long& size, std::string* error) {
    const std::string why = whyNotOpened(path, O_RDONLY, kMaxPriceFileBytes, FileRule::Strict, fd, size);
    if (!why.empty() && error) *error = fileReasonText("cannot read", path, why);
    return why.empty();
}

PriceFileKind examinePriceFile(const std::filesystem::path& path, std::string* why, long long* size) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0) return PriceFileKind::Missing;
    const char* text = nullptr;
    if (S_ISLNK(st.st_mode))
        text = file_text::kSymlink;
    else if (!S_ISREG(st.st_mode))
        text = file_text::kNotRegular;
    else if (st.st_size > kMaxPriceFileBytes)
        text = file_text::kOver64MB;
    if (size) *size = static_cast<long long>(st.st_size);
    if (!text) return PriceFileKind::Regular;
    if (why) *why = text;
    return PriceFileKind::Odd;
}

bool readWholeFile(const std::filesystem::path& path, std::string& bytes, std::string* error, FileRule rule) {
    int fd = -1;
    long long size = 0;
    if (const std::string why = whyNotOpened(path, O_RDONLY, kMaxPriceFileBytes, rule, fd, size); !why.empty()) {
        const int err = errno;
        // A file that is missing or locked away keeps the open's own text.
        if (error)
            *error = err == EINVAL || err == EFBIG || err == ELOOP ? fileReasonText("cannot read", path, why)
                                                                    : fileErrorText("cannot open", path, err);
        errno = err;
        return false;
    }
    return readOpenFile(fd, path, size, kMaxPriceFileBytes, bytes, error);
}

bool readPriceFileBytes(const std::filesystem::path& path, std::string& bytes, std::string* error) {
    int fd = -1;
    long long size = 0;
    if (!openPriceFileForReading(path, fd, size, error)) return false;
    return readOpenFile(fd, path, size, kMaxPriceFileBytes, bytes, error);
}

bool copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& target,
                        std::string* error) {
    std::string bytes;
    if (!readPriceFileBytes(source, bytes, error)) return false;
    return replaceFileAtomically(target, bytes, error);
}

bool syncFileSystem(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::syncfs(fd) == 0;
    ::close(fd);
    return ok;
}

bool isTemporaryFileName(std::string_view name) {
    return name.size() > 1 && name.front() == '.' && name.find(kTempMarker) != std::string_view::npos;
}

int removeStaleTemporaryFiles(const std::filesystem::path& folder) {
    std::error_code ec;
    int removed = 0;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const auto name = it->path().filename().string();
        if (!isTemporaryFileName(name)) continue;
        // The name carries the writer's pid; a writer that is still alive keeps its file.
        const auto pidStart = name.find(kTempMarker) + kTempMarker.size();
        const long pid = std::strtol(name.c_str() + pidStart, nullptr, 10);
        if (pid > 0 && pid != ::getpid() && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM))
            continue;
        std::error_code rmEc;
        if (it->is_regular_file(rmEc) && std::filesystem::remove(it->path(), rmEc)) ++removed;
    }
    return removed;
}

}  // namespace quarlink
