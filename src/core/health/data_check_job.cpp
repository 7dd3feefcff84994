#include "core/health/data_check_job.h"

#include <algorithm>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/index_table.h"
#include "core/store/number_text.h"

namespace quarlink {
namespace {

std::string twoDigits(int v) { return std::string(1, char('0' + v / 10 % 10)) + char('0' + v % 10); }

}  // namespace

DataCheckJob::DataCheckJob(Application& app, const Clock& clock) : app_(app), clock_(clock) {}
DataCheckJob::~DataCheckJob() = default;

int DataCheckJob::remaining() const {
    return static_cast<int>(std::count_if(findings_.begin(), findings_.end(), [](const Finding& f) { return !f.repaired; }));
}

JobOutcome DataCheckJob::open() {
    settings = Settings{};
    setSettingsTaken(false);
    phase_ = Phase::Checking;
    codes_.clear();
    position_ = 0;
    findings_.clear();
    checked_ = 0;
    toRepair_.clear();
    repairs_.clear();
    repairFailed_ = 0;
    firstError_.clear();
    backupFolder_.clear();
    batch_.reset();
    JobOutcome o;
    o.state = JobState::Idle;
    o.status = check_text::kOpening;
    o.progress = 0;
    return o;
}

JobOutcome DataCheckJob::start() {
    JobOutcome o;
    o.state = JobState::Running;
    // A stopped check resumes at its file; anything else starts afresh.
    if (settingsTaken() && phase_ == Phase::Checking && position_ < codes_.size()) return o;
    const Settings kept = settings;
    open();
    settings = kept;
    setSettingsTaken(true);
    listCodes();
    o.progress = 0;
    return o;
}

void DataCheckJob::listCodes() {
    IndexTable index;
    // A FIFO or a device at the name must not hang the check.
    std::error_code ec;
    indexRead_ = std::filesystem::is_regular_file(layout::indexFile(app_), ec) &&
                 loadIndexTable(layout::indexFile(app_), index);
    registered_.assign(kCodeCount, false);
    if (indexRead_) {
        for (int code = 0; code < kCodeCount; ++code) registered_[code] = index.isRegistered(code);
    } else {
        Finding f;
        f.kind = FindingKind::NoIndex;
        f.count = 1;
        f.detail = layout::indexFile(app_).string();
        findings_.push_back(std::move(f));
    }
    std::string calendarImage;
    calendar_ = readPriceFileBytes(layout::dataFile(app_, 101), calendarImage) ? calendarDates(calendarImage)
                                                                               : std::vector<std::int32_t>{};
    checker_ = std::make_unique<PriceFileChecker>(calendar_, clock_.now().yyyymmdd());

    if (!settings.codes.empty()) {
        codes_ = settings.codes;
    } else {
        std::error_code ec;
        for (std::filesystem::directory_iterator it(layout::dataFolder(app_), ec), end; !ec && it != end;
             it.increment(ec))
            if (const int code = layout::codeOfName(it->path().filename().string()); code >= 0) codes_.push_back(code);
        for (int code = 0; code < kCodeCount; ++code)
            if (registered_[code]) codes_.push_back(code);
    }
    std::sort(codes_.begin(), codes_.end());
    codes_.erase(std::unique(codes_.begin(), codes_.end()), codes_.end());
}

void DataCheckJob::checkCode(int code) {
    const auto path = layout::dataFile(app_, code);
    std::string why;
    const PriceFileKind kind = examinePriceFile(path, &why);
    const bool registered = indexRead_ && registered_[code];
    const std::size_t before = findings_.size();
    auto add = [&](FindingKind k, std::string detail) {
        Finding f;
        f.code = code;
        f.kind = k;
        f.count = 1;
        f.detail = std::move(detail);
        findings_.push_back(std::move(f));
    };
    if (kind == PriceFileKind::Missing) {
        if (registered)
            add(FindingKind::NoPriceFile, {});
        else if (!settings.codes.empty())
            add(FindingKind::Unreadable, "ファイルがありません");
        return;
    }
    if (indexRead_ && !registered) add(FindingKind::NotInIndex, {});
    std::string_view image;
    if (kind == PriceFileKind::Odd || !reader_.read(path, image, &why)) {
        add(FindingKind::Unreadable, why);
        return;
    }
    ++checked_;
    checker_->check(code, image, findings_);
    if (settings.repair &&
        std::any_of(findings_.begin() + static_cast<std::ptrdiff_t>(before), findings_.end(),
                    [](const Finding& f) { return findingFixable(f.kind); }))
        toRepair_.push_back(code);
}

std::filesystem::path DataCheckJob::newBackupFolder() const {
    const LocalDateTime t = clock_.now();
    const std::string stamp = std::to_string(t.yyyymmdd()) + "-" + twoDigits(t.hour) + twoDigits(t.minute) +
                              twoDigits(t.second);
    const auto base = layout::backupFolder(app_) / ("repair-" + stamp);
    auto folder = base;
    std::error_code ec;
    // Two repairs within a second keep each one's old files apart.
    for (int n = 2; std::filesystem::exists(folder, ec); ++n) folder = base.string() + "-" + std::to_string(n);
    return folder;
}

bool DataCheckJob::step(JobOutcome& o, const std::vector<int>& codes, const char* status, void (DataCheckJob::*work)(int)) {
    if (position_ < codes.size()) {
        const int code = codes[position_];
        o.status = formatInt(status, code);
        (this->*work)(code);
        ++position_;
        o.progress = static_cast<int>(position_ * 100 / codes.size());
    }
    return position_ >= codes.size();
}

JobOutcome DataCheckJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    if (phase_ == Phase::Checking) {
        if (!step(o, codes_, check_text::kChecking, &DataCheckJob::checkCode)) return o;
        if (toRepair_.empty()) return finish();
        phase_ = Phase::Asking;
        backupFolder_ = newBackupFolder();
        o.question = formatInt(check_text::kRepairQuestionHead, static_cast<int>(toRepair_.size())) + "\n" +
                     check_text::kRepairQuestionBody + "\n" + backupFolder_.string() + check_text::kRepairQuestionTail;
        return o;
    }
    if (phase_ == Phase::Repairing && !step(o, toRepair_, check_text::kRepairing, &DataCheckJob::repairCode)) return o;
    return finish();
}

