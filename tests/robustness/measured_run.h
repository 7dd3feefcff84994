#pragma once
// Runs a program like support/run_process.h, and also measures it: elapsed
// time and peak resident memory (wait4), with a hard limit after which the
// child is killed so that a hanging case fails instead of hanging the suite.
#include <chrono>
#include <csignal>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace quarlink::test {

struct MeasuredRun {
    int exitCode = -1;
    bool killed = false;  // ran past the hard limit
    std::string out;
    std::string err;
    std::chrono::milliseconds elapsed{0};
    long maxRssKb = 0;
};

inline MeasuredRun runMeasured(const std::string& program, const std::vector<std::string>& args,
                               std::chrono::milliseconds hardLimit) {
    MeasuredRun run;
    int out[2], err[2];
    if (::pipe(out) || ::pipe(err)) return run;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        for (int fd : {out[0], out[1], err[0], err[1]}) ::close(fd);
        const int devNull = ::open("/dev/null", O_RDONLY);
        if (devNull >= 0) ::dup2(devNull, 0);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string* sinks[2] = {&run.out, &run.err};
    int open = 2;
    while (open > 0) {
        const auto left = hardLimit - (std::chrono::steady_clock::now() - start);
        if (left <= std::chrono::milliseconds(0) && !run.killed) {
            ::kill(pid, SIGKILL);
            run.killed = true;
        }
        const int wait = run.killed ? 1000 : static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()) + 1;
        if (::poll(fds, 2, wait) < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[4096];
            const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
            if (n <= 0) {
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            } else {
                sinks[i]->append(buffer, static_cast<std::size_t>(n));
            }
        }
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    run.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
    run.maxRssKb = usage.ru_maxrss;
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace quarlink::test
