#pragma once
#include "jobs/job_outcome.h"
#include "jobs/skipped_files.h"
#include "store/batch_writer.h"
#include "store/application.h"

namespace quarlink {

namespace split_text {
// Asked before the job opens (tray menu and CLI); only Yes proceeds.
inline constexpr const char* kSplitQuestion =
    "Sorvantide株価データを年別に分割保存します。\n保存先：./sep/YYYY/code よろしいですか？";
inline constexpr const char* kNote = "※データ作成中はSorvantideを操作しないでください";
inline constexpr const char* kTitle = "データ分割ダイアログ";
}  // namespace split_text

// Copies every price file of the chart folder into one file per calendar
// year, sep/YYYY/NNNN, one code per tick; the chart folder is only read.
class YearSplitJob {
public:
    explicit YearSplitJob(Application& app) : app_(app) {}

    JobOutcome open();
    // Creates the sep folder when missing and sets off at code 0000.
    JobOutcome start();
    JobOutcome tick();

private:
    Application& app_;
    SkippedFiles skipped_;
    BatchWriter batch_;  // every file of the run; flushed once at the end, a stop or a cancel
};

}  // namespace quarlink
