#pragma once
#include <memory>

#include "store/application.h"
#include "store/clock.h"
#include "web/endpoints.h"
#include "web/html_value_format.h"
#include "web/page_fetcher.h"

namespace quarlink {

class HttpClient;

// What a network job needs from the outside world, built the one way the
// programs build it: endpoints.conf from the working folder, the HTTP
// client, the system clock and a page reader over them.
class WebSession {
public:
    explicit WebSession(const Application& app);
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    const Endpoints& endpoints() const { return endpoints_; }
    const Clock& clock() const { return clock_; }
    PageFetcher& fetcher();
    HtmlValueFormat& reader() { return *reader_; }

    // Safe from any thread: the fetch in flight ends at once and every later
    // one fails until resetAbort().
    void abort();
    void resetAbort();

private:
    Endpoints endpoints_;
    SystemClock clock_;
    std::unique_ptr<HttpClient> client_;
    std::unique_ptr<HtmlValueFormat> reader_;
};

}  // namespace quarlink
