#pragma once
#include <memory>

#include "store/application.h"
#include "store/clock.h"
#include "web/endpoints.h"
#include "web/html_value_format.h"
#include "web/page_fetcher.h"

namespace quarlink {

class HttpClient;

// What a web session takes from outside. Each one left out is the program's
// own: the HTTP client (retrying as endpoints.conf says, waiting on
// `sleeper`), the system clock, real time. Those given must outlive the session.
struct WebEnvironment {
    PageFetcher* fetcher = nullptr;
    const Clock* clock = nullptr;
    Sleeper* sleeper = nullptr;
};

// What a network job needs from the outside world: endpoints.conf from the
// working folder, a page fetcher, a clock, and a sleeper for the waits
// between retries, with a page reader over them.
class WebSession {
public:
    explicit WebSession(const Application& app, const WebEnvironment& environment = {});
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    const Endpoints& endpoints() const { return endpoints_; }
    const Clock& clock() const { return *clock_; }
    PageFetcher& fetcher() { return *fetcher_; }
    HtmlValueFormat& reader() { return *reader_; }

    // Safe from any thread: the fetch in flight ends at once and every later
    // one fails until resetAbort(). A fetcher given from outside is not aborted.
    void abort();
    void resetAbort();

private:
    Endpoints endpoints_;
    SystemClock systemClock_;
    std::unique_ptr<HttpClient> client_;
    PageFetcher* fetcher_;
    const Clock* clock_;
    std::unique_ptr<HtmlValueFormat> reader_;
};

}  // namespace quarlink
