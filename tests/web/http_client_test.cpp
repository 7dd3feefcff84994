#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <thread>

#include "support/loopback_server.h"
#include "web/http_client.h"

namespace quarlink {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;

// The shared loopback server with a plain blocking `serve` per connection.
struct LocalServer : test::LoopbackServer {
    explicit LocalServer(std::function<void(int fd)> serve)
        : LoopbackServer([serve](int fd, const std::atomic<bool>&) { serve(fd); }, true) {}
};

std::string readRequest(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        request.append(buffer, static_cast<std::size_t>(n));
    }
    return request;
}

void sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n <= 0) return;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void makeFast(HttpClient& client) {
    client.limits.retryWaitMs = 50;
    client.limits.idleTimeoutMs = 2000;
}

TEST(HttpClient, SendsTheExactRequestAndKeepsTheWholeRawResponse) {
    std::string seen;
    const std::string reply = std::string("HTTP/1.0 200 OK\r\nX: y\r\n\r\nbody\0tail", 32);
    LocalServer server([&](int fd) {
        seen = readRequest(fd);
        sendAll(fd, reply);
    });
    HttpClient client;
    makeFast(client);
    std::string response = "old";
    ASSERT_EQ(client.fetch("127.0.0.1", server.port(), "/q?s=1301&d=t", response), 1);
    EXPECT_EQ(seen, "GET /q?s=1301&d=t HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.port()) +
                        "\r\nUser-Agent: httpc/0.0\r\n\r\n");
    EXPECT_EQ(response, reply);
    EXPECT_EQ(client.requestText("h", 80, "/x"), "GET /x HTTP/1.0\r\nHost: h:80\r\nUser-Agent: httpc/0.0\r\n\r\n");
}

// A 671-byte page with digits where chunk sizes would be taken for prices.
std::string framedPage() {
    std::string page = "<html><body>";
    for (int i = 0; page.size() < 660; ++i) page += std::to_string(1000 + i) + ",";
    page.resize(664);
    return page + "</html>";
}

std::string chunked(const std::string& page, std::size_t size, bool lowerHex = false) {
    std::string out = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t at = 0; at < page.size(); at += size) {
        const std::string part = page.substr(at, size);
        char head[32];
        std::snprintf(head, sizeof head, lowerHex ? "%zx\r\n" : "%zX;ext=1\r\n", part.size());
        out += head + part + "\r\n";
    }
    return out + "0\r\n\r\n";
}

// Over a real socket, as cpp-httplib sends it: the client hands on the page,
// never the framing.
TEST(HttpClient, ChunkedBodyArrivesAsThePageAtEveryChunkSize) {
    const std::string page = framedPage();
    ASSERT_EQ(page.size(), 671u);
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nTransfer-Encoding: chunked\r\n\r\n";
    for (std::size_t size : {1u, 2u, 9u, 15u, 16u, 255u, 256u, 670u, 671u, 700u}) {
        const std::string reply = chunked(page, size, size % 2 == 0);
        LocalServer server([&](int fd) {
            readRequest(fd);
            sendAll(fd, reply);
        });
        HttpClient client;
        makeFast(client);
        std::string response;
        ASSERT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 1) << size;
        EXPECT_EQ(response, head + page) << size;
    }
}

// Cut short of the announced end (Content-Length or the last chunk) is a
// broken connection; broken framing hands on the headers alone, so the reader
// reports a page it does not know; bytes past Content-Length are no page.
TEST(HttpClient, ShortOrBrokenFramingNeverReachesAReaderAsPage) {
    const std::string page = framedPage();
    const std::string lengthHead = "HTTP/1.0 200 OK\r\nContent-Length: 671\r\n\r\n";
    const std::string whole = chunked(page, 100);
    struct Case {
        const char* name;
        std::string reply;
        int result;
        std::string response;
    } cases[] = {
        {"length, nothing sent", lengthHead, 0, ""},
        {"length, 508 of 671", lengthHead + page.substr(0, 508), 0, ""},
        {"length, 670 of 671", lengthHead + page.substr(0, 670), 0, ""},
        {"length, all", lengthHead + page, 1, lengthHead + page},
        {"length, trailing bytes", lengthHead + page + "99,99", 1, lengthHead + page},
        {"chunked, cut inside a chunk", whole.substr(0, whole.size() / 2), 0, ""},
        {"chunked, no last chunk", whole.substr(0, whole.size() - 5), 0, ""},
        {"chunked, bad size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + page, 1,
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"},
        {"no status line", page, 1, page},
    };
    for (const Case& c : cases) {
        LocalServer server([&](int fd) {
            readRequest(fd);
            sendAll(fd, c.reply);
        });
        HttpClient client;
        makeFast(client);
        std::string response;
        EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), c.result) << c.name;
        if (c.result == 1) EXPECT_EQ(response, c.response) << c.name;
    }
}