JobOutcome DataCheckJob::answer(bool yes) {
    if (!yes || phase_ != Phase::Asking) {
        backupFolder_.clear();
        return finish();
    }
    JobOutcome o;
    o.state = JobState::Running;
    std::string error;
    if (!ensureFolder(backupFolder_, &error)) {
        repairFailed_ = static_cast<int>(toRepair_.size());
        firstError_ = error;
        backupFolder_.clear();
        return finish();
    }
    removeStaleTemporaryFiles(layout::dataFolder(app_));
    phase_ = Phase::Repairing;
    position_ = 0;
    batch_ = std::make_unique<BatchWriter>();
    return o;
}

void DataCheckJob::repairCode(int code) {
    const auto path = layout::dataFile(app_, code);
    std::string bytes, error;
    const auto fail = [&] {
        if (++repairFailed_ == 1) firstError_ = error.empty() ? path.string() : error;
    };
    if (!readPriceFileBytes(path, bytes, &error)) return fail();
    const std::string repaired = repairedPriceImage(bytes);
    if (repaired == bytes) return;
    // The old content first: the batch publishes in the order queued.
    if (!batch_->replace(backupFolder_ / layout::codeName(code), bytes, &error) ||
        !batch_->replace(path, repaired, &error))
        return fail();
    Repair r{code, bytes.size(), repaired.size()};
    r.partialBytes = static_cast<int>(bytes.size() % kRecordSize);
    r.duplicatesDropped = static_cast<int>((bytes.size() - repaired.size()) / kRecordSize);
    r.reordered = std::any_of(findings_.begin(), findings_.end(), [&](const Finding& f) {
        return f.code == code && f.kind == FindingKind::OutOfOrder;
    });
    repairs_.push_back(r);
}

JobOutcome DataCheckJob::finish() {
    JobOutcome o;
    o.state = JobState::Finished;
    o.progress = 100;
    std::string message;
    if (batch_) {
        if (!batch_->flush()) {
            // What the flush could not publish stays old, backup and file alike.
            for (const std::string& failure : batch_->failures()) {
                if (firstError_.empty()) firstError_ = failure;
                const auto before = repairs_.size();
                std::erase_if(repairs_, [&](const Repair& r) {
                    return failure.find(layout::dataFile(app_, r.code).string()) != std::string::npos;
                });
                repairFailed_ += static_cast<int>(before - repairs_.size());
            }
            if (repairFailed_ == 0) repairFailed_ = 1;
        }
        batch_.reset();
        for (const Repair& r : repairs_)
            for (Finding& f : findings_)
                if (f.code == r.code && findingFixable(f.kind)) f.repaired = true;
        message = formatInt(check_text::kRepaired, static_cast<int>(repairs_.size()));
        if (!repairs_.empty()) message += "\n" + std::string(check_text::kBackupFolderIs) + backupFolder_.string();
    }
    if (repairFailed_ > 0) {
        message += (message.empty() ? "" : "\n") + formatInt(check_text::kRepairFailed, repairFailed_) + "\n" +
                   firstError_;
        o.stopReason = JobOutcome::StopReason::Failed;
    }
    if (!message.empty()) o.message = message;
    const int left = remaining();
    o.status = left == 0 ? formatInt(check_text::kClean, checked_) : formatInt(check_text::kFound, left);
    phase_ = Phase::Done;
    return o;
}

}  // namespace quarlink
