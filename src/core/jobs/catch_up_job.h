#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/jobs/job.h"
#include "core/jobs/skipped_files.h"
#include "core/sources/bulk_days.h"
#include "core/sources/jquants_source.h"
#include "core/store/application.h"
#include "core/store/batch_writer.h"
#include "core/store/split_book.h"
#include "core/env/clock.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_client.h"

namespace quarlink {

namespace catch_up_text {
inline constexpr const char* kDaysToTake = "J-Quants：%s日分を取得します（%s〜%s）";
inline constexpr const char* kContinuing = "J-Quants：%sから再開します（残り%s日）";
inline constexpr const char* kDayStored = "J-Quants %s：%sページ、%s件；次は%s（残り%s日）";
inline constexpr const char* kFromFiles = "（うち%s日分は月ごとの一括ファイル%s件から）";
inline constexpr const char* kDayFromFile = "J-Quants %s：一括ファイル%s、%s件；次は%s（残り%s日）";
inline constexpr const char* kDone = "J-Quants差分更新終了：%s日分、%s件書き込み、対象外の行 %s件";
inline constexpr const char* kNoStockFile =
    "%sに株価ファイルがありません。差分更新は既存のデータの続きを取得します。"
    "先に株価データ初期化を行うか、開始日を指定してください（--from YYYYMMDD）。";
inline constexpr const char* kNoCodes =
    "%sの銘柄コードが読めません。index.txtを直すか、全銘柄を取得してください（--all-codes）。";
inline constexpr const char* kNoNikkei = "J-Quantsには日経平均がありません。data/0101はそのままです。";
inline constexpr const char* kMarginNotInPlan =
    "信用残はJ-QuantsのStandardプラン以上で取得できます。新しいレコードは各銘柄の前の信用残を引き継ぎました。";
inline constexpr const char* kTopixPlan =
    "TOPIXはJ-QuantsのLightプラン以上で取得できます。TOPIXの取得を外して実行してください（--topixなし）。";
inline constexpr const char* kPlanWindow =
    "ご利用のJ-Quantsプランの期間外の日です。それより前の日は保存しました。"
    "終了日を%sにして実行するか（--through）、その日を含むプランを選んでください。";
inline constexpr const char* kStoredBefore = "%sより前の日はすべて保存しました。もう一度実行すると続きから取得します。";
inline constexpr const char* kCannotStore = "%sを保存できませんでした：%s";
inline constexpr const char* kFlushError = "株価ファイルをディスクに書き出せませんでした：%s";
inline constexpr const char* kThroughCut = "終了日%sは今日より後のため、今日（%s）までを取得しました。";
inline constexpr const char* kFutureFiles = "今日より後の日付のレコードで終わるため飛ばしたファイル数 %d";
inline constexpr const char* kUnreadableFiles = "読み書きできないため飛ばしたファイル数 %d";
inline constexpr const char* kMarginPlaced = "、信用残を申込日に置き直した銘柄 %s";
inline constexpr const char* kSplitsRecorded = "分割を記録しました：%s";
inline constexpr const char* kSplitsError = "index.txtに分割を記録できませんでした：%s";
}  // namespace catch_up_text

// The catch-up daily update over J-Quants API v2: every business day from the
// newest date in the stock price files (or --from) through today (or
// --through), one day of the whole market per tick. A new record carries the
// code's last balances; then the margin balances of those days and of the
// business days before them whose balances may have been published since
// (daily since 2026-09-28 the next business day, weekly before that on the
// second business day after the Friday) are asked a day at a time and put
// on the records of their record dates, carried to the records after them.
// A bar whose adjustment factor is not 1 records its split in index.txt.
// On a plan with bulk files, the days of past months before the live
// (daily) files come from the months' files, a file a month, giving the same
// rows as the API's days.
class CatchUpJob final : public Job {
public:
    struct Settings {
        bool margin = true;
        bool indexOnly = true;
        bool topix = false;
        bool nikkei = false;          // asked for; J-Quants has none
        std::int32_t from = 0;        // 0: from the newest date in the data
        std::int32_t through = 0;     // 0: today
    };

    CatchUpJob(Application& app, const Endpoints& endpoints, const WebEnvironment& environment);
    ~CatchUpJob() override;

    Settings settings;

    // Forgets the days of an earlier run.
    JobOutcome open() override;
    // A start after a connection stop resumes with the day that stopped.
    JobOutcome start() override;
    JobOutcome tick() override;
    // Flushes what the run appended before the stop is reported.
    JobOutcome stop() override;
    void abort() override;

    std::int32_t currentDay() const { return next_ < days_.size() ? days_[next_] : 0; }
    std::size_t daysLeft() const { return days_.size() - next_; }

