#include "core/store/batch_writer.h"

#include <cerrno>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "core/store/atomic_file.h"

namespace quarlink {
namespace {

// Files per flush: each flush is a journal commit, which costs about as much
// as writing a few hundred small files; a stop publishes at once anyway.
constexpr std::size_t kBatchFiles = 4096;

void syncFolder(const std::filesystem::path& folder, bool& ok) {
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return;
    if (::fsync(fd) != 0) ok = false;
    ::close(fd);
}

}  // namespace

BatchWriter::BatchWriter(BatchWriter&& other) noexcept
    : pending_(std::exchange(other.pending_, {})), failures_(std::exchange(other.failures_, {})) {}

int BatchWriter::createFor(const std::filesystem::path& target, std::filesystem::path& temp, std::string* error) {
    // Only a regular file is replaced: a folder, a FIFO or a symlink standing
    // at the target makes the replace fail rather than be swapped away.
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
        if (error) *error = fileReasonText("cannot replace", target, file_text::kNotRegular);
        return -1;
    }
    const int fd = createTemporaryFile(target, temp);
    if (fd < 0) {
        if (error) *error = fileErrorText("cannot create", target, errno);
        return -1;
    }
    if (exists) ::fchmod(fd, st.st_mode & 07777);
    return fd;
}

bool BatchWriter::finish(int fd, std::filesystem::path temp, const std::filesystem::path& target, bool written,
                         int err, std::string* error) {
    if (::close(fd) != 0 && written) {
        written = false;
        err = errno;
    }
    if (!written) {
        ::unlink(temp.c_str());
        if (error) *error = fileErrorText("cannot write", target, err ? err : EIO);
        return false;
    }
    pending_.push_back({std::move(temp), target});
    if (pending_.size() >= kBatchFiles) flush();
    return true;
}

bool BatchWriter::replace(const std::filesystem::path& target, std::string_view bytes, std::string* error) {
    std::filesystem::path temp;
    const int fd = createFor(target, temp, error);
    if (fd < 0) return false;
    int err = 0;
    const bool written = writeFully(fd, bytes, err);
    return finish(fd, std::move(temp), target, written, err, error);
}

bool BatchWriter::copy(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error) {
    int in = -1;
    long long size = 0;
    if (!openPriceFileForReading(source, in, size, error)) return false;
    std::filesystem::path temp;
    const int out = createFor(target, temp, error);
    if (out < 0) {
        ::close(in);
        return false;
    }
    // In the kernel where it can; through a bounded buffer where it cannot.
    int err = 0;
    bool written = true;
    long long left = size;
    bool kernelCopy = true;
    char buffer[1 << 16];
    while (left > 0 && written) {
        ssize_t n = -1;
        if (kernelCopy) {
            n = ::copy_file_range(in, nullptr, out, nullptr, static_cast<std::size_t>(left), 0);
            if (n < 0 && (errno == EXDEV || errno == EINVAL || errno == ENOSYS || errno == EOPNOTSUPP)) {
                kernelCopy = false;
                continue;
            }
        } else {
            n = ::read(in, buffer, sizeof buffer < static_cast<std::size_t>(left) ? sizeof buffer
                                                                                  : static_cast<std::size_t>(left));
            if (n > 0 && !writeFully(out, std::string_view(buffer, static_cast<std::size_t>(n)), err)) written = false;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            written = false;
            if (err == 0) err = errno;
        }
        if (n <= 0) break;  // a file that shrank while copied ends where it ends
        left -= n;
    }
    ::close(in);
    return finish(out, std::move(temp), target, written, err, error);
}

bool BatchWriter::flush() {
    if (pending_.empty()) return true;
    std::vector<Pending> batch = std::exchange(pending_, {});
    // New content on disk first, then the names that publish it.
    bool flushed = true;
    std::set<dev_t> devices;
    std::set<std::filesystem::path> folders;
    for (const auto& p : batch) {
        folders.insert(p.target.parent_path());
        struct stat st {};
        if (::stat(p.temp.c_str(), &st) == 0 && devices.insert(st.st_dev).second)
            flushed = syncFileSystem(p.temp) && flushed;
    }
    bool ok = true;
    for (const auto& p : batch) {
        // A failed flush may have lost any of the batch's blocks: publish none.
        if (!flushed || ::rename(p.temp.c_str(), p.target.c_str()) != 0) {
            failures_.push_back(fileErrorText("cannot replace", p.target, flushed ? errno : EIO));
            ::unlink(p.temp.c_str());
            ok = false;
        }
    }
    for (const auto& folder : folders) syncFolder(folder, ok);
    return ok;
}

}  // namespace quarlink
