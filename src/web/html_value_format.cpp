#include "web/html_value_format.h"

#include <chrono>
#include <cstdlib>

namespace quarlink {

int HtmlValueFormat::quoteYear(const LocalDateTime& today, int month, int day) {
    using namespace std::chrono;
    if (month < 1 || month > 12 || day < 1 || day > 31) return today.year;
    const auto dayNumber = [](int y, int m, int d) {
        return (sys_days{std::chrono::year{y} / m / 1} + days{d - 1}).time_since_epoch().count();
    };
    const auto now = dayNumber(today.year, today.month, today.day);
    int best = today.year;
    auto bestDistance = std::labs(dayNumber(today.year, month, day) - now);
    for (int candidate : {today.year - 1, today.year + 1}) {
        const auto distance = std::labs(dayNumber(candidate, month, day) - now);
        if (distance < bestDistance) {
            best = candidate;
            bestDistance = distance;
        }
    }
    return best;
}

bool HtmlValueFormat::fetchPage(const Endpoint& endpoint, const std::string& path, std::string& page) {
    page.clear();
    return fetcher_.fetch(endpoint.host, endpoint.port, path, page) == 1;
}

int HtmlValueFormat::formatFailure(const char* text) {
    if (text) message = text;
    return -3;
}

}  // namespace quarlink
