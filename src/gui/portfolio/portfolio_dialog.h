#pragma once
#include <QDialog>
#include <memory>

#include "core/portfolio/portfolio_list_model.h"
#include "core/store/application.h"
#include "core/env/clock.h"
#include "core/env/prompter.h"

class QLineEdit;
class QTreeWidget;

namespace quarlink {

// ポートフォリオ管理: the book of portfolios over PortfolioListModel.
class PortfolioDialog : public QDialog {
    Q_OBJECT
public:
    PortfolioDialog(Application& app, QWidget* parent);
    // Tests pass their own prompter and clock.
    PortfolioDialog(Application& app, QWidget* parent, Prompter& prompter, const Clock& clock);
    ~PortfolioDialog() override;

    const PortfolioListModel& model() const { return model_; }

private:
    void build();
    void pull();
    void push();
    void showRows();
    void openPortfolio();
    void writeReports();
    void openReportFolder();

    Application& app_;
    std::unique_ptr<Prompter> ownPrompter_;
    std::unique_ptr<Clock> ownClock_;
    Prompter& prompter_;
    const Clock& clock_;
    PortfolioListModel model_;
    QTreeWidget* list_ = nullptr;
    QLineEdit* name_ = nullptr;
    QLineEdit* number_ = nullptr;
    QLineEdit* manager_ = nullptr;
};

}  // namespace quarlink
