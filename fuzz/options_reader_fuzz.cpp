// Reads arbitrary bytes as Quarlink.conf; what is written back must load as
// the same settings.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "core/store/options.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Application app;
    parseOptions(std::string_view(reinterpret_cast<const char*>(data), size), app);
    if (app.chartFolder.size() > 255) std::abort();
    if (app.chartFolder.find('\n') != std::string::npos) std::abort();
    Application again;
    parseOptions(formatOptions(app, true), again);
    if (again.chartFolder.find(',') == std::string::npos && app.chartFolder.find('\\') == std::string::npos &&
        (again.chartFolder != app.chartFolder || again.launchChart != app.launchChart))
        std::abort();
    return 0;
}
