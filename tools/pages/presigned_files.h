#pragma once
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace httplib {
class Server;
}

namespace quarlink::pages {

// The download host of the bulk files, as a storage service's presigned
// URLs behave: a URL serves its file once, within `ttlMs` of being issued,
// and the host never takes the API's key.
class PresignedFiles {
public:
    // `base` is the host's "http(s)://127.0.0.1:PORT".
    PresignedFiles(std::string base, int ttlMs);

    // base/files/<key>?X-Expires=<ms since the epoch>&X-Signature=<opaque>
    std::string issue(const std::string& key, std::shared_ptr<const std::string> bytes);
    void addRoutes(httplib::Server& server);

private:
    struct Ticket {
        std::string key, expires;
        std::chrono::steady_clock::time_point deadline;
        std::shared_ptr<const std::string> bytes;  // null once served or expired
    };

    const std::string base_;
    const std::chrono::milliseconds ttl_;
    const std::uint64_t secret_;
    std::mutex mutex_;
    std::uint64_t issued_ = 0;
    std::map<std::string, Ticket> tickets_;  // by signature
};

}  // namespace quarlink::pages
