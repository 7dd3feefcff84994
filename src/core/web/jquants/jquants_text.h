#pragma once
// What the J-Quants client says: the reasons of its statuses, its status
// lines while it waits, and the words of a row it cannot take. Filled in with
// fillIn(); field names, values, paths and the service's own words go in as
// data, the service's words quoted through echoText().

namespace quarlink::jquants_text {

// The service's own message after a reason.
inline constexpr const char* kServerSaid = "（\"%s\"）";
inline constexpr const char* kServerSaidOpen = "（\"";

inline constexpr const char* kStopped = "中断しました";
inline constexpr const char* kNoHttps = "HTTPS通信を始められません。libcurlのインストールを確かめてください。";
inline constexpr const char* kTooLarge = "J-Quantsの応答が%s MBを超えています。";
inline constexpr const char* kNoConnection =
    "J-Quants（%s）からデータを取得できません：%s。ネットワークを確かめて、しばらくしてからもう一度実行してください。";
// Why no answer came.
inline constexpr const char* kNoHostName = "サーバー名を引けません";
inline constexpr const char* kCannotConnect = "接続できません";
inline constexpr const char* kTimedOut = "時間内に応答がありません";
inline constexpr const char* kCutOff = "通信が途中で切れました";
inline constexpr const char* kNoTrust = "サーバーの証明書を確かめられません";
inline constexpr const char* kLibraryError = "libcurl：%s";
inline constexpr const char* kKeyNotAccepted = "J-QuantsがAPIキーを受け付けません%s。オプションでキーを確かめてください。";
inline constexpr const char* kDataNotInPlan =
    "%s（%s）はJ-Quantsの%sプランでは取得できません。%sプラン以上が必要です%s。";
inline constexpr const char* kDataOutsidePlan =
    "このデータはご利用のJ-Quantsプランでは取得できません%s。プランを確かめてください。";
inline constexpr const char* kBulkNotInPlan =
    "%sはJ-Quantsの%sプランでは取得できません。一括ファイルのあるプランを選んでください。";
inline constexpr const char* kPlanCovers = "ご利用のJ-Quantsプランで取得できるのは%s〜%sのデータです。";
inline constexpr const char* kOpenEnd = "…";
inline constexpr const char* kServerError =
    "J-Quantsのサーバーエラーです（HTTP %s）%s。しばらくしてからもう一度実行してください。";
inline constexpr const char* kUnexpectedHttp = "J-Quantsから思いがけない応答がありました（HTTP %s）%s。";
inline constexpr const char* kStillLimited =
    "J-Quantsのリクエスト数の上限のため、%s回待っても取得できませんでした。しばらくしてからもう一度実行してください。";
inline constexpr const char* kLimitWait = "J-Quantsのリクエスト数の上限に達しました。%s秒待ちます（再試行 %s/%s）";
inline constexpr const char* kServerBusy = "J-Quantsのサーバーエラーです（HTTP %s）";
inline constexpr const char* kConnectionLost = "J-Quantsとの通信に失敗しました（%s）";
inline constexpr const char* kAskingAgain = "%s。%s秒後にもう一度問い合わせます（再試行 %s/%s）";
inline constexpr const char* kUnreadable = "J-Quantsの%sの応答が読み取れません：%s";
inline constexpr const char* kEndlessPages = "%sページで%s行のあとにまだ次のページがあります";
inline constexpr const char* kLongPageKey = "%sバイトのpagination_keyです";
inline constexpr const char* kRepeatedPageKey = "%sページ目のpagination_keyが前のページと同じです";
inline constexpr const char* kTwiceInAnswer = "%s（1つの応答に2回あります）";
inline constexpr const char* kNotAMonth = "J-Quantsの一括ファイルの月ではありません：%s";
inline constexpr const char* kNoMonthOrDay = "J-Quantsの一括ファイル名に月も日付もありません：%s";
inline constexpr const char* kCodeTwiceInUnit = "銘柄コード%sが%sに2回あります";
inline constexpr const char* kDateTwiceInUnit = "日付%sの行が2回あります";
inline constexpr const char* kRowOutsideUnit = "日付%sの行があります（%s〜%sの分のはずです）";
inline constexpr const char* kMarginCorrections =
    "J-Quantsの信用残に訂正が%s件あり、同じ申込日のうち公表日の新しい値を採りました。";
inline constexpr const char* kNotAFileKey = "J-Quantsの一括ファイルのキーではありません（%s）：%s";
inline constexpr const char* kBulkFilesOf = "%sの一括ファイル";
inline constexpr const char* kBulkFilesLike = "%sなどの一括ファイル";
inline constexpr const char* kFileNamed = "ファイル%s";
inline constexpr const char* kMarginBalances = "信用残";

// A row that cannot be taken: which row (its code, else its date), field and
// value, and why.
inline constexpr const char* kRowOfCode = "銘柄コード%sの";
inline constexpr const char* kRowOfDate = "日付%sの";
inline constexpr const char* kField = "項目%s";
inline constexpr const char* kFieldTwice = "%sが1行に2回あります";
inline constexpr const char* kFieldMissing = "%sがありません";
inline constexpr const char* kFieldAndValue = "%sの値\"%s\"";
inline constexpr const char* kFieldValue = "%sの値%s（%s）";
inline constexpr const char* kNotADate = "日付ではありません";
inline constexpr const char* kNotACode = "銘柄コードではありません";
inline constexpr const char* kNotAName = "名前ではありません";
inline constexpr const char* kNotAHolDiv = "休日区分ではありません";
inline constexpr const char* kNotAFactor = "調整係数ではありません";
inline constexpr const char* kNoField = "項目がありません";
inline constexpr const char* kNoValue = "値がありません";
inline constexpr const char* kNotANumber = "数値ではありません";
inline constexpr const char* kNegative = "負の値です";
inline constexpr const char* kNotAPrice = "価格になりません";
inline constexpr const char* kBeyondStored = "保存できる範囲を超えています";
inline constexpr const char* kBelow = "%sの%sより下です";
inline constexpr const char* kOutside = "%s〜%sの外です";

// A page that is not the documented JSON.
inline constexpr const char* kNotJson = "JSONとして読めません（%s）";
inline constexpr const char* kUnendedString = "文字列が閉じていません";
inline constexpr const char* kTooDeep = "入れ子が深すぎます";
inline constexpr const char* kUnbalanced = "括弧が対応していません";
inline constexpr const char* kDataTwice = "dataが2つあります";
inline constexpr const char* kLongRow = "%sバイトを超える行があります";
inline constexpr const char* kNoData = "data配列がありません";
inline constexpr const char* kLargeEnvelope = "data配列の外に%sバイトを超える部分があります";
inline constexpr const char* kNotAnObject = "JSONオブジェクトではありません";
inline constexpr const char* kDataNotArray = "dataが配列ではありません";
inline constexpr const char* kKeyNotText = "pagination_key %sが文字列ではありません";
inline constexpr const char* kTextAfter = "JSONオブジェクトのあとに続きがあります";
inline constexpr const char* kRowNotObject = "%s行目がオブジェクトではありません";
inline constexpr const char* kTooManyRows = "この問い合わせにありうる行数（%s）を超えています";

}  // namespace quarlink::jquants_text
