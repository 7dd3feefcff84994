#include "core/web/endpoints.h"

#include <charconv>

#include "core/store/atomic_file.h"
#include "core/store/index_table.h"

namespace quarlink {

namespace {

std::string_view trim(std::string_view text) {
    const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    return text;
}

std::optional<long> wholeNumber(std::string_view text) {
    long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// HOST[:PORT]; nullopt for an empty host or a port outside 1..65535.
std::optional<Endpoint> parseHostPort(std::string_view text) {
    Endpoint endpoint;
    const std::size_t colon = text.rfind(':');
    if (colon != std::string_view::npos) {
        const auto port = wholeNumber(text.substr(colon + 1));
        if (!port || *port < 1 || *port > 65535) return std::nullopt;
        endpoint.port = static_cast<std::uint16_t>(*port);
        text = text.substr(0, colon);
    }
    if (text.empty() || text.find_first_of(" \t/") != std::string_view::npos) return std::nullopt;
    endpoint.host = std::string(text);
    return endpoint;
}

// The keys with a whole number, each within its range. True when `key` is one
// of them (a value out of range then keeps the default).
bool setNumber(Endpoints& endpoints, std::string_view key, std::string_view value) {
    const auto set = [&](auto& target, long min, long max) {
        if (const auto number = wholeNumber(value); number && *number >= min && *number <= max)
            target = static_cast<int>(*number);
        return true;
    };
    constexpr long kHour = 3'600'000;
    if (key == "pause_ms") return set(endpoints.pauseMs, 0, kHour);
    if (key == "timeout_ms") return set(endpoints.timeoutMs, 1, kHour);
    if (key == "page_timeout_ms") return set(endpoints.pageTimeoutMs, 1, kHour);
    if (key == "retry_attempts") return set(endpoints.retryAttempts, 1, 100);
    if (key == "retry_wait_ms") return set(endpoints.retryWaitMs, 0, kHour);
    if (key == "jquants_rpm") return set(endpoints.jquantsRpm, 0, 100'000);
    return false;
}

}  // namespace

Endpoints parseEndpoints(std::string_view text) {
    Endpoints endpoints;
    forEachLine(text, [&](std::string_view line) {
        line = trim(line);
        if (line.empty() || line.front() == '#') return;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos) return;
        const std::string_view key = trim(line.substr(0, eq));
        const std::string_view value = trim(line.substr(eq + 1));
        // A malformed value keeps the default rather than breaking every fetch.
        if (setNumber(endpoints, key, value)) return;
        if (key == "jquants") {
            const bool web = value.starts_with("http://") || value.starts_with("https://");
            if (web && value.find_first_of(" \t?#") == std::string_view::npos) {
                std::string_view base = value;
                while (base.ends_with('/')) base.remove_suffix(1);
                endpoints.jquants = std::string(base);
            }
            return;
        }
        if (key == "jquants_plan") {
            if (const auto plan = jquantsPlanFromName(value)) {
                endpoints.jquantsPlan = *plan;
                endpoints.jquantsPlanFixed = true;
            }
            return;
        }
        if (key == "jquants_ca") {
            if (!value.empty()) endpoints.jquantsCa = std::string(value);
            return;
        }
        const auto endpoint = parseHostPort(value);
        if (!endpoint) return;
        if (key == "quote") endpoints.quote = *endpoint;
        else if (key == "history") endpoints.history = *endpoint;
        else if (key == "stock") endpoints.stock = *endpoint;
        else if (key == "index") endpoints.index = *endpoint;
        else if (key == "proxy") endpoints.proxy = *endpoint;
    });
    return endpoints;
}

Endpoints loadEndpoints(const std::filesystem::path& file) {
    std::string text;
    Endpoints endpoints = readWholeFile(file, text) ? parseEndpoints(text) : Endpoints{};
    if (!endpoints.jquantsPlanFixed) {
        const JQuantsPlanChoice plan = loadJQuantsPlan(file.parent_path());
        if (plan.chosen) endpoints.jquantsPlan = *plan.chosen;
        else if (plan.detected) endpoints.jquantsPlan = *plan.detected;
    }
    return endpoints;
}

JQuantsPlanChoice loadJQuantsPlan(const std::filesystem::path& workDir) {
    JQuantsPlanChoice choice;
    std::string text;
    if (!readWholeFile(workDir / kJQuantsPlanFileName, text)) return choice;
    // A name this version does not know keeps the default, as endpoints.conf's do.
    forEachLine(text, [&](std::string_view line) {
        line = trim(line);
        const std::size_t eq = line.find('=');
        if (line.empty() || line.front() == '#' || eq == std::string_view::npos) return;
        const std::string_view key = trim(line.substr(0, eq)), value = trim(line.substr(eq + 1));
        const auto plan = jquantsPlanFromName(value);
        if (!plan) return;
        if (key == "plan") choice.chosen = plan;
        else if (key == "detected") choice.detected = plan;
    });
    return choice;
}

bool saveJQuantsPlan(const std::filesystem::path& workDir, const JQuantsPlanChoice& choice, std::string& error) {
    const std::string text = "# J-Quants: the plan chosen in the options (auto: the one the connection test found)\n"
                             "plan=" + std::string(choice.chosen ? planFacts(*choice.chosen).name : "auto") + "\n" +
                             (choice.detected ? "detected=" + std::string(planFacts(*choice.detected).name) + "\n" : "");
    std::string why;
    if (replaceFileAtomically(workDir / kJQuantsPlanFileName, text, &why)) return true;
    error = "J-Quantsのプランの設定を保存できませんでした：" + why;
    return false;
}

}  // namespace quarlink
