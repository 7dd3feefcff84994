#include "jobs/web_session.h"

#include "store/folder_layout.h"
#include "web/http_client.h"

namespace quarlink {

WebSession::WebSession(const Application& app, const WebEnvironment& environment)
    : endpoints_(loadEndpoints(layout::endpointsFile(app))),
      clock_(environment.clock ? environment.clock : &systemClock_) {
    if (environment.fetcher) {
        fetcher_ = environment.fetcher;
    } else {
        client_ = std::make_unique<HttpClient>(
            endpoints_, environment.sleeper ? *environment.sleeper : SystemSleeper::instance());
        fetcher_ = client_.get();
    }
    reader_ = std::make_unique<HtmlValueFormat>(*fetcher_, endpoints_, *clock_);
}

WebSession::~WebSession() = default;

void WebSession::abort() {
    if (client_) client_->abort();
}
void WebSession::resetAbort() {
    if (client_) client_->resetAbort();
}

}  // namespace quarlink
