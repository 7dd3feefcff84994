#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "core/web/jquants/jquants_plan.h"

namespace quarlink {

struct Endpoint {
    std::string host;
    std::uint16_t port = 80;
    bool configured() const { return !host.empty(); }
};

// Where the four page servers are, from endpoints.conf in the working folder
// (lines key=HOST[:PORT], key=MILLISECONDS for pause_ms, timeout_ms,
// page_timeout_ms and retry_wait_ms, or retry_attempts=COUNT; blank lines and
// "#" lines ignored).
struct Endpoints {
    Endpoint quote{"quote.yahoo.co.jp", 80};            // quote page server (Yahoo source)
    Endpoint history{"table.yahoo.co.jp", 80};          // price and margin history tables
    Endpoint stock{"money.www.infoseek.co.jp", 80};     // stock page server (InfoSeek source)
    Endpoint index{};                                   // index download server: none by default
    int pauseMs = 0;                                    // least time between two requests' starts
    std::optional<Endpoint> proxy;                      // HTTP proxy, absolute URI in the request line
    // Bounds of one fetch, for slow links or quick tests; unset keeps the
    // client's own (30 s without data, 120 s for a whole page).
    std::optional<int> timeoutMs;                       // timeout_ms: connecting, or waiting for data
    std::optional<int> pageTimeoutMs;                   // page_timeout_ms: one whole page
    // A refused or timed-out connect is tried this many times in all, with
    // this pause between two tries.
    int retryAttempts = 4;                              // retry_attempts
    int retryWaitMs = 2000;                             // retry_wait_ms
    // J-Quants API v2: base URL with the version path, plan (sets the pace),
    // requests a minute overriding the plan's (0: no pacing), and a CA bundle
    // trusted besides the system's.
    std::string jquants = "https://api.jquants.com/v2";
    JQuantsPlan jquantsPlan = JQuantsPlan::Free;
    bool jquantsPlanFixed = false;                      // endpoints.conf names the plan itself
    std::optional<int> jquantsRpm;
    std::string jquantsCa;
};

// Reads the file; a missing file or key keeps the default. Unless the file
// names jquants_plan, the plan is the one jquants.conf beside it holds: the
// user's choice, else the one the last connection test found, else free.
Endpoints loadEndpoints(const std::filesystem::path& file);
Endpoints parseEndpoints(std::string_view text);

// The J-Quants plan as the user set it in the options, kept in jquants.conf in
// the working folder (Quarlink.conf keeps its own format): lines plan=NAME
// (auto, free, light, standard, premium) and detected=NAME.
inline constexpr const char* kJQuantsPlanFileName = "jquants.conf";
struct JQuantsPlanChoice {
    std::optional<JQuantsPlan> chosen;    // none: 自動判定
    std::optional<JQuantsPlan> detected;  // what the last connection test found, none before one
};
JQuantsPlanChoice loadJQuantsPlan(const std::filesystem::path& workDir);
bool saveJQuantsPlan(const std::filesystem::path& workDir, const JQuantsPlanChoice& choice, std::string& error);

}  // namespace quarlink
