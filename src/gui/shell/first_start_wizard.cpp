#include "gui/shell/first_start_wizard.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <QWizardPage>

#include "core/app/startup.h"
#include "core/app/tray_menu.h"
#include "core/jobs/init_data_job.h"
#include "core/jobs/web_session.h"
#include "core/schedule/schedule_settings.h"
#include "core/sources/source_kind.h"
#include "core/store/folder_layout.h"
#include "core/store/options.h"
#include "core/store/writer_lock.h"
#include "core/web/jquants/jquants_key.h"
#include "gui/common/qt_prompter.h"
#include "gui/jobs/init_value_data_dialog.h"
#include "gui/jobs/update_index_dialog.h"
#include "gui/shell/jquants_options.h"
#include "gui/shell/option_dialog.h"

namespace quarlink {

namespace {
namespace text = first_start_text;

// A page whose [次へ] first keeps what it shows.
class GuidePage : public QWizardPage {
public:
    GuidePage(const char* title, const char* explanation, std::function<bool()> leave)
        : leave_(std::move(leave)) {
        setTitle(QString::fromUtf8(title));
        auto* layout = new QVBoxLayout(this);
        auto* label = new QLabel(QString::fromUtf8(explanation), this);
        label->setWordWrap(true);
        layout->addWidget(label);
    }
    bool validatePage() override { return !leave_ || leave_(); }
    QVBoxLayout* body() const { return static_cast<QVBoxLayout*>(layout()); }

private:
    std::function<bool()> leave_;
};

bool folderIsEmpty(const std::filesystem::path& folder) {
    std::error_code ec;
    return !std::filesystem::exists(folder, ec) || std::filesystem::is_empty(folder, ec);
}

}  // namespace

FirstStartWizard::FirstStartWizard(Application& app, Prompter& prompter, QWidget* parent,
                                   const WebEnvironment& environment)
    : QWizard(parent), app_(app), prompter_(prompter), environment_(environment) {
    setWindowTitle(QString::fromUtf8(text::kTitle));
    setWizardStyle(QWizard::ClassicStyle);
    // Room for the connection test's and the estimate's lines without resizing.
    setMinimumSize(640, 520);
    opener_ = [this](TrayCommand command, QWidget* parent) {
        WriterLock lock(app_.workDir, "quarlink", app_.chartFolder);
        while (!lock.tryAcquire())
            if (!prompter_.askYesNo(lock.busyMessage() + "\n" + tray_text::kRetryQuestion)) return;
        openForJQuants(command, app_, parent);
    };

    auto* folderPage = new GuidePage(text::kFolderTitle, text::kFolderText, [this] { return leaveFolderPage(); });
    folder_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(app_.chartFolder)), folderPage);
    auto* browse = new QPushButton(QStringLiteral("参照..."), folderPage);
    auto* folderRow = new QHBoxLayout;
    folderRow->addWidget(folder_, 1);
    folderRow->addWidget(browse);
    folderPage->body()->addLayout(folderRow);
    folderPage->body()->addStretch(1);
    connect(browse, &QPushButton::clicked, this, [this] {
        const QString picked = QFileDialog::getExistingDirectory(this, QString::fromUtf8(kFolderPickerCaption), folder_->text());
        if (!picked.isEmpty()) folder_->setText(picked);
    });

    auto* keyPage = new GuidePage(text::kKeyTitle, text::kKeyText, [this] { return leaveKeyPage(); });
    jquants_ = new JQuantsOptions(app_, prompter_, keyPage, environment_);
    jquants_->setTitle(QString());
    keyPage->body()->addWidget(jquants_);
    keyPage->body()->addStretch(1);

    auto* dataPage = new GuidePage(text::kDataTitle, text::kDataText, {});
    estimate_ = new QPushButton(QString::fromUtf8(text::kEstimate), dataPage);
    openInit_ = new QPushButton(QString::fromUtf8(text::kOpenInit), dataPage);
    openIndex_ = new QPushButton(QString::fromUtf8(text::kOpenIndex), dataPage);
    estimateText_ = new QLabel(dataPage);
    estimateText_->setTextFormat(Qt::PlainText);
    estimateText_->setWordWrap(true);
    auto* dataButtons = new QHBoxLayout;
    dataButtons->addWidget(estimate_);
    dataButtons->addWidget(openInit_);
    dataButtons->addWidget(openIndex_);
    dataButtons->addStretch(1);
    dataPage->body()->addLayout(dataButtons);
    dataPage->body()->addWidget(estimateText_);
    dataPage->body()->addStretch(1);
    connect(estimate_, &QPushButton::clicked, this, &FirstStartWizard::startEstimate);
    for (const auto& [button, command] : {std::pair{openInit_, TrayCommand::InitValueData},
                                          std::pair{openIndex_, TrayCommand::UpdateIndex}})
        connect(button, &QPushButton::clicked, this, [this, command] {
            if (opener_) opener_(command, this);
        });

    auto* schedulePage = new GuidePage(text::kScheduleTitle, text::kScheduleText, [this] { return leaveSchedulePage(); });
    const ScheduleSettings schedule = loadSchedule(app_.workDir).settings;
    scheduleOn_ = new QCheckBox(QString::fromUtf8(text::kScheduleOn), schedulePage);
    scheduleOn_->setChecked(schedule.enabled);
    time_ = new QTimeEdit(QTime(schedule.hour, schedule.minute), schedulePage);
    time_->setDisplayFormat(QStringLiteral("HH:mm"));
    auto* timeRow = new QHBoxLayout;
    timeRow->addWidget(new QLabel(QString::fromUtf8(schedule_text::kTimeLabel), schedulePage));
    timeRow->addWidget(time_);
    timeRow->addStretch(1);
    schedulePage->body()->addWidget(scheduleOn_);
    schedulePage->body()->addLayout(timeRow);
    schedulePage->body()->addStretch(1);

    setPage(FolderPage, folderPage);
    setPage(KeyPage, keyPage);
    setPage(DataPage, dataPage);
    setPage(SchedulePage, schedulePage);
    setStartId(FolderPage);
}

