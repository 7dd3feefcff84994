#pragma once
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/health/price_check.h"
#include "core/health/price_file_reader.h"
#include "core/jobs/job.h"
#include "core/store/application.h"
#include "core/store/batch_writer.h"
#include "core/env/clock.h"

namespace quarlink {

namespace check_text {
inline constexpr const char* kOpening = "データ点検";
inline constexpr const char* kChecking = "データ点検中...%d";
inline constexpr const char* kRepairing = "データ修復中...%d";
inline constexpr const char* kClean = "データ点検完了：問題は見つかりませんでした（ファイル数 %d）";
inline constexpr const char* kFound = "データ点検完了：問題 %d件";
inline constexpr const char* kRepairQuestionHead = "%d個の株価ファイルを修復します。";
inline constexpr const char* kRepairQuestionBody =
    "末尾の不完全なレコードを除き、日付順に並べ、同じ日付は最後に書かれたレコードを残します。\n"
    "修復前のファイルは次のフォルダに保存します：";
inline constexpr const char* kRepairQuestionTail = "\nよろしいですか？";
inline constexpr const char* kRepaired = "修復したファイル数 %d";
inline constexpr const char* kBackupFolderIs = "修復前のファイル：";
inline constexpr const char* kRepairFailed = "修復できなかったファイル数 %d";
inline constexpr const char* kNoCalendar = "data/0101（日経平均）が読めないため、営業日の欠けは点検していません。";
// Whether 修復 takes a finding away.
inline constexpr const char* kFixable = "修復可";
inline constexpr const char* kNotFixable = "修復不可（手作業）";
inline constexpr const char* kFixed = "修復済み";
inline constexpr const char* kFixableLeft = "うち修復可 %d件";
}  // namespace check_text

// The data check of the chart folder: one price file per tick, each read
// once, then index.txt against the files. With `repair`, the files whose
// faults need no guessing are then repaired, after a question, one per tick:
// each one's old content is copied under backup/repair-YYYYMMDD-HHMMSS/
// first, and both go through one batch, so a kill leaves every file old or
// repaired and a repaired file's backup published before it.
class DataCheckJob : public Job {
public:
    struct Settings {
        std::vector<int> codes;  // empty: every price file and every registered code
        bool repair = false;
    };
    struct Repair {
        int code = 0;
        std::size_t bytesBefore = 0, bytesAfter = 0;
        int partialBytes = 0;       // the trailing piece dropped
        int duplicatesDropped = 0;  // records of a date met again
        bool reordered = false;
    };

    DataCheckJob(Application& app, const Clock& clock);
    ~DataCheckJob() override;

    Settings settings;

    JobOutcome open() override;
    JobOutcome start() override;
    JobOutcome tick() override;
    JobOutcome answer(bool yes) override;

    // Every finding so far, by code, then kind.
    const std::vector<Finding>& findings() const { return findings_; }
    // Findings not repaired.
    int remaining() const;
    int filesChecked() const { return checked_; }
    bool calendarChecked() const { return !calendar_.empty(); }
    const std::vector<Repair>& repairs() const { return repairs_; }
    int repairFailures() const { return repairFailed_; }
    // Where the repair put the old files; empty before a repair.
    const std::filesystem::path& repairBackupFolder() const { return backupFolder_; }

private:
    enum class Phase { Checking, Asking, Repairing, Done };

    void listCodes();
    void checkCode(int code);
    void repairCode(int code);
    // One file of a phase's list; true when the list is done.
    bool step(JobOutcome& o, const std::vector<int>& codes, const char* status, void (DataCheckJob::*work)(int));
    JobOutcome finish();
    std::filesystem::path newBackupFolder() const;

    Application& app_;
    const Clock& clock_;
    Phase phase_ = Phase::Checking;
    std::vector<int> codes_;
    std::size_t position_ = 0;
    std::vector<bool> registered_;
    bool indexRead_ = false;
    std::vector<std::int32_t> calendar_;
    std::unique_ptr<PriceFileChecker> checker_;
    PriceFileReader reader_;
    std::vector<Finding> findings_;
    int checked_ = 0;
    std::vector<int> toRepair_;
    std::vector<Repair> repairs_;
    int repairFailed_ = 0;
    std::string firstError_;
    std::filesystem::path backupFolder_;
    std::unique_ptr<BatchWriter> batch_;
};

}  // namespace quarlink
