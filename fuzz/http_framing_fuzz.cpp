// Reads arbitrary bytes as a server's response: unframing never crashes,
// never grows the text, and a whole result keeps the status line and headers
// as received.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/web/http_client.h"

using namespace quarlink;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string raw(reinterpret_cast<const char*>(data), size);
    std::string response = raw;
    const HttpClient::Framing framing = HttpClient::unframe(response);
    if (response.size() > raw.size()) std::abort();
    if (framing != HttpClient::Framing::Short && raw.starts_with("HTTP/")) {
        // The status line at least is kept as received.
        const auto line = raw.find('\n');
        if (line != std::string::npos && response.compare(0, line + 1, raw, 0, line + 1) != 0) std::abort();
    }
    if (!raw.starts_with("HTTP/") && response != raw) std::abort();
    return 0;
}
