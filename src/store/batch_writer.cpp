#include "store/batch_writer.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

#include "store/atomic_file.h"

namespace quarlink {
namespace {

std::string describe(const char* step, const std::filesystem::path& path, int err) {
    return std::string(step) + " " + path.string() + ": " + std::strerror(err);
}

bool writeAll(int fd, std::string_view bytes, int& err) {
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace

BatchWriter::BatchWriter(BatchWriter&& other) noexcept
    : spares_(std::exchange(other.spares_, {})), written_(std::exchange(other.written_, {})) {}

bool BatchWriter::replace(const std::filesystem::path& target, std::string_view bytes, std::string* error) {
    const auto folder = target.parent_path();
    auto spare = spares_.find(folder);
    int fd = -1;
    if (spare != spares_.end()) fd = ::open(spare->second.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0) {
        if (spare != spares_.end()) spares_.erase(spare);
        std::filesystem::path name;
        fd = createTemporaryFile(target, name);
        if (fd < 0) {
            if (error) *error = describe("cannot create", target, errno);
            return false;
        }
        spare = spares_.emplace(folder, name).first;
    }
    const std::filesystem::path sparePath = spare->second;
    written_[folder] = true;

    struct stat st {};
    // Only a regular file is exchanged: anything else standing at the target
    // (a folder, say) must make the replace fail, not trade places.
    const bool targetIsFile = ::lstat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode);
    if (targetIsFile) ::fchmod(fd, st.st_mode & 07777);
    int err = 0;
    const bool written = writeAll(fd, bytes, err);
    if (::close(fd) != 0 && written) err = errno;
    if (!written || err != 0) {
        // The spare holds a part of the content; the target is untouched.
        if (error) *error = describe("cannot write", target, err ? err : EIO);
        return false;
    }
    if (targetIsFile &&
        ::renameat2(AT_FDCWD, sparePath.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return true;  // the old content is the next spare
    if (::rename(sparePath.c_str(), target.c_str()) != 0) {
        if (error) *error = describe("cannot replace", target, errno);
        return false;
    }
    spares_.erase(folder);
    return true;
}

bool BatchWriter::copy(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error) {
    std::string bytes;
    if (!readWholeFile(source, bytes, error)) return false;
    return replace(target, bytes, error);
}

bool BatchWriter::flush() {
    for (const auto& [folder, spare] : spares_) ::unlink(spare.c_str());
    spares_.clear();
    bool ok = true;
    std::set<dev_t> done;
    for (const auto& [folder, unused] : written_) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !done.insert(st.st_dev).second) continue;
        ok = syncFileSystem(folder) && ok;
    }
    written_.clear();
    return ok;
}

}  // namespace quarlink
