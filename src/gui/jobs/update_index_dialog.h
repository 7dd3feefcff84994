#pragma once
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <mutex>
#include <vector>

#include "jobs/index_update.h"
#include "jobs/qt_job_dialog.h"

namespace quarlink {

// "index更新": a view over IndexUpdate. The download runs on the worker
// thread; its messages are shown once it is back.
class UpdateIndexDialog : public JobDialogBase {
    Q_OBJECT
public:
    UpdateIndexDialog(Application& app, QWidget* parent = nullptr);
    ~UpdateIndexDialog() override;

    struct Block {
        QLineEdit* name;
        QLineEdit* market;
        QLineEdit* unit;
        QCheckBox* n225;
        QCheckBox* obs;
        QCheckBox* a500;
        QListWidget* splits;
    };

    QListWidget* changedList() const { return changed_; }
    QListWidget* unregisteredList() const { return unregistered_; }
    const Block& currentBlock() const { return current_; }
    const Block& newBlock() const { return new_; }
    QLineEdit* dateField() const { return date_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* removeChangedButton() const { return removeChanged_; }
    QPushButton* removeUnregisteredButton() const { return removeUnregistered_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* endButton() const { return end_; }

private:
    // Collects the messages of a step on the worker, or passes them on.
    class RoutingPrompter final : public Prompter {
    public:
        Prompter* target = nullptr;
        bool deferring = false;
        std::vector<std::string> deferred;
        void message(const std::string& text) override;
        bool askYesNo(const std::string& text) override { return target->askYesNo(text); }
        Answer askYesNoCancel(const std::string& text) override { return target->askYesNoCancel(text); }

    private:
        std::mutex mutex_;
    };

    Block makeBlock();
    void openIndex();
    void onDownload();
    void onSelect(QListWidget* list);
    void onRemoveChanged();
    void onRemoveUnregistered();
    void onApply();
    // Refills both lists after a removal from the other one, keeping `untouched` as it was.
    void refillKeeping(QListWidget* untouched);
    void fillLists();
    void showEntry(const Block& block, const IndexEntryView& view);
    void clearDisplay();
    void applyOutcome(const JobOutcome&) override {}
    void jobEnded(const JobOutcome& last) override;

    RoutingPrompter routing_;
    IndexUpdate job_;
    QListWidget* changed_;
    QListWidget* unregistered_;
    Block current_;
    Block new_;
    QLineEdit* date_;
    QPushButton* download_;
    QPushButton* removeChanged_;
    QPushButton* removeUnregistered_;
    QPushButton* apply_;
    QPushButton* cancel_;
    QPushButton* end_;
};

}  // namespace quarlink
