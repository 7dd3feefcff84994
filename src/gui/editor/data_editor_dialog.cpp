#include "gui/editor/data_editor_dialog.h"

#include <algorithm>

#include <QCheckBox>
#include <QComboBox>
#include <QDate>
#include <QDateEdit>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/health/price_csv.h"
#include "gui/jobs/job_status.h"
#include "gui/common/qt_prompter.h"
#include "gui/common/qt_text.h"
#include "core/store/folder_layout.h"

namespace quarlink {
namespace {

std::int32_t toYmd(const QDate& d) { return d.year() * 10000 + d.month() * 100 + d.day(); }

QDate fromYmd(std::int32_t ymd) { return QDate(ymd / 10000, ymd / 100 % 100, ymd % 100); }

std::int32_t today() { return toYmd(QDate::currentDate()); }

QString q(std::string_view utf8) { return fromUtf8(utf8); }

std::string s(const QString& text) { return text.toStdString(); }

QPushButton* button(QWidget* parent, const char* text, const char* objectName) {
    auto* b = new QPushButton(q(text), parent);
    b->setObjectName(QString::fromLatin1(objectName));
    b->setAutoDefault(false);
    return b;
}

QLineEdit* digitsBox(QWidget* parent) {
    auto* box = new QLineEdit(parent);
    box->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), box));
    return box;
}

QDateEdit* datePicker(QWidget* parent, const char* objectName) {
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(QString::fromLatin1(objectName));
    picker->setDisplayFormat(QStringLiteral("yyyy/MM/dd"));
    picker->setCalendarPopup(true);
    return picker;
}

void setDate(QDateEdit* picker, std::int32_t ymd) {
    const QDate d = fromYmd(ymd);
    if (d.isValid()) picker->setDate(d);
}

}  // namespace

DataEditorDialog::DataEditorDialog(Application& app, QWidget* parent) : DataEditorDialog(app, parent, nullptr) {}

DataEditorDialog::DataEditorDialog(Application& app, QWidget* parent, Prompter* prompter)
    : QDialog(parent), model_(app, today()), prompter_(prompter) {
    if (!prompter_) {
        ownPrompter_ = std::make_unique<QtPrompter>(this);
        prompter_ = ownPrompter_.get();
    }
    setWindowTitle(q("銘柄データ編集"));
    buildControls();
    open_ = model_.open(*prompter_);
    if (!open_) {
        QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
        return;
    }
    showValues();
    connectControls();
}

DataEditorDialog::~DataEditorDialog() = default;

