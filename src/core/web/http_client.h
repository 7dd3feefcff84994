#pragma once
#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "core/web/endpoints.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

// One blocking HTTP/1.0 GET over a POSIX socket: sends the fixed request,
// reads until the server closes, hands back the status line and headers as
// received with the body unframed (chunks joined, cut at Content-Length).
// A body shorter than announced fails the fetch. The result is 1 or 0; what
// went wrong goes to `onError`, never to a stream of its own.
class HttpClient final : public PageFetcher {
public:
    // Bounds that keep a stuck or hostile server from freezing the program.
    struct Limits {
        int attempts = 4;
        int retryWaitMs = 2000;
        int connectTimeoutMs = 10'000;  // per attempt
        int idleTimeoutMs = 30'000;     // without a received byte
        int pageTimeoutMs = 120'000;    // the whole exchange once connected: a trickle cannot hold a job
        std::size_t maxResponseBytes = 32u << 20;
    };
    static constexpr std::size_t kMaxHostOrPath = 25'599;

    // Deadlines and the pause are measured on the environment's steady clock
    // and its sleeper spends the waits between attempts.
    explicit HttpClient(const WebEnvironment& environment);
    // Takes pause_ms, proxy, timeout_ms, page_timeout_ms, retry_attempts and
    // retry_wait_ms from endpoints.conf.
    HttpClient(const Endpoints& endpoints, const WebEnvironment& environment);

    Limits limits;
    int pauseMs = 0;                 // least time between the starts of two requests to one server
    std::optional<Endpoint> proxy;   // request line then carries the absolute URI
    // Told, on the fetching thread, why a fetch failed or its page was cut
    // to the headers ("サーバからの受信が時間切れ"); a refused connection says nothing.
    std::function<void(const std::string&)> onError;

    int fetch(const std::string& host, std::uint16_t port, const std::string& path,
              std::string& response) override;

    // May be called from any thread: a running fetch ends within about 100 ms
    // with result 0, and every fetch fails at once until resetAbort().
    void abort() { aborted_.store(true); }
    void resetAbort() { aborted_.store(false); }
    bool abortRequested() const { return aborted_.load(); }

    enum class Framing { Whole, Short, Malformed };
    // Rewrites a raw response so its body is the page alone. Short: the
    // server closed before the announced end; Malformed: broken chunk or
    // length framing (the body is then dropped).
    static Framing unframe(std::string& response);

    // The request text sent for a path (exposed for tests and diagnostics).
    std::string requestText(const std::string& host, std::uint16_t port, const std::string& path) const;

private:
    // False when an abort ended the wait.
    bool waitAbortable(std::chrono::steady_clock::duration duration);

    void report(const char* text) const;

    WebEnvironment environment_;
    std::atomic<bool> aborted_{false};
    std::vector<char> receiveBuffer_;
    std::map<std::string, std::chrono::steady_clock::time_point> lastStart_;
};

}  // namespace quarlink
