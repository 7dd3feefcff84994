#include "gui/jobs/update_index_dialog.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "gui/jobs/job_labels.h"
#include "gui/jobs/source_choice.h"
#include "gui/jobs/splits_dialog.h"
#include "core/store/folder_layout.h"

namespace quarlink {

namespace {
QString text(const char* utf8) { return QString::fromUtf8(utf8); }
QString text(const std::string& utf8) { return QString::fromStdString(utf8); }
constexpr const char* kDialog = "index-update";
}  // namespace

UpdateIndexDialog::Block UpdateIndexDialog::makeBlock() {
    Block b;
    b.name = new QLineEdit;
    b.market = new QLineEdit;
    b.unit = new QLineEdit;
    for (QLineEdit* e : {b.name, b.market, b.unit}) e->setReadOnly(true);
    b.n225 = new QCheckBox(text(index_update_labels::kN225Label));
    b.obs = new QCheckBox(text(index_update_labels::kObsLabel));
    b.a500 = new QCheckBox(text(index_update_labels::kA500Label));
    // The boxes only display: a click is undone at once.
    for (QCheckBox* c : {b.n225, b.obs, b.a500})
        connect(c, &QCheckBox::clicked, c, [c](bool checked) { c->setChecked(!checked); });
    b.splits = new QListWidget;
    b.splits->setMaximumHeight(60);
    return b;
}

UpdateIndexDialog::UpdateIndexDialog(Application& app, QWidget* parent, Prompter* prompter)
    : JobDialog(app, prompter, parent), job_(makeJob<IndexUpdate>(app, web().fetcher(), web().endpoints(), web().environment())) {
    using namespace index_update_text;
    using namespace index_update_labels;
    setWindowTitle(text(kCaption));
    changed_ = new QListWidget;
    unregistered_ = new QListWidget;
    current_ = makeBlock();
    new_ = makeBlock();
    date_ = new QLineEdit;
    date_->setReadOnly(true);
    source_ = new QComboBox;
    addSource(source_, SourceKind::InfoSeek, kSourcePages);
    addSource(source_, SourceKind::JQuants, kSourceJQuants);
    pickStartingSource(source_, app, kDialog, SourceKind::InfoSeek);
    download_ = new QPushButton(text(kDownloadButton));
    removeChanged_ = new QPushButton(text(kRemoveChangedButton));
    removeUnregistered_ = new QPushButton(text(kRemoveUnregisteredButton));
    apply_ = new QPushButton(text(kApplyButton));
    cancel_ = new QPushButton(text(kCancelButton));
    end_ = new QPushButton(text(kEndButton));
    splits_ = new QPushButton(text(stock_split_labels::kOpenButton));

    auto* lists = new QGridLayout;
    lists->addWidget(new QLabel(text(kChangedLabel)), 0, 0);
    lists->addWidget(changed_, 1, 0);
    lists->addWidget(removeChanged_, 2, 0);
    lists->addWidget(new QLabel(text(kUnregisteredLabel)), 0, 1);
    lists->addWidget(unregistered_, 1, 1);
    lists->addWidget(removeUnregistered_, 2, 1);

    auto* display = new QVBoxLayout;
    for (const auto& [title, block] : {std::pair{kCurrentBlock, &current_}, std::pair{kNewBlock, &new_}}) {
        display->addWidget(new QLabel(text(title)));
        auto* form = new QFormLayout;
        form->addRow(text(kNameLabel), block->name);
        form->addRow(text(kMarketLabel), block->market);
        form->addRow(text(kUnitLabel), block->unit);
        display->addLayout(form);
        auto* boxes = new QHBoxLayout;
        for (QCheckBox* c : {block->n225, block->obs, block->a500}) boxes->addWidget(c);
        display->addLayout(boxes);
        display->addWidget(block->splits);
    }
    auto* dateRow = new QFormLayout;
    dateRow->addRow(text(kDateLabel), date_);
    display->addLayout(dateRow);

    auto* top = new QHBoxLayout;
    top->addLayout(lists);
    top->addLayout(display);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(new QLabel(text(kSourceLabel)));
    buttons->addWidget(source_);
    for (QPushButton* b : {download_, splits_, apply_, cancel_, end_}) buttons->addWidget(b);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);

