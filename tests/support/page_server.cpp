#include "support/page_server.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink::test {
namespace {

std::vector<std::string> words(const std::string& text) {
    std::istringstream in(text);
    std::vector<std::string> out;
    for (std::string w; in >> w;) out.push_back(w);
    return out;
}

}  // namespace

PageServer::PageServer(const std::filesystem::path& market, const std::string& options) {
    static int counter = 0;
    log_ = market.parent_path() / ("serve-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".log");
    std::vector<std::string> args{QUARLINK_PAGES_PATH, "serve", market.string(), "--port", "0"};
    for (auto& w : words(options)) args.push_back(w);
    pid_ = ::fork();
    if (pid_ == 0) {
        const int fd = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(fd, 1);
        ::dup2(fd, 2);
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    for (int i = 0; i < 500 && port_ == 0; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const std::string text = readFile(log_);
        if (const auto at = text.find("listening on 127.0.0.1:"); at != std::string::npos)
            port_ = std::atoi(text.c_str() + at + 23);
    }
}

PageServer::~PageServer() {
    stop();
    std::error_code ec;
    std::filesystem::remove(log_, ec);
}

void PageServer::stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
    pid_ = -1;
}

bool generateMarket(const std::filesystem::path& market, const std::string& options) {
    std::vector<std::string> args{"generate", market.string()};
    for (auto& w : words(options)) args.push_back(w);
    return runProcess(QUARLINK_PAGES_PATH, args).exitCode == 0;
}

}  // namespace quarlink::test
