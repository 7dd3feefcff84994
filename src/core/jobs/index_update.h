#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "core/jobs/job.h"
#include "core/sources/sources.h"
#include "core/store/application.h"
#include "core/store/index_table.h"
#include "core/web/endpoints.h"
#include "core/web/page_fetcher.h"

namespace quarlink {

namespace index_update_text {
inline constexpr const char* kChangedLabel = "変更データ";
inline constexpr const char* kUnregisteredLabel = "未登録データ";
inline constexpr const char* kDateLabel = "index日付";
inline constexpr const char* kNoEntry = "該当データなし";
inline constexpr const char* kOpenError = "インデックスファイルオープンエラー";
inline constexpr const char* kDownloadFailed = "ダウンロードに失敗しました。";
inline constexpr const char* kSaveError = PageSource::kIndexSaveError;
inline constexpr const char* kReadError = PageSource::kIndexReadError;
inline constexpr const char* kNotDownloaded = "インデックスがダウンロードされていません。";
inline constexpr const char* kApplyQuestion =
    "新しいインデックスの変更部分を反映させます。\n『変更データリストのデータは上書き』され、"
    "未登録データリストから『削除した銘柄はインデックスから削除』されます。\nよろしいですか？";
inline constexpr const char* kApplied =
    "インデックスが変更されました。新しいインデックスはSorvantideの次回起動時より反映します。\n"
    "なお日付は新しいインデックスのものとなります。\n"
    "最新のものに変更したい場合は銘柄編集機能により日付データを0に書き換えてダウンロードを行ってください。";
inline constexpr const char* kWriteError = "index.txtが開けません。";
inline constexpr const char* kPath = PageSource::kIndexPath;
inline constexpr const char* kLeftOut = "読み込めない行になるため除外した銘柄数 %d：";
inline constexpr const char* kSourcePages = "index.txt（配布サイト）";
inline constexpr const char* kSourceJQuants = "J-Quants API（上場銘柄一覧）";
inline constexpr const char* kSkippedCodes = "英字を含むコードや優先株など対象外の銘柄 %d 件は含めていません。";
inline constexpr const char* kReplacedName = "銘柄名のShift-JISで表せない文字を?にしました：";
inline constexpr const char* kEmptyMaster = "J-Quants APIの上場銘柄一覧に銘柄がありませんでした。";
inline constexpr const char* kPendingNotSaved = "index.txtに書き込んだ分割情報を保留中の一覧から外せませんでした：";
// The chart program reads index lines into a 512-byte buffer.
inline constexpr std::size_t kMaxLineBytes = 509;
}  // namespace index_update_text

// One block of the display, as UTF-8 texts.
struct IndexEntryView {
    std::string name;    // or "該当データなし"
    std::string market;  // display name, empty for an unknown market code
    std::string unit;
    bool n225 = false;
    bool obs = false;
    bool a500 = false;
    std::vector<std::string> splits;  // "%04d/%02d/%02d → %g分割"
};

// The index update: downloads the published index.txt, lists the codes
// whose entries differ, lets the user drop changes and unregistered codes,
// and writes the merged index.txt. Each start() does one action in one step:
// a download, or an apply that first asks (the question in its outcome).
// No split token of the local index.txt is ever dropped by the new list, and
// a code it registers takes the splits pending for it (SplitBook).
class IndexUpdate : public Job {
public:
    enum class Action { Download, Apply };
    // The other choices are the list removals, made between runs.
    struct Settings {
        // The pages: the published /download/index.txt; J-Quants: the
        // listed-issue master as of today (key from JQUANTS_API_KEY or jquants.key).
        SourceKind source = SourceKind::InfoSeek;
    };

    IndexUpdate(Application& app, PageFetcher& fetcher, const Endpoints& endpoints, const WebEnvironment& environment);

    Settings settings;
    Action action = Action::Download;  // what the next start() does

    // Reads the local index.txt: Idle, or Stopped with the message when it
    // cannot be read.
    JobOutcome open() override;
    // The download: Finished (with a note of left-out lines), or Stopped with
    // the message (stop reason Connection when the fetch itself failed). The
    // apply: Running with the question, or Stopped when nothing was downloaded.
    JobOutcome start() override;
    // Nothing follows a step: Finished.
    JobOutcome tick() override;
    // The apply's answer: No leaves everything as it is (Stopped, Failed).
    JobOutcome answer(bool yes) override;
    // Ends a J-Quants download in progress (from any thread).
    void abort() override;
    // Removes the item at `row`; returns the row to select next, -1 for none.
    int removeChanged(int row);
    int removeUnregistered(int row);

    bool downloaded() const { return downloaded_; }
    const std::vector<int>& changed() const { return changed_; }
    const std::vector<int>& unregistered() const { return unregistered_; }
    // Published entries whose line the chart program could not read (too
    // long, or NUL, CR or LF inside a field): in neither list, never written.
    const std::vector<int>& leftOut() const { return leftOut_; }
    // "銘柄名のShift-JISで表せない文字を?にしました：<chars>" for a code whose
    // new name lost characters (the server's, through echoText), else empty.
    std::string newNameNote(int code) const;
    // "%04d/%02d/%02d" of the new table's date.
    std::string newDateText() const;
    IndexEntryView currentView(int code) const { return view(current_, code); }
    IndexEntryView newView(int code) const { return view(new_, code); }
    const IndexTable& currentTable() const { return current_; }
    const IndexTable& newTable() const { return new_; }

    // The index line of `code` in `table` (CP932 bytes), empty when unregistered.
    static std::string entryLine(const IndexTable& table, int code);

private:
    static IndexEntryView view(const IndexTable& table, int code);

    Application& app_;
    JobOutcome download();
    // Gives every new entry the split tokens of the local one, and a code
    // the list registers the splits pending for it in the working folder.
    void keepSplits();
    JobOutcome compare(std::string note);
    JobOutcome write();

    IndexTable current_;
    IndexTable new_;
    bool downloaded_ = false;
    std::vector<int> changed_;
    std::vector<int> unregistered_;
    std::vector<int> leftOut_;
    std::map<int, std::string> replacedNames_;
    HtmlValueFormat reader_;  // the pages' fetcher and endpoints, for the sources
    Sources sources_;
};

}  // namespace quarlink
