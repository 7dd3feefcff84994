#include "support/page_server.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "support/run_process.h"

namespace quarlink::test {
namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

// The port of the server's "listening on 127.0.0.1:PORT" line, read from
// its output as it comes; 0 when the output ends or the bound passes first.
int readPort(int fd, std::chrono::milliseconds bound) {
    static const std::string kListening = "listening on 127.0.0.1:";
    const auto until = std::chrono::steady_clock::now() + bound;
    std::string text;
    for (;;) {
        if (const auto at = text.find(kListening); at != std::string::npos && text.find('\n', at) != std::string::npos)
            return std::atoi(text.c_str() + at + kListening.size());
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) == 0) return 0;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return 0;
        text.append(buffer, static_cast<std::size_t>(n));
    }
}

}  // namespace

PageServer::PageServer(const std::filesystem::path& market, const std::string& options) {
    std::vector<std::string> args{QUARLINK_PAGES_PATH, "serve", market.string(), "--port", "0"};
    for (auto& w : words(options)) args.push_back(w);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(out[1], 1);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    output_ = out[0];
    // Generous: a loaded machine may take seconds to start the server; a
    // server that fails says so on its standard error and ends the output.
    if (pid_ > 0) port_ = readPort(output_, std::chrono::seconds(60));
}

PageServer::~PageServer() { stop(); }

void PageServer::stop() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        ::waitpid(pid_, nullptr, 0);
        pid_ = -1;
    }
    if (output_ >= 0) ::close(output_);
    output_ = -1;
}

bool generateMarket(const std::filesystem::path& market, const std::string& options) {
    std::vector<std::string> args{"generate", market.string()};
    for (auto& w : words(options)) args.push_back(w);
    return runProcess(QUARLINK_PAGES_PATH, args).exitCode == 0;
}

}  // namespace quarlink::test
