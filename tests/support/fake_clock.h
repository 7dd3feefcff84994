#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>

#include "core/env/clock.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

// A wall clock that says what it is told.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime at) : at_(at) {}
    LocalDateTime now() const override { return at_; }
    void set(LocalDateTime at) { at_ = at; }

private:
    LocalDateTime at_;
};

// Returns at once and keeps the total asked for.
class InstantSleeper final : public Sleeper {
public:
    bool sleepFor(std::chrono::milliseconds duration, const std::function<bool()>& stop) override {
        slept += duration;
        return !stop();
    }
    std::chrono::milliseconds slept{0};
};

}  // namespace quarlink

namespace quarlink::test {

// A steady clock that moves only when told: by advance(), or by a step at
// every reading once setStep() is called, so that time passes while the code
// under test waits on a socket. Safe to move from another thread.
class FakeSteadyClock final : public SteadyClock {
public:
    TimePoint now() const override { return TimePoint(std::chrono::nanoseconds(ticks_.fetch_add(step_.load()))); }
    void advance(std::chrono::nanoseconds by) { ticks_ += by.count(); }
    void setStep(std::chrono::nanoseconds step) { step_ = step.count(); }
    std::chrono::nanoseconds elapsed() const { return std::chrono::nanoseconds(ticks_.load()); }

private:
    mutable std::atomic<std::int64_t> ticks_{0};
    std::atomic<std::int64_t> step_{0};
};

// A web client's environment on fake time: waits are kept, not spent. The
// date is the system's unless a test gives its own clock.
struct FakeTime {
    FakeSteadyClock steady;
    InstantSleeper sleeper;
    WebEnvironment environment() { return environment(SystemClock::instance()); }
    WebEnvironment environment(const Clock& clock) { return {&clock, &steady, &sleeper}; }
};

// The system's steady clock and sleeper on a test's date.
inline WebEnvironment onClock(const Clock& clock) {
    WebEnvironment e = systemEnvironment();
    e.clock = &clock;
    return e;
}

}  // namespace quarlink::test
