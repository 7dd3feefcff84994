#include "web/http_client.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdio>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <iostream>

namespace quarlink {

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kSliceMs = 50;  // how often a wait looks at the abort flag
constexpr std::size_t kReceiveChunk = 409'599;

void report(const char* line) { std::cerr << line << std::flush; }

// Closes the socket on every path out of a fetch.
struct Socket {
    int fd = -1;
    ~Socket() { reset(); }
    void reset() {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};

bool resolve(const std::string& host, in_addr& address) {
    if (inet_pton(AF_INET, host.c_str(), &address) == 1) return true;  // dotted: no look-up
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || !found) return false;
    address = reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr;
    freeaddrinfo(found);
    return true;
}

}  // namespace

HttpClient::HttpClient() : receiveBuffer_(kReceiveChunk + 1) {}

HttpClient::HttpClient(const Endpoints& endpoints) : HttpClient() {
    pauseMs = endpoints.pauseMs;
    proxy = endpoints.proxy;
    if (endpoints.timeoutMs) limits.connectTimeoutMs = limits.idleTimeoutMs = *endpoints.timeoutMs;
    if (endpoints.pageTimeoutMs) limits.pageTimeoutMs = *endpoints.pageTimeoutMs;
}

std::string HttpClient::requestText(const std::string& host, std::uint16_t port, const std::string& path) const {
    const std::string hostPort = host + ":" + std::to_string(port);
    const std::string target = proxy ? "http://" + hostPort + path : path;
    return "GET " + target + " HTTP/1.0\r\nHost: " + hostPort + "\r\nUser-Agent: httpc/0.0\r\n\r\n";
}

bool HttpClient::waitAbortable(Clock::time_point until) const {
    while (Clock::now() < until) {
        if (abortRequested()) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
        std::this_thread::sleep_for(std::min(left, std::chrono::milliseconds(kSliceMs)));
    }
    return !abortRequested();
}

int HttpClient::fetch(const std::string& host, std::uint16_t port, const std::string& path, std::string& response) {
    if (host.empty() || path.empty()) return 0;
    const std::string request = requestText(host, port, path);
    if (host.size() > kMaxHostOrPath || path.size() > kMaxHostOrPath || request.size() > kMaxHostOrPath) {
        report("Error: ホスト名またはパスが長すぎます\n");
        return 0;
    }
    response.clear();
    if (abortRequested()) return 0;

    if (pauseMs > 0) {
        const std::string key = host + ":" + std::to_string(port);
        if (auto last = lastStart_.find(key); last != lastStart_.end())
            if (!waitAbortable(last->second + std::chrono::milliseconds(pauseMs))) return 0;
        lastStart_[key] = Clock::now();
    }

    const std::string& serverHost = proxy ? proxy->host : host;
    const std::uint16_t serverPort = proxy ? proxy->port : port;
    in_addr address{};
    if (!resolve(serverHost, address)) {
        report("Error: ホストアドレス取得失敗\n");
        return 0;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(serverPort);
    server.sin_addr = address;

    // A failed connect leaves a socket unusable on Linux, so each attempt has its own.
    Socket socket;
    for (int attempt = 0; attempt < limits.attempts; ++attempt) {
        if (attempt > 0 && !waitAbortable(Clock::now() + std::chrono::milliseconds(limits.retryWaitMs))) return 0;
        socket.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket.fd < 0) {
            report("Error: Socket作成失敗\n");
            return 0;
        }
        bool connected = ::connect(socket.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
        if (!connected && errno == EINPROGRESS) {
            const auto deadline = Clock::now() + std::chrono::milliseconds(limits.connectTimeoutMs);
            pollfd p{socket.fd, POLLOUT, 0};
            while (Clock::now() < deadline) {
                if (abortRequested()) return 0;
                const int ready = ::poll(&p, 1, kSliceMs);
                if (ready < 0 && errno != EINTR) break;
                if (ready > 0) {
                    int error = 0;
                    socklen_t length = sizeof error;
                    getsockopt(socket.fd, SOL_SOCKET, SO_ERROR, &error, &length);
                    connected = error == 0;
                    break;
                }
            }
        }
        if (connected) break;
        socket.reset();
    }
    if (socket.fd < 0) return 0;

    // The whole request, however the kernel splits it.
    const auto pageDeadline = Clock::now() + std::chrono::milliseconds(limits.pageTimeoutMs);
    std::size_t sent = 0;
    auto idleSince = Clock::now();
    while (sent < request.size()) {
        if (abortRequested()) return 0;
        const ssize_t n = ::send(socket.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            idleSince = Clock::now();
            continue;
        }
        const bool wait = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        if (!wait || Clock::now() - idleSince > std::chrono::milliseconds(limits.idleTimeoutMs) ||
            Clock::now() > pageDeadline) {
            report("Error: サーバへの送信失敗\n");
            ::shutdown(socket.fd, SHUT_RDWR);
            return 0;
        }
        pollfd p{socket.fd, POLLOUT, 0};
        ::poll(&p, 1, kSliceMs);
    }

    idleSince = Clock::now();
    for (;;) {
        if (abortRequested()) {
            response.clear();
            return 0;
        }
        pollfd p{socket.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kSliceMs);
        const bool late = Clock::now() > pageDeadline;
        if (late || ready == 0 || (ready < 0 && errno == EINTR)) {
            if (late || Clock::now() - idleSince > std::chrono::milliseconds(limits.idleTimeoutMs)) {
                report("Error: サーバからの受信が時間切れ\n");
                response.clear();
                return 0;
            }
            continue;
        }
        const ssize_t n = ::recv(socket.fd, receiveBuffer_.data(), kReceiveChunk, 0);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) continue;
        if (n <= 0) break;  // closed, or failed mid-response: keep what came
        // Every byte is kept, NULs too, so the text does not depend on how the
        // kernel cut the stream into chunks.
        response.append(receiveBuffer_.data(), static_cast<std::size_t>(n));
        if (response.size() > limits.maxResponseBytes) {
            report("Error: サーバの応答が大きすぎます\n");
            response.clear();
            return 0;
        }
        idleSince = Clock::now();
    }
    return 1;
}

}  // namespace quarlink
