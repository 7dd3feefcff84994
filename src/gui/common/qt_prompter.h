#pragma once
#include <QPointer>
#include <QWidget>

#include "core/env/prompter.h"

namespace quarlink {

// Message boxes and questions as QMessageBox, over `parent`.
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    void message(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    Answer askYesNoCancel(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

// Installs Qt's own Japanese translation (standard buttons はい/いいえ,
// キャンセル, the file dialogs) on the running application. False when the
// translation files are not installed.
bool installQtJapanese();

// The caption every folder picker carries.
inline constexpr const char* kFolderPickerCaption = "フォルダの選択";

}  // namespace quarlink
