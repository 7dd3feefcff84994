#include "core/jobs/progress_estimate.h"

#include <gtest/gtest.h>

namespace quarlink {
namespace {

using std::chrono::seconds;

TEST(ProgressEstimate, PaceSinceTheFirstPositionSeen) {
    struct Case {
        int first;
        int later;
        int secondsBetween;
        std::optional<long long> left;
    };
    const Case cases[] = {
        {0, 10, 10, 90},    // 1% a second
        {13, 23, 20, 154},  // an index-only run starts at its first code's position
        {50, 75, 30, 30},   // a resumed run
        {40, 40, 5, std::nullopt},  // no movement yet
        {99, 100, 1, 0},
        {10, 120, 1, 0},
    };
    for (const Case& c : cases) {
        ProgressEstimate e;
        const auto t0 = ProgressEstimate::Clock::time_point{} + seconds{1000};
        EXPECT_FALSE(e.remaining().has_value());
        e.observe(c.first, t0);
        e.observe(c.later, t0 + seconds{c.secondsBetween});
        const auto left = e.remaining();
        ASSERT_EQ(left.has_value(), c.left.has_value()) << c.first << "->" << c.later;
        if (left) { EXPECT_EQ(left->count(), *c.left) << c.first << "->" << c.later; }
    }
}

TEST(ProgressEstimate, AStallLengthensTheEstimate) {
    ProgressEstimate e;
    const auto t0 = ProgressEstimate::Clock::time_point{};
    e.observe(0, t0);
    e.observe(10, t0 + seconds{10});
    const auto before = *e.remaining();
    e.observe(10, t0 + seconds{20});
    EXPECT_EQ(before.count(), 90);
    EXPECT_EQ(e.remaining()->count(), 180);
}

TEST(ProgressEstimate, Format) {
    const std::pair<long long, const char*> cases[] = {
        {0, "0s"}, {59, "59s"}, {60, "1m00s"}, {185, "3m05s"}, {3599, "59m59s"}, {3720, "1h02m"}, {-5, "0s"},
    };
    for (const auto& [s, text] : cases) EXPECT_EQ(ProgressEstimate::format(seconds{s}), text) << s;
}

}  // namespace
}  // namespace quarlink
