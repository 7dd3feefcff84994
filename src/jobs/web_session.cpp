#include "jobs/web_session.h"

#include <atomic>

#include "store/folder_layout.h"

namespace quarlink {

// PLACEHOLDER until the HTTP client lands: every fetch fails.
struct WebSession::Client final : PageFetcher {
    std::atomic<bool> aborted{false};
    int fetch(const std::string&, std::uint16_t, const std::string&, std::string&) override { return 0; }
};

WebSession::WebSession(const Application& app)
    : endpoints_(loadEndpoints(layout::endpointsFile(app))), client_(std::make_unique<Client>()) {
    reader_ = std::make_unique<HtmlValueFormat>(*client_, endpoints_, clock_);
}

WebSession::~WebSession() = default;

PageFetcher& WebSession::fetcher() { return *client_; }
void WebSession::abort() { client_->aborted = true; }
void WebSession::resetAbort() { client_->aborted = false; }

}  // namespace quarlink
