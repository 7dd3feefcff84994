#include "core/jobs/backup_job.h"

#include <cstdio>
#include <string>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"

namespace quarlink {
std::filesystem::path BackupJob::sourceOf(int code) const {
    return direction() == Direction::Backup ? layout::dataFile(app_, code) : layout::backupFile(app_, code);
}

std::filesystem::path BackupJob::targetOf(int code) const {
    return direction() == Direction::Backup ? layout::backupFile(app_, code) : layout::dataFile(app_, code);
}

JobOutcome BackupJob::open() {
    app_.processedCount = 0;
    walk_.restart();
    setSettingsTaken(false);
    failed_ = 0;
    firstError_.clear();
    skipped_.clear();
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    o.status = direction() == Direction::Backup ? "株価データバックアップ作成中..." : "株価データバックアップ復元中...";
    return o;
}

JobOutcome BackupJob::start() {
    JobOutcome o = open();
    // A failure here shows up as failed copies, counted and reported at the end.
    ensureFolder(layout::backupFolder(app_));
    // Temporary files of a run that was killed mid-copy.
    removeStaleTemporaryFiles(targetOf(0).parent_path());
    setSettingsTaken(true);
    o.state = JobState::Running;
    return o;
}

JobOutcome BackupJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    const int code = walk_.code();
    const auto source = sourceOf(code);
    std::string why;
    const PriceFileKind kind = examinePriceFile(source, &why);
    if (kind == PriceFileKind::Odd) skipped_.add(source, why);
    if (kind == PriceFileKind::Regular) {
        o.status = formatInt(direction() == Direction::Backup ? "株価データバックアップ作成中...%d"
                                                          : "株価データバックアップ復元中...%d",
                          code);
        std::string error;
        if (batch_.copy(source, targetOf(code), &error))
            ++app_.processedCount;
        else if (++failed_ == 1)
            firstError_ = error.empty() ? targetOf(code).string() : error;
    }
    o.progress = walk_.progress();
    if (walk_.advance()) {
        if (!batch_.flush()) {
            // Copies counted as done whose publishing failed.
            failed_ += static_cast<int>(batch_.failures().size());
            app_.processedCount -= static_cast<int>(batch_.failures().size());
        }
        o.state = JobState::Finished;
        const bool backup = direction() == Direction::Backup;
        // Nothing copied is no completion: the user is told so, and why.
        std::string message =
            app_.processedCount == 0 && failed_ > 0
                ? std::string(backup ? "バックアップできませんでした。" : "バックアップを復元できませんでした。")
                : formatInt(backup ? "バックアップ完了！処理ファイル数 %d" : "バックアップ復元完了！処理ファイル数 %d",
                            app_.processedCount);
        if (failed_ > 0) {
            message += "\n" + formatInt("コピーできなかったファイル数 %d", failed_) + "\n" + firstError_;
            o.stopReason = JobOutcome::StopReason::Failed;
        }
        if (skipped_.count() > 0) message += "\n" + skipped_.report();
        o.message = message;
    }
    return o;
}

}  // namespace quarlink
