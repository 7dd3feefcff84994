#pragma once
#include <functional>
#include <memory>

#include <QWizard>

#include "core/app/tray_menu.h"

#include "core/env/prompter.h"
#include "core/jobs/job_thread.h"
#include "core/store/application.h"
#include "core/web/page_fetcher.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace quarlink {

class InitDataJob;
class JQuantsOptions;
class WebSession;

namespace first_start_text {
inline constexpr const char* kTitle = "Quarlinkの初期設定";
inline constexpr const char* kFolderTitle = "Sorvantideフォルダ";
inline constexpr const char* kFolderText =
    "Sorvantideをインストールしたフォルダを指定してください。あとからオプションで変更できます。"
    "空欄のまま［次へ］で飛ばせます。";
inline constexpr const char* kKeyTitle = "J-Quants APIキー";
inline constexpr const char* kKeyText =
    "株価はJPXのJ-Quants APIから取得します。登録ページでAPIキーを発行し、貼り付けて接続テストを押してください。"
    "キーは作業フォルダのjquants.keyに本人だけが読める形で保存されます。空欄のまま［次へ］で飛ばせます。";
inline constexpr const char* kDataTitle = "株価データの初期化";
inline constexpr const char* kDataText =
    "Sorvantideのdataフォルダが空です。J-Quantsから過去の株価を取得して初期化データを作成できます。"
    "まず見積もりで、かかるリクエスト数と時間を確かめてください。株価データ初期化で作成開始、終わったらデータ転送。"
    "続けてindex.txt更新で銘柄一覧を作ると、Sorvantideに銘柄が並びます。［次へ］で飛ばせます。";
inline constexpr const char* kEstimate = "見積もり";
inline constexpr const char* kEstimating = "見積もり中...";
inline constexpr const char* kOpenInit = "株価データ初期化を開く";
inline constexpr const char* kOpenIndex = "index.txt更新を開く";
inline constexpr const char* kScheduleTitle = "毎日の自動更新";
inline constexpr const char* kScheduleText =
    "毎日決まった時刻にJ-Quantsから当日の株価を取得します（日本時間16:30以降に公表されます）。"
    "オフのまま［完了］で飛ばせます。";
inline constexpr const char* kScheduleOn = "毎日自動で更新する（取得先：J-Quants）";
}  // namespace first_start_text

// The guide of the first start: the chart folder, the J-Quants key and its
// test, the initial data when data/ is empty (with the initial data's cost
// estimate), and the daily schedule. Every page can be left as it is; the
// guide, finished or cancelled, is not shown at start-up again.
class FirstStartWizard : public QWizard {
    Q_OBJECT
public:
    enum PageId { FolderPage, KeyPage, DataPage, SchedulePage };
    // Opens the tray command's dialog (the initial data, the index update) on J-Quants.
    using DialogOpener = std::function<void(TrayCommand command, QWidget* parent)>;

    FirstStartWizard(Application& app, Prompter& prompter, QWidget* parent, const WebEnvironment& environment);
    ~FirstStartWizard() override;

    // By default under the writer lock.
    void setDialogOpener(DialogOpener opener) { opener_ = std::move(opener); }

    int nextId() const override;
    void done(int result) override;

    QLineEdit* folderField() const { return folder_; }
    JQuantsOptions* keyOptions() const { return jquants_; }
    QPushButton* estimateButton() const { return estimate_; }
    QLabel* estimateText() const { return estimateText_; }
    QPushButton* openInitButton() const { return openInit_; }
    QPushButton* openIndexButton() const { return openIndex_; }
    QCheckBox* scheduleBox() const { return scheduleOn_; }
    QTimeEdit* scheduleTime() const { return time_; }

signals:
    void estimateFinished();

private:
    bool leaveFolderPage();
    bool leaveKeyPage();
    bool leaveSchedulePage();
    void startEstimate();
    void showEstimate(const JobOutcome& outcome);
    void endEstimate();

    Application& app_;
    Prompter& prompter_;
    WebEnvironment environment_;
    DialogOpener opener_;
    QLineEdit* folder_;
    JQuantsOptions* jquants_;
    QPushButton* estimate_;
    QLabel* estimateText_;
    QPushButton* openInit_;
    QPushButton* openIndex_;
    QCheckBox* scheduleOn_;
    QTimeEdit* time_;
    std::unique_ptr<WebSession> session_;
    std::unique_ptr<InitDataJob> job_;
    JobThread thread_;
};

// The initial data's (InitValueData) or the index update's (UpdateIndex)
// dialog with J-Quants chosen as its source (a tray opener: the caller holds
// the writer lock).
void openForJQuants(TrayCommand command, Application& app, QWidget* parent);

}  // namespace quarlink
