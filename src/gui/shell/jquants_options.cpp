#include "gui/shell/jquants_options.h"

#include <cstdio>

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "gui/shell/desktop_services.h"

namespace quarlink {

namespace {
namespace text = jquants_options_text;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// The plan list: 自動判定, then the plans in the table's order.
std::optional<JQuantsPlan> planAt(int index) {
    if (index <= 0) return std::nullopt;
    return kJQuantsPlans[index - 1].plan;
}
}  // namespace

JQuantsOptions::JQuantsOptions(Application& app, Prompter& prompter, QWidget* parent, const WebEnvironment& environment)
    : QGroupBox(QString::fromUtf8(text::kSection), parent),
      app_(app),
      prompter_(prompter),
      environment_(environment),
      opener_(openWebPage) {
    state_ = new QLabel(this);
    state_->setTextFormat(Qt::PlainText);
    replace_ = new QPushButton(QStringLiteral("置き換え"), this);
    replace_->setAutoDefault(false);
    delete_ = new QPushButton(QStringLiteral("削除"), this);
    delete_->setAutoDefault(false);
    key_ = new QLineEdit(this);
    key_->setEchoMode(QLineEdit::Password);
    key_->setPlaceholderText(QStringLiteral("J-QuantsのダッシュボードでコピーしたAPIキー"));
    plan_ = new QComboBox(this);
    plan_->addItem(QString::fromUtf8(text::kAuto));
    for (const JQuantsPlanFacts& f : kJQuantsPlans) plan_->addItem(QString::fromUtf8(f.label));
    planNote_ = new QLabel(this);
    planNote_->setTextFormat(Qt::PlainText);
    test_ = new QPushButton(QStringLiteral("接続テスト"), this);
    test_->setAutoDefault(false);
    signUp_ = new QPushButton(QStringLiteral("登録ページを開く"), this);
    signUp_->setAutoDefault(false);
    icon_ = new QLabel(this);
    result_ = new QLabel(this);
    // Lines broken by the texts themselves: a wrapped label would not grow the dialog.
    result_->setTextFormat(Qt::PlainText);
    result_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    result_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* keyRow = new QHBoxLayout;
    keyRow->addWidget(state_, 1);
    keyRow->addWidget(replace_);
    keyRow->addWidget(delete_);
    auto* planRow = new QHBoxLayout;
    planRow->addWidget(plan_);
    planRow->addWidget(planNote_, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(test_);
    buttons->addWidget(signUp_);
    buttons->addStretch(1);
    auto* resultRow = new QHBoxLayout;
    resultRow->addWidget(icon_, 0, Qt::AlignTop);
    resultRow->addWidget(result_, 1);
    auto* form = new QFormLayout(this);
    form->addRow(QString::fromUtf8(text::kKeyLabel), keyRow);
    form->addRow(QString(), key_);
    form->addRow(QString::fromUtf8(text::kPlanLabel), planRow);
    form->addRow(QString(), buttons);
    form->addRow(QString(), resultRow);

    choice_ = loadJQuantsPlan(app_.workDir);
    plan_->setCurrentIndex(choice_.chosen ? static_cast<int>(*choice_.chosen) + 1 : 0);
    showKey();
    showPlan();

    connect(replace_, &QPushButton::clicked, this, [this] {
        key_->setVisible(true);
        key_->setFocus();
    });
    connect(delete_, &QPushButton::clicked, this, &JQuantsOptions::deleteKey);
    connect(plan_, &QComboBox::currentIndexChanged, this, &JQuantsOptions::showPlan);
    connect(test_, &QPushButton::clicked, this, &JQuantsOptions::startTest);
    connect(signUp_, &QPushButton::clicked, this, &JQuantsOptions::openSignUp);
}

JQuantsOptions::~JQuantsOptions() {
    if (thread_.joinable()) {
        probe_->abort();
        thread_.join();
    }
}

std::string JQuantsOptions::typedKey() const { return key_->text().trimmed().toStdString(); }

void JQuantsOptions::showKey() {
    loaded_ = jquants::loadApiKey(app_.workDir);
    std::string state;
    if (loaded_.ok()) state = jquants::keyHint(loaded_.key) + text::kKeyWhere + loaded_.where;
    else if (loaded_.source == jquants::KeySource::KeyFile) state = loaded_.error;  // there, but refused
    else state = text::kNoKey;
    if (loaded_.source == jquants::KeySource::Environment) state += std::string("\n") + text::kEnvironmentWins;
    state_->setText(qs(state));
    key_->clear();
    key_->setVisible(!loaded_.ok());
    replace_->setVisible(loaded_.ok());
    delete_->setVisible(loaded_.source == jquants::KeySource::KeyFile);
}

void JQuantsOptions::showPlan() {
    const Endpoints endpoints = loadEndpoints(layout::endpointsFile(app_));
    plan_->setEnabled(!endpoints.jquantsPlanFixed);
    if (endpoints.jquantsPlanFixed)
        planNote_->setText(qs(text::kPlanFixed + std::string(planFacts(endpoints.jquantsPlan).label)));
    else if (plan_->currentIndex() == 0)
        planNote_->setText(qs(!choice_.detected ? std::string(text::kNotDetected)
                                                : text::kLastDetected + std::string(planFacts(*choice_.detected).label)));
    else
        planNote_->clear();
}

bool JQuantsOptions::keyUsable(std::string& why) const {
    const std::string typed = typedKey();
    if (!typed.empty()) {
        // Checked as saving would check it, without writing anything.
        for (unsigned char c : typed)
            if (c <= ' ' || c >= 0x7f) {
                why = "APIキーに空白や制御文字が含まれています。キーだけを貼り付けてください。";
                return false;
            }
        return true;
    }
    why = loaded_.error;
    return loaded_.ok();
}

bool JQuantsOptions::apply(std::string& error) {
    if (const std::string typed = typedKey(); !typed.empty()) {
        if (!jquants::saveApiKey(app_.workDir, typed, error)) return false;
        showKey();
    }
    const std::optional<JQuantsPlan> chosen = planAt(plan_->currentIndex());
    if (chosen != choice_.chosen) {
        JQuantsPlanChoice next = loadJQuantsPlan(app_.workDir);
        next.chosen = chosen;
        if (!saveJQuantsPlan(app_.workDir, next, error)) return false;
        choice_ = next;
    }
    return true;
}

void JQuantsOptions::startTest() {
    if (thread_.joinable()) return;
    const std::string typed = typedKey();
    std::string why;
    if (!keyUsable(why)) {
        JQuantsProbeResult missing;
        missing.kind = JQuantsProbeResult::Kind::NoKey;
        missing.text = why;
        return finishTest(missing);
    }
    const std::string where = typed.empty() ? loaded_.where : text::kTypedKey;
    probe_ = std::make_unique<JQuantsProbe>(loadEndpoints(layout::endpointsFile(app_)),
                                            typed.empty() ? loaded_.key : typed, environment_);
    test_->setEnabled(false);
    icon_->clear();
    result_->setText(QString::fromUtf8(text::kTesting));
    thread_ = std::thread([this, where] {
        const JQuantsProbeResult result = probe_->run(where);
        QMetaObject::invokeMethod(this, [this, result] { finishTest(result); }, Qt::QueuedConnection);
    });
}

void JQuantsOptions::finishTest(const JQuantsProbeResult& result) {
    if (thread_.joinable()) thread_.join();
    test_->setEnabled(true);
    std::string shown = result.text;
    using Kind = JQuantsProbeResult::Kind;
    QStyle::StandardPixmap icon = QStyle::SP_MessageBoxCritical;
    if (result.ok()) {
        icon = QStyle::SP_MessageBoxInformation;
        // What the answers show is a fact, kept at once for 自動判定 and the jobs' pace.
        JQuantsPlanChoice onDisk = loadJQuantsPlan(app_.workDir);
        if (onDisk.detected != result.plan) {
            onDisk.detected = result.plan;
            if (std::string error; saveJQuantsPlan(app_.workDir, onDisk, error)) choice_.detected = result.plan;
            else shown += text::kDetectedNotSaved + error;
        }
        const std::optional<JQuantsPlan> chosen = planAt(plan_->currentIndex());
        if (chosen && *chosen != result.plan) {
            shown += fillIn(text::kPlanDiffers, {planFacts(*chosen).label});
            icon = QStyle::SP_MessageBoxWarning;
        }
        showPlan();
    } else if (result.kind == Kind::KeyRefused || result.kind == Kind::NoKey || result.kind == Kind::Stopped) {
        icon = QStyle::SP_MessageBoxWarning;
    }
    icon_->setPixmap(style()->standardIcon(icon).pixmap(32, 32));
    result_->setText(qs(shown));
    emit testFinished(result.ok());
}

void JQuantsOptions::deleteKey() {
    if (!prompter_.askYesNo(text::kDeleteQuestion)) return;
    if (std::string error; !jquants::deleteApiKey(app_.workDir, error)) prompter_.message(error);
    showKey();
}

void JQuantsOptions::openSignUp() {
    if (opener_ && opener_(QString::fromUtf8(text::kSignUpUrl))) return;
    icon_->setPixmap(style()->standardIcon(QStyle::SP_MessageBoxWarning).pixmap(32, 32));
    result_->setText(QString::fromUtf8(text::kBrowserFailed) + QString::fromUtf8(text::kSignUpUrl));
}

}  // namespace quarlink
