#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/jobs/code_range_walk.h"
#include "core/jobs/job.h"
#include "core/sources/sources.h"
#include "core/jobs/skipped_files.h"
#include "core/store/batch_writer.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/store/price_series.h"
#include "core/store/split_book.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"

namespace quarlink {

namespace init_data_text {
inline constexpr const char* kInitialStatus = "条件を選択して作成開始ボタンを押してください";
inline constexpr const char* kCalendarStatus = PageSource::kBusinessDaysStatus;
inline constexpr const char* kNikkeiNoData = "データ取得先のコードが変更されています。：日経平均";
inline constexpr const char* kNikkeiFormat = "データ取得先のフォーマットが変更されています。：日経平均";
inline constexpr const char* kTopixNoData = "データ取得先のコードが変更されています。：TOPIX";
inline constexpr const char* kTopixFormat = "データ取得先のフォーマットが変更されています。：TOPIX";
inline constexpr const char* kCommError = "通信エラー、接続を確認してください。";
inline constexpr const char* kCreateFinished =
    "初期化データ作成終了、転送ボタンでSorvantideへデータを転送してください。";
inline constexpr const char* kErrorStatus = "エラー終了、作成ボタンで続きから実行できます。";
inline constexpr const char* kDisconnected = "通信エラー、接続が切断されました。\n作成ボタンで続きから開始できます。";
inline constexpr const char* kFormatStatus = "HTMLフォーマットエラー、データが取得できませんでした。";
inline constexpr const char* kCreating = "初期化データ作成中：%d";
inline constexpr const char* kTransferring = "初期化データ転送中...%04d";
inline constexpr const char* kTransferFinished = "データ転送終了。";
inline constexpr const char* kDeleting = "初期化データ削除中...%04d";
inline constexpr const char* kDeleteFinished = "データ削除終了。";
inline constexpr const char* kStopped = "転送停止中：コード（%d）";
inline constexpr const char* kFileFailed = "初期化データファイルが作成できませんでした：";
inline constexpr const char* kCopyFailed = "初期化データを転送できませんでした：";
inline constexpr const char* kTooShort = "1レコードに満たないため転送しなかった初期化データ数 %d";
inline constexpr const char* kSplitsRecorded = "株式分割・併合を記録しました：";
inline constexpr const char* kSplitsFailed = "株式分割・併合をindex.txtに記録できませんでした：";
inline constexpr const char* kCostFiles = "J-Quants：一括ファイル%s件（約%s）、約%sリクエスト、%s（%s）";
inline constexpr const char* kCostDays = "J-Quants：取引日ごとに全銘柄を、約%sリクエスト、%s（%s）";
inline constexpr const char* kGathering = "J-Quants：履歴を取得中 %s/%s：%s";
inline constexpr const char* kGathered = "J-Quants：履歴を取得しました。銘柄ごとに作成します";
inline constexpr const char* kNoEstimate = "見積もり（--dry-run）はJ-Quants APIから作成するときだけです。";
}  // namespace init_data_text

// "一括ファイル366件（約250 MB）、約369リクエスト、約4分（毎分120件）": what a
// gathering of the market's history will cost at the pace the client keeps,
// said before it starts.
std::string costText(const HistoryCost& cost);

// Takes the next unit of a gathering: its answer (NoData once all are in),
// and in `progress` the Running outcome that names it and the share taken.
SourceResult gatherUnit(JQuantsHistory& history, JobOutcome& progress);

// Lays a code's history onto the trading calendar: from the code's first
// trading day on, one record per calendar date, a filler record (no prices,
// carried margin balances) where the code has no row. Linear in the sizes.
PriceSeries alignToCalendar(const std::vector<std::int32_t>& calendar, const std::vector<std::int32_t>& dates,
                            const std::vector<std::int32_t>& opens, const std::vector<std::int32_t>& highs,
                            const std::vector<std::int32_t>& lows, const std::vector<std::int32_t>& closes,
                            const std::vector<std::int32_t>& volumes, const std::vector<std::int32_t>& buys,
                            const std::vector<std::int32_t>& sells);

// Initial data: creates init/NNNN from the price histories (mode 1),
// transfers them into the chart folder (mode 2) or deletes them (mode 3).
// From J-Quants the codes are those of the listed master and the calendar is
// its business days; the records are built as from the price tables, and the
// splits its adjustment factors show are recorded (SplitBook) whenever a
// create run ends or stops.
class InitDataJob : public Job {
public:
    enum class Mode { None, Create, Transfer, Delete };
    struct Settings {
        bool margin = true;
        bool nikkei = false;
        bool topix = false;
        int startYear = 1990;
        SourceKind source = SourceKind::Yahoo;  // the pages' price tables, or J-Quants
        bool dryRun = false;  // say what the run will cost (files, requests, bytes, time) and stop there
    };

