#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "core/jobs/code_cursor.h"
#include "core/jobs/job.h"
#include "core/jobs/skipped_files.h"
#include "core/sources/sources.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/store/price_record.h"
#include "core/web/html_value_format.h"

namespace quarlink {

namespace update_text {
inline constexpr const char* kFinished = "日々のデータ更新終了！キャンセルボタンで終了してください。";
inline constexpr const char* kFinishedSkip = "日々のデータ更新終了！キャンセルボタンで終了してください。(1)";
inline constexpr const char* kProgress = "日々のデータ更新中：%d";
inline constexpr const char* kDisconnected = "接続が切断されました。更新ボタンで続きから取得できます。";
inline constexpr const char* kFormatChanged =
    "データ取得先のフォーマットが変更されているか接続先が混雑しています。\n"
    "再度更新を行ってもこのエラーが発生する場合はフォーマット変更の可能性がありますので\n"
    "バージョン情報に記載されているサイトへご報告ください。";
inline constexpr const char* kWriteFailed = "株価ファイルに書き込めませんでした：";
inline constexpr const char* kLaterFiles =
    "最後の記録がページの日付より後のため書き込まなかった銘柄：%d件\n"
    "これらの株価ファイルにはその日付まで新しい記録が追加されません。";
}  // namespace update_text

// The daily update: code 101 (the Nikkei average, read for the market date),
// then one stock quote per tick, stored as that day's record.
class UpdateJob : public Job {
public:
    static constexpr int kInfoSeekNikkei = PageSource::kInfoSeekNikkei;
    struct Settings {
        bool margin = true;
        bool indexOnly = true;
        bool nikkei = false;
        SourceKind source = SourceKind::InfoSeek;  // a source with a day's quote page
    };

    UpdateJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment);

    Settings settings;
    // A run in a new process resumes here (applied by the next start()).
    std::optional<int> resumeFrom;

    JobOutcome open() override;
    JobOutcome start() override;
    JobOutcome tick() override;

    int currentCode() const { return app_.currentCode; }
    int progressBeforeStep() const override { return app_.currentCode / 100; }
    std::size_t listPosition() const { return cursor_.position; }
    std::int32_t updateDate() const { return updateDate_; }

private:
    JobOutcome stopped(JobOutcome::StopReason reason, std::string message);
    bool storeRecord(const PriceRecord& record, std::string& cause);
    JobOutcome finished(JobOutcome o, const char* status) const;

    Application& app_;
    const Clock& clock_;
    Sources sources_;
    CodeCursor cursor_;
    std::int32_t updateDate_ = 0;
    int laterFiles_ = 0;  // codes whose file already ends after the page's date
    SkippedFiles skipped_;
};

}  // namespace quarlink
