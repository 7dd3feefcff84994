#include "core/jobs/progress_estimate.h"

#include <cstdio>

namespace quarlink {

void ProgressEstimate::observe(int progress, Clock::time_point now) {
    if (!first_) {
        first_ = progress;
        firstAt_ = now;
    }
    latest_ = progress;
    latestAt_ = now;
}

std::optional<std::chrono::seconds> ProgressEstimate::remaining() const {
    if (!first_) return std::nullopt;
    if (latest_ >= 100) return std::chrono::seconds{0};
    if (latest_ <= *first_) return std::nullopt;
    const double elapsed = std::chrono::duration<double>(latestAt_ - firstAt_).count();
    const double left = elapsed * (100 - latest_) / (latest_ - *first_);
    return std::chrono::seconds{static_cast<long long>(left + 0.5)};
}

std::string ProgressEstimate::format(std::chrono::seconds left) {
    const long long s = left.count() < 0 ? 0 : left.count();
    char text[32];
    if (s < 60)
        std::snprintf(text, sizeof text, "%llds", s);
    else if (s < 3600)
        std::snprintf(text, sizeof text, "%lldm%02llds", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%lldh%02lldm", s / 3600, s / 60 % 60);
    return text;
}

}  // namespace quarlink
