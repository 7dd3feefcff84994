#pragma once
#include <string>

#include "jquants_mock.h"
#include "market.h"

namespace quarlink::pages {

struct ServeOptions {
    int port = 8080;       // 0: any free port
    int bulkPort = 0;      // the bulk files' download host; 0: any free port
    int delayMs = 0;       // wait before every answer
    int failEvery = 0;     // close every Nth connection without answering
    long breakCode = -1;   // pages of this code miss one marker
    std::string logFile;   // when set, every request target is appended here, one per line
    JQuantsOptions jquants;  // the /v2/ API
    std::string tlsCert;   // with tlsKey: serve HTTPS instead of HTTP
    std::string tlsKey;
};

// Serves the four endpoints' pages and the J-Quants API on 127.0.0.1 until SIGINT or SIGTERM,
// and the API's bulk files on a second port. Prints "bulk files on 127.0.0.1:PORT", then
// "listening on 127.0.0.1:PORT" once both sockets are bound.
int servePages(const Market& market, const ServeOptions& options);

}  // namespace quarlink::pages
