#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/sources/data_source.h"
#include "core/store/application.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_client.h"

namespace quarlink {

namespace jquants_text {
inline constexpr const char* kCalendarStatus = "J-Quantsの取引カレンダーから日付データ取得";
inline constexpr const char* kNoNikkei = "J-Quantsには日経平均がありません。init\\0101は作成しません。";
inline constexpr const char* kKeyMissing = "J-Quants APIキーが使えません：";
inline constexpr const char* kKeyRefused =
    "J-Quants APIキーが受け付けられませんでした。\n%sをJ-Quantsのダッシュボードのキーと照らし合わせてください。";
inline constexpr const char* kNotInPlan = "このデータはご利用のJ-Quantsプランでは取得できません。";
inline constexpr const char* kTopixPlan =
    "TOPIXはJ-QuantsのLightプラン以上で取得できます。TOPIXの取得を外して作成してください。";
inline constexpr const char* kMarginPlanNote =
    "信用残はJ-QuantsのStandardプラン以上で取得できます。信用残は0のまま作成しました。";
inline constexpr const char* kMarginFillPlan =
    "信用残はJ-QuantsのStandardプラン以上で取得できます。ご利用のプランでは信用残補填はできません。";
inline constexpr const char* kWindowNote = "ご利用のJ-Quantsプランで取得できるのは%s〜%sのデータです。その期間だけで作成しました。";
inline constexpr const char* kUnrecognised = "J-Quantsの応答が読み取れませんでした。";
inline constexpr const char* kDisconnected = "J-Quantsとの通信が切断されました。";
}  // namespace jquants_text

// The system's text, then the API's own reason in parentheses.
std::string withApiReason(std::string text, const jquants::Status& status);
std::string withApiReason(std::string text, const std::string& reason);
// The refused-key text, naming both places the key is read from.
std::string keyRefusedText(const Application& app);

// A client's status as an answer at the seam; `reason` is what the user
// reads (the system's text, the API's reason after it).
SourceResult answerOf(const jquants::Status& status, const Application& app);

// A code's rows from what the service served, whether code by code or
// gathered from the whole market's files (JQuantsHistory), so that both build
// the same rows. Bars in any order (a date twice: the first in date order)
// become rows rounded to the yen, halves up; a day without trade gives no row
// but counts in lastServed; an AdjFactor other than 1 is a split.
void historyFromBars(int code, std::vector<jquants::DailyBar>& bars, HistoryRows& rows);
// The code's balances by record date, rounded to whole shares.
void balanceRows(int code, std::vector<jquants::MarginBalance>& balances, MarginRows& rows);
// Each balance of the first to the last row's date on the row of its date,
// or on the next row that has none of its own date.
void placeBalances(const MarginRows& balances, HistoryRows& rows);
// TOPIX in hundredths, ascending, a date once.
void topixFrom(std::vector<jquants::IndexBar>& bars, HistoryRows& rows);

// J-Quants as the source of the code-by-code jobs: the listed stock codes,
// the business days, a code's bars with its margin balances, TOPIX. A request
// the plan's date window refuses is made again within the window, which is
// then kept for the rest of the run and said once.
class JQuantsSource final : public DataSource,
                            CodeBars,
                            MarginHistory,
                            IndexBars,
                            BusinessDays,
                            ListedCodes,
                            ListedIssues,
                            MarketDays {
public:
    JQuantsSource(const Application& app, Endpoints endpoints, const WebEnvironment& environment);

    WebEnvironment environment;                       // the client's clocks and waits, the session's
    std::function<void(const std::string&)> onWait;   // rate-limit waits, from the thread of the request

    // Loads the key and makes the client; Refused, with the reason, when it cannot.
    SourceResult connect() override;
    // From any thread: the request in flight ends, and so does every later
    // one until restart().
    void abort() override;
    // A new run: forgets the window, the plan's refusals, the notes and an abort.
    void restart() override;

    CodeBars* codeBars() override { return this; }
    MarginHistory* marginHistory() override { return this; }
    IndexBars* indexBars() override { return this; }
    BusinessDays* businessDays() override { return this; }
    ListedCodes* listedCodes() override { return this; }
    ListedIssues* listedIssues() override { return this; }
    MarketDays* marketDays() override { return this; }
    bool rationed() const override { return true; }

    SourceResult codeBars(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows) override;
    SourceResult marginHistory(int code, std::int32_t from, std::int32_t to, MarginRows& rows) override;
    // TOPIX only: J-Quants has no Nikkei average (no rows, said in the notes).
    SourceResult indexBars(int indexCode, std::int32_t from, std::int32_t to, HistoryRows& rows) override;
    SourceResult businessDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) override;
    const char* businessDaysStatus() const override { return jquants_text::kCalendarStatus; }
    SourceResult listedCodes(std::vector<int>& codes) override;
    SourceResult marketCalendar(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days) override;
    SourceResult marketBars(std::int32_t day, jquants::DailyBars& bars) override;
    SourceResult marketMargins(std::int32_t day, jquants::MarginBalances& balances) override;
    SourceResult marketTopix(std::int32_t from, std::int32_t to, jquants::IndexBars& bars) override;
    // Today's listed-issue master as the published list (MasterIndex).
    SourceResult listedIssues(const IndexTable& local, MasterIndex& list) override;

    // The connected client, for a job that makes its own requests (the
    // catch-up's whole-market days); valid after connect() succeeded.
    jquants::Client& client() { return *client_; }

    // Today's listed master, every served row.
    jquants::Status listedMaster(jquants::ListedMaster& master);
    // The ordinary stock codes (1000..9999) of today's listed master, ascending.
    jquants::Status stockCodes(std::vector<int>& codes);
    jquants::Status calendarDays(std::int32_t from, std::int32_t to, std::vector<std::int32_t>& days);
    // Bars of `code` from..to, prices rounded to the yen (halves up); with
    // `margin` and a plan that has them, each balance on the row of its date
    // (or the next row, when its date has none). Without them in the plan the
    // balances stay 0 and this is said once.
    jquants::Status history(int code, std::int32_t from, std::int32_t to, bool margin, HistoryRows& rows);
    jquants::Status marginHistory(int code, std::int32_t from, std::int32_t to, std::vector<std::int32_t>& dates,
                                  std::vector<std::int32_t>& buys, std::vector<std::int32_t>& sells);
    // TOPIX in hundredths.
    jquants::Status topix(std::int32_t from, std::int32_t to, HistoryRows& rows);

    bool marginInPlan() const { return marginInPlan_; }
    // What the run has to tell the user once, at its end: each on a line of its own.
    void note(std::string text);
    std::string notes() const override;

    // A request that failed as an answer, the run's notes after its reason.
    SourceResult stopFor(const jquants::Status& status) const;

private:
    template <class Request>
    jquants::Status withinPlan(std::int32_t from, std::int32_t to, Request request);

    const Application& app_;
    Endpoints endpoints_;
    std::mutex mutex_;  // abort() may come while connect() makes the client
    std::unique_ptr<jquants::Client> client_;
    bool aborted_ = false;
    std::int32_t windowFrom_ = 0, windowTo_ = 0;  // the plan's dates, once a request was refused
    bool marginInPlan_ = true;
    std::vector<std::string> notes_;
};

}  // namespace quarlink
