// Preloaded into a quarlink process to inject faults at file-changing system
// calls on regular files (write, pwrite, writev, ftruncate, rename, renameat2,
// linkat, unlink):
//   QUARLINK_KILL_AT=N     SIGKILL the process instead of making the Nth call
//   QUARLINK_ENOSPC_AT=N   the Nth and every later write fails with ENOSPC
//   QUARLINK_COUNT_FILE=F  at exit, write the number of calls seen to F
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <dlfcn.h>
#include <fcntl.h>
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
    if (isRegularFile(fd) && !allow(true)) return -1;
    return real(fd, buf, n);
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t off) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    if (isRegularFile(fd) && !allow(true)) return -1;
    return real(fd, buf, n, off);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t off) {
    static auto real = next<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    if (isRegularFile(fd) && !allow(true)) return -1;
    return real(fd, buf, n, off);
}

ssize_t writev(int fd, const struct iovec* iov, int count) {
    static auto real = next<ssize_t (*)(int, const struct iovec*, int)>("writev");
    if (isRegularFile(fd) && !allow(true)) return -1;
    return real(fd, iov, count);
}

int ftruncate(int fd, off_t length) {
    static auto real = next<int (*)(int, off_t)>("ftruncate");
    if (isRegularFile(fd) && !allow(true)) return -1;
    return real(fd, length);
}

int rename(const char* from, const char* to) {
    static auto real = next<int (*)(const char*, const char*)>("rename");
    allow(false);
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    allow(false);
    return real(fromDir, from, toDir, to, flags);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
    allow(false);
    return real(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    static auto real = next<int (*)(const char*)>("unlink");
    allow(false);
    return real(path);
}

}  // extern "C"
