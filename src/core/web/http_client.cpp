#include "core/web/http_client.h"

#include <arpa/inet.h>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace quarlink {

namespace {

constexpr int kSliceMs = 50;  // how often a wait looks at the abort flag
constexpr std::size_t kReceiveChunk = 409'599;

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

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
    return text;
}

// Appends the decoded chunks of `body` to `out`.
HttpClient::Framing decodeChunks(std::string_view body, std::string& out) {
    std::size_t at = 0;
    for (;;) {
        const std::size_t lineEnd = body.find('\n', at);
        if (lineEnd == std::string_view::npos) return HttpClient::Framing::Short;
        std::string_view sizeText = trimmed(body.substr(at, lineEnd - at));
        sizeText = trimmed(sizeText.substr(0, sizeText.find(';')));
        std::size_t size = 0;
        if (sizeText.empty() || sizeText.size() > 8) return HttpClient::Framing::Malformed;
        for (char c : sizeText) {
            const int digit = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                              : (c >= 'a' && c <= 'f')                    ? c - 'a' + 10
                              : (c >= 'A' && c <= 'F')                    ? c - 'A' + 10
                                                                          : -1;
            if (digit < 0) return HttpClient::Framing::Malformed;
            size = size * 16 + static_cast<std::size_t>(digit);
        }
        at = lineEnd + 1;
        if (size == 0) return HttpClient::Framing::Whole;  // trailers, if any, carry nothing we read
        if (body.size() - at < size) return HttpClient::Framing::Short;
        out.append(body.substr(at, size));
        at += size;
        if (body.substr(at, 2) == "\r\n")
            at += 2;
        else if (body.substr(at, 1) == "\n")
            at += 1;
        else if (body.size() - at < 2)
            return HttpClient::Framing::Short;
        else
            return HttpClient::Framing::Malformed;
    }
}

}  // namespace

HttpClient::Framing HttpClient::unframe(std::string& response) {
    // A server that sends no status line (HTTP/0.9 style) sends the page itself.
    if (!response.starts_with("HTTP/")) return Framing::Whole;
    // Headers end at the first blank line, CR LF or bare LF.
    const std::size_t crlf = response.find("\r\n\r\n");
    const std::size_t lf = response.find("\n\n");
    if (crlf == std::string::npos && lf == std::string::npos) return Framing::Short;  // closed inside the headers
    const bool crlfFirst = crlf != std::string::npos && (lf == std::string::npos || crlf < lf);
    const std::size_t headEnd = crlfFirst ? crlf : lf;
    const std::size_t bodyStart = headEnd + (crlfFirst ? 4 : 2);

    bool chunked = false;
    std::optional<std::size_t> length;
    const std::string_view head(response.data(), headEnd);
    for (std::size_t at = head.find('\n'); at != std::string_view::npos;) {
        const std::size_t next = head.find('\n', at + 1);
        const std::string_view line = head.substr(at + 1, next == std::string_view::npos ? next : next - at - 1);
        at = next;
        if (startsWithNoCase(line, "Transfer-Encoding:")) {
            std::string value(trimmed(line.substr(18)));
            for (char& c : value) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            chunked = chunked || value.find("chunked") != std::string::npos;
        } else if (startsWithNoCase(line, "Content-Length:")) {
            const std::string_view value = trimmed(line.substr(15));
            std::size_t n = 0;
            bool digits = !value.empty() && value.size() < 16;
            for (char c : value) {
                if (!std::isdigit(static_cast<unsigned char>(c))) digits = false;
                n = n * 10 + static_cast<std::size_t>(c - '0');
            }
            if (!digits || (length && *length != n)) {
                response.resize(bodyStart);
                return Framing::Malformed;
            }
            length = n;
        }
    }

    // The page handed on keeps the status line and headers, with the body as
    // the server meant it: chunk framing or bytes past the length are no page text.
    if (chunked) {
        std::string page = response.substr(0, bodyStart);
        const Framing framing = decodeChunks(std::string_view(response).substr(bodyStart), page);
        if (framing == Framing::Malformed) page.resize(bodyStart);
        response = std::move(page);
        return framing;
    }
    if (length) {
        if (response.size() - bodyStart < *length) return Framing::Short;
        response.resize(bodyStart + *length);
    }
    return Framing::Whole;
}

HttpClient::HttpClient(const WebEnvironment& environment)
    : environment_(environment), receiveBuffer_(kReceiveChunk + 1) {}

