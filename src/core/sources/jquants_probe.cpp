#include "core/sources/jquants_probe.h"

#include "core/store/echo_text.h"
#include "core/store/number_text.h"
#include "core/web/jquants/jquants_client.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink {

namespace {

using jquants::Outcome;


JQuantsProbeResult failure(const jquants::Status& s) {
    using Kind = JQuantsProbeResult::Kind;
    JQuantsProbeResult r;
    switch (s.outcome) {
    case Outcome::Aborted: return {Kind::Stopped, {}, probe_text::kStopped};
    case Outcome::KeyRefused: r = {Kind::KeyRefused, {}, probe_text::kKeyRefused}; break;
    case Outcome::ConnectionFailed:
        // An answer with a status is a server that is there but failing (or still limiting).
        if (s.httpStatus >= 400) r = {Kind::ServerError, {}, formatInt(probe_text::kServerError, s.httpStatus)};
        else r = {Kind::NoConnection, {}, probe_text::kNoConnection};
        break;
    default: r = {Kind::Unrecognised, {}, probe_text::kUnrecognised}; break;
    }
    if (!s.message.empty()) r.text += probe_text::kServerSaid + echoText(s.message, 120);
    return r;
}

}  // namespace

std::string jquantsPlanWindowText(JQuantsPlan plan, std::int32_t today) {
    const PlanWindow window = jquantsPlanWindow(plan, today);
    if (!planFacts(plan).delayDays)  // whole years up to today
        return "過去" + std::to_string(today / 10000 - window.from / 10000) + "年（" + jquants::isoDate(window.from) + "から）";
    return jquants::isoDate(window.from) + "〜" + jquants::isoDate(window.to) + "（12週間遅れ）";
}

JQuantsProbe::JQuantsProbe(Endpoints endpoints, std::string apiKey, const WebEnvironment& environment)
    : endpoints_(std::move(endpoints)), key_(std::move(apiKey)), environment_(environment) {}

JQuantsProbe::~JQuantsProbe() = default;

void JQuantsProbe::abort() {
    const std::lock_guard lock(mutex_);
    aborted_ = true;
    if (client_) client_->abort();
}

JQuantsProbeResult JQuantsProbe::run(const std::string& keyWhere) {
    using Kind = JQuantsProbeResult::Kind;
    if (key_.empty()) return {Kind::NoKey, {}, "J-Quants APIキーが設定されていません。"};
    // Three requests stay within every plan's minute: no pacing between them.
    Endpoints unpaced = endpoints_;
    unpaced.jquantsRpm = 0;
    {
        const std::lock_guard lock(mutex_);
        client_ = std::make_unique<jquants::Client>(unpaced, key_, environment_);
        if (aborted_) client_->abort();
    }
    jquants::Client& client = *client_;
    const std::int32_t today = environment_.clock->japanNow().yyyymmdd();
    const auto gated = [](const jquants::Status& s) {
        return s.outcome == Outcome::NotInPlan || s.outcome == Outcome::PlanWindow;
    };

    JQuantsPlan plan = JQuantsPlan::Free;
    jquants::IndexBars topix;
    jquants::Status s = client.topix(addDays(today, -14), today, topix);
    if (gated(s)) {
        // Free: the calendar, which every plan has inside its window, says whether the key counts.
        jquants::Calendar days;
        s = client.calendar(addDays(today, -120), addDays(today, -100), days);
        if (s.ok()) plan = JQuantsPlan::Free;
    } else if (s.ok()) {
        jquants::MarginBalances balances;
        s = client.marginInterestByDate(addDays(today, -14), balances);
        if (gated(s)) {
            plan = JQuantsPlan::Light;
            s = {};
        } else if (s.ok()) {
            jquants::BulkFiles files;
            const std::int32_t month = jquantsPlanWindow(JQuantsPlan::Standard, today).from / 100 - (today / 100 % 100 > 6 ? 6 : 94);
            s = client.bulkList("/equities/bars/daily", month, month, files);
            // Anything but a file of that month (an empty list, a refusal of the dates) is Standard's ten years.
            if (s.ok() || (s.outcome != Outcome::KeyRefused && s.outcome != Outcome::ConnectionFailed &&
                           s.outcome != Outcome::Aborted)) {
                plan = s.ok() && !files.rows.empty() ? JQuantsPlan::Premium : JQuantsPlan::Standard;
                s = {};
            }
        }
    }
    JQuantsProbeResult r = s.ok() ? JQuantsProbeResult{Kind::Accepted, plan, {}} : failure(s);
    r.requests = static_cast<int>(client.requestsSent());
    if (!r.ok()) return r;

    r.text = keyWhere.empty() ? "APIキーは有効です。" : fillIn(probe_text::kAccepted, {keyWhere});
    r.text += "\n" + fillIn(probe_text::kPlan, {planFacts(plan).label, jquantsPlanWindowText(plan, today)});
    // The pace every job keeps: endpoints.conf's own, else the plan's.
    const JQuantsPlan paced = endpoints_.jquantsPlanFixed ? endpoints_.jquantsPlan : plan;
    const int rpm = endpoints_.jquantsRpm ? *endpoints_.jquantsRpm : planFacts(paced).requestsPerMinute;
    r.text += "\n" + (rpm > 0 ? formatInt(probe_text::kPace, rpm) : std::string(probe_text::kNoPace));
    return r;
}

}  // namespace quarlink
