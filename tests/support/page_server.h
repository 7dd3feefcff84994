#pragma once
#include <filesystem>
#include <string>
#include <sys/types.h>

namespace quarlink::test {

// A quarlink-pages serving `market` on a free loopback port for the life of
// the object. `options` are extra serve options, separated by blanks.
class PageServer {
public:
    PageServer(const std::filesystem::path& market, const std::string& options = {});
    ~PageServer();
    PageServer(const PageServer&) = delete;
    PageServer& operator=(const PageServer&) = delete;

    int port() const { return port_; }
    void stop();

private:
    pid_t pid_ = -1;
    int port_ = 0;
    int output_ = -1;  // the server's standard output, open while it runs so that a write there cannot fail
};

// Runs quarlink-pages generate into `market`; true on success.
bool generateMarket(const std::filesystem::path& market, const std::string& options = {});

}  // namespace quarlink::test
