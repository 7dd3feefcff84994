// Reads arbitrary bytes as schedule.conf: a refused line costs only its own
// setting (the file without the refused lines reads the same, and cleanly),
// and what is read writes back as a file that loads as the same settings.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "core/schedule/schedule_settings.h"

using namespace quarlink;

namespace {

std::string withoutLines(std::string_view text, const std::vector<int>& lines) {
    std::string kept;
    int number = 0;
    std::size_t next = 0;
    while (!text.empty()) {
        const auto end = text.find('\n');
        ++number;
        if (next < lines.size() && lines[next] == number)
            ++next;
        else
            kept.append(text.substr(0, end)).push_back('\n');
        text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    }
    return kept;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    ScheduleSettings s;
    std::string error;
    std::vector<int> refused;
    const bool ok = parseSchedule(text, s, error, &refused);
    if (ok != refused.empty() || ok != error.empty()) std::abort();
    if (s.hour < 0 || s.hour > 23 || s.minute < 0 || s.minute > 59) std::abort();
    if (!ok) {
        ScheduleSettings kept;
        std::string keptError;
        if (!parseSchedule(withoutLines(text, refused), kept, keptError) || formatSchedule(kept) != formatSchedule(s))
            std::abort();
    }
    ScheduleSettings again;
    if (!parseSchedule(formatSchedule(s), again, error) || formatSchedule(again) != formatSchedule(s)) std::abort();
    return 0;
}
