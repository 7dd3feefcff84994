#pragma once
#include <filesystem>
#include <string>

#include "core/jobs/code_range_walk.h"
#include "core/jobs/job.h"
#include "core/jobs/skipped_files.h"
#include "core/store/batch_writer.h"
#include "core/store/application.h"

namespace quarlink {

namespace supplement_text {
inline constexpr const char* kOpenStatus = "株価データ補完中はSorvantideを操作しないでください。";
inline constexpr const char* kNoFolder = "指定フォルダから補完する場合はフォルダ名を入力してください。";
}  // namespace supplement_text

// Merges, code by code, the price files of a source folder into the chart
// folder's files of the same code. Stops and resumes at currentCode.
class SupplementJob : public Job {
public:
    enum class SourceKind { Folder = 0, Init = 1, Backup = 2 };
    struct Settings {
        bool overwrite = false;
        SourceKind sourceKind = SourceKind::Folder;
        std::string folderText;  // file-system bytes; a relative path is taken from the working folder
    };

    explicit SupplementJob(Application& app) : app_(app), walk_(app) {}

    Settings settings;

    // Resets settings and job state; the status shows the opening text.
    JobOutcome open() override;
    // Fixes the source folder and runs; Idle with a message when kind
    // Folder has no folder text. Does not reset currentCode, so it resumes.
    JobOutcome start() override;
    JobOutcome tick() override;
    JobOutcome stop() override;

    const std::filesystem::path& sourceFolder() const { return sourceFolder_; }
    int failedCount() const { return failed_; }
    int skippedCount() const { return skipped_.count(); }

private:
    Application& app_;
    CodeRangeWalk walk_;
    BatchWriter batch_;  // every file of the run; flushed once at the end, a stop or a cancel
    std::filesystem::path sourceFolder_;
    int failed_ = 0;
    std::string firstError_;  // the system's text for the first failed merge, with its path
    SkippedFiles skipped_;
};

}  // namespace quarlink
