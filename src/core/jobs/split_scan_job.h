#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "core/env/clock.h"
#include "core/jobs/job.h"
#include "core/sources/sources.h"
#include "core/store/application.h"
#include "core/store/index_table.h"
#include "core/store/split_book.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"

namespace quarlink {

namespace split_scan_text {
inline constexpr const char* kInitialStatus = "開始日を確かめて取得ボタンを押してください";
inline constexpr const char* kNotJQuants =
    "株式分割・併合はJ-Quants APIの調整係数（AdjFactor）から読み取ります。"
    "配布サイトや株価ページには調整係数がないため、取得元にJ-Quants APIを選んでください（--source jquants）。";
inline constexpr const char* kFromAfterToday = "開始日%sが今日（%s）より後です。";
inline constexpr const char* kNoPriceFiles =
    "%sに株価ファイルがありません。株式分割・併合は株価ファイルのある銘柄について調べます。";
inline constexpr const char* kIndexUnreadable = "index.txtを読み込めません：";
inline constexpr const char* kDaysToScan = "J-Quants：%s日分の調整係数を調べます（%s〜%s）";
inline constexpr const char* kContinuing = "J-Quants：%sから再開します（残り%s日）";
inline constexpr const char* kFilesToScan = "J-Quants：株価の一括ファイルなど%s件から%s日分の調整係数を調べます（%s〜%s）";
inline constexpr const char* kFilesContinuing = "J-Quants：続きから調べます（残り%s件）";
inline constexpr const char* kFileScanned = "J-Quants %s：分割・併合 %s件；残り%s件";
inline constexpr const char* kDayScanned = "J-Quants %s：分割・併合 %s件；残り%s日";
inline constexpr const char* kStopped = "停止中：次は%s（取得ボタンで続きから調べます）";
inline constexpr const char* kDone = "分割情報の取得終了：%s日分、index.txtにない分割・併合 %s件";
inline constexpr const char* kScannedBefore = "%sより前の日は調べ終えています。";
inline constexpr const char* kWindow = "ご利用のJ-Quantsプランで取得できるのは%s〜%sのデータです。その期間だけ調べました。";
inline constexpr const char* kNotScanned = "分割情報がまだ取得されていません。";
inline constexpr const char* kNothingToWrite = "index.txtに書き込む分割情報はありません。";
inline constexpr const char* kWritten = "分割情報を%s件記録しました。";
inline constexpr const char* kPendingNote =
    "index.txtに未登録の銘柄の分は保留し、index更新でその銘柄が登録されるときに書き込みます：";
inline constexpr const char* kWriteFailed = "分割情報を記録できませんでした。index.txtは変わっていません：";
}  // namespace split_scan_text

// Finds the splits of a chart folder filled before splits were recorded:
// the exchange's business days from `from` through today, each bar's
// adjustment factor read for the codes with a price file. On a plan with
// the bars' bulk files, a file a tick (a month; the days no file holds yet,
// a whole-market request each); on Free, one whole-market day per tick. The scan ends with the splits that index.txt (or the
// pending list) lacks; the Write action records them (SplitBook).
class SplitScanJob final : public Job {
public:
    enum class Action { Scan, Write };
    struct Settings {
        // Only a source with whole-market days has the factors (J-Quants).
        SourceKind source = SourceKind::JQuants;
        std::int32_t from = 0;  // 0: one year before today in Japan
    };

    SplitScanJob(Application& app, HtmlValueFormat& reader, Endpoints endpoints, const WebEnvironment& environment);

    Settings settings;
    Action action = Action::Scan;  // what the next start() does

    JobOutcome open() override;
    // Scan: refused (Idle, with the message) for a source without the
    // factors, a start after today or a folder without price files; a start
    // after a stop resumes with the day that stopped. Write: one step.
    JobOutcome start() override;
    JobOutcome tick() override;
    JobOutcome stop() override;
    void abort() override;

    // One year before today in Japan (a 29 February gives the 28th).
    std::int32_t defaultFrom() const;
    bool scanned() const { return scanned_; }
    // A scan stopped before its last day: the next start goes on from there.
    bool resumable() const;
    // After a scan: the splits neither index.txt nor the pending list holds,
    // by code and date. Emptied by the write that records them.
    const std::vector<CodeSplit>& found() const { return found_; }
    // What the last write recorded.
    const std::vector<CodeSplit>& written() const { return written_; }
    // The index.txt name of a registered code as UTF-8, escaped; empty otherwise.
    std::string nameOf(int code) const;

private:
    // Drops the days, the splits and the notes of an earlier scan.
    void forget();
    JobOutcome refused(std::string message) const;
    JobOutcome stoppedOn(const SourceResult& answer) const;
    JobOutcome scan();
    JobOutcome finished();
    JobOutcome write();
    int progress() const;
    // A plan that serves only some of the days: the others are left out, said once.
    bool keepWindow(const SourceResult& answer);
    JobOutcome startFiles(std::int32_t from, std::int32_t today);
    JobOutcome scanFile();
    void readFactor(const jquants::DailyBar& bar);

    Application& app_;
    const Clock& clock_;
    Sources sources_;
    JQuantsPlan plan_;
    MarketDays* market_ = nullptr;
    JQuantsHistory* files_ = nullptr;  // the bars' files of the span, on a plan that has them
    std::size_t splitsInUnit_ = 0;
    std::atomic<bool> stopRequested_{false};
    std::vector<bool> hasFile_;  // by code: a price file in the chart folder
    IndexTable index_;
    std::vector<std::int32_t> days_;
    std::size_t next_ = 0;
    std::size_t daysScanned_ = 0;
    SplitBook book_;
    std::string windowNote_;
    bool scanned_ = false;
    std::vector<CodeSplit> found_, written_;
};

}  // namespace quarlink
