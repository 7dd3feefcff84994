#include "core/web/page_fetcher.h"

namespace quarlink {

WebEnvironment systemEnvironment() {
    return {&SystemClock::instance(), &SystemSteadyClock::instance(), &SystemSleeper::instance()};
}

}  // namespace quarlink