FirstStartWizard::~FirstStartWizard() {
    thread_.abort();
    thread_.join();
}

int FirstStartWizard::nextId() const {
    switch (currentId()) {
    case FolderPage: return KeyPage;
    case KeyPage:
        // The initial data only for a chart folder whose data/ has nothing yet.
        return app_.chartFolderConfigured() && folderIsEmpty(layout::dataFolder(app_)) ? DataPage : SchedulePage;
    case DataPage: return SchedulePage;
    default: return -1;
    }
}

void FirstStartWizard::done(int result) {
    markFirstStartGuideDone(app_);
    QWizard::done(result);
}

bool FirstStartWizard::leaveFolderPage() {
    const std::string folder = QFile::encodeName(folder_->text().trimmed()).toStdString();
    if (folder.empty() || folder == app_.chartFolder) return true;
    return saveOptions(app_, folder, app_.launchChart == 1, prompter_);
}

bool FirstStartWizard::leaveKeyPage() {
    std::string error;
    if (jquants_->apply(error)) return true;
    prompter_.message(error);
    return false;
}

bool FirstStartWizard::leaveSchedulePage() {
    LoadedSchedule loaded = loadSchedule(app_.workDir);
    ScheduleSettings s = loaded.settings;
    if (!scheduleOn_->isChecked() && !s.enabled) return true;
    if (scheduleOn_->isChecked()) {
        if (const jquants::ApiKey key = jquants::loadApiKey(app_.workDir); !key.ok()) {
            prompter_.message(option_text::kJQuantsNeedsKey + key.error);
            return false;
        }
        // Counted from now: a time already past today is not run at once.
        if (!s.enabled) s.lastRun = std::max(s.lastRun, minuteStamp(SystemClock().now()));
        s.source = ScheduleSource::JQuants;
    }
    s.enabled = scheduleOn_->isChecked();
    s.hour = time_->time().hour();
    s.minute = time_->time().minute();
    // A file the user must mend is never replaced.
    if (loaded.unreadable) {
        prompter_.message(loaded.problem);
        return false;
    }
    if (std::string error; !saveSchedule(app_.workDir, s, error)) {
        prompter_.message(schedule_text::kSaveFailed + error);
        return false;
    }
    return true;
}

void FirstStartWizard::startEstimate() {
    if (thread_.running()) return;
    thread_.join();
    estimate_->setEnabled(false);
    estimateText_->setText(QString::fromUtf8(text::kEstimating));
    job_.reset();
    session_ = std::make_unique<WebSession>(app_, environment_);
    job_ = std::make_unique<InitDataJob>(app_, session_->reader(), session_->environment(), session_->endpoints());
    job_->open();
    job_->settings.source = SourceKind::JQuants;
    job_->settings.dryRun = true;
    const JQuantsPlan plan = session_->endpoints().jquantsPlan;
    job_->settings.topix = planFacts(plan).hasTopix;
    // The first year the plan's window holds whole.
    job_->settings.startYear = jquantsPlanWindow(plan, session_->clock().japanNow().yyyymmdd()).from / 10000 + 1;
    JobThread::Hooks hooks;
    hooks.outcome = [this](const JobOutcome& o) {
        QMetaObject::invokeMethod(this, [this, o] { showEstimate(o); }, Qt::QueuedConnection);
    };
    hooks.ask = [](const std::string&) { return false; };
    hooks.ended = [this](const JobOutcome&) {
        QMetaObject::invokeMethod(this, [this] { endEstimate(); }, Qt::QueuedConnection);
    };
    thread_.run(*job_, std::move(hooks));
}

void FirstStartWizard::showEstimate(const JobOutcome& o) {
    // A refusal's message says more than the status line it ended on.
    if (o.message) estimateText_->setText(QString::fromStdString(*o.message));
    else if (o.status) estimateText_->setText(QString::fromStdString(*o.status));
}

void FirstStartWizard::endEstimate() {
    thread_.join();
    estimate_->setEnabled(true);
    emit estimateFinished();
}

void openForJQuants(TrayCommand command, Application& app, QWidget* parent) {
    const auto onJQuants = [](QComboBox* sources) {
        for (int i = 0; i < sources->count(); ++i)
            if (sources->itemText(i).contains(QStringLiteral("J-Quants"))) sources->setCurrentIndex(i);
    };
    if (command == TrayCommand::UpdateIndex) {
        UpdateIndexDialog dialog(app, parent);
        onJQuants(dialog.sourceBox());
        dialog.exec();
        return;
    }
    InitValueDataDialog dialog(app, parent);
    onJQuants(dialog.sourceList());
    dialog.exec();
}

}  // namespace quarlink
