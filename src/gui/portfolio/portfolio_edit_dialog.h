#pragma once
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "core/portfolio/portfolio_edit_model.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/env/prompter.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QTreeWidget;

namespace quarlink {

// The positions and trades of the portfolio named by portfolioPrefix, over
// PortfolioEditModel. Closes itself at once when the book cannot be opened.
class PortfolioEditDialog : public QDialog {
    Q_OBJECT
public:
    PortfolioEditDialog(Application& app, QWidget* parent);
    // Tests pass their own prompter and clock.
    PortfolioEditDialog(Application& app, QWidget* parent, Prompter& prompter, const Clock& clock);
    ~PortfolioEditDialog() override;

    bool opened() const { return opened_; }
    const PortfolioEditModel& model() const { return model_; }

private:
    void build();
    void pull();
    void push();
    void showRows();
    void run(bool (PortfolioEditModel::*op)());

    // Holds the model's messages while a command runs, so that a message
    // naming a row ("LINE:") shows once the lists show that row.
    class HeldMessages final : public Prompter {
    public:
        explicit HeldMessages(Prompter& target) : target_(target) {}
        void message(const std::string& text) override { held_.push_back(text); }
        bool askYesNo(const std::string& text) override { return target_.askYesNo(text); }
        Answer askYesNoCancel(const std::string& text) override { return target_.askYesNoCancel(text); }
        void release();

    private:
        Prompter& target_;
        std::vector<std::string> held_;
    };

    std::unique_ptr<Prompter> ownPrompter_;
    std::unique_ptr<Clock> ownClock_;
    HeldMessages held_;
    PortfolioEditModel model_;
    bool opened_ = false;

    QTreeWidget* positions_ = nullptr;
    QTreeWidget* trades_ = nullptr;
    QDateEdit* entryDate_ = nullptr;
    QLineEdit* code_ = nullptr;
    QLineEdit* entryPrice_ = nullptr;
    QLineEdit* units_ = nullptr;
    QComboBox* kind_ = nullptr;
    QLineEdit* measuredDays_ = nullptr;
    QDateEdit* closeDate_ = nullptr;
    QLineEdit* exitPrice_ = nullptr;
    QLineEdit* closedUnits_ = nullptr;
    QLineEdit* netProfit_ = nullptr;
    QCheckBox* settled_ = nullptr;
    QLineEdit* currentValue_ = nullptr;
    QLineEdit* purchaseValue_ = nullptr;
    QLineEdit* holdings_ = nullptr;
    QLineEdit* profitTotal_ = nullptr;
    QLineEdit* tradeCount_ = nullptr;
};

}  // namespace quarlink
