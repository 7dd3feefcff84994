#include "gui/portfolio/portfolio_edit_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "gui/common/qt_prompter.h"
#include "gui/common/qt_text.h"

namespace quarlink {
namespace {

// Dates need a little more room in Qt's default font than the original 70.
constexpr int kDateWidth = 84;

struct ColumnSpec {
    const char* label;
    int width;
};

constexpr ColumnSpec kPositionColumnSpecs[] = {
    {"日付", kDateWidth},   {"コード", 40},        {"銘柄名", 80},   {"市場", 40},     {"仕掛け", 50},
    {"額面", 60},   {"枚数", 45},          {"金額", 70},     {"現在価格(%)", 100}, {"計測期間", 60},
    {"高値(%)", 100}, {"安値(%)", 100}, {"高値日付", kDateWidth}, {"安値日付", kDateWidth},
};

constexpr ColumnSpec kTradeColumnSpecs[] = {
    {"仕掛日付", kDateWidth}, {"コード", 40},   {"銘柄名", 80},   {"市場", 40},     {"仕掛け", 50},
    {"仕掛額面", 60}, {"枚数", 45},     {"仕掛金額", 70}, {"仕舞日付", kDateWidth}, {"仕舞額面", 60},
    {"仕舞金額", 70}, {"差損益", 70},   {" ", 20},
};

template <std::size_t N>
QTreeWidget* makeList(QWidget* parent, const char* name, const ColumnSpec (&specs)[N]) {
    auto* list = new QTreeWidget(parent);
    list->setObjectName(QString::fromLatin1(name));
    QStringList labels;
    for (const ColumnSpec& s : specs) labels << QString::fromUtf8(s.label);
    list->setHeaderLabels(labels);
    for (std::size_t i = 0; i < N; ++i) list->setColumnWidth(static_cast<int>(i), specs[i].width);
    list->setRootIsDecorated(false);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    list->setSelectionBehavior(QAbstractItemView::SelectRows);
    list->header()->setSectionsClickable(true);
    list->setMinimumHeight(140);
    return list;
}

QLineEdit* digitBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    return box;
}

QLineEdit* totalBox(QWidget* parent, const char* name) {
    auto* box = new QLineEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setReadOnly(true);
    box->setAlignment(Qt::AlignRight);
    return box;
}

QDate toQDate(const CalendarDate& d) { return QDate(d.year, d.month, d.day); }
CalendarDate fromQDate(const QDate& d) { return {d.year(), d.month(), d.day()}; }

int selectedRow(QTreeWidget* list) {
    QTreeWidgetItem* item = list->currentItem();
    return item && item->isSelected() ? list->indexOfTopLevelItem(item) : -1;
}

void fillList(QTreeWidget* list, const std::vector<const PortfolioRow*>& rows, int selected) {
    list->clear();
    for (const PortfolioRow* row : rows) {
        QStringList texts;
        for (const std::string& t : *row) texts << fromCp932(t);
        new QTreeWidgetItem(list, texts);
    }
    if (selected >= 0 && selected < list->topLevelItemCount()) list->setCurrentItem(list->topLevelItem(selected));
}

}  // namespace

PortfolioEditDialog::PortfolioEditDialog(Application& app, QWidget* parent)
    : QDialog(parent),
      ownPrompter_(std::make_unique<QtPrompter>(this)),
      ownClock_(std::make_unique<SystemClock>()),
      held_(*ownPrompter_),
      model_(app, held_, *ownClock_) {
    build();
}

PortfolioEditDialog::PortfolioEditDialog(Application& app, QWidget* parent, Prompter& prompter, const Clock& clock)
    : QDialog(parent), held_(prompter), model_(app, held_, clock) {
    build();
}

PortfolioEditDialog::~PortfolioEditDialog() = default;

void PortfolioEditDialog::HeldMessages::release() {
    auto messages = std::move(held_);
    held_.clear();
    for (const std::string& m : messages) target_.message(m);
}

