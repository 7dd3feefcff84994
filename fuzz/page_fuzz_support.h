#pragma once
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/env/clock.h"
#include "core/web/html_value_format.h"
#include "support/fake_clock.h"

namespace quarlink::fuzz {

// Answers every request with the fuzz input.
class EchoFetcher final : public PageFetcher {
public:
    explicit EchoFetcher(std::string page) : page_(std::move(page)) {}
    int fetch(const std::string&, std::uint16_t, const std::string&, std::string& response) override {
        response = page_;
        return 1;
    }

private:
    std::string page_;
};

// A fetch never fails here, so a reader may only answer 1, -1 or -3.
inline void checkResult(int result) {
    if (result != 1 && result != -1 && result != -3) std::abort();
}

struct Reader {
    explicit Reader(const std::uint8_t* data, std::size_t size)
        : fetcher(std::string(reinterpret_cast<const char*>(data), size)) {}
    EchoFetcher fetcher;
    Endpoints endpoints;
    FixedClock clock{LocalDateTime{2007, 1, 3, 10, 0, 0}};
    HtmlValueFormat reader{fetcher, endpoints, clock};
};

}  // namespace quarlink::fuzz