HttpClient::HttpClient(const Endpoints& endpoints, const WebEnvironment& environment) : HttpClient(environment) {
    limits.attempts = endpoints.retryAttempts;
    limits.retryWaitMs = endpoints.retryWaitMs;
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

void HttpClient::report(const char* text) const {
    if (onError) onError(text);
}

bool HttpClient::waitAbortable(std::chrono::steady_clock::duration duration) {
    if (duration <= std::chrono::steady_clock::duration::zero()) return !abortRequested();
    return environment_.sleeper->sleepFor(std::chrono::ceil<std::chrono::milliseconds>(duration),
                                          [this] { return abortRequested(); });
}

int HttpClient::fetch(const std::string& host, std::uint16_t port, const std::string& path, std::string& response) {
    if (host.empty() || path.empty()) return 0;
    const std::string request = requestText(host, port, path);
    if (host.size() > kMaxHostOrPath || path.size() > kMaxHostOrPath || request.size() > kMaxHostOrPath) {
        report("ホスト名またはパスが長すぎます");
        return 0;
    }
    response.clear();
    if (abortRequested()) return 0;
    const SteadyClock& clock = *environment_.steady;

    if (pauseMs > 0) {
        const std::string key = host + ":" + std::to_string(port);
        if (auto last = lastStart_.find(key); last != lastStart_.end())
            if (!waitAbortable(last->second + std::chrono::milliseconds(pauseMs) - clock.now())) return 0;
        lastStart_[key] = clock.now();
    }

    const std::string& serverHost = proxy ? proxy->host : host;
    const std::uint16_t serverPort = proxy ? proxy->port : port;
    in_addr address{};
    if (!resolve(serverHost, address)) {
        report("ホストアドレス取得失敗");
        return 0;
    }
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(serverPort);
    server.sin_addr = address;

    // A failed connect leaves a socket unusable on Linux, so each attempt has its own.
    Socket socket;
    for (int attempt = 0; attempt < limits.attempts; ++attempt) {
        if (attempt > 0 && !waitAbortable(std::chrono::milliseconds(limits.retryWaitMs))) return 0;
        socket.fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (socket.fd < 0) {
            report("Socket作成失敗");
            return 0;
        }
        bool connected = ::connect(socket.fd, reinterpret_cast<sockaddr*>(&server), sizeof server) == 0;
        if (!connected && errno == EINPROGRESS) {
            const auto deadline = clock.now() + std::chrono::milliseconds(limits.connectTimeoutMs);
            pollfd p{socket.fd, POLLOUT, 0};
            // The deadline is looked at after each poll, so a connection that
            // is ready counts however far the clock has moved.
            for (;;) {
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
                if (clock.now() >= deadline) break;
            }
        }
        if (connected) break;
        socket.reset();
    }
    if (socket.fd < 0) return 0;

    // The whole request, however the kernel splits it.
    const auto pageDeadline = clock.now() + std::chrono::milliseconds(limits.pageTimeoutMs);
    std::size_t sent = 0;
    auto idleSince = clock.now();
    while (sent < request.size()) {
        if (abortRequested()) return 0;
        const ssize_t n = ::send(socket.fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
            idleSince = clock.now();
            continue;
        }
        const bool wait = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR);
        if (!wait || clock.now() - idleSince > std::chrono::milliseconds(limits.idleTimeoutMs) ||
            clock.now() > pageDeadline) {
            report("サーバへの送信失敗");
            ::shutdown(socket.fd, SHUT_RDWR);
            return 0;
        }
        pollfd p{socket.fd, POLLOUT, 0};
        ::poll(&p, 1, kSliceMs);
    }

    idleSince = clock.now();
    for (;;) {
        if (abortRequested()) {
            response.clear();
            return 0;
        }
        pollfd p{socket.fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kSliceMs);
        const bool late = clock.now() > pageDeadline;
        if (late || ready == 0 || (ready < 0 && errno == EINTR)) {
            if (late || clock.now() - idleSince > std::chrono::milliseconds(limits.idleTimeoutMs)) {
                report("サーバからの受信が時間切れ");
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
            report("サーバの応答が大きすぎます");
            response.clear();
            return 0;
        }
        idleSince = clock.now();
    }
    switch (unframe(response)) {
    case Framing::Whole: break;
    case Framing::Short:
        // A page cut short of its announced end is a broken connection, not a page.
        report("サーバからの応答が途中で切れました");
        response.clear();
        return 0;
    case Framing::Malformed:
        // Only the headers go on, so the reader reports a page it does not recognise.
        report("サーバの応答の区切りが不正です");
        break;
    }
    return 1;
}

}  // namespace quarlink