void PortfolioEditDialog::build() {
    setWindowTitle(QStringLiteral("Dialog"));
    positions_ = makeList(this, "positions", kPositionColumnSpecs);
    trades_ = makeList(this, "trades", kTradeColumnSpecs);

    auto button = [this](const char* text, const char* name) {
        auto* b = new QPushButton(QString::fromUtf8(text), this);
        b->setObjectName(QString::fromLatin1(name));
        b->setAutoDefault(false);
        return b;
    };
    auto label = [this](const char* text) { return new QLabel(QString::fromUtf8(text), this); };

    entryDate_ = new QDateEdit(this);
    entryDate_->setObjectName(QStringLiteral("entryDate"));
    entryDate_->setCalendarPopup(true);
    entryDate_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    code_ = digitBox(this, "code");
    entryPrice_ = digitBox(this, "entryPrice");
    units_ = digitBox(this, "units");
    measuredDays_ = digitBox(this, "measuredDays");
    kind_ = new QComboBox(this);
    kind_->setObjectName(QStringLiteral("kind"));
    for (int k = 0; k < PortfolioEditModel::kKindCount; ++k)
        kind_->addItem(QString::fromUtf8(PortfolioEditModel::kindLabel(k)));

    auto* entry = new QGridLayout;
    entry->addWidget(entryDate_, 0, 0);
    entry->addWidget(label("証券コード"), 0, 1);
    entry->addWidget(code_, 0, 2);
    entry->addWidget(label("額面"), 0, 3);
    entry->addWidget(entryPrice_, 0, 4);
    entry->addWidget(label("枚数"), 0, 5);
    entry->addWidget(units_, 0, 6);
    entry->addWidget(kind_, 1, 0);
    entry->addWidget(label("計測日数"), 1, 1);
    entry->addWidget(measuredDays_, 1, 2);
    QPushButton* addPosition = button("仕掛け", "addPosition");
    QPushButton* editPosition = button("仕掛編集", "editPosition");
    QPushButton* deletePosition = button("仕掛削除", "deletePosition");
    entry->addWidget(addPosition, 1, 4);
    entry->addWidget(editPosition, 1, 5);
    entry->addWidget(deletePosition, 1, 6);

    currentValue_ = totalBox(this, "currentValue");
    purchaseValue_ = totalBox(this, "purchaseValue");
    holdings_ = totalBox(this, "holdings");
    auto* positionTotals = new QHBoxLayout;
    positionTotals->addWidget(label("現在評価総額"));
    positionTotals->addWidget(currentValue_);
    positionTotals->addWidget(label("購入時評価総額"));
    positionTotals->addWidget(purchaseValue_);
    positionTotals->addWidget(label("所持数"));
    positionTotals->addWidget(holdings_);

    closeDate_ = new QDateEdit(this);
    closeDate_->setObjectName(QStringLiteral("closeDate"));
    closeDate_->setCalendarPopup(true);
    closeDate_->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    exitPrice_ = digitBox(this, "exitPrice");
    closedUnits_ = digitBox(this, "closedUnits");
    netProfit_ = new QLineEdit(this);
    netProfit_->setObjectName(QStringLiteral("netProfit"));
    settled_ = new QCheckBox(QStringLiteral("チェック"), this);
    settled_->setObjectName(QStringLiteral("settled"));
    auto* close = new QGridLayout;
    close->addWidget(closeDate_, 0, 0);
    close->addWidget(label("額面"), 0, 1);
    close->addWidget(exitPrice_, 0, 2);
    close->addWidget(label("枚数"), 0, 3);
    close->addWidget(closedUnits_, 0, 4);
    close->addWidget(label("純差損益"), 0, 5);
    close->addWidget(netProfit_, 0, 6);
    close->addWidget(settled_, 1, 0);
    QPushButton* closePosition = button("手仕舞い", "closePosition");
    QPushButton* editTrade = button("仕舞編集", "editTrade");
    QPushButton* deleteTrade = button("仕舞削除", "deleteTrade");
    close->addWidget(closePosition, 1, 4);
    close->addWidget(editTrade, 1, 5);
    close->addWidget(deleteTrade, 1, 6);

    profitTotal_ = totalBox(this, "profitTotal");
    tradeCount_ = totalBox(this, "tradeCount");
    auto* tradeTotals = new QHBoxLayout;
    tradeTotals->addWidget(label("差損益合計額"));
    tradeTotals->addWidget(profitTotal_);
    tradeTotals->addWidget(label("売買数数"));
    tradeTotals->addWidget(tradeCount_);

    QPushButton* save = button("保存終了", "save");
    save->setDefault(true);
    QPushButton* cancel = button("キャンセル", "cancel");
    auto* bottom = new QHBoxLayout;
    bottom->addStretch();
    bottom->addWidget(save);
    bottom->addWidget(cancel);

    auto* top = new QVBoxLayout(this);
    top->addWidget(positions_, 1);
    top->addLayout(entry);
    top->addLayout(positionTotals);
    top->addWidget(trades_, 1);
    top->addLayout(close);
    top->addLayout(tradeTotals);
    top->addLayout(bottom);
    resize(1000, 640);

    connect(addPosition, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::addPosition); });
    connect(editPosition, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::editPosition); });
    connect(deletePosition, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::deletePosition); });
    connect(closePosition, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::closePosition); });
    connect(editTrade, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::editTrade); });
    connect(deleteTrade, &QPushButton::clicked, this, [this] { run(&PortfolioEditModel::deleteTrade); });
    connect(positions_, &QTreeWidget::itemDoubleClicked, this, [this] {
        pull();
        model_.pickPosition();
        push();
    });
    connect(trades_, &QTreeWidget::itemDoubleClicked, this, [this] {
        pull();
        model_.pickTrade();
        push();
    });
    connect(positions_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        pull();
        model_.sortPositions(column);
        showRows();
        held_.release();
    });
    connect(trades_->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        pull();
        model_.sortTrades(column);
        showRows();
        held_.release();
    });
    connect(save, &QPushButton::clicked, this, [this] {
        const bool saved = model_.save();
        held_.release();
        if (saved) accept();
    });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    opened_ = model_.open();
    if (!opened_) {
        held_.release();
        // exec() has not started yet; close as soon as it does.
        QTimer::singleShot(0, this, &QDialog::reject);
        return;
    }
    showRows();
    push();
    // After exec() has shown the lists.
    QTimer::singleShot(0, this, [this] { held_.release(); });
}