void DataEditorDialog::buildControls() {
    // Left: which codes are listed.
    filter_ = new QComboBox(this);
    filter_->setObjectName(QStringLiteral("filter"));
    for (const char* entry : DataEditor::filterNames()) filter_->addItem(q(entry));
    codeList_ = new QListWidget(this);
    codeList_->setObjectName(QStringLiteral("codeList"));
    codeList_->setSelectionMode(QAbstractItemView::SingleSelection);
    codeList_->setUniformItemSizes(true);
    count_ = new QLineEdit(this);
    count_->setObjectName(QStringLiteral("count"));
    count_->setReadOnly(true);
    search_ = new QLineEdit(this);
    search_->setObjectName(QStringLiteral("search"));
    searchButton_ = button(this, "検索", "searchButton");
    auto* searchRow = new QHBoxLayout;
    searchRow->addWidget(search_);
    searchRow->addWidget(searchButton_);
    auto* left = new QVBoxLayout;
    left->addWidget(filter_);
    left->addWidget(codeList_, 1);
    left->addWidget(count_);
    left->addLayout(searchRow);

    // Middle: the entry.
    code_ = new QLineEdit(this);
    code_->setObjectName(QStringLiteral("code"));
    code_->setReadOnly(true);
    name_ = new QLineEdit(this);
    name_->setObjectName(QStringLiteral("name"));
    market_ = new QComboBox(this);
    market_->setObjectName(QStringLiteral("market"));
    for (const MarketCode& m : kMarketCodes) market_->addItem(q(m.displayName));
    market_->setCurrentIndex(-1);
    unit_ = digitsBox(this);
    unit_->setObjectName(QStringLiteral("unit"));
    n225_ = new QCheckBox(q("日経225採用銘柄"), this);
    n225_->setObjectName(QStringLiteral("n225"));
    obs_ = new QCheckBox(q("上場廃止銘柄"), this);
    obs_->setObjectName(QStringLiteral("obs"));
    a500_ = new QCheckBox(q("売買代金上位５００銘柄"), this);
    a500_->setObjectName(QStringLiteral("a500"));
    auto* entryForm = new QFormLayout;
    entryForm->addRow(q("銘柄コード"), code_);
    entryForm->addRow(q("銘柄名"), name_);
    entryForm->addRow(q("市場"), market_);
    entryForm->addRow(q("売買単位"), unit_);
    auto* entryButtons = new QHBoxLayout;
    auto* addEntry = button(this, "index追加", "addEntry");
    auto* changeEntry = button(this, "index編集", "changeEntry");
    auto* deleteEntry = button(this, "index削除", "deleteEntry");
    entryButtons->addWidget(addEntry);
    entryButtons->addWidget(changeEntry);
    entryButtons->addWidget(deleteEntry);
    auto* entryBox = new QGroupBox(q("index.txt"), this);
    auto* entryLayout = new QVBoxLayout(entryBox);
    entryLayout->addLayout(entryForm);
    entryLayout->addWidget(n225_);
    entryLayout->addWidget(obs_);
    entryLayout->addWidget(a500_);
    entryLayout->addLayout(entryButtons);

    splitList_ = new QListWidget(this);
    splitList_->setObjectName(QStringLiteral("splitList"));
    splitList_->setSelectionMode(QAbstractItemView::SingleSelection);
    splitDate_ = datePicker(this, "splitDate");
    ratio_ = new QLineEdit(this);
    ratio_->setObjectName(QStringLiteral("ratio"));
    auto* splitForm = new QFormLayout;
    splitForm->addRow(q("分割日"), splitDate_);
    splitForm->addRow(q("分割比"), ratio_);
    auto* splitButtons = new QHBoxLayout;
    auto* addSplit = button(this, "分割追加", "addSplit");
    auto* changeSplit = button(this, "分割編集", "changeSplit");
    auto* deleteSplit = button(this, "分割削除", "deleteSplit");
    splitButtons->addWidget(addSplit);
    splitButtons->addWidget(changeSplit);
    splitButtons->addWidget(deleteSplit);
    auto* splitBox = new QGroupBox(q("分割"), this);
    auto* splitLayout = new QVBoxLayout(splitBox);
    splitLayout->addWidget(splitList_, 1);
    splitLayout->addLayout(splitForm);
    splitLayout->addLayout(splitButtons);

    auto* top = new QHBoxLayout;
    top->addLayout(left, 1);
    top->addWidget(entryBox, 2);
    top->addWidget(splitBox, 2);

    // Bottom: the price records.
    priceList_ = new QTreeWidget(this);
    priceList_->setObjectName(QStringLiteral("priceList"));
    priceList_->setRootIsDecorated(false);
    priceList_->setUniformRowHeights(true);
    priceList_->setSelectionMode(QAbstractItemView::SingleSelection);
    priceList_->setSelectionBehavior(QAbstractItemView::SelectRows);
    priceList_->setColumnCount(PriceList::kColumnCount);
    QStringList titles;
    for (const char* t : PriceList::columnTitles()) titles << q(t);
    priceList_->setHeaderLabels(titles);
    priceList_->header()->setStretchLastSection(false);
    for (int i = 0; i < PriceList::kColumnCount; ++i) priceList_->setColumnWidth(i, 70);
    // 70 pixels cut the date off with common desktop fonts.
    priceList_->setColumnWidth(
        0, std::max(70, priceList_->fontMetrics().horizontalAdvance(QStringLiteral("0000/00/00")) + 16));
    priceDate_ = datePicker(this, "priceDate");
    auto* load = button(this, "Load..", "loadPrices");
    auto* exportCsv = button(this, "CSV出力", "exportCsv");
    auto* valueRow = new QGridLayout;
    valueRow->addWidget(load, 0, 0);
    valueRow->addWidget(exportCsv, 0, 1);
    valueRow->addWidget(new QLabel(q("日付"), this), 1, 0);
    valueRow->addWidget(priceDate_, 2, 0);
    for (int i = 0; i < PriceList::kValueCount; ++i) {
        values_[i] = digitsBox(this);
        values_[i]->setObjectName(QStringLiteral("value%1").arg(i + 1));
        valueRow->addWidget(new QLabel(q(PriceList::columnTitles()[i + 1]), this), 1, i + 1);
        valueRow->addWidget(values_[i], 2, i + 1);
    }
    auto* addRow = button(this, "株価追加", "addRow");
    auto* changeRow = button(this, "株価編集", "changeRow");
    auto* deleteRow = button(this, "株価削除", "deleteRow");
    priceButtons_ = {addRow, changeRow, deleteRow};
    valueRow->addWidget(addRow, 3, 5);
    valueRow->addWidget(changeRow, 3, 6);
    valueRow->addWidget(deleteRow, 3, 7);
    auto* priceBox = new QGroupBox(q("株価データ"), this);
    auto* priceLayout = new QVBoxLayout(priceBox);
    priceLayout->addWidget(priceList_, 1);
    priceLayout->addLayout(valueRow);

    status_ = new QLineEdit(this);
    status_->setObjectName(QStringLiteral("status"));
    status_->setReadOnly(true);
    auto* saveButton = button(this, "保存", "save");
    saveButton->setDefault(true);
    saveButton->setAutoDefault(true);
    auto* saveClose = button(this, "保存終了", "saveAndClose");
    auto* cancel = button(this, "キャンセル", "cancel");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(status_, 1);
    bottom->addWidget(saveButton);
    bottom->addWidget(saveClose);
    bottom->addWidget(cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top, 3);
    layout->addWidget(priceBox, 3);
    layout->addLayout(bottom);
    resize(980, 720);

    connect(searchButton_, &QPushButton::clicked, this, [this] { run([this] { model_.search(); }); });
    connect(addEntry, &QPushButton::clicked, this, [this] { run([this] { model_.addEntry(*prompter_); }); });
    connect(changeEntry, &QPushButton::clicked, this, [this] { run([this] { model_.changeEntry(*prompter_); }); });
    connect(deleteEntry, &QPushButton::clicked, this, [this] { run([this] { model_.deleteEntry(*prompter_); }); });
    connect(addSplit, &QPushButton::clicked, this, [this] { run([this] { model_.addSplit(*prompter_); }); });
    connect(changeSplit, &QPushButton::clicked, this, [this] { run([this] { model_.changeSplit(*prompter_); }); });
    connect(deleteSplit, &QPushButton::clicked, this, [this] { run([this] { model_.deleteSplit(*prompter_); }); });
    connect(load, &QPushButton::clicked, this, [this] { run([this] { model_.loadPrices(); }); });
    connect(exportCsv, &QPushButton::clicked, this, &DataEditorDialog::onExportCsv);
    connect(addRow, &QPushButton::clicked, this, [this] { run([this] { model_.prices.addRow(*prompter_); }); });
    connect(changeRow, &QPushButton::clicked, this, [this] { run([this] { model_.prices.changeRow(*prompter_); }); });
    connect(deleteRow, &QPushButton::clicked, this, [this] { run([this] { model_.prices.deleteRow(); }); });
    connect(saveButton, &QPushButton::clicked, this, [this] { save(false); });
    connect(saveClose, &QPushButton::clicked, this, [this] { save(true); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

// Selection signals are connected only once the dialog is open, so that
// filling the controls does not run commands.
void DataEditorDialog::connectControls() {
    connect(filter_, &QComboBox::currentIndexChanged, this,
            [this](int entry) { run([this, entry] { model_.filter(entry); }); });
    connect(codeList_, &QListWidget::itemSelectionChanged, this, [this] {
        const int row = codeList_->currentRow();
        if (row >= 0 && codeList_->item(row)->isSelected()) run([this, row] { model_.selectCode(row); });
    });
    connect(splitList_, &QListWidget::itemSelectionChanged, this, [this] { run([this] { model_.selectSplit(); }); });
    const auto pick = [this] { run([this] { model_.prices.pickRow(); }); };
    connect(priceList_, &QTreeWidget::itemSelectionChanged, this, pick);
    connect(priceList_, &QTreeWidget::itemClicked, this, pick);
}

void DataEditorDialog::run(const std::function<void()>& command) {
    takeValues();
    command();
    showValues();
}

void DataEditorDialog::save(bool closeAfter) {
    takeValues();
    const bool close = model_.save(*prompter_, closeAfter);
    showValues();
    if (close) accept();
}

void DataEditorDialog::onExportCsv() {
    if (model_.selectedCode.empty()) {
        prompter_->message("コードが選択されていません。");
        return;
    }
    // Not the working folder the program was started in: the user's own.
    const QString path = QFileDialog::getSaveFileName(
        this, q("CSV出力"), QDir(QDir::homePath()).filePath(q(model_.selectedCode + ".csv")),
        QStringLiteral("CSV (*.csv)"));
    if (!path.isEmpty()) exportCsv(path);
}

bool DataEditorDialog::exportCsv(const QString& path) {
    if (model_.selectedCode.empty()) {
        prompter_->message("コードが選択されていません。");
        return false;
    }
    std::string error;
    const int code = std::stoi(model_.selectedCode);
    const QString written = QFileInfo(path).absoluteFilePath();
    if (exportPriceCsvFile(layout::dataFile(model_.app(), code), QFile::encodeName(written).toStdString(), &error)) {
        // Kept until the next command says something else.
        model_.statusText = "CSV出力しました：" + s(written);
        setStatusText(status_, q(model_.statusText));
        return true;
    }
    prompter_->message("CSV出力できませんでした：" + error);
    return false;
}

void DataEditorDialog::takeValues() {
    model_.setNameText(s(name_->text()));
    model_.n225 = n225_->isChecked();
    model_.obs = obs_->isChecked();
    model_.a500 = a500_->isChecked();
    model_.market = market_->currentIndex();
    model_.unit = s(unit_->text());
    model_.splitDate = toYmd(splitDate_->date());
    model_.ratio = s(ratio_->text());
    const auto splits = splitList_->selectedItems();
    model_.selectedSplit = splits.isEmpty() ? -1 : splitList_->row(splits.first());
    model_.searchText = s(search_->text());
    PriceList& prices = model_.prices;
    prices.date = toYmd(priceDate_->date());
    for (int i = 0; i < PriceList::kValueCount; ++i) prices.values[i] = s(values_[i]->text());
    const auto rows = priceList_->selectedItems();
    prices.selectedRow = rows.isEmpty() ? -1 : priceList_->indexOfTopLevelItem(rows.first());
}

void DataEditorDialog::showValues() {
    const QSignalBlocker blockCodes(codeList_);
    const QSignalBlocker blockSplits(splitList_);
    const QSignalBlocker blockPrices(priceList_);

    code_->setText(q(model_.selectedCode));
    name_->setText(q(model_.nameText()));
    n225_->setChecked(model_.n225);
    obs_->setChecked(model_.obs);
    a500_->setChecked(model_.a500);
    market_->setCurrentIndex(model_.market);
    unit_->setText(q(model_.unit));
    setDate(splitDate_, model_.splitDate);
    ratio_->setText(q(model_.ratio));
    search_->setText(q(model_.searchText));
    count_->setText(q(model_.countText));
    setStatusText(status_, q(model_.statusText));
    // Rows can be edited only in a list that Load.. has read and Save will write.
    for (QPushButton* b : priceButtons_) b->setEnabled(model_.prices.loaded);

    splitList_->clear();
    for (const std::string& line : model_.splitLines) splitList_->addItem(q(line));
    if (model_.selectedSplit >= 0 && model_.selectedSplit < splitList_->count())
        splitList_->setCurrentRow(model_.selectedSplit);

    if (shownCodeList_ != model_.codeListRevision()) {
        shownCodeList_ = model_.codeListRevision();
        QStringList codes;
        codes.reserve(static_cast<qsizetype>(model_.codeList.size()));
        for (int c : model_.codeList) codes << QStringLiteral("%1").arg(c, 4, 10, QLatin1Char('0'));
        codeList_->clear();
        codeList_->addItems(codes);
    }

    const PriceList& prices = model_.prices;
    if (shownPrices_ != prices.revision()) {
        shownPrices_ = prices.revision();
        priceList_->clear();
        QList<QTreeWidgetItem*> items;
        items.reserve(static_cast<qsizetype>(prices.rows.size()));
        for (const PriceList::Row& row : prices.rows) {
            auto* item = new QTreeWidgetItem;
            for (int i = 0; i < PriceList::kColumnCount; ++i) {
                item->setText(i, q(row[i]));
                if (i > 0) item->setTextAlignment(i, Qt::AlignRight | Qt::AlignVCenter);
            }
            items << item;
        }
        priceList_->addTopLevelItems(items);
    }
    priceList_->clearSelection();
    if (prices.selectedRow >= 0 && prices.selectedRow < priceList_->topLevelItemCount())
        priceList_->setCurrentItem(priceList_->topLevelItem(prices.selectedRow));
    setDate(priceDate_, prices.date);
    for (int i = 0; i < PriceList::kValueCount; ++i) values_[i]->setText(q(prices.values[i]));
}

}  // namespace quarlink