    connect(download_, &QPushButton::clicked, this, &UpdateIndexDialog::onDownload);
    connect(removeChanged_, &QPushButton::clicked, this, &UpdateIndexDialog::onRemoveChanged);
    connect(removeUnregistered_, &QPushButton::clicked, this, &UpdateIndexDialog::onRemoveUnregistered);
    connect(apply_, &QPushButton::clicked, this, &UpdateIndexDialog::onApply);
    connect(splits_, &QPushButton::clicked, this, &UpdateIndexDialog::onSplits);
    connect(cancel_, &QPushButton::clicked, this, &UpdateIndexDialog::reject);
    connect(end_, &QPushButton::clicked, this, &UpdateIndexDialog::reject);
    // Enter presses nothing here: it must never remove an entry, apply the
    // lists or throw them away for a new download.
    for (QPushButton* b : {download_, removeChanged_, removeUnregistered_, apply_, cancel_, end_, splits_}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(changed_, &QListWidget::currentRowChanged, this, [this] { onSelect(changed_); });
    connect(unregistered_, &QListWidget::currentRowChanged, this, [this] { onSelect(unregistered_); });

    // After the constructor, so that a prompter set by the opener is used.
    QMetaObject::invokeMethod(this, &UpdateIndexDialog::openIndex, Qt::QueuedConnection);
}

void UpdateIndexDialog::openIndex() {
    const JobOutcome opened = job_.open();
    if (opened.message)
        tell(prompter(), opened.state == JobState::Idle ? MessageLevel::Information : MessageLevel::Warning,
             *opened.message);
    if (opened.state != JobState::Idle) reject();
}

void UpdateIndexDialog::onDownload() {
    if (jobBusy()) return;
    changed_->clear();
    unregistered_->clear();
    clearDisplay();
    for (QPushButton* b : {download_, removeChanged_, removeUnregistered_, apply_, splits_}) b->setEnabled(false);
    source_->setEnabled(false);
    job_.settings.source = chosenSource(source_);
    rememberSource(app_, kDialog, job_.settings.source);
    job_.action = IndexUpdate::Action::Download;
    runJob(job_.settings.source);
}

void UpdateIndexDialog::jobEnded(const JobOutcome& last, bool) {
    for (QPushButton* b : {download_, removeChanged_, removeUnregistered_, apply_, splits_}) b->setEnabled(true);
    source_->setEnabled(true);
    fillLists();
    if (job_.downloaded()) date_->setText(text(job_.newDateText()));
    tellEnd(last);
}

void UpdateIndexDialog::fillLists() {
    const QSignalBlocker a(changed_), b(unregistered_);
    changed_->clear();
    unregistered_->clear();
    for (const auto& [list, codes] : {std::pair{changed_, &job_.changed()}, std::pair{unregistered_, &job_.unregistered()}})
        for (const int code : *codes) {
            auto* item = new QListWidgetItem(text(layout::codeName(code)), list);
            item->setData(Qt::UserRole, code);
            // A name that lost characters to Shift-JIS says so in its entry.
            if (const std::string note = job_.newNameNote(code); !note.empty()) {
                item->setText(item->text() + text(index_update_labels::kReplacedMark));
                item->setToolTip(text(note));
            }
        }
}

void UpdateIndexDialog::refillKeeping(QListWidget* untouched) {
    const int row = untouched->currentItem() && untouched->currentItem()->isSelected() ? untouched->currentRow() : -1;
    fillLists();
    const QSignalBlocker block(untouched);
    if (row >= 0) untouched->setCurrentRow(row);
}

void UpdateIndexDialog::clearDisplay() {
    for (const Block* b : {&current_, &new_}) {
        b->name->clear();
        b->market->clear();
        b->unit->clear();
        for (QCheckBox* c : {b->n225, b->obs, b->a500}) c->setChecked(false);
        b->splits->clear();
    }
}

void UpdateIndexDialog::showEntry(const Block& block, const IndexEntryView& view) {
    block.name->setText(text(view.name));
    block.market->setText(text(view.market));
    block.unit->setText(text(view.unit));
    block.n225->setChecked(view.n225);
    block.obs->setChecked(view.obs);
    block.a500->setChecked(view.a500);
    for (const auto& s : view.splits) block.splits->addItem(text(s));
}

void UpdateIndexDialog::onSelect(QListWidget* list) {
    // One entry is shown at a time, so only the list that shows it has a
    // selection: a remove button never acts on an entry out of sight.
    if (list->currentItem()) {
        QListWidget* other = list == changed_ ? unregistered_ : changed_;
        const QSignalBlocker block(other);
        other->setCurrentRow(-1);
        other->clearSelection();
    }
    clearDisplay();
    const QListWidgetItem* item = list->currentItem();
    if (!item) return;
    const int code = item->data(Qt::UserRole).toInt();
    showEntry(current_, job_.currentView(code));
    showEntry(new_, job_.newView(code));
}

void UpdateIndexDialog::onRemoveChanged() {
    const int row = changed_->currentRow();
    if (row < 0) return;
    const int next = job_.removeChanged(row);
    refillKeeping(unregistered_);
    changed_->setCurrentRow(next);
    onSelect(changed_);
}

void UpdateIndexDialog::onRemoveUnregistered() {
    const int row = unregistered_->currentRow();
    if (row < 0) return;
    const int next = job_.removeUnregistered(row);
    refillKeeping(changed_);
    unregistered_->setCurrentRow(next);
    onSelect(unregistered_);
}

void UpdateIndexDialog::onSplits() {
    if (jobBusy()) return;
    SplitsDialog splits(app_, this, &prompter());
    splits.exec();
    if (!splits.wrote()) return;
    // The lists were made from the index.txt before the splits: an apply
    // from them would write it back without them.
    changed_->clear();
    unregistered_->clear();
    clearDisplay();
    date_->clear();
    openIndex();
}

void UpdateIndexDialog::onApply() {
    if (jobBusy()) return;
    job_.action = IndexUpdate::Action::Apply;
    if (runToEnd(job_, prompter()).state == JobState::Finished) fillLists();
}

}  // namespace quarlink
