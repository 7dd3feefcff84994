#pragma once
// A J-Quants API on loopback: the calendar of `days`, the master of `codes`, their
// bars by day or code with `factors` (else 1); a `failing` code's bars answer 500.
#include <cstdlib>
#include <map>

#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_json.h"
#include "support/loopback_server.h"

namespace quarlink::test {

struct SplitsApi {
    std::vector<std::int32_t> days;
    std::vector<int> codes;
    std::map<std::pair<int, std::int32_t>, double> factors;
    std::atomic<int> failing{0};
    std::vector<std::string> targets;

    SplitsApi() { ::setenv("JQUANTS_API_KEY", "fake-splits-key", 1); }
    Endpoints endpoints() const {
        Endpoints e;
        e.jquants = "http://127.0.0.1:" + std::to_string(server.port()) + "/v2";
        e.jquantsRpm = e.retryWaitMs = 0;
        return e;
    }

    void serve(int fd, const StopFlag& stop) {
        std::string request, rows;
        char buffer[4096];
        for (ssize_t n = 1; request.find("\r\n\r\n") == std::string::npos && n > 0 && waitReadable(fd, stop);)
            if ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) request.append(buffer, static_cast<std::size_t>(n));
        const std::string target = request.substr(4, request.find(' ', 4) - 4);
        const auto has = [&](const char* part) { return target.find(part) != std::string::npos; };
        const auto at = [&](const char* name) { return has(name) ? target.substr(target.find(name) + 5, 10) : ""; };
        const auto row = [&](const std::string& r) { rows += (rows.empty() ? "" : ",") + r; };
        bool failed = false;
        for (const auto d : days)
            if (has("/calendar")) row(R"({"Date":")" + jquants::isoDate(d) + R"(","HolDiv":"1"})");
        for (const int c : codes) {
            if (has("/master")) row(R"({"Date":"2026-01-05","Code":")" + std::to_string(c) + R"(0","CoName":"N","Mkt":"0111"})");
            for (const auto d : days) {
                if (!has("/bars/") || (has("date=") && jquants::parseDate(at("date=")) != d) ||
                    (has("code=") && std::atoi(at("code=").c_str()) != c))
                    continue;
                failed = failed || c == failing;
                const auto f = factors.find({c, d});
                row(R"({"Date":")" + jquants::isoDate(d) + R"(","Code":")" + std::to_string(c) +
                    R"(0","O":100,"H":100,"L":100,"C":100,"Vo":10,"AdjFactor":)" +
                    std::to_string(f == factors.end() ? 1.0 : f->second) + "}");
            }
        }
        targets.push_back(target);
        const std::string body = failed ? "{}" : R"({"data":[)" + rows + "]}";
        sendAll(fd, std::string(failed ? "HTTP/1.0 500 Error" : "HTTP/1.0 200 OK") + "\r\nContent-Length: " +
                        std::to_string(body.size()) + "\r\n\r\n" + body, stop);
    }
    LoopbackServer server{[this](int fd, const StopFlag& stop) { serve(fd, stop); }, true};
};

}  // namespace quarlink::test