TEST(HttpClient, ProxyGetsTheAbsoluteUri) {
    std::string seen;
    LocalServer proxy([&](int fd) {
        seen = readRequest(fd);
        sendAll(fd, "HTTP/1.0 200 OK\r\n\r\n");
    });
    HttpClient client;
    makeFast(client);
    client.proxy = Endpoint{"127.0.0.1", proxy.port()};
    std::string response;
    ASSERT_EQ(client.fetch("table.example", 8080, "/t?s=1", response), 1);
    EXPECT_EQ(seen, "GET http://table.example:8080/t?s=1 HTTP/1.0\r\nHost: table.example:8080\r\n"
                    "User-Agent: httpc/0.0\r\n\r\n");
}

TEST(HttpClient, CloseWithoutDataIsSuccessWithAnEmptyResponse) {
    LocalServer server([](int fd) { readRequest(fd); });
    HttpClient client;
    makeFast(client);
    std::string response = "previous page";
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 1);
    EXPECT_TRUE(response.empty());
}

TEST(HttpClient, RefusedConnectionFailsAfterEveryAttempt) {
    std::uint16_t port;
    test::LoopbackServer closed({}, false);  // bound, not listening: refuses
    port = static_cast<std::uint16_t>(closed.port());
    Endpoints endpoints;
    endpoints.retryAttempts = 3;
    endpoints.retryWaitMs = 700;
    InstantSleeper sleeper;
    HttpClient client(endpoints, sleeper);
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", port, "/", response), 0);
    EXPECT_EQ(sleeper.slept, 1400ms) << "two waits between three attempts";
}

TEST(HttpClient, RefusesEmptyOrOversizedHostAndPathKeepingTheResponse) {
    HttpClient client;
    makeFast(client);
    std::string response = "kept";
    EXPECT_EQ(client.fetch("127.0.0.1", 80, "", response), 0);
    EXPECT_EQ(client.fetch("", 80, "/", response), 0);
    EXPECT_EQ(client.fetch("127.0.0.1", 80, "/" + std::string(HttpClient::kMaxHostOrPath, 'a'), response), 0);
    EXPECT_EQ(client.fetch(std::string(HttpClient::kMaxHostOrPath + 1, 'h'), 80, "/", response), 0);
    EXPECT_EQ(response, "kept");
}

TEST(HttpClient, ServerThatNeverClosesTimesOut) {
    LocalServer server([](int fd) {
        readRequest(fd);
        sendAll(fd, "HTTP/1.0 200 OK\r\n\r\npartial");
        std::this_thread::sleep_for(800ms);
    });
    HttpClient client;
    makeFast(client);
    client.limits.idleTimeoutMs = 300;
    std::string response;
    const auto start = SteadyClock::now();
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_LT(SteadyClock::now() - start, 700ms);
}

TEST(HttpClient, TrickleEndsAtThePageTimeout) {
    LocalServer server([](int fd) {
        readRequest(fd);
        for (int i = 0; i < 40; ++i) {
            sendAll(fd, "x");
            std::this_thread::sleep_for(50ms);
        }
    });
    Endpoints endpoints;
    endpoints.timeoutMs = 300;
    endpoints.pageTimeoutMs = 400;
    HttpClient client(endpoints);
    EXPECT_EQ(client.limits.idleTimeoutMs, 300);
    EXPECT_EQ(client.limits.connectTimeoutMs, 300);
    std::string response;
    const auto start = SteadyClock::now();
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_LT(SteadyClock::now() - start, 1000ms);
    EXPECT_TRUE(response.empty());
}

TEST(HttpClient, ResponseOverTheCapFails) {
    LocalServer server([](int fd) {
        readRequest(fd);
        sendAll(fd, std::string(3u << 20, 'x'));
    });
    HttpClient client;
    makeFast(client);
    client.limits.maxResponseBytes = 1u << 20;
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_TRUE(response.empty());
}

TEST(HttpClient, AbortFromAnotherThreadEndsTheFetchQuickly) {
    LocalServer server([](int fd) {
        readRequest(fd);
        std::this_thread::sleep_for(600ms);
    });
    HttpClient client;
    makeFast(client);
    client.limits.idleTimeoutMs = 10'000;
    std::string response;
    SteadyClock::time_point aborted;
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        aborted = SteadyClock::now();
        client.abort();
    });
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    const auto ended = SteadyClock::now();
    canceller.join();
    EXPECT_LT(ended - aborted, 150ms);
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0) << "stays aborted until reset";
}

TEST(HttpClient, PauseSpacesTheStartsOfRequestsToOneServer) {
    LocalServer server([](int fd) { readRequest(fd); });
    HttpClient client;
    makeFast(client);
    client.pauseMs = 300;
    std::string response;
    const auto start = SteadyClock::now();
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/a", response), 1);
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/b", response), 1);
    EXPECT_GE(SteadyClock::now() - start, 300ms);
}

}  // namespace
}  // namespace quarlink
