#pragma once
#include <QDialog>
#include <array>
#include <functional>
#include <memory>

#include "core/editor/data_editor.h"
#include "core/store/application.h"
#include "core/env/prompter.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTreeWidget;

namespace quarlink {

// "銘柄データ編集": binds its controls to a DataEditor. Each command copies
// the controls into the model, runs the model's command and shows every
// member again; the window itself decides nothing.
class DataEditorDialog : public QDialog {
    Q_OBJECT
public:
    DataEditorDialog(Application& app, QWidget* parent);
    // Tests pass a scripted prompter; the dialog does not own it.
    DataEditorDialog(Application& app, QWidget* parent, Prompter* prompter);
    ~DataEditorDialog() override;

    // False when index.txt could not be read; exec() then closes at once.
    bool isOpen() const { return open_; }
    const DataEditor& model() const { return model_; }
    // "CSV出力": the selected code's price file as CSV at `path`; false (the
    // user told) when no code is selected or the file cannot be written.
    bool exportCsv(const QString& path);

private:
    void buildControls();
    void connectControls();
    void takeValues();
    void showValues();
    void run(const std::function<void()>& command);
    void save(bool closeAfter);
    void onExportCsv();

    DataEditor model_;
    std::unique_ptr<Prompter> ownPrompter_;
    Prompter* prompter_ = nullptr;
    bool open_ = false;
    unsigned shownCodeList_ = ~0u;
    unsigned shownPrices_ = ~0u;

    QComboBox* filter_ = nullptr;
    QListWidget* codeList_ = nullptr;
    QLineEdit* count_ = nullptr;
    QLineEdit* search_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QLineEdit* code_ = nullptr;
    QLineEdit* name_ = nullptr;
    QComboBox* market_ = nullptr;
    QLineEdit* unit_ = nullptr;
    QCheckBox* n225_ = nullptr;
    QCheckBox* obs_ = nullptr;
    QCheckBox* a500_ = nullptr;
    QListWidget* splitList_ = nullptr;
    QDateEdit* splitDate_ = nullptr;
    QLineEdit* ratio_ = nullptr;
    QTreeWidget* priceList_ = nullptr;
    QDateEdit* priceDate_ = nullptr;
    std::array<QLineEdit*, PriceList::kValueCount> values_{};
    QLineEdit* status_ = nullptr;
    std::array<QPushButton*, 3> priceButtons_{};  // 株価追加, 株価編集, 株価削除
};

}  // namespace quarlink
