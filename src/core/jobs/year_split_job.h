#pragma once
#include "core/jobs/code_range_walk.h"
#include "core/jobs/job.h"
#include "core/jobs/skipped_files.h"
#include "core/store/batch_writer.h"
#include "core/store/application.h"

namespace quarlink {

namespace split_text {
// Asked before the job opens (tray menu and CLI); only Yes proceeds.
inline constexpr const char* kSplitQuestion =
    "Sorvantide株価データを年別に分割保存します。\n保存先：./sep/YYYY/code よろしいですか？";
}  // namespace split_text

// Copies every price file of the chart folder into one file per calendar
// year, sep/YYYY/NNNN, one code per tick; the chart folder is only read.
class YearSplitJob : public Job {
public:
    struct Settings {};  // nothing to choose: every file, every year

    explicit YearSplitJob(Application& app) : app_(app), walk_(app) {}

    Settings settings;

    JobOutcome open() override;
    // Creates the sep folder when missing and sets off at code 0000.
    JobOutcome start() override;
    JobOutcome tick() override;

private:
    Application& app_;
    CodeRangeWalk walk_;
    SkippedFiles skipped_;
    BatchWriter batch_;  // every file of the run; flushed once at the end, a stop or a cancel
};

}  // namespace quarlink
