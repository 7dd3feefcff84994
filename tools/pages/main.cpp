// quarlink-pages: a local page server for the demo and the tests.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <vector>

#include "core/env/date.h"

#include "market.h"
#include "page_server.h"

using namespace quarlink::pages;

namespace {

const char* const kUsage =
    "Usage:\n"
    "  quarlink-pages generate DIR [--codes N] [--from YYYY] [--to YYYYMMDD] [--seed S]\n"
    "  quarlink-pages serve DIR [--port P] [--delay-ms N] [--fail-every N] [--break-format CODE]\n"
    "                       [--log FILE] [--api-key KEY] [--plan NAME] [--page-size N]\n"
    "                       [--rate-window-ms N] [--now YYYY-MM-DDTHH:MM] [--error-share F]\n"
    "                       [--bulk-port P] [--bulk-url-ttl-ms N] [--bulk-revision N]\n"
    "                       [--damage-bulk KIND:YYYYMM]\n"
    "                       [--tls-cert FILE --tls-key FILE]\n"
    "\n"
    "generate  writes a deterministic synthetic market into DIR: index.txt and data/NNNN\n"
    "          (defaults: 30 codes, from the year before --to, to today, seed 1)\n"
    "serve     serves the quote, stock, price/margin table and index download pages and\n"
    "          the J-Quants API v2 (/v2/...) of the market\n"
    "          built from DIR on 127.0.0.1 (default port 8080; 0 picks a free port and\n"
    "          prints it as 'listening on 127.0.0.1:PORT')\n"
    "  --delay-ms N         wait N ms before every answer\n"
    "  --fail-every N       close every Nth connection without answering\n"
    "  --break-format CODE  pages of CODE miss one marker\n"
    "  --log FILE           append the target of every request to FILE, one per line\n"
    "  --api-key KEY        the key the J-Quants API mock under /v2/ accepts (none: all refused)\n"
    "  --plan NAME          free (default), light, standard or premium: data, request limit, dates\n"
    "  --page-size N        API rows per page (default 1000)\n"
    "  --rate-window-ms N   the span the plan's request limit counts over (default 60000; 0: no\n"
    "                       limit); more refusals in one span than the limit shut the key out\n"
    "                       for five spans\n"
    "  --now T              the time in Japan the API serves at, held still (default: the real\n"
    "                       time in Japan): bars from 16:30, the master from 17:30, margin\n"
    "                       balances from their publication on a later business day\n"
    "  --error-share F      answer this share (0 to 0.5) of API requests with a 500, 502, 503\n"
    "                       or 504 in turn, never two in a row (default 0)\n"
    "  --bulk-port P        the port of the bulk files' download host (default 0: a free one,\n"
    "                       printed as 'bulk files on 127.0.0.1:PORT' before the line above);\n"
    "                       /v2/bulk/list and /v2/bulk/get hand out its URLs\n"
    "  --bulk-url-ttl-ms N  a download URL serves once within N ms of being issued (default\n"
    "                       300000; 0: expired at once)\n"
    "  --bulk-revision N    the bulk files as rewritten N times (0 to 9, default 0): every\n"
    "                       LastModified N hours later, monthly files with N more decimals\n"
    "  --damage-bulk K:M    the month files of month M (YYYYMM) damaged: twice (a row again),\n"
    "                       foreign (a row of another month), empty (the header alone)\n"
    "  --tls-cert FILE, --tls-key FILE   serve HTTPS with this PEM certificate and key (both ports)\n";

int usage(const std::string& problem) {
    std::cerr << "quarlink-pages: " << problem << "\n\n" << kUsage;
    return 64;
}

// "YYYY-MM-DDTHH:MM" -> YYYYMMDDHHMM.
std::optional<std::int64_t> japanTime(const std::string& text) {
    int y = 0, m = 0, d = 0, hour = 0, minute = 0, length = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d%n", &y, &m, &d, &hour, &minute, &length) != 5 ||
        length != 16 || text.size() != 16 || hour > 23 || minute > 59 ||
        !quarlink::validDate(y, m, d))
        return std::nullopt;
    return ((std::int64_t(y) * 100 + m) * 100 + d) * 10000 + hour * 100 + minute;
}