    // Business days before the run's first day whose balances are asked again.
    static constexpr std::size_t kMarginLookback = 10;
    // Days whose records are kept before they are written (a long gap's
    // memory: 20 days of 4,400 codes are under 3 MB).
    static constexpr std::size_t kGatherDays = 20;

private:
    struct Fetched {
        std::int32_t day = 0;
        bool fromFile = false;
        SourceResult bars, margin;
        jquants::DailyBars rows;
        std::vector<jquants::MarginBalances> balances;
    };
    // The bars of days_[step], and with `margin` the balances of the margin
    // days that step carries: every days_.size()-th from `step` on.
    Fetched fetch(std::size_t step, bool margin);
    bool placeAllBalances(std::string& error);
    JobOutcome ended(JobOutcome o);
    void dropAhead();

    JobOutcome stopped(JobOutcome::StopReason reason, std::string message) const;
    JobOutcome failedRequest(const SourceResult& answer) const;
    JobOutcome finished() const;
    // The end of the days: finished, or stopped at the plan's last date.
    JobOutcome done() const;
    int progress() const;
    std::string noteText() const;
    void note(std::string text);
    // Newest record date of data/1000..9999 up to `today`; 0 when there is
    // none. A file that ends after today is set aside for the run.
    std::int32_t newestStockDate(std::int32_t today);
    // Sets the code aside for the rest of the run, named in the final message.
    void setAside(int code, SkippedFiles& list, const std::string& why);
    bool storeDay(std::int32_t day, const jquants::DailyBars& bars, std::string& error);
    struct Gathered;
    struct CodeWrite;
    // Writes every code's gathered records, each file in one write.
    bool writeGathered(std::string& error);
    // Writes the codes' files on two threads: the files are independent, and
    // what the codes share (the set-aside lists, the counts) is under writeMutex_.
    bool writeCodes(std::vector<CodeWrite>& codes, std::string& error);
    // Writes a code's gathered records (carrying its last balances) and, with
    // `balances` (ascending by record date), puts each balance on the
    // records from its date on, the stored ones included; prices never
    // change. An odd, unreadable or after-today file sets the code aside.
    bool writeCode(int code, Gathered& g, const std::vector<jquants::MarginBalance>* balances, BatchWriter& batch,
                   std::string& error);
    void leaveOut(int code, Gathered& g, SkippedFiles& list, const std::string& why);
    bool flushBatch(BatchWriter& batch, std::string& error);
    JobOutcome step();
    // The run's appends reach the disk once, at its end or stop; until then
    // the working folder holds the run's first day, so that a run cut short
    // by a power cut takes in again every day it may have lost.
    bool markRun(std::int32_t firstDay, std::string& error);
    std::int32_t markedDay() const;
    // The run's mark is on disk: false, with why, when it could not be written.
    bool marked(std::string& error);
    bool settle();

    Application& app_;
    const Clock& clock_;
    JQuantsSource api_;  // key, client and abort
    BulkDays bulk_;      // the past months' files; used by fetch() alone
    std::atomic<bool> stopRequested_{false};
    std::vector<std::int32_t> days_;
    std::size_t next_ = 0;
    std::unordered_set<int> registered_;
    std::unordered_map<std::int32_t, jquants::IndexBar> topix_;
    // The record dates whose balances the run asks, and what they brought by code.
    std::vector<std::int32_t> marginDays_;
    std::unordered_map<int, std::vector<jquants::MarginBalance>> balances_;
    std::unordered_set<int> movedCodes_;  // codes whose records took real balances
    bool marginInPlan_ = true;
    SourceResult windowStop_;  // the plan's dates end before the run's: said once the days inside are stored
    SplitBook splits_;
    std::vector<CodeSplit> newSplits_;  // recorded, not yet named in a final message
    std::string settleError_;
    std::vector<std::string> notes_;
    // The run's records not yet written, by code.
    struct Gathered {
        std::vector<PriceRecord> rows;
        bool carries = true;  // the stocks carry their balances; TOPIX has none
    };
    std::unordered_map<int, Gathered> gathered_;
    std::mutex writeMutex_;
    std::size_t gatheredDays_ = 0;
    // The next day's pages, fetched while this day is written (never stored
    // before this day is flushed).
    std::future<Fetched> ahead_;
    // A new run's mark reaches the disk while its first days are fetched,
    // before any write (empty, or why it could not be written).
    std::future<std::string> markWritten_;
    std::string markError_;
    std::size_t daysWritten_ = 0, records_ = 0, skipped_ = 0;
    // Files the run leaves alone, each code once: odd ones, ones ending
    // after today, ones that cannot be read or written.
    std::unordered_set<int> setAside_;
    SkippedFiles oddFiles_, futureFiles_{catch_up_text::kFutureFiles}, unreadableFiles_{catch_up_text::kUnreadableFiles};
    std::int32_t today_ = 0;
    std::atomic<bool> unsettled_{false};  // appends not yet flushed, or the run's mark still there
};

}  // namespace quarlink
