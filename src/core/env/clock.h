#pragma once
#include <chrono>
#include <cstdint>
#include <functional>

#include "core/env/date.h"

namespace quarlink {

struct LocalDateTime {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;

    int yyyymmdd() const { return year * 10000 + month * 100 + day; }
};

// The local calendar, injected so that tests can fix the date.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() const = 0;
    // The time in Japan, where the market's days begin and end. A fixed
    // clock gives the same for both.
    virtual LocalDateTime japanNow() const { return now(); }
};

class SystemClock final : public Clock {
public:
    LocalDateTime now() const override;
    LocalDateTime japanNow() const override;
    static const SystemClock& instance();
};

// The time that time-outs and pacing are measured on: never set back, and
// injected so that a test can move it instead of waiting.
class SteadyClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    virtual ~SteadyClock() = default;
    virtual TimePoint now() const = 0;
};

class SystemSteadyClock final : public SteadyClock {
public:
    TimePoint now() const override { return std::chrono::steady_clock::now(); }
    static const SystemSteadyClock& instance();
};

// Waits between retries, injected so that tests need not spend real time.
class Sleeper {
public:
    virtual ~Sleeper() = default;
    // Waits `duration`, ending early when `stop` answers true; returns false
    // then, true when the whole wait passed.
    virtual bool sleepFor(std::chrono::milliseconds duration, const std::function<bool()>& stop) = 0;
};

class SystemSleeper final : public Sleeper {
public:
    bool sleepFor(std::chrono::milliseconds duration, const std::function<bool()>& stop) override;
    static SystemSleeper& instance();
};


}  // namespace quarlink
