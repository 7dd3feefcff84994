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

BatchWriter::BatchWriter(BatchWriter&& other) noexcept
    : spares_(std::exchange(other.spares_, {})), written_(std::exchange(other.written_, {})) {}

bool BatchWriter::createNew(const std::filesystem::path& target, std::string_view bytes, std::string* error,
                            bool& handled) {
    // An unnamed file linked in under the target's name once it is complete:
    // one directory entry per file, and nothing left behind by a kill.
    handled = false;
    const auto folder = target.parent_path();
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) return false;  // no O_TMPFILE here: the caller takes the named way
    int err = 0;
    if (!writeFully(fd, bytes, err)) {
        ::close(fd);
        handled = true;
        if (error) *error = fileErrorText("cannot write", target, err);
        return false;
    }
    char self[64];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    const bool linked = ::linkat(AT_FDCWD, self, AT_FDCWD, target.c_str(), AT_SYMLINK_FOLLOW) == 0;
    ::close(fd);
    handled = linked;
    return linked;
}

bool BatchWriter::replace(const std::filesystem::path& target, std::string_view bytes, std::string* error) {
    const auto folder = target.parent_path();
    struct stat st {};
    const bool exists = ::lstat(target.c_str(), &st) == 0;
    // Only a regular file is exchanged: anything else standing at the target
    // (a folder, say) must make the replace fail, not trade places.
    const bool targetIsFile = exists && S_ISREG(st.st_mode);
    if (!exists) {
        bool handled = false;
        const bool created = createNew(target, bytes, error, handled);
        if (handled) {
            if (created) written_[folder] = true;
            return created;
        }
    }

    auto spare = spares_.find(folder);
    int fd = -1;
    // The spare is overwritten in place and cut to length afterwards: freeing
    // and allocating its blocks for every file costs more than the writing.
    if (spare != spares_.end()) fd = ::open(spare->second.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        if (spare != spares_.end()) spares_.erase(spare);
        std::filesystem::path name;
        fd = createTemporaryFile(target, name);
        if (fd < 0) {
            if (error) *error = fileErrorText("cannot create", target, errno);
            return false;
        }
        spare = spares_.emplace(folder, name).first;
    }
    const std::filesystem::path sparePath = spare->second;
    written_[folder] = true;

    if (targetIsFile) ::fchmod(fd, st.st_mode & 07777);
    int err = 0;
    bool written = writeFully(fd, bytes, err);
    if (written && ::ftruncate(fd, static_cast<off_t>(bytes.size())) != 0) {
        written = false;
        err = errno;
    }
    if (::close(fd) != 0 && written) err = errno;
    if (!written || err != 0) {
        // The spare holds a part of the content; the target is untouched.
        if (error) *error = fileErrorText("cannot write", target, err ? err : EIO);
        return false;
    }
    if (targetIsFile &&
        ::renameat2(AT_FDCWD, sparePath.c_str(), AT_FDCWD, target.c_str(), RENAME_EXCHANGE) == 0)
        return true;  // the old content is the next spare
    if (::rename(sparePath.c_str(), target.c_str()) != 0) {
        if (error) *error = fileErrorText("cannot replace", target, errno);
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
