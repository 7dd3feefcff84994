#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "web/endpoints.h"
#include "web/jquants/jquants_types.h"

namespace quarlink::jquants {

// Requests a minute for a plan name (free 5, light 60, standard 120,
// premium 500); an unknown name gets the free plan's pace.
int planRequestsPerMinute(std::string_view plan);

// A J-Quants API v2 client over one reused libcurl handle (keep-alive, gzip,
// peer verification always on). Every call follows pagination to the end and
// paces requests to the plan's limit. Not thread-safe, except abort().
class Client {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    // Injected so that tests take no real time; unset members use the system.
    struct Hooks {
        std::function<TimePoint()> now;
        std::function<void(std::chrono::milliseconds)> sleep;
        std::function<void(const std::string&)> status;   // lines for the status line, e.g. a rate-limit wait
    };
    static constexpr int kRateLimitRetries = 5;
    static constexpr std::chrono::milliseconds kRateLimitWait{65'000};

    // Base URL, pace, extra CA, timeout_ms and page_timeout_ms from endpoints.conf.
    Client(const Endpoints& endpoints, std::string apiKey, Hooks hooks = {});
    ~Client();
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    Status calendar(std::int32_t from, std::int32_t to, Calendar& out);
    Status dailyBarsByDate(std::int32_t date, DailyBars& out);
    Status dailyBarsByCode(int code, std::int32_t from, std::int32_t to, DailyBars& out);
    Status marginInterestByDate(std::int32_t date, MarginBalances& out);
    Status marginInterestByCode(int code, std::int32_t from, std::int32_t to, MarginBalances& out);
    Status topix(std::int32_t from, std::int32_t to, IndexBars& out);
    Status listedMaster(ListedMaster& out);

    // From any thread: the running request ends within about a second with
    // Outcome::Aborted, and so does every later one until resetAbort().
    void abort();
    void resetAbort() { aborted_.store(false); }

    int requestsPerMinute() const { return rpm_; }
    std::uint64_t requestsSent() const { return requests_; }
    std::uint64_t bytesReceived() const { return bytes_; }   // as on the wire, before decompression

private:
    struct Curl;
    using PageParser = std::function<bool(std::string_view body, std::string& nextKey)>;

    Status getAll(const std::string& path, const std::string& query, const PageParser& parse);
    Status getOne(const std::string& url, std::string& body);
    Status perform(const std::string& url, std::string& body, long& httpStatus, std::chrono::milliseconds& retryAfter);
    void pace();
    void wait(std::chrono::milliseconds span);
    std::string scrubbed(std::string text) const;

    std::unique_ptr<Curl> curl_;
    std::string base_;
    std::string key_;
    Hooks hooks_;
    int rpm_ = 5;
    std::string setupError_;
    std::atomic<bool> aborted_{false};
    bool started_ = false;
    TimePoint lastStart_{};
    std::uint64_t requests_ = 0;
    std::uint64_t bytes_ = 0;
};

}  // namespace quarlink::jquants