std::optional<long long> number(const std::string& text) {
    char* end = nullptr;
    const long long value = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0') return std::nullopt;
    return value;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return args.empty() ? 64 : 0;
    }
    const std::string command = args[0];
    if ((command != "generate" && command != "serve") || args.size() < 2) return usage("expected generate DIR or serve DIR");
    const std::string dir = args[1];

    GenerateOptions generate;
    ServeOptions serve;
    for (std::size_t i = 2; i < args.size(); ++i) {
        const std::string& name = args[i];
        if (i + 1 >= args.size()) return usage(name + " needs a value");
        if (command == "serve" && name == "--log") {
            serve.logFile = args[++i];
            continue;
        }
        if (command == "serve" && name == "--now") {
            const auto now = japanTime(args[++i]);
            if (!now) return usage("--now takes a time in Japan as YYYY-MM-DDTHH:MM");
            serve.jquants.now = *now;
            continue;
        }
        if (command == "serve" && name == "--damage-bulk") {
            const std::string& value = args[++i];
            const std::size_t colon = value.find(':');
            const std::string kind = value.substr(0, colon);
            const auto month = colon == std::string::npos ? std::nullopt : number(value.substr(colon + 1));
            if ((kind != "twice" && kind != "foreign" && kind != "empty") || !month || *month < 190001 ||
                *month > 999912 || *month % 100 < 1 || *month % 100 > 12)
                return usage("--damage-bulk takes twice, foreign or empty, a colon and a month YYYYMM");
            serve.jquants.damage = kind;
            serve.jquants.damageMonth = static_cast<std::int32_t>(*month);
            continue;
        }
        if (command == "serve" && name == "--error-share") {
            char* end = nullptr;
            const std::string& text = args[++i];
            const double share = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !(share >= 0 && share <= 0.5))
                return usage("--error-share takes a share from 0 to 0.5");
            serve.jquants.errorsPerMillion = static_cast<int>(std::lround(share * 1e6));
            continue;
        }
        if (command == "serve" && (name == "--api-key" || name == "--plan" || name == "--tls-cert" || name == "--tls-key")) {
            const std::string& value = args[++i];
            if (name == "--plan") {
                const auto plan = quarlink::jquantsPlanFromName(value);
                if (!plan) return usage("--plan takes free, light, standard or premium");
                serve.jquants.plan = *plan;
                continue;
            }
            (name == "--api-key" ? serve.jquants.apiKey : name == "--tls-cert" ? serve.tlsCert : serve.tlsKey) = value;
            continue;
        }
        const auto value = number(args[++i]);
        if (!value || *value < 0) return usage(name + " takes a whole number");
        if (command == "generate" && name == "--codes" && *value > 0) generate.codes = static_cast<int>(*value);
        else if (command == "generate" && name == "--from" && *value > 1900) generate.fromYear = static_cast<int>(*value);
        else if (command == "generate" && name == "--to" && *value > 19000101) generate.to = static_cast<std::int32_t>(*value);
        else if (command == "generate" && name == "--seed") generate.seed = static_cast<std::uint64_t>(*value);
        else if (command == "serve" && name == "--port" && *value <= 65535) serve.port = static_cast<int>(*value);
        else if (command == "serve" && name == "--delay-ms") serve.delayMs = static_cast<int>(*value);
        else if (command == "serve" && name == "--fail-every") serve.failEvery = static_cast<int>(*value);
        else if (command == "serve" && name == "--break-format") serve.breakCode = static_cast<long>(*value);
        else if (command == "serve" && name == "--page-size" && *value > 0 && *value <= 1'000'000)
            serve.jquants.pageSize = static_cast<int>(*value);
        else if (command == "serve" && name == "--rate-window-ms" && *value >= 0 && *value <= 3'600'000)
            serve.jquants.rateWindowMs = static_cast<int>(*value);
        else if (command == "serve" && name == "--bulk-port" && *value <= 65535) serve.bulkPort = static_cast<int>(*value);
        else if (command == "serve" && name == "--bulk-url-ttl-ms" && *value <= 86'400'000)
            serve.jquants.bulkUrlTtlMs = static_cast<int>(*value);
        else if (command == "serve" && name == "--bulk-revision" && *value <= 9)
            serve.jquants.bulkRevision = static_cast<int>(*value);
        else return usage("unknown or out-of-range option " + name + " " + args[i]);
    }

    if (serve.tlsCert.empty() != serve.tlsKey.empty()) return usage("--tls-cert and --tls-key go together");
    std::string error;
    if (command == "generate") {
        if (!generateMarket(dir, generate, error)) {
            std::cerr << "quarlink-pages: " << error << '\n';
            return 1;
        }
        return 0;
    }
    Market market;
    if (!loadMarket(dir, market, error)) {
        std::cerr << "quarlink-pages: " << error << '\n';
        return 1;
    }
    return servePages(market, serve);
}
