#include "core/store/writer_lock.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"

namespace quarlink {

namespace fs = std::filesystem;

namespace {

// Room for a long working folder's path; a record is only ever shown.
constexpr std::size_t kRecordLimit = 255;

fs::path realPath(const fs::path& path) {
    std::error_code ec;
    fs::path real = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec) real = fs::absolute(path, ec).lexically_normal();
    std::string text = real.string();
    while (text.size() > 1 && text.back() == '/') text.pop_back();
    return text;
}

// Takes the flock; when it is taken already, keeps what its holder recorded
// and closes the file, so that a failed attempt holds nothing.
bool lockOrRead(int& fd, const fs::path& path, std::string& record, std::string& failure) {
    if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return true;
    if (errno != EWOULDBLOCK) failure = fileErrorText("flock", path, errno);
    char text[1024];
    const ssize_t n = ::pread(fd, text, sizeof text, 0);
    record.assign(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    ::close(fd);
    fd = -1;
    return false;
}

// Only the holder writes its file, so a reader sees one holder's record.
void writeRecord(int fd, const std::string& text) {
    int err = 0;
    if (::ftruncate(fd, 0) == 0) writeFully(fd, text, err);  // the record is a courtesy; the flock is the lock
}

bool folderOfOurs(const struct stat& st) { return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid(); }

}  // namespace

WriterLock::WriterLock(fs::path workDir, std::string program, fs::path chartFolder)
    : workDir_(std::move(workDir)), program_(std::move(program)), chartFolder_(std::move(chartFolder)) {}

fs::path WriterLock::runtimeFolder(std::string& error) {
    struct stat st {};
    if (const char* xdg = std::getenv("XDG_RUNTIME_DIR"); xdg && *xdg == '/')
        if (::lstat(xdg, &st) == 0 && folderOfOurs(st) && (st.st_mode & 077) == 0) return xdg;
    // Anyone may create a name in /tmp: the folder is used only when it is
    // ours and not a symlink, and then only by its descriptor.
    const fs::path folder = "/tmp/quarlink-" + std::to_string(::geteuid());
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        error = fileErrorText("mkdir", folder, errno);
        return {};
    }
    if (::lstat(folder.c_str(), &st) != 0) {
        error = fileErrorText("lstat", folder, errno);
        return {};
    }
    if (!folderOfOurs(st)) {
        error = fileReasonText("open", folder, file_text::kNotOurFolder);
        return {};
    }
    return folder;
}

std::string WriterLock::chartLockName(const fs::path& chartFolder) {
    std::uint64_t hash = 14695981039346656037ull;  // FNV-1a: the same name in every build
    for (unsigned char c : realPath(chartFolder).string()) hash = (hash ^ c) * 1099511628211ull;
    char name[48];
    std::snprintf(name, sizeof name, "quarlink-chart-%016llx.lock", static_cast<unsigned long long>(hash));
    return name;
}

bool WriterLock::lockChartFolder() {
    const fs::path folder = runtimeFolder(failure_);
    if (folder.empty()) return false;
    const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (dirFd < 0 || ::fstat(dirFd, &st) != 0 || !folderOfOurs(st) ||
        ((st.st_mode & 077) != 0 && ::fchmod(dirFd, 0700) != 0)) {
        failure_ = fileErrorText("open", folder, dirFd < 0 ? errno : EPERM);
        if (dirFd >= 0) ::close(dirFd);
        return false;
    }
    const std::string name = chartLockName(chartFolder_);
    chartFd_ = ::openat(dirFd, name.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
    const int err = errno;
    ::close(dirFd);
    if (chartFd_ < 0) {
        failure_ = fileErrorText("open", folder / name, err);
        return false;
    }
    return lockOrRead(chartFd_, folder / name, busyRecord_, failure_);
}

bool WriterLock::tryAcquire() {
    if (held()) return true;
    busyRecord_.clear();
    failure_.clear();
    const fs::path workFile = workDir_ / kFileName;
    workFd_ = ::open(workFile.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (workFd_ < 0) {
        failure_ = fileErrorText("open", workFile, errno);
        return false;
    }
    if (!lockOrRead(workFd_, workFile, busyRecord_, failure_)) return false;
    // Always in this order, so that two writers never each hold one of the pair.
    if (!chartFolder_.empty() && !lockChartFolder()) {
        release();
        return false;
    }
    const std::string record = program_ + " " + std::to_string(::getpid()) + "\n" + realPath(workDir_).string() + "\n";
    writeRecord(workFd_, record);
    if (chartFd_ >= 0) writeRecord(chartFd_, record);
    return true;
}

void WriterLock::release() {
    // Closing drops the flock; the files stay, as removing one would let a
    // waiting writer lock a file that is no longer the lock.
    if (chartFd_ >= 0) ::close(chartFd_);
    if (workFd_ >= 0) ::close(workFd_);
    chartFd_ = workFd_ = -1;
}

std::string WriterLock::holder() const {
    std::string_view first = busyRecord_;
    first = first.substr(0, first.find('\n'));
    const auto space = first.rfind(' ');
    if (space == std::string_view::npos) return "?";
    return echoText(first.substr(0, space)) + " (pid " + echoText(first.substr(space + 1)) + ")";
}

std::string WriterLock::busyMessage() const {
    constexpr const char* kAgain = "\n終わってからもう一度実行してください。";
    if (!failure_.empty()) return "書き込みの排他ロックを取れないため、データを書き込めません：" + failure_;
    const auto lineEnd = busyRecord_.find('\n');
    std::string holderDir = lineEnd == std::string::npos ? std::string() : busyRecord_.substr(lineEnd + 1);
    while (!holderDir.empty() && holderDir.back() == '\n') holderDir.pop_back();
    if (!holderDir.empty() && holderDir != realPath(workDir_).string())
        return "別の作業フォルダ（" + echoText(holderDir, kRecordLimit) +
               "）のプログラムが同じSorvantideフォルダに書き込み中です：" + holder() + kAgain;
    return "別のプログラムがデータを書き込み中です：" + holder() + kAgain;
}

}  // namespace quarlink
