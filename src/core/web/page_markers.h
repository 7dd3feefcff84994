#pragma once
#include <string_view>

// The markers the page readers cut pages by. Pages are EUC-JP, so every
// Japanese marker is held as its EUC-JP bytes; the comment gives the text.
namespace quarlink::markers {

// 一致する銘柄はありません。
inline constexpr std::string_view kNoSuchStock{"\xB0\xEC\xC3\xD7\xA4\xB9\xA4\xEB\xCC\xC3\xCA\xC1\xA4\xCF\xA4\xA2\xA4\xEA\xA4\xDE\xA4\xBB\xA4\xF3\xA1\xA3"};
// 現在の日時：
inline constexpr std::string_view kCurrentDateTime{"\xB8\xBD\xBA\xDF\xA4\xCE\xC6\xFC\xBB\xFE\xA1\xA7"};
// 年 月 日
inline constexpr std::string_view kYear{"\xC7\xAF"};
inline constexpr std::string_view kMonth{"\xB7\xEE"};
inline constexpr std::string_view kDay{"\xC6\xFC"};
// 出来高
inline constexpr std::string_view kVolumeLabel{"\xBD\xD0\xCD\xE8\xB9\xE2"};
// 始値
inline constexpr std::string_view kOpenLabel{"\xBB\xCF\xC3\xCD"};
// この検索期間の信用残データはありません。
inline constexpr std::string_view kNoMarginInPeriod{"\xA4\xB3\xA4\xCE\xB8\xA1\xBA\xF7\xB4\xFC\xB4\xD6\xA4\xCE\xBF\xAE\xCD\xD1\xBB\xC4\xA5\xC7\xA1\xBC\xA5\xBF\xA4\xCF\xA4\xA2\xA4\xEA\xA4\xDE\xA4\xBB\xA4\xF3\xA1\xA3"};
// 銘柄コードを入力してください。
inline constexpr std::string_view kEnterStockCode{"\xCC\xC3\xCA\xC1\xA5\xB3\xA1\xBC\xA5\xC9\xA4\xF2\xC6\xFE\xCE\xCF\xA4\xB7\xA4\xC6\xA4\xAF\xA4\xC0\xA4\xB5\xA4\xA4\xA1\xA3"};
// のデータはありません。
inline constexpr std::string_view kNoData{"\xA4\xCE\xA5\xC7\xA1\xBC\xA5\xBF\xA4\xCF\xA4\xA2\xA4\xEA\xA4\xDE\xA4\xBB\xA4\xF3\xA1\xA3"};
// この検索期間の価格データはありません。
inline constexpr std::string_view kNoPriceInPeriod{"\xA4\xB3\xA4\xCE\xB8\xA1\xBA\xF7\xB4\xFC\xB4\xD6\xA4\xCE\xB2\xC1\xB3\xCA\xA5\xC7\xA1\xBC\xA5\xBF\xA4\xCF\xA4\xA2\xA4\xEA\xA4\xDE\xA4\xBB\xA4\xF3\xA1\xA3"};
// と一致するデータが見つかりませんでした。
inline constexpr std::string_view kNoMatchingData{"\xA4\xC8\xB0\xEC\xC3\xD7\xA4\xB9\xA4\xEB\xA5\xC7\xA1\xBC\xA5\xBF\xA4\xAC\xB8\xAB\xA4\xC4\xA4\xAB\xA4\xEA\xA4\xDE\xA4\xBB\xA4\xF3\xA4\xC7\xA4\xB7\xA4\xBF\xA1\xA3"};
// 現在値
inline constexpr std::string_view kCurrentPrice{"\xB8\xBD\xBA\xDF\xC3\xCD"};
// 日</th>
inline constexpr std::string_view kDayHeaderEnd{"\xC6\xFC</th>"};

// ASCII markers.
inline constexpr std::string_view kYahooPriceRow{"<tr align=center valign=top>"};
inline constexpr std::string_view kInfoSeekPriceCell{"<td align=\"center\"><b>"};
inline constexpr std::string_view kInfoSeekHighCell{"<td style=\"border-top:3px double #CCC;\">"};
// Price rows have one blank before bgcolor, margin rows two.
inline constexpr std::string_view kPriceRow{"align=right bgcolor=\"#ffffff\"><td><small>"};
inline constexpr std::string_view kMarginRow{"align=right  bgcolor=\"#ffffff\"><td><small>"};
inline constexpr std::string_view kCellBreak{"</small></td><td><small>"};
inline constexpr std::string_view kCellBreakBold{"</small></td><td><small><b>"};
inline constexpr std::string_view kBoldCellEnd{"</b></small></td>"};

// Request paths.
inline constexpr const char* kYahooQuotePath = "/q?s=%d&d=t";
inline constexpr const char* kInfoSeekPath = "/MnStock/%d/sresult/";
inline constexpr const char* kPriceTablePath = "/t?c=%d&a=%d&b=%d&f=%d&d=%d&e=%d&g=d&s=%d";
inline constexpr const char* kMarginTablePath = "/bt?c=%d&a=%d&b=%d&f=%d&d=%d&e=%d&g=d&s=%d";
inline constexpr const char* kIndexDownloadPath = "/download/index.txt";

// The services' own numbers for index series.
inline constexpr int kInfoSeekNikkei = 100000018;
inline constexpr int kTableNikkei = 998407;
inline constexpr int kTableTopix = 998405;

}  // namespace quarlink::markers
