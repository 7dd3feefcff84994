#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/web/endpoints.h"
#include "core/web/jquants/csv_rows.h"
#include "core/web/jquants/jquants_client.h"
#include "core/web/page_fetcher.h"

namespace quarlink::jquants {

// A gzip stream inflated as it arrives, its text handed to `text` a buffer
// at a time; members one after another make one text, as with gzip itself.
class GzipText {
public:
    static constexpr std::size_t kBufferBytes = 64u << 10;
    // A month of the whole market is a few megabytes of text; far more is a bomb.
    static constexpr std::uint64_t kMaxTextBytes = 1ull << 30;

    explicit GzipText(TextSink& text);
    ~GzipText();
    GzipText(const GzipText&) = delete;
    GzipText& operator=(const GzipText&) = delete;

    // A new stream, the file `name`; the text starts over too.
    void start(std::string_view name);
    // False when the bytes are not gzip or the text is refused; why() says which.
    bool feed(std::string_view compressed);
    // False when the stream stops inside a member (or has none), or the text is refused.
    bool finish();
    const std::string& why() const { return why_; }
    std::uint64_t textBytes() const { return textBytes_; }

private:
    bool refuse(std::string reason);

    struct Stream;
    std::unique_ptr<Stream> stream_;
    TextSink& text_;
    std::string name_, why_;
    std::uint64_t textBytes_ = 0;
    bool ended_ = false, failed_ = false;
};

// Fetches bulk files from their presigned URLs: a libcurl handle of its own
// that never carries the API key (the URL is the permission; the host refuses
// a request with a key), peer and host verified with the client's extra CA,
// the client's time-outs. The file streams through gzip into a TextSink
// (a CsvRows), so memory stays a few buffers whatever its size. Not
// thread-safe, except abort().
class BulkDownload {
public:
    using StatusLine = Client::StatusLine;
    // A lost connection or a file-host error is asked again this many times.
    static constexpr int kRetries = Client::kServerRetries;

    // extra CA (jquants_ca), timeout_ms, page_timeout_ms and retry_wait_ms
    // from endpoints.conf; waits on the environment's sleeper.
    BulkDownload(const Endpoints& endpoints, const WebEnvironment& environment, StatusLine status = {});
    ~BulkDownload();
    BulkDownload(const BulkDownload&) = delete;
    BulkDownload& operator=(const BulkDownload&) = delete;

    // One GET of `url` for the file `key` into `text` (started anew). Ok;
    // Expired for a 403 or 400 from the file host (a URL serves once, for
    // minutes); ConnectionFailed; Unrecognised when the body is not gzip or
    // its text is refused; Aborted.
    Status get(const std::string& url, const std::string& key, TextSink& text);
    // A listed file: its URL asked of `client`, then fetched. An expired URL
    // is asked anew once; a lost connection, a time-out or a file-host 5xx up
    // to kRetries times, the pause doubling from retry_wait_ms, each with a
    // new URL since a URL serves once. `text` is started at every attempt.
    Status file(Client& client, const std::string& key, TextSink& text);

    // From any thread: the running download ends at once with
    // Outcome::Aborted, and so does every later one until resetAbort().
    void abort();
    void resetAbort() { aborted_.store(false); }

    std::uint64_t bytesReceived() const { return bytes_; }  // as on the wire, compressed
    std::uint64_t filesFetched() const { return files_; }

private:
    struct Curl;
    void wait(std::chrono::milliseconds span);

    std::unique_ptr<Curl> curl_;
    WebEnvironment env_;
    StatusLine status_;
    std::chrono::milliseconds retryWait_{2000};
    std::string setupError_;
    std::atomic<bool> aborted_{false};
    bool retryable_ = false;  // the last failure may pass if asked again
    std::uint64_t bytes_ = 0;
    std::uint64_t files_ = 0;
};

}  // namespace quarlink::jquants