void PortfolioEditDialog::run(bool (PortfolioEditModel::*op)()) {
    pull();
    (model_.*op)();
    showRows();
    push();
    held_.release();
}

void PortfolioEditDialog::pull() {
    model_.entryDate = fromQDate(entryDate_->date());
    model_.code = toCp932(code_->text());
    model_.entryPrice = toCp932(entryPrice_->text());
    model_.units = toCp932(units_->text());
    model_.kind = kind_->currentIndex();
    model_.measuredDays = toCp932(measuredDays_->text());
    model_.closeDate = fromQDate(closeDate_->date());
    model_.exitPrice = toCp932(exitPrice_->text());
    model_.closedUnits = toCp932(closedUnits_->text());
    model_.netProfit = toCp932(netProfit_->text());
    model_.settled = settled_->isChecked();
    model_.selectedPosition = selectedRow(positions_);
    model_.selectedTrade = selectedRow(trades_);
}

void PortfolioEditDialog::push() {
    entryDate_->setDate(toQDate(model_.entryDate));
    code_->setText(fromCp932(model_.code));
    entryPrice_->setText(fromCp932(model_.entryPrice));
    units_->setText(fromCp932(model_.units));
    kind_->setCurrentIndex(model_.kind);
    measuredDays_->setText(fromCp932(model_.measuredDays));
    closeDate_->setDate(toQDate(model_.closeDate));
    exitPrice_->setText(fromCp932(model_.exitPrice));
    closedUnits_->setText(fromCp932(model_.closedUnits));
    netProfit_->setText(fromCp932(model_.netProfit));
    settled_->setChecked(model_.settled);
    currentValue_->setText(fromCp932(model_.positionTotals.currentValue));
    purchaseValue_->setText(fromCp932(model_.positionTotals.purchaseValue));
    holdings_->setText(fromCp932(model_.positionTotals.holdings));
    profitTotal_->setText(fromCp932(model_.tradeTotals.profit));
    tradeCount_->setText(fromCp932(model_.tradeTotals.tradeCount));
}

void PortfolioEditDialog::showRows() {
    std::vector<const PortfolioRow*> rows;
    for (const PortfolioRow& r : model_.positions) rows.push_back(&r);
    fillList(positions_, rows, model_.selectedPosition);
    rows.clear();
    for (const TradeRow& t : model_.trades) rows.push_back(&t.columns);
    fillList(trades_, rows, model_.selectedTrade);
}

}  // namespace quarlink
