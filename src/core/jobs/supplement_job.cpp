#include "core/jobs/supplement_job.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/price_file.h"

namespace quarlink {
namespace {

// Present and a regular file; an odd file on either side is noted.
bool takesPart(const std::filesystem::path& path, SkippedFiles& skipped) {
    std::string why;
    const PriceFileKind kind = examinePriceFile(path, &why);
    if (kind == PriceFileKind::Odd) skipped.add(path, why);
    return kind == PriceFileKind::Regular;
}

}  // namespace

JobOutcome SupplementJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    sourceFolder_.clear();
    walk_.restart();
    app_.processedCount = 0;
    failed_ = 0;
    firstError_.clear();
    skipped_.clear();
    JobOutcome o;
    o.state = JobState::Idle;
    o.status = supplement_text::kOpenStatus;
    return o;
}

JobOutcome SupplementJob::start() {
    JobOutcome o;
    switch (settings.sourceKind) {
    case SourceKind::Folder:
        if (settings.folderText.empty()) {
            o.state = JobState::Idle;
            o.message = supplement_text::kNoFolder;
            return o;
        }
        // A typed relative name means a folder of the working folder, as
        // "init" and "backup" do; an absolute path stays as it is.
        sourceFolder_ = app_.workDir / std::filesystem::path(settings.folderText);
        break;
    case SourceKind::Init: sourceFolder_ = layout::initFolder(app_); break;
    case SourceKind::Backup: sourceFolder_ = layout::backupFolder(app_); break;
    }
    // A source that is not there would merge nothing and still report completion.
    if (std::string missing = missingFolderMessage(sourceFolder_, kMissingSourceFolder); !missing.empty()) {
        o.state = JobState::Idle;
        o.message = std::move(missing);
        return o;
    }
    removeStaleTemporaryFiles(layout::dataFolder(app_));
    setSettingsTaken(true);
    o.state = JobState::Running;
    o.status = "株価データ補完中：";
    return o;
}

JobOutcome SupplementJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    if (walk_.done()) {
        if (!batch_.flush()) {
            failed_ += static_cast<int>(batch_.failures().size());
            app_.processedCount -= static_cast<int>(batch_.failures().size());
        }
        o.state = JobState::Finished;
        o.status = app_.processedCount == 0 && failed_ > 0
                       ? std::string("補完できませんでした。キャンセルボタンで終了")
                       : formatInt("補完完了：処理ファイル数 %d キャンセルボタンで終了", app_.processedCount);
        if (failed_ > 0) {
            o.message = formatInt("補完できなかったファイル数 %d", failed_) + "\n" + firstError_;
            o.stopReason = JobOutcome::StopReason::Failed;
        }
        if (skipped_.count() > 0) o.message = (o.message ? *o.message + "\n" : std::string()) + skipped_.report();
        return o;
    }
    const int code = walk_.code();
    o.progress = walk_.progress();
    const auto source = sourceFolder_ / layout::codeName(code);
    const auto target = layout::dataFile(app_, code);
    // Only codes present on both sides take part; the chart folder never
    // gains a file.
    const bool sourceTakesPart = takesPart(source, skipped_);
    if (takesPart(target, skipped_) && sourceTakesPart) {
        // A target the user made read-only is not replaced behind their back.
        std::string error;
        if (::access(target.c_str(), W_OK) != 0)
            error = fileErrorText("open", target, errno);
        else if (mergePriceFile(target, source, settings.overwrite, batch_, &error) == MergeResult::Merged) {
            o.status = formatInt("株価データ補完中：%04d", code);
            ++app_.processedCount;
            error.clear();
        } else if (error.empty()) {
            error = target.string();
        }
        if (!error.empty() && ++failed_ == 1) firstError_ = error;
    }
    walk_.advance();
    return o;
}

JobOutcome SupplementJob::stop() {
    batch_.flush();
    JobOutcome o;
    o.state = JobState::Stopped;
    o.status = "補完停止中：";
    return o;
}

}  // namespace quarlink
