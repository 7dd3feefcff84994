#pragma once
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <vector>

#include "core/jobs/index_update.h"
#include "gui/jobs/job_dialog.h"

namespace quarlink {

// "index更新": a view over IndexUpdate. The download runs on the worker
// thread, its message shown once it is back; the apply is a local write and
// runs here, so its question is asked at once.
class UpdateIndexDialog : public JobDialog {
    Q_OBJECT
public:
    UpdateIndexDialog(Application& app, QWidget* parent = nullptr, Prompter* prompter = nullptr);

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
    QComboBox* sourceBox() const { return source_; }
    QPushButton* downloadButton() const { return download_; }
    QPushButton* removeChangedButton() const { return removeChanged_; }
    QPushButton* removeUnregisteredButton() const { return removeUnregistered_; }
    QPushButton* applyButton() const { return apply_; }
    QPushButton* cancelButton() const { return cancel_; }
    QPushButton* endButton() const { return end_; }
    QPushButton* splitsButton() const { return splits_; }

private:
    Block makeBlock();
    void openIndex();
    void onDownload();
    void onSelect(QListWidget* list);
    void onRemoveChanged();
    void onRemoveUnregistered();
    void onApply();
    // The splits found in J-Quants' factors; index.txt is read again when they were written.
    void onSplits();
    // Refills both lists after a removal from the other one, keeping `untouched` as it was.
    void refillKeeping(QListWidget* untouched);
    void fillLists();
    void showEntry(const Block& block, const IndexEntryView& view);
    void clearDisplay();
    void applyOutcome(const JobOutcome&) override {}
    void jobEnded(const JobOutcome& last, bool stoppedByRequest) override;

    IndexUpdate& job_;
    QListWidget* changed_;
    QListWidget* unregistered_;
    Block current_;
    Block new_;
    QLineEdit* date_;
    QComboBox* source_;
    QPushButton* download_;
    QPushButton* removeChanged_;
    QPushButton* removeUnregistered_;
    QPushButton* apply_;
    QPushButton* cancel_;
    QPushButton* end_;
    QPushButton* splits_;
};

}  // namespace quarlink
