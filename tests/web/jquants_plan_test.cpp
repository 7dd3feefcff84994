#include <gtest/gtest.h>

#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_client.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

// The windows and paces the service states, as the client kept them before
// they came from one table: a plan's word in endpoints.conf sets both.
TEST(JQuantsPlanFacts, EachPlanKeepsItsWindowAndPace) {
    const struct {
        const char* name;
        int pace;
        std::int32_t today, from, to;
    } cases[] = {
        {"free", 5, 20260109, 20231017, 20251017},
        {"light", 60, 20260109, 20210109, 20260109},
        {"standard", 120, 20260109, 20160109, 20260109},
        {"premium", 500, 20260109, 20060109, 20260109},
        {"gold", 5, 20260109, 20231017, 20251017},  // unknown: Free
        // From a 29 February the years back end on the 28th, even in a leap year.
        {"free", 5, 20240229, 20211206, 20231207},
        {"light", 60, 20240229, 20190228, 20240229},
        {"premium", 500, 20240229, 20040228, 20240229},
    };
    test::FakeTime time;
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " on " + std::to_string(c.today));
        const Endpoints e = parseEndpoints(std::string("jquants_plan=") + c.name + "\n");
        EXPECT_EQ(jquants::Client(e, "key", time.environment()).requestsPerMinute(), c.pace);
        const PlanWindow w = jquantsPlanWindow(e.jquantsPlan, c.today);
        EXPECT_EQ(w.from, c.from);
        EXPECT_EQ(w.to, c.to);
    }
}

}  // namespace
}  // namespace quarlink
