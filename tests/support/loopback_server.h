#pragma once
// Small loopback page servers for the tests: raw sockets on
// 127.0.0.1 with a port chosen by the system.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "core/env/clock.h"
#include "core/web/page_markers.h"

namespace quarlink::test {

using namespace std::chrono_literals;

// A server's stop: a flag the serving code looks at, and a wait that the
// stop ends at once.
class StopFlag : public std::atomic<bool> {
public:
    StopFlag() : std::atomic<bool>(false) {}
    void raise() {
        {
            const std::lock_guard lock(mutex_);
            store(true);
        }
        raised_.notify_all();
    }
    // Returns after `span`, or as soon as the stop is raised.
    void hold(std::chrono::milliseconds span) const {
        std::unique_lock lock(mutex_);
        raised_.wait_for(lock, span, [this] { return load(); });
    }

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable raised_;
};

using Serve = std::function<void(int fd, const StopFlag& stop)>;

inline bool waitReadable(int fd, const std::atomic<bool>& stop) {
    while (!stop) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, 50);
        if (ready > 0) return true;
        if (ready < 0 && errno != EINTR) return false;
    }
    return false;
}

inline void readRequest(int fd, const std::atomic<bool>& stop) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos && waitReadable(fd, stop)) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return;
        request.append(buffer, static_cast<std::size_t>(n));
    }
}

// False once the client has gone or the server is stopping.
inline bool sendAll(int fd, std::string_view bytes, const std::atomic<bool>& stop) {
    while (!bytes.empty()) {
        if (stop) return false;
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

inline void sleepUnlessStopped(std::chrono::milliseconds span, const StopFlag& stop) { stop.hold(span); }

// A server on 127.0.0.1 that hands every connection to `serve`, one at a
// time. Without `listens` the port is bound but refuses connections.
class LoopbackServer {
public:
    LoopbackServer(Serve serve, bool listens) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        socklen_t length = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &length);
        port_ = ntohs(a.sin_port);
        if (!listens) return;
        ::listen(fd_, 8);
        thread_ = std::thread([this, serve] {
            while (waitReadable(fd_, stop_)) {
                const int client = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
                if (client < 0) continue;
                // Sends time out so that a stop is seen even against a full window.
                timeval t{0, 200'000};
                ::setsockopt(client, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
                serve(client, stop_);
                ::close(client);
            }
        });
    }
    ~LoopbackServer() {
        stop_.raise();
        ::shutdown(fd_, SHUT_RDWR);  // wakes the wait for a connection at once
        if (thread_.joinable()) thread_.join();
        ::close(fd_);
    }
    int port() const { return port_; }

private:
    int fd_ = -1;
    int port_ = 0;
    StopFlag stop_;
    std::thread thread_;
};

inline Serve reply(std::string bytes) {
    return [bytes](int fd, const StopFlag& stop) {
        readRequest(fd, stop);
        sendAll(fd, bytes, stop);
    };
}

inline std::string euc(std::string_view bytes) { return std::string(bytes); }

// A stock page the InfoSeek reader reads completely: today's date (a page is
// never dated after today), open 1,210, high 1,250, low 1,200, close 1,234,
// volume 123,400, margin sell 1,000 and buy 2,000.
inline std::string stockPage() {
    using namespace markers;
    const LocalDateTime today = SystemClock().now();
    const std::string date = std::to_string(today.month) + "/" + std::to_string(today.day);
    return "<html><head><title>stock</title></head><body>\n<table><tr><th>" + euc(kCurrentPrice) + "</th>" +
           euc(kInfoSeekPriceCell) + "1,234</b>(" + date + " 15:00)</td></tr></table>\n<table><tr>" +
           euc(kInfoSeekHighCell) + "1,250</td><td>1,200</td><td>1,210</td><td>123,400</td></tr></table>\n" +
           "<table><tr><th>12" + euc(kMonth) + "01" + euc(kDayHeaderEnd) +
           "<td>1,000</td><td>2,000</td></tr></table></body></html>\n";
}

inline const std::string kHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=EUC-JP\r\n\r\n";

// The page in chunks of `size` bytes, as cpp-httplib answers even HTTP/1.0.
inline std::string chunkedReply(std::string_view page, std::size_t size) {
    std::string out = "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=EUC-JP\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < page.size(); at += size) {
        const std::string_view part = page.substr(at, size);
        char head[24];
        std::snprintf(head, sizeof head, "%zx\r\n", part.size());
        out.append(head).append(part).append("\r\n");
    }
    return out + "0\r\n\r\n";
}

}  // namespace quarlink::test
