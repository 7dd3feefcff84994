#pragma once
#include <string>
#include <filesystem>

#include "core/jobs/code_range_walk.h"
#include "core/jobs/job.h"
#include "core/jobs/skipped_files.h"
#include "core/store/batch_writer.h"
#include "core/store/application.h"

namespace quarlink {

namespace backup_text {
// Asked before the job opens (tray menu and CLI); only Yes proceeds.
inline constexpr const char* kBackupQuestion =
    "Sorvantide株価データのバックアップを作成します。\n以前に作成したバックアップは上書きされますがよろしいですか？";
inline constexpr const char* kRestoreQuestion =
    "Sorvantide株価データをバックアップから復元します。\n現在のデータは上書きされますがよろしいですか？";
}  // namespace backup_text

// The twin jobs that copy every existing price file, whole, between the
// chart folder's data folder and the backup folder: one code per tick,
// 0000 to 9999, then a final message.
class BackupJob : public Job {
public:
    enum class Direction { Backup, Restore };
    struct Settings {
        Direction direction = Direction::Backup;
    };

    BackupJob(Application& app, Direction direction) : app_(app), walk_(app) { settings.direction = direction; }

    Settings settings;

    // Resets the job state; the status shows the opening text.
    JobOutcome open() override;
    // Creates the backup folder when missing and sets off at code 0000.
    JobOutcome start() override;
    // Copies the current code's file if it exists and moves on.
    JobOutcome tick() override;

    Direction direction() const { return settings.direction; }
    int failedCount() const { return failed_; }
    int skippedCount() const { return skipped_.count(); }

    std::filesystem::path sourceOf(int code) const;
    std::filesystem::path targetOf(int code) const;

private:
    Application& app_;
    CodeRangeWalk walk_;
    int failed_ = 0;
    std::string firstError_;  // the system's text for the first failed copy, with its path
    SkippedFiles skipped_;
    BatchWriter batch_;  // every file of the run; flushed once at the end, a stop or a cancel
};

}  // namespace quarlink
