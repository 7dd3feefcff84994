#include "core/jobs/web_session.h"

#include "core/store/folder_layout.h"
#include "core/web/http_client.h"

namespace quarlink {

WebSession::WebSession(const Application& app, const WebEnvironment& environment, PageFetcher* fetcher)
    : endpoints_(loadEndpoints(layout::endpointsFile(app))), environment_(environment), fetcher_(fetcher) {
    if (!fetcher_) {
        client_ = std::make_unique<HttpClient>(endpoints_, environment_);
        fetcher_ = client_.get();
    }
    reader_ = std::make_unique<HtmlValueFormat>(*fetcher_, endpoints_, *environment_.clock);
}

WebSession::~WebSession() = default;

void WebSession::reportFetchErrors(std::function<void(const std::string&)> sink) {
    if (client_) client_->onError = std::move(sink);
}

void WebSession::abort() {
    if (client_) client_->abort();
}
void WebSession::resetAbort() {
    if (client_) client_->resetAbort();
}

}  // namespace quarlink