    // `endpoints` locate the J-Quants API; the price tables go through `reader`.
    InitDataJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment, Endpoints endpoints = {});
    ~InitDataJob() override;

    Settings settings;
    // What the next start() does (the button pressed); not a setting, as
    // each run may choose another.
    Mode action = Mode::Create;

    JobOutcome open() override;
    // Runs `action`; the first start takes the settings for good.
    JobOutcome start() override;
    JobOutcome startCreate();
    JobOutcome startTransfer();
    JobOutcome startDelete();
    JobOutcome tick() override;
    // The user's stop: shows the create code, in every mode.
    JobOutcome stop() override;
    void abort() override;

    // Years the start-year list offers: 1990 to the clock's year.
    std::vector<int> startYears() const;

    Mode mode() const { return mode_; }
    int createCode() const { return createCode_; }
    int resumeCode() const { return resumeCode_; }
    void setResumeCode(int code) { resumeCode_ = code; }
    const std::vector<std::int32_t>& calendar() const { return calendar_; }

private:
    using Series = HistoryRows;
    JobOutcome ended(JobState state, std::string status);
    // A run stopped by its source: the source's reason where it has one
    // (with the error status), else the job's text for the answer and `status`.
    JobOutcome stoppedBySource(const SourceResult& answer, std::string status, const char* connection,
                               std::string unrecognised, const char* noData);
    // The next listed code, or the end of the run after the last.
    JobOutcome advance(JobOutcome o);
    bool writeIndexFile(int fileCode, const Series& s, JobOutcome& failure);
    JobOutcome createTick();
    // The whole market's history, a file (or day) a tick, before the codes.
    JobOutcome gatherStep();
    // The indices and the first code, once the source has what they need.
    JobOutcome beginCodes(std::string status);
    JobOutcome createStep();
    // Publishes the files written since the last flush; false (with `o`
    // turned into a failure that resumes at the first of them) when it cannot.
    bool flushFiles(JobOutcome& o);
    JobOutcome fileTick(bool transfer);
    // Writes the splits found so far; a failure is told in `o` (a finished
    // run becomes a failed stop), and the splits stay for the next end.
    void recordSplits(JobOutcome& o);

    Application& app_;
    HtmlValueFormat& reader_;
    const Clock& clock_;
    CodeRangeWalk walk_;  // transfer and delete; the create run counts its own code
    Mode mode_ = Mode::None;
    int createCode_ = 1000;
    int resumeCode_ = 1000;
    bool gathering_ = false;
    std::vector<std::int32_t> calendar_;
    SkippedFiles skipped_;  // odd files met by a transfer or delete run
    // Init files too short to hold a record: never put over a price file.
    SkippedFiles tooShort_{init_data_text::kTooShort};
    // A create run's files, flushed together: a flush for each file would
    // cost more than building it. Every end of the run, a stop included, flushes.
    static constexpr int kFilesPerFlush = 64;
    BatchWriter files_;
    int filesQueued_ = 0;
    int firstQueued_ = 0;  // the code of the oldest file not flushed yet
    // The sources, made at once (abort() may come from another thread), and
    // the one the settings name, from the first start. A source with a
    // listed-issue master walks its listed codes; the pages every code.
    Sources sources_;
    DataSource* source_ = nullptr;
    bool listed_ = false;
    std::vector<int> codes_;
    std::size_t nextCode_ = 0;
    std::int32_t from_ = 0, to_ = 0;  // the span asked for
    SplitBook splits_;
    std::vector<CodeSplit> splitsRecorded_;  // since open(), for the run's last message
};

}  // namespace quarlink
