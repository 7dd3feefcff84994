#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/jobs/code_cursor.h"
#include "core/jobs/job.h"
#include "core/sources/sources.h"
#include "core/jobs/skipped_files.h"
#include "core/store/application.h"
#include "core/store/price_series.h"
#include "core/web/endpoints.h"
#include "core/web/html_value_format.h"

namespace quarlink {

namespace margin_fill_text {
inline constexpr const char* kFinished = "日々のデータ更新終了！キャンセルボタンで終了してください。";
inline constexpr const char* kFinishedSkip = "信用残補填終了！キャンセルボタンで終了してください。(1)";
inline constexpr const char* kProgress = "日々のデータ更新中：%d";
inline constexpr const char* kDisconnected = "接続が切断されました。取得ボタンで続きから取得できます。";
inline constexpr const char* kFormatChanged =
    "データ取得先のフォーマットが変更されているか接続先が混雑しています。\n"
    "再度取得を行ってもこのエラーが発生する場合はフォーマット変更の可能性がありますので\n"
    "バージョン情報に記載されているサイトへご報告ください。";
}  // namespace margin_fill_text

// The table's margin balances on the records by the one rule of
// placeMarginBalances (store/margin_placement.h).
void fillMarginBalances(PriceSeries& records, const std::vector<std::int32_t>& dates,
                        const std::vector<std::int32_t>& buys, const std::vector<std::int32_t>& sells);

// The margin fill: one code per tick, six months of margin history each,
// from the margin tables or J-Quants (which is asked only for codes that
// have a price file).
class MarginFillJob : public Job {
public:
    static constexpr int kMonths = 6;
    struct Settings {
        bool indexOnly = true;
        SourceKind source = SourceKind::Yahoo;  // the pages' margin tables, or J-Quants
    };

    // `endpoints` locate the J-Quants API; the pages go through `reader`,
    // whose clock gives today.
    MarginFillJob(Application& app, HtmlValueFormat& reader, const WebEnvironment& environment, Endpoints endpoints = {});
    ~MarginFillJob() override;

    Settings settings;
    std::optional<int> resumeFrom;

    JobOutcome open() override;
    JobOutcome start() override;
    JobOutcome tick() override;
    void abort() override;

    int currentCode() const { return app_.currentCode; }
    std::size_t listPosition() const { return cursor_.position; }

private:
    JobOutcome writeFailure(JobOutcome o, const std::filesystem::path& path, const std::string& cause);
    JobOutcome advanceQuietly(JobOutcome o);
    JobOutcome finished(JobOutcome o, const char* status);
    // The margin table's span: from day 1 six months back through today.
    std::int32_t spanStart() const;
    // The market's balances of the span, a file (or day) a tick, before the codes.
    JobOutcome gatherStep();
    bool gathering_ = false;

    Application& app_;
    const Clock& clock_;
    CodeCursor cursor_;
    Sources sources_;
    DataSource* source_ = nullptr;  // the one the settings name, from the first start
    SkippedFiles skipped_;  // odd files at a code's name: named at the end, never read
};

}  // namespace quarlink
