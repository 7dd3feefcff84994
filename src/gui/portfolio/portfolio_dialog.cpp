#include "gui/portfolio/portfolio_dialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include "gui/portfolio/portfolio_edit_dialog.h"
#include "core/portfolio/portfolio_report.h"
#include "gui/common/qt_prompter.h"
#include "gui/common/qt_text.h"
#include "core/store/folder_layout.h"

namespace quarlink {

PortfolioDialog::PortfolioDialog(Application& app, QWidget* parent)
    : QDialog(parent),
      app_(app),
      ownPrompter_(std::make_unique<QtPrompter>(this)),
      ownClock_(std::make_unique<SystemClock>()),
      prompter_(*ownPrompter_),
      clock_(*ownClock_),
      model_(app, prompter_) {
    build();
}

PortfolioDialog::PortfolioDialog(Application& app, QWidget* parent, Prompter& prompter, const Clock& clock)
    : QDialog(parent), app_(app), prompter_(prompter), clock_(clock), model_(app, prompter_) {
    build();
}

PortfolioDialog::~PortfolioDialog() = default;

void PortfolioDialog::build() {
    setWindowTitle(QStringLiteral("ポートフォリオ管理"));
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("portfolioList"));
    list_->setHeaderLabels({QStringLiteral("ポートフォリオ名"), QStringLiteral("管理No"), QStringLiteral("管理者名")});
    list_->setColumnWidth(0, 200);
    list_->setColumnWidth(1, 50);
    list_->setColumnWidth(2, 80);
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->header()->setSectionsClickable(true);
    list_->setMinimumWidth(360);

    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    number_ = new QLineEdit(this);
    number_->setObjectName(QStringLiteral("number"));
    number_->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), number_));
    manager_ = new QLineEdit(this);
    manager_->setObjectName(QStringLiteral("manager"));
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("ポート名"), name_);
    form->addRow(QStringLiteral("管理No"), number_);
    form->addRow(QStringLiteral("管理者"), manager_);

    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    QPushButton* manage = button("管理", "manage");
    manage->setDefault(true);
    QPushButton* finish = button("終了", "finish");
    QPushButton* edit = button("編集", "edit");
    QPushButton* add = button("追加", "add");
    QPushButton* remove = button("削除", "remove");
    QPushButton* report = button("HTML総出力", "report");
    QPushButton* folder = button("HTMLフォルダ", "reportFolder");

    auto* editRow = new QHBoxLayout;
    editRow->addWidget(add);
    editRow->addWidget(edit);
    editRow->addWidget(remove);
    auto* side = new QVBoxLayout;
    side->addLayout(form);
    side->addLayout(editRow);
    side->addStretch();
    side->addWidget(report);
    side->addWidget(folder);
    side->addWidget(manage);
    side->addWidget(finish);
    auto* top = new QHBoxLayout(this);
    top->addWidget(list_, 1);
    top->addLayout(side);

    connect(list_, &QTreeWidget::itemDoubleClicked, this, [this] {
        pull();
        model_.pick();
        push();
    });
    auto run = [this](bool (PortfolioListModel::*op)()) {
        pull();
        (model_.*op)();
        showRows();
        push();
    };
    connect(add, &QPushButton::clicked, this, [run] { run(&PortfolioListModel::add); });
    connect(edit, &QPushButton::clicked, this, [run] { run(&PortfolioListModel::edit); });
    connect(remove, &QPushButton::clicked, this, [run] { run(&PortfolioListModel::remove); });
    connect(manage, &QPushButton::clicked, this, [this] { openPortfolio(); });
    connect(report, &QPushButton::clicked, this, [this] { writeReports(); });
    connect(folder, &QPushButton::clicked, this, [this] { openReportFolder(); });
    connect(finish, &QPushButton::clicked, this, [this] {
        model_.save();
        accept();
    });
    connect(list_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        pull();
        model_.sort(column);
        showRows();
        push();
    });

    model_.load();
    showRows();
    push();
}

// The boxes and the selection into the model.
void PortfolioDialog::pull() {
    model_.name = toCp932(name_->text());
    model_.number = toCp932(number_->text());
    model_.manager = toCp932(manager_->text());
    model_.inputRefusal.clear();
    for (const auto& [what, box] : {std::pair{"ポートフォリオ名", name_}, std::pair{"管理番号", number_},
                                    std::pair{"管理者名", manager_}})
        if (model_.inputRefusal.empty()) model_.inputRefusal = cp932Refusal(what, box->text().toStdString());
    QTreeWidgetItem* item = list_->currentItem();
    model_.selected = item && item->isSelected() ? list_->indexOfTopLevelItem(item) : -1;
}

void PortfolioDialog::push() {
    name_->setText(fromCp932(model_.name));
    number_->setText(fromCp932(model_.number));
    manager_->setText(fromCp932(model_.manager));
}

void PortfolioDialog::showRows() {
    list_->clear();
    for (const PortfolioEntry& e : model_.rows)
        new QTreeWidgetItem(list_, {fromCp932(e.name), fromCp932(e.number), fromCp932(e.manager)});
    if (model_.selected >= 0) list_->setCurrentItem(list_->topLevelItem(model_.selected));
}

void PortfolioDialog::openPortfolio() {
    pull();
    if (!model_.open()) return;
    if (ownPrompter_) {
        PortfolioEditDialog dialog(app_, this);
        dialog.exec();
    } else {
        PortfolioEditDialog dialog(app_, this, prompter_, clock_);
        dialog.exec();
    }
}

void PortfolioDialog::writeReports() {
    setCursor(Qt::WaitCursor);
    writeAllReports(app_, clock_, prompter_);
    unsetCursor();
}

void PortfolioDialog::openReportFolder() {
    model_.ensureReportFolder();
    const QString path = QString::fromStdString(layout::htmlFolder(app_).string());
    // Without a file manager, at least say where the reports are.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path))) prompter_.message(path.toStdString());
}

}  // namespace quarlink
