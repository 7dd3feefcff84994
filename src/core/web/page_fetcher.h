#pragma once
#include <cstdint>
#include <string>

#include "core/env/clock.h"

namespace quarlink {

// The world a web client runs in: the calendar, the steady clock its
// time-outs and pacing are measured on, and the sleeper that spends its
// waits. Built once at a program's top (systemEnvironment()) or by a test,
// and handed down, so that one run has one "today"; nothing defaults to the
// system's. What is given must outlive the client.
struct WebEnvironment {
    const Clock* clock = nullptr;
    const SteadyClock* steady = nullptr;
    Sleeper* sleeper = nullptr;
};
// The system's clocks and sleeper, for a program's main or session set-up.
WebEnvironment systemEnvironment();

// One HTTP GET as the page readers see it. HttpClient implements it over
// sockets; tests hand the readers canned pages.
class PageFetcher {
public:
    virtual ~PageFetcher() = default;

    // Fetches http://host:port/path. Returns 1 when the exchange completed
    // (`response` then holds the whole raw response, status line and headers
    // included) and 0 on failure (`response` is then unspecified).
    virtual int fetch(const std::string& host, std::uint16_t port, const std::string& path,
                      std::string& response) = 0;
};

}  // namespace quarlink
