#include "core/env/clock.h"

#include <ctime>
#include <thread>

namespace quarlink {

LocalDateTime SystemClock::now() const {
    const std::time_t t = std::time(nullptr);
    std::tm tm{};
    ::localtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

LocalDateTime SystemClock::japanNow() const {
    // Japan keeps no daylight saving time: UTC+9 all year.
    const std::time_t t = std::time(nullptr) + 9 * 3600;
    std::tm tm{};
    ::gmtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec};
}

const SystemClock& SystemClock::instance() {
    static const SystemClock clock;
    return clock;
}

const SystemSteadyClock& SystemSteadyClock::instance() {
    static const SystemSteadyClock clock;
    return clock;
}

bool SystemSleeper::sleepFor(std::chrono::milliseconds duration, const std::function<bool()>& stop) {
    constexpr std::chrono::milliseconds kSlice{50};  // how often the wait looks at `stop`
    const auto until = std::chrono::steady_clock::now() + duration;
    for (auto now = std::chrono::steady_clock::now(); now < until; now = std::chrono::steady_clock::now()) {
        if (stop()) return false;
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(until - now, kSlice));
    }
    return !stop();
}

SystemSleeper& SystemSleeper::instance() {
    static SystemSleeper sleeper;
    return sleeper;
}

}  // namespace quarlink
