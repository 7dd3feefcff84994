#pragma once

// The captions, labels and button texts of the job dialogs. What the jobs
// themselves say (status lines, messages, questions) stays with the jobs.

namespace quarlink {

namespace job_dialog_labels {
inline constexpr const char* kCancelButton = "キャンセル";
inline constexpr const char* kCloseButton = "閉じる";
// After a J-Quants run refused for want of a key, the next step.
inline constexpr const char* kKeyHint = "オプションでJ-Quants APIキーを設定してから、もう一度実行してください。";
inline constexpr const char* kNoNikkei = "J-Quantsには日経平均がありません";
inline constexpr const char* kTopixJQuantsOnly = "TOPIXはJ-Quantsからのみ取得できます";
inline constexpr const char* kTopixFromLight = "TOPIXはJ-QuantsのLightプラン以上で取得できます";
}  // namespace job_dialog_labels

namespace update_labels {
inline constexpr const char* kCaption = "日々のデータ更新";
inline constexpr const char* kMarginLabel = "信用残の取得";
inline constexpr const char* kIndexOnlyLabel = "index.txtに登録されているもののみ取得";
inline constexpr const char* kNikkeiLabel = "日経平均の取得(出来高取得不可)";
inline constexpr const char* kTopixLabel = "TOPIXの取得(出来高取得不可)";
inline constexpr const char* kStartButton = "更新";
inline constexpr const char* kCancelButton = "キャンセル";
}  // namespace update_labels

namespace margin_fill_labels {
inline constexpr const char* kCaption = "信用残補填";
inline constexpr const char* kIndexOnlyLabel = "index.txtに登録されているもののみ取得";
inline constexpr const char* kNote = "※過去の信用残が抜けている部分は直のデータで埋められます。";
inline constexpr const char* kStartButton = "取得";
inline constexpr const char* kCancelButton = "キャンセル";
}  // namespace margin_fill_labels

namespace init_data_labels {
inline constexpr const char* kCaption = "初期化データの作成";
inline constexpr const char* kCreateButton = "作成開始";
inline constexpr const char* kTransferButton = "データ転送";
inline constexpr const char* kDeleteButton = "データ削除";
inline constexpr const char* kStopButton = "停止";
inline constexpr const char* kCancelButton = "キャンセル";
inline constexpr const char* kMarginLabel = "信用残の取得";
inline constexpr const char* kNikkeiLabel = "日経平均の取得（出来高取得不能）";
inline constexpr const char* kTopixLabel = "TOPIXの取得（出来高取得不能）";
inline constexpr const char* kSource = "yahoo!ファイナンス";
inline constexpr const char* kSourceLabel = "株価データ取得先";
inline constexpr const char* kStartYearLabel = "取得開始年";
inline constexpr const char* kYearLabel = "年";
inline constexpr const char* kConditionsLabel = "作成条件";
inline constexpr const char* kNote = "※株価データと日経平均、TOPIXの初期化データのみ作成可能です";
inline constexpr const char* kPlanNote = "※J-Quants（%sプラン）で取得できるのは%s頃から%s頃までです";
inline constexpr const char* kPreparing = "J-Quants：銘柄一覧と営業日カレンダーを取得中...";
}  // namespace init_data_labels

namespace index_update_labels {
inline constexpr const char* kCaption = "index更新";
inline constexpr const char* kCurrentBlock = "現在のindex情報";
inline constexpr const char* kNewBlock = "↓↓↓　新しいindex情報　↓↓↓";
inline constexpr const char* kNameLabel = "銘柄名";
inline constexpr const char* kMarketLabel = "市場";
inline constexpr const char* kUnitLabel = "売買単位";
inline constexpr const char* kN225Label = "日経225採用銘柄";
inline constexpr const char* kObsLabel = "上場廃止銘柄";
inline constexpr const char* kA500Label = "売買代金上位５００銘柄";
inline constexpr const char* kDownloadButton = "ダウンロード";
inline constexpr const char* kRemoveChangedButton = "変更削除";
inline constexpr const char* kRemoveUnregisteredButton = "個別削除";
inline constexpr const char* kApplyButton = "変更反映";
inline constexpr const char* kCancelButton = "キャンセル";
inline constexpr const char* kEndButton = "終了";
inline constexpr const char* kSourceLabel = "取得元";
inline constexpr const char* kReplacedMark = " ※?";
}  // namespace index_update_labels

namespace supplement_labels {
inline constexpr const char* kTitle = "株価データ補完";
inline constexpr const char* kOverwrite = "株価データを補完データにより上書き";
inline constexpr const char* kSourceLabel = "株価データ補完元";
inline constexpr const char* kSourceKinds[] = {"指定フォルダ", "初期化データ", "バックアップ"};
inline constexpr const char* kStart = "補完開始";
inline constexpr const char* kStop = "停止";
}  // namespace supplement_labels

namespace backup_labels {
inline constexpr const char* kBackupTitle = "バックアップの作成";
inline constexpr const char* kRestoreTitle = "バックアップの復元";
inline constexpr const char* kNote = "※バックアップ中はSorvantideを操作しないでください";
}  // namespace backup_labels

namespace data_check_labels {
inline constexpr const char* kCaption = "データ点検";
inline constexpr const char* kCodeColumn = "コード";
inline constexpr const char* kWhatColumn = "内容";
inline constexpr const char* kDatesColumn = "日付";
inline constexpr const char* kCheckButton = "再点検";
inline constexpr const char* kRepairButton = "修復";
inline constexpr const char* kSaveButton = "保存...";
inline constexpr const char* kCloseButton = "閉じる";
inline constexpr const char* kSaveCaption = "点検結果の保存";
inline constexpr const char* kRetryQuestion = "再試行しますか？";
}  // namespace data_check_labels

namespace split_labels {
inline constexpr const char* kTitle = "データ分割ダイアログ";
inline constexpr const char* kNote = "※データ作成中はSorvantideを操作しないでください";
}  // namespace split_labels

namespace stock_split_labels {
inline constexpr const char* kCaption = "分割情報取得";
inline constexpr const char* kOpenButton = "分割情報取得…";  // in the index update
inline constexpr const char* kFromLabel = "開始日";
inline constexpr const char* kNote =
    "※J-Quants APIの調整係数から、株価ファイルのある銘柄の株式分割・併合を1日1回の問い合わせで調べます";
inline constexpr const char* kListLabel = "index.txtにない分割・併合";
inline constexpr const char* kWrittenLabel = "記録した分割・併合";
inline constexpr const char* kStartButton = "取得";
inline constexpr const char* kStopButton = "停止";
inline constexpr const char* kWriteButton = "index.txtに書き込む";
inline constexpr const char* kCloseButton = "閉じる";
}  // namespace stock_split_labels

}  // namespace quarlink
