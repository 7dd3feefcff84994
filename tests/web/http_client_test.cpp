#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>

#include "support/fake_clock.h"
#include "support/loopback_server.h"
#include "core/web/http_client.h"

namespace quarlink {
namespace {

using namespace std::chrono_literals;

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
    HttpClient client(systemEnvironment());
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
        HttpClient client(systemEnvironment());
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
        bool reported;  // a line for the user says what went wrong
    } cases[] = {
        {"length, nothing sent", lengthHead, 0, "", true},
        {"length, 508 of 671", lengthHead + page.substr(0, 508), 0, "", true},
        {"length, 670 of 671", lengthHead + page.substr(0, 670), 0, "", true},
        {"length, all", lengthHead + page, 1, lengthHead + page, false},
        {"length, trailing bytes", lengthHead + page + "99,99", 1, lengthHead + page, false},
        {"chunked, cut inside a chunk", whole.substr(0, whole.size() / 2), 0, "", true},
        {"chunked, no last chunk", whole.substr(0, whole.size() - 5), 0, "", true},
        {"chunked, bad size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n" + page, 1,
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", true},
        {"no status line", page, 1, page, false},
    };
    for (const Case& c : cases) {
        LocalServer server([&](int fd) {
            readRequest(fd);
            sendAll(fd, c.reply);
        });
        SCOPED_TRACE(c.name);
        HttpClient client(systemEnvironment());
        makeFast(client);
        std::vector<std::string> errors;
        client.onError = [&](const std::string& text) { errors.push_back(text); };
        std::string response;
        EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), c.result);
        if (c.result == 1) {
            EXPECT_EQ(response, c.response);
        }
        EXPECT_EQ(errors.size(), c.reported ? 1u : 0u);
    }
}

TEST(HttpClient, ProxyGetsTheAbsoluteUri) {
    std::string seen;
    LocalServer proxy([&](int fd) {
        seen = readRequest(fd);
        sendAll(fd, "HTTP/1.0 200 OK\r\n\r\n");
    });
    HttpClient client(systemEnvironment());
    makeFast(client);
    client.proxy = Endpoint{"127.0.0.1", proxy.port()};
    std::string response;
    ASSERT_EQ(client.fetch("table.example", 8080, "/t?s=1", response), 1);
    EXPECT_EQ(seen, "GET http://table.example:8080/t?s=1 HTTP/1.0\r\nHost: table.example:8080\r\n"
                    "User-Agent: httpc/0.0\r\n\r\n");
}

TEST(HttpClient, CloseWithoutDataIsSuccessWithAnEmptyResponse) {
    LocalServer server([](int fd) { readRequest(fd); });
    HttpClient client(systemEnvironment());
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
    WebEnvironment environment = systemEnvironment();
    environment.sleeper = &sleeper;
    HttpClient client(endpoints, environment);
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", port, "/", response), 0);
    EXPECT_EQ(sleeper.slept, 1400ms) << "two waits between three attempts";
}

TEST(HttpClient, RefusesEmptyOrOversizedHostAndPathKeepingTheResponse) {
    HttpClient client(systemEnvironment());
    makeFast(client);
    std::string response = "kept";
    EXPECT_EQ(client.fetch("127.0.0.1", 80, "", response), 0);
    EXPECT_EQ(client.fetch("", 80, "/", response), 0);
    EXPECT_EQ(client.fetch("127.0.0.1", 80, "/" + std::string(HttpClient::kMaxHostOrPath, 'a'), response), 0);
    EXPECT_EQ(client.fetch(std::string(HttpClient::kMaxHostOrPath + 1, 'h'), 80, "/", response), 0);
    EXPECT_EQ(response, "kept");
}

// Time passes only on the fake clock, a step at each look once the server
// has gone quiet: the idle limit ends the fetch without being waited for.
TEST(HttpClient, ServerThatGoesQuietTimesOutOnTheInjectedClock) {
    test::FakeTime time;
    test::LoopbackServer server(
        [&](int fd, const test::StopFlag& stop) {
            test::readRequest(fd, stop);
            test::sendAll(fd, "HTTP/1.0 200 OK\r\n\r\npartial", stop);
            time.steady.setStep(10s);
            test::sleepUnlessStopped(1h, stop);
        },
        true);
    HttpClient client(time.environment());
    std::vector<std::string> errors;
    client.onError = [&](const std::string& text) { errors.push_back(text); };
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_GE(time.steady.elapsed(), std::chrono::milliseconds(client.limits.idleTimeoutMs));
    EXPECT_LT(time.steady.elapsed(), std::chrono::milliseconds(client.limits.pageTimeoutMs)) << "idle, not the page";
}

