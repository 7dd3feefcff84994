#pragma once
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <QGroupBox>

#include "core/env/prompter.h"
#include "core/sources/jquants_probe.h"
#include "core/store/application.h"
#include "core/web/endpoints.h"
#include "core/web/jquants/jquants_key.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace quarlink {

namespace jquants_options_text {
inline constexpr const char* kSection = "J-Quants";
inline constexpr const char* kKeyLabel = "APIキー";
inline constexpr const char* kNoKey = "未設定";
inline constexpr const char* kKeyWhere = "　キーの場所：";
inline constexpr const char* kEnvironmentWins = "環境変数JQUANTS_API_KEYが設定されているため、そちらが優先されます。";
inline constexpr const char* kTypedKey = "入力したキー";
inline constexpr const char* kDeleteQuestion = "保存したJ-Quants APIキー（jquants.key）を削除しますか？";
inline constexpr const char* kPlanLabel = "プラン";
inline constexpr const char* kAuto = "自動判定";
inline constexpr const char* kLastDetected = "前回の判定：";
inline constexpr const char* kNotDetected = "接続テストで判定します";
inline constexpr const char* kPlanFixed = "endpoints.confのjquants_planが優先されます：";
inline constexpr const char* kPlanDiffers = "\n選択中のプラン（%s）と判定結果が異なります。プランの選択を確かめてください。";
inline constexpr const char* kTesting = "接続テスト中...";
inline constexpr const char* kBrowserFailed = "ブラウザを開けませんでした。次のページを開いてください：";
inline constexpr const char* kDetectedNotSaved = "\n判定したプランを保存できませんでした：";
inline constexpr const char* kSignUpUrl = "https://jpx-jquants.com/";
}  // namespace jquants_options_text

// The options' J-Quants section: the API key (masked; once saved shown only
// by its last four characters and where it is kept), the plan with 自動判定,
// the connection test run off the GUI thread, and the registration page.
// The typed key and the plan choice are kept by apply(); a deletion and a
// plan the test found are kept at once.
class JQuantsOptions : public QGroupBox {
    Q_OBJECT
public:
    using UrlOpener = std::function<bool(const QString& url)>;

    JQuantsOptions(Application& app, Prompter& prompter, QWidget* parent, const WebEnvironment& environment);
    ~JQuantsOptions() override;

    void setUrlOpener(UrlOpener opener) { opener_ = std::move(opener); }

    // Saves the typed key and the chosen plan; false with the reason.
    bool apply(std::string& error);
    // Whether the jobs will have a key once apply() has run; else why not.
    bool keyUsable(std::string& why) const;
    bool testRunning() const { return thread_.joinable(); }

    QLineEdit* keyField() const { return key_; }
    QLabel* keyState() const { return state_; }
    QPushButton* replaceButton() const { return replace_; }
    QPushButton* deleteButton() const { return delete_; }
    QComboBox* planList() const { return plan_; }
    QLabel* planNote() const { return planNote_; }
    QPushButton* testButton() const { return test_; }
    QLabel* testResult() const { return result_; }
    QLabel* testIcon() const { return icon_; }
    QPushButton* signUpButton() const { return signUp_; }

signals:
    void testFinished(bool accepted);

private:
    void showKey();
    void showPlan();
    void startTest();
    void finishTest(const JQuantsProbeResult& result);
    void deleteKey();
    void openSignUp();
    std::string typedKey() const;

    Application& app_;
    Prompter& prompter_;
    WebEnvironment environment_;
    UrlOpener opener_;
    jquants::ApiKey loaded_;
    JQuantsPlanChoice choice_;  // as in jquants.conf
    QLineEdit* key_;
    QLabel* state_;
    QPushButton* replace_;
    QPushButton* delete_;
    QComboBox* plan_;
    QLabel* planNote_;
    QPushButton* test_;
    QLabel* icon_;
    QLabel* result_;
    QPushButton* signUp_;
    std::unique_ptr<JQuantsProbe> probe_;
    std::thread thread_;
};

}  // namespace quarlink
