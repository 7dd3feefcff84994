#pragma once
#include <chrono>
#include <optional>
#include <string>

namespace quarlink {

// Estimates the time left of a job from its progress position (0..100),
// assuming the rest goes at the pace seen since the first position observed
// (a resumed or index-only run starts well above 0).
class ProgressEstimate {
public:
    using Clock = std::chrono::steady_clock;

    void observe(int progress, Clock::time_point now = Clock::now());
    // Nothing until the position has moved; zero at 100 or more.
    std::optional<std::chrono::seconds> remaining() const;

    // "12s", "3m05s", "1h02m".
    static std::string format(std::chrono::seconds left);

private:
    std::optional<int> first_;
    Clock::time_point firstAt_{};
    int latest_ = 0;
    Clock::time_point latestAt_{};
};

}  // namespace quarlink
