#include "store/writer_lock.h"

#include <cerrno>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <unistd.h>

#include "store/atomic_file.h"

namespace quarlink {

WriterLock::WriterLock(std::filesystem::path workDir, std::string program)
    : path_(std::move(workDir) / kFileName), program_(std::move(program)) {}

bool WriterLock::tryAcquire() {
    if (fd_ >= 0) return true;
    const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    // Only the holder writes the file, so a reader sees one holder's name.
    const std::string text = program_ + " " + std::to_string(::getpid()) + "\n";
    int err = 0;
    if (::ftruncate(fd_, 0) == 0) writeFully(fd_, text, err);  // the name is a courtesy; the flock is the lock
    return true;
}

void WriterLock::release() {
    if (fd_ < 0) return;
    ::close(fd_);  // drops the flock
    fd_ = -1;
}

std::string WriterLock::holder() const {
    std::string text;
    if (!readWholeFile(path_, text)) return "?";
    const auto end = text.find('\n');
    if (end != std::string::npos) text.resize(end);
    const auto space = text.rfind(' ');
    if (space == std::string::npos) return "?";
    return text.substr(0, space) + " (pid " + text.substr(space + 1) + ")";
}

std::string WriterLock::busyMessage() const {
    return "別のプログラムがデータを書き込み中です：" + holder() + "\n終わってからもう一度実行してください。";
}

}  // namespace quarlink
