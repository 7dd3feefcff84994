#pragma once
#include <functional>
#include <memory>
#include <string>

#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

class HttpClient;

// What a network job needs from the outside world: endpoints.conf from the
// working folder, a page fetcher, the environment's clocks and sleeper, with
// a page reader over them. Without a fetcher the session makes its own HTTP
// client, retrying as endpoints.conf says in the same environment. Whatever
// is given must outlive the session.
class WebSession {
public:
    WebSession(const Application& app, const WebEnvironment& environment,
                        PageFetcher* fetcher = nullptr);
    ~WebSession();
    WebSession(const WebSession&) = delete;
    WebSession& operator=(const WebSession&) = delete;

    const Endpoints& endpoints() const { return endpoints_; }
    const Clock& clock() const { return *environment_.clock; }
    const WebEnvironment& environment() const { return environment_; }
    PageFetcher& fetcher() { return *fetcher_; }
    HtmlValueFormat& reader() { return *reader_; }

    // Where the own client's failure lines go, each as it happens on the
    // fetching thread; set it before the job runs. A given fetcher keeps its own.
    void reportFetchErrors(std::function<void(const std::string&)> sink);

    // Safe from any thread: the fetch in flight ends at once and every later
    // one fails until resetAbort(). A fetcher given from outside is not aborted.
    void abort();
    void resetAbort();

private:
    Endpoints endpoints_;
    WebEnvironment environment_;
    std::unique_ptr<HttpClient> client_;
    PageFetcher* fetcher_;
    std::unique_ptr<HtmlValueFormat> reader_;
};

}  // namespace quarlink
