// Preloaded into a quarlink process to inject faults at file-changing system
// calls on regular files (write, pwrite, writev, ftruncate, rename, renameat2,
// linkat, unlink):
//   QUARLINK_KILL_AT=N     SIGKILL the process instead of making the Nth call
//   QUARLINK_ENOSPC_AT=N   the Nth and every later write fails with ENOSPC
//   QUARLINK_COUNT_FILE=F  at exit, write the number of calls seen to F
//   QUARLINK_TRACE_FILE=F  append one line per write (W path), flush (F path,
//                          S for a whole file system), rename (R from to) and
//                          link (L from to) to F, in the order they happen:
//                          the power-cut replay reads it back
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
#include <string>
#include <signal.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

long envNumber(const char* name) {
    const char* v = std::getenv(name);
    return v ? std::atol(v) : 0;
}

long g_count = 0;

bool isRegularFile(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
}

// Counts one file-changing call; false when it must fail with ENOSPC.
bool allow(bool isWrite) {
    ++g_count;
    static const long killAt = envNumber("QUARLINK_KILL_AT");
    static const long enospcAt = envNumber("QUARLINK_ENOSPC_AT");
    if (killAt > 0 && g_count == killAt) ::kill(::getpid(), SIGKILL);
    if (isWrite && enospcAt > 0 && g_count >= enospcAt) {
        errno = ENOSPC;
        return false;
    }
    return true;
}

std::string pathOf(int fd) {
    char link[64], target[4096];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string("?");
}

void trace(const char* kind, const std::string& a, const std::string& b = {}) {
    static const char* file = std::getenv("QUARLINK_TRACE_FILE");
    if (!file) return;
    // Appended with the raw calls, so that tracing does not trace itself.
    static auto rawOpen = reinterpret_cast<int (*)(const char*, int, ...)>(::dlsym(RTLD_NEXT, "open"));
    const int fd = rawOpen(file, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    const std::string line = std::string(kind) + " " + a + (b.empty() ? "" : " " + b) + "\n";
    static auto rawWrite = reinterpret_cast<ssize_t (*)(int, const void*, size_t)>(::dlsym(RTLD_NEXT, "write"));
    rawWrite(fd, line.data(), line.size());
    ::close(fd);
}

std::string absolute(int dir, const char* path) {
    if (path[0] == '/' || dir == AT_FDCWD) {
        if (path[0] == '/') return path;
        char cwd[4096];
        return std::string(::getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + path;
    }
    return pathOf(dir) + "/" + path;
}

template <typename F>
F next(const char* name) {
    return reinterpret_cast<F>(::dlsym(RTLD_NEXT, name));
}

struct CountReport {
    ~CountReport() {
        if (const char* file = std::getenv("QUARLINK_COUNT_FILE")) {
            if (FILE* f = std::fopen(file, "w")) {
                std::fprintf(f, "%ld\n", g_count);
                std::fclose(f);
            }
        }
    }
} g_report;

}  // namespace

extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
    static auto real = next<ssize_t (*)(int, const void*, size_t)>("write");
    if (!isRegularFile(fd)) return real(fd, buf, n);
    if (!allow(true)) return -1;
    trace("W", pathOf(fd));
    return real(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (!isRegularFile(fd)) return real(fd, buf, n, off);
    if (!allow(true)) return -1;
    trace("W", pathOf(fd));
    return real(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t off) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    if (!isRegularFile(fd)) return real(fd, buf, n, off);
    if (!allow(true)) return -1;
    trace("W", pathOf(fd));
    return real(fd, buf, n, off);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (!isRegularFile(fd)) return real(fd, iov, count);
    if (!allow(true)) return -1;
    trace("W", pathOf(fd));
    return real(fd, iov, count);
}

int ftruncate(int fd, off_t length) {
    static auto real = next<int (*)(int, off_t)>("ftruncate");
    if (!isRegularFile(fd)) return real(fd, length);
    if (!allow(true)) return -1;
    trace("W", pathOf(fd));
    return real(fd, length);
}

ssize_t copy_file_range(int in, off64_t* inOff, int out, off64_t* outOff, size_t n, unsigned flags) {
    static auto real = next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
    if (!allow(true)) return -1;
    trace("W", pathOf(out));
    return real(in, inOff, out, outOff, n, flags);
}

int fsync(int fd) {
    static auto real = next<int (*)(int)>("fsync");
    const int r = real(fd);
    if (r == 0) trace("F", pathOf(fd));
    return r;
}

int fdatasync(int fd) {
    static auto real = next<int (*)(int)>("fdatasync");
    const int r = real(fd);
    if (r == 0) trace("F", pathOf(fd));
    return r;
}

int syncfs(int fd) {
    static auto real = next<int (*)(int)>("syncfs");
    const int r = real(fd);
    if (r == 0) trace("S", pathOf(fd));
    return r;
}

int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    allow(false);
    trace("R", absolute(AT_FDCWD, from), absolute(AT_FDCWD, to));
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    allow(false);
    trace(flags & RENAME_EXCHANGE ? "X" : "R", absolute(fromDir, from), absolute(toDir, to));
    return real(fromDir, from, toDir, to, flags);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
    allow(false);
    trace("L", absolute(fromDir, from), absolute(toDir, to));
    return real(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    static auto real = next<int (*)(const char*)>("unlink");
    allow(false);
    return real(path);
}

}  // extern "C"