// A server slow to answer is waited for: the quiet spell, well inside the
// idle limit, passes on the fake clock as the client looks at it.
TEST(HttpClient, AnswerAfterAQuietSpellInsideTheIdleLimitIsRead) {
    test::FakeTime time;
    const std::string page = "HTTP/1.0 200 OK\r\n\r\nlate page";
    test::LoopbackServer server(
        [&](int fd, const test::StopFlag& stop) {
            test::readRequest(fd, stop);
            const auto quietFrom = time.steady.elapsed();
            time.steady.setStep(1s);
            // Bounded, so that a client that never looks ends the test instead of hanging it.
            const auto giveUp = std::chrono::steady_clock::now() + 10s;
            while (!stop && time.steady.elapsed() - quietFrom < 4s && std::chrono::steady_clock::now() < giveUp)
                std::this_thread::yield();
            time.steady.setStep(0s);
            test::sendAll(fd, page, stop);
        },
        true);
    HttpClient client(time.environment());
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 1);
    EXPECT_EQ(response, page);
    EXPECT_GE(time.steady.elapsed(), 4s);
}

// A byte at a time, never idle long: only the whole page's limit ends it.
TEST(HttpClient, TrickleEndsAtThePageTimeout) {
    test::FakeTime time;
    test::LoopbackServer server(
        [&](int fd, const std::atomic<bool>& stop) {
            test::readRequest(fd, stop);
            time.steady.setStep(1s);
            while (test::sendAll(fd, "x", stop)) {}
        },
        true);
    Endpoints endpoints;
    endpoints.timeoutMs = 30'000;
    endpoints.pageTimeoutMs = 20'000;
    HttpClient client(endpoints, time.environment());
    EXPECT_EQ(client.limits.idleTimeoutMs, 30'000);
    EXPECT_EQ(client.limits.connectTimeoutMs, 30'000);
    client.limits.maxResponseBytes = 1u << 16;  // a deadline on the wrong clock fails here, not after 32 MB
    std::vector<std::string> errors;
    client.onError = [&](const std::string& text) { errors.push_back(text); };
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_TRUE(response.empty());
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_GE(time.steady.elapsed(), 20s);
}

TEST(HttpClient, ResponseOverTheCapFails) {
    LocalServer server([](int fd) {
        readRequest(fd);
        sendAll(fd, std::string(3u << 20, 'x'));
    });
    HttpClient client(systemEnvironment());
    makeFast(client);
    client.limits.maxResponseBytes = 1u << 20;
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_TRUE(response.empty());
}

// The server aborts the fetch once it is waiting for the answer. The clock
// moves so that a lost abort ends as a reported time-out, not a hang.
TEST(HttpClient, AbortFromAnotherThreadEndsTheFetchWithoutAReport) {
    test::FakeTime time;
    time.steady.setStep(1s);
    HttpClient client(time.environment());
    test::LoopbackServer server(
        [&](int fd, const test::StopFlag& stop) {
            test::readRequest(fd, stop);
            client.abort();
            test::sleepUnlessStopped(1h, stop);
        },
        true);
    std::vector<std::string> errors;
    client.onError = [&](const std::string& text) { errors.push_back(text); };
    std::string response;
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0);
    EXPECT_TRUE(errors.empty()) << errors.front();
    EXPECT_EQ(client.fetch("127.0.0.1", server.port(), "/", response), 0) << "stays aborted until reset";
}

// Starts to one server are pause_ms apart on the steady clock, the gap spent
// through the sleeper; another server is not held back.
TEST(HttpClient, PauseSpacesTheStartsOfRequestsToOneServer) {
    test::FakeTime time;
    LocalServer first([](int fd) { readRequest(fd); });
    LocalServer second([](int fd) { readRequest(fd); });
    HttpClient client(time.environment());
    client.pauseMs = 300;
    struct Case {
        const char* name;
        std::chrono::milliseconds before;  // the clock moves this far first
        const LocalServer& server;
        std::chrono::milliseconds waited;
    } cases[] = {
        {"first request", 0ms, first, 0ms},
        {"at once after it", 0ms, first, 300ms},
        {"100 ms after it", 100ms, first, 200ms},
        {"the pause already past", 300ms, first, 0ms},
        {"another server", 0ms, second, 0ms},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        time.steady.advance(c.before);
        const auto slept = time.sleeper.slept;
        std::string response;
        EXPECT_EQ(client.fetch("127.0.0.1", c.server.port(), "/", response), 1);
        EXPECT_EQ(time.sleeper.slept - slept, c.waited);
    }
}

}  // namespace
}  // namespace quarlink
