#pragma once
#include <QPointer>
#include <QWidget>

#include "core/env/prompter.h"

namespace quarlink {

// How grave a message is: its box's icon.
enum class MessageLevel { Information, Warning, Critical };

// Message boxes and questions as QMessageBox, over `parent`.
class QtPrompter final : public Prompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : parent_(parent) {}

    void message(const std::string& text) override;
    void message(MessageLevel level, const std::string& text);
    bool askYesNo(const std::string& text) override;
    Answer askYesNoCancel(const std::string& text) override;

private:
    QPointer<QWidget> parent_;
};

// A message with the icon of its level where the prompter shows boxes; other
// prompters (the tests', the unattended run's) have no icons to choose.
void tell(Prompter& prompter, MessageLevel level, const std::string& text);

// Installs Qt's own Japanese translation (standard buttons はい/いいえ,
// キャンセル, the file dialogs) on the running application. False when the
// translation files are not installed.
bool installQtJapanese();

// The caption every folder picker carries.
inline constexpr const char* kFolderPickerCaption = "フォルダの選択";

}  // namespace quarlink
