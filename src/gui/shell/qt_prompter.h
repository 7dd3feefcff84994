#pragma once
#include <QPointer>
#include <QWidget>

#include "store/prompter.h"

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

}  // namespace quarlink
