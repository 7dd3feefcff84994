#include "jobs/web_session.h"

#include "store/folder_layout.h"
#include "web/http_client.h"

namespace quarlink {

WebSession::WebSession(const Application& app)
    : endpoints_(loadEndpoints(layout::endpointsFile(app))), client_(std::make_unique<HttpClient>(endpoints_)) {
    reader_ = std::make_unique<HtmlValueFormat>(*client_, endpoints_, clock_);
}

WebSession::~WebSession() = default;

PageFetcher& WebSession::fetcher() { return *client_; }
void WebSession::abort() { client_->abort(); }
void WebSession::resetAbort() { client_->resetAbort(); }

}  // namespace quarlink
