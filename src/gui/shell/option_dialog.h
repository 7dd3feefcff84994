#pragma once
#include <functional>
#include <memory>

#include <QDialog>

#include "core/schedule/schedule_settings.h"
#include "core/store/application.h"
#include "core/env/prompter.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace quarlink {

class JQuantsOptions;
class ScheduleOptions;

namespace option_text {
inline constexpr const char* kJQuantsNeedsKey =
    "毎日の自動更新の取得先をJ-Quantsにするには、APIキーが必要です。J-QuantsのAPIキーを入力して保存するか、"
    "取得先を変えてください。\n";
}  // namespace option_text

// "オプション": the chart folder and the launch flag. Saving takes effect at
// once, also when the file cannot be written.
class OptionDialog : public QDialog {
    Q_OBJECT
public:
    // The folder picker returns an absolute folder, or an empty text when the
    // user cancels.
    using FolderPicker = std::function<QString(QWidget* parent)>;

    OptionDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);
    ~OptionDialog() override;

    void setFolderPicker(FolderPicker picker) { picker_ = std::move(picker); }

    QLineEdit* pathField() const { return path_; }
    QCheckBox* launchBox() const { return launch_; }
    QPushButton* browseButton() const { return browse_; }
    QPushButton* saveButton() const { return save_; }
    QPushButton* cancelButton() const { return cancel_; }
    // "毎日の自動更新": on/off (the box's check), the time and the source.
    ScheduleOptions* scheduleBox() const { return schedule_; }
    QTimeEdit* scheduleTime() const;
    QComboBox* scheduleSource() const;
    JQuantsOptions* jquantsOptions() const { return jquants_; }

private:
    void browse();
    void save();

    Application& app_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_;
    FolderPicker picker_;
    QLineEdit* path_;
    QCheckBox* launch_;
    QPushButton* browse_;
    QPushButton* save_;
    QPushButton* cancel_;
    ScheduleOptions* schedule_;
    JQuantsOptions* jquants_;
};

}  // namespace quarlink
