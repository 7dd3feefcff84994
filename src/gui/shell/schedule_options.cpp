#include "gui/shell/schedule_options.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QTimeEdit>
#include <QTimeZone>
#include <QVBoxLayout>

#include "core/jobs/catch_up_job.h"
#include "core/schedule/autostart.h"
#include "core/store/folder_layout.h"
#include "gui/jobs/job_labels.h"
#include "gui/jobs/source_choice.h"

namespace quarlink {

namespace fs = std::filesystem;

namespace {

QTimeZone japanZone() {
    const QTimeZone tokyo(QByteArrayLiteral("Asia/Tokyo"));
    // Without the zone database Japan is still UTC+9: it keeps no summer time.
    return tokyo.isValid() ? tokyo : QTimeZone(9 * 3600);
}

bool isDefaultWorkDir(const fs::path& workDir) {
    std::error_code ec;
    return fs::absolute(defaultWorkDir(), ec) == workDir;
}

}  // namespace

ScheduleOptions::Places ScheduleOptions::desktopPlaces() {
    return {userUnitFolder(), autostartFolder(), runSystemctl()};
}

ScheduleOptions::ScheduleOptions(QWidget* parent, Places places)
    : QGroupBox(QString::fromUtf8(schedule_text::kSection), parent), places_(std::move(places)) {
    setCheckable(true);
    time_ = new QTimeEdit(this);
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    localTime_ = new QLabel(this);
    source_ = new QComboBox(this);
    for (const SourceKindFacts& f : kSourceKindFacts) addSource(source_, f.kind);
    margin_ = new QCheckBox(QString::fromUtf8(update_labels::kMarginLabel), this);
    indexOnly_ = new QCheckBox(QString::fromUtf8(update_labels::kIndexOnlyLabel), this);
    nikkei_ = new QCheckBox(QString::fromUtf8(update_labels::kNikkeiLabel), this);
    topix_ = new QCheckBox(QString::fromUtf8(update_labels::kTopixLabel), this);
    autostart_ = new QCheckBox(QString::fromUtf8(autostart_text::kLabel), this);
    autostart_->setToolTip(QString::fromUtf8(autostart_text::kToolTip));

    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(time_);
    timeRow->addWidget(localTime_, 1);
    auto* runOptions = new QVBoxLayout;
    for (QCheckBox* box : {margin_, indexOnly_, nikkei_, topix_}) runOptions->addWidget(box);
    auto* form = new QFormLayout(this);
    form->addRow(QString::fromUtf8(schedule_text::kTimeLabel), timeRow);
    form->addRow(QString::fromUtf8(schedule_text::kSourceLabel), source_);
    form->addRow(QString::fromUtf8(schedule_options_text::kRunOptions), runOptions);
    form->addRow(autostart_);

    connect(source_, &QComboBox::currentIndexChanged, this, [this] { sourceChanged(); });
    connect(time_, &QTimeEdit::timeChanged, this, [this] { timeChanged(); });
    load({}, false);
}

std::string ScheduleOptions::loadFrom(const Application& app) {
    const LoadedSchedule loaded = loadSchedule(app.workDir);
    load(loaded.settings, autostartEnabled(places_.autostartFolder));
    return loaded.problem;
}

void ScheduleOptions::load(const ScheduleSettings& settings, bool startsAtLogin) {
    loaded_ = settings;
    loadedStartsAtLogin_ = startsAtLogin;
    setChecked(settings.enabled);
    time_->setTime(QTime(settings.hour, settings.minute));
    source_->setCurrentIndex(source_->findData(int(settings.source)));
    margin_->setChecked(settings.margin);
    indexOnly_->setChecked(settings.indexOnly);
    nikkei_->setChecked(settings.nikkei);
    topix_->setChecked(settings.topix);
    autostart_->setChecked(startsAtLogin);
    sourceChanged();
    timeChanged();
}

void ScheduleOptions::sourceChanged() {
    const auto source = static_cast<SourceKind>(source_->currentData().toInt());
    // What the source cannot give is neither offered nor saved.
    const bool nikkei = kindFacts(source).hasNikkei, topix = kindFacts(source).hasTopix;
    nikkei_->setEnabled(nikkei);
    nikkei_->setToolTip(nikkei ? QString() : QString::fromUtf8(job_dialog_labels::kNoNikkei));
    if (!nikkei) nikkei_->setChecked(false);
    topix_->setEnabled(topix);
    topix_->setToolTip(topix ? QString() : QString::fromUtf8(job_dialog_labels::kTopixJQuantsOnly));
    if (!topix) topix_->setChecked(false);
}

void ScheduleOptions::timeChanged() {
    const QTimeZone japan = japanZone();
    const QDateTime there(QDateTime::currentDateTimeUtc().toTimeZone(japan).date(), time_->time(), japan);
    const QDateTime here = there.toTimeZone(QTimeZone::systemTimeZone());
    // Japan time is what counts; the machine's own clock only as a help.
    localTime_->setText(here.offsetFromUtc() == there.offsetFromUtc()
                            ? QString::fromUtf8(schedule_options_text::kJapanTime)
                            : QString::fromUtf8(schedule_options_text::kJapanTime) +
                                  QString::fromUtf8(schedule_options_text::kLocalTime)
                                      .arg(here.time().toString(QStringLiteral("HH:mm"))));
}

ScheduleSettings ScheduleOptions::settings() const {
    ScheduleSettings s = loaded_;
    s.enabled = isChecked();
    s.hour = time_->time().hour();
    s.minute = time_->time().minute();
    s.source = static_cast<SourceKind>(source_->currentData().toInt());
    s.margin = margin_->isChecked();
    s.indexOnly = indexOnly_->isChecked();
    s.nikkei = nikkei_->isChecked();
    s.topix = topix_->isChecked();
    return s;
}

bool ScheduleOptions::startsAtLogin() const { return autostart_->isChecked(); }

bool ScheduleOptions::autostartWanted() const {
    if (isChecked()) return autostart_->isChecked();
    return loaded_.enabled ? false : loadedStartsAtLogin_;
}

std::string ScheduleOptions::validate() const {
    if (autostartWanted() == loadedStartsAtLogin_) return {};
    const fs::path entry = places_.autostartFolder / kAutostartFileName;
    std::error_code ec;
    const fs::file_status st = fs::symlink_status(entry, ec);
    if (fs::exists(st) && !fs::is_regular_file(st))
        return std::string(autostartWanted() ? autostart_text::kNotWritten : autostart_text::kNotRemoved) +
               entry.string() + "（" + autostart_text::kInTheWay + "）";
    return {};
}

bool ScheduleOptions::save(const Application& app, const Clock& clock, Prompter& prompter) {
    bool ok = true;
    ScheduleSettings s = settings();
    // The schedule counts from when it is switched on: a time already past
    // today is not run at once.
    if (s.enabled && !loaded_.enabled) s.lastRun = std::max(s.lastRun, minuteStamp(clock.japanNow()));
    // A run recorded by quarlink-cli meanwhile stays recorded.
    s.lastRun = std::max(s.lastRun, loadSchedule(app.workDir).settings.lastRun);
    if (formatSchedule(s) != formatSchedule(loaded_)) {
        if (std::string error; !saveSchedule(app.workDir, s, error)) {
            prompter.message(schedule_text::kSaveFailed + error);
            ok = false;
        }
    }
    // Every time, not only on a change: a drop-in written before the times
    // were Japan's is rewritten (an equal one is left alone).
    const SystemdSchedule::Result timer =
        SystemdSchedule(app.workDir, isDefaultWorkDir(app.workDir), places_.unitFolder, places_.systemctl)
            .followTime(s);
    if (!timer.ok) {
        prompter.message(schedule_text::kTimerNotFollowed + timer.err);
        ok = false;
    }
    if (const bool wanted = autostartWanted(); wanted != loadedStartsAtLogin_) {
        std::string error;
        if (setAutostart(places_.autostartFolder, wanted, autostartEntry(app.workDir, isDefaultWorkDir(app.workDir)),
                         error)) {
            loadedStartsAtLogin_ = wanted;
        } else {
            prompter.message(error);
            ok = false;
        }
    }
    if (ok) loaded_ = s;
    return ok;
}

}  // namespace quarlink
