#pragma once
#include <functional>
#include <memory>

#include <QDialog>

#include "store/application.h"
#include "store/prompter.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace quarlink {

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
};

}  // namespace quarlink
