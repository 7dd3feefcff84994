#include "page_forms.h"

#include <cstdio>

#include "core/store/text_encoding.h"

namespace quarlink::pages {

namespace {

std::string page(const std::string& title, const std::string& body) {
    return utf8ToEucJp("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=EUC-JP\">"
                       "<title>" + title + "</title></head>\n<body>\n" + body + "\n</body></html>\n");
}

std::string monthDay(std::int32_t date) {
    return std::to_string(date / 100 % 100) + "月" + std::to_string(date % 100) + "日";
}

std::string tableDate(std::int32_t date) { return std::to_string(date / 10000) + "年" + monthDay(date); }

}  // namespace

std::string groupedNumber(std::int64_t value, bool twoDecimals) {
    const bool negative = value < 0;
    std::uint64_t magnitude = negative ? 0 - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    std::string fraction;
    if (twoDecimals) {
        char cents[8];
        std::snprintf(cents, sizeof cents, ".%02u", static_cast<unsigned>(magnitude % 100));
        fraction = cents;
        magnitude /= 100;
    }
    std::string digits = std::to_string(magnitude);
    for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) digits.insert(static_cast<std::size_t>(at), ",");
    return (negative ? "-" : "") + digits + fraction;
}

std::string yahooQuotePage(int code, const PriceRecord* r, std::int32_t lastDay, bool index, bool broken) {
    const auto price = [&](std::int32_t v) { return r ? groupedNumber(v, index) : std::string("---"); };
    const std::string volume = r ? groupedNumber(r->volume) : "---";
    std::string body = "<div class=\"time\">現在の日時：<b>" + monthDay(lastDay) + " 15:00</b></div>\n";
    body += "<table class=\"quote\"><tr><th>コード</th><th>取引値</th></tr>\n";
    body += "<tr align=center valign=top><td>" + std::to_string(code) + "</td><td><b>" + price(r ? r->close : 0) +
            "</b></td></tr></table>\n";
    body += "<table class=\"detail\"><tr><td>出来高<br>" + volume + "</td></tr>\n";
    body += std::string("<tr><td>") + (broken ? "Open" : "始値") + "<br>" + price(r ? r->open : 0) +
            "</td><td>高値<br>" + price(r ? r->high : 0) + "</td><td>安値<br>" + price(r ? r->low : 0) +
            "</td></tr></table>";
    return page("時系列 " + std::to_string(code), body);
}

std::string yahooNoSuchCodePage() { return page("検索結果", "<p>一致する銘柄はありません。</p>"); }

std::string infoSeekPage(long number, const PriceRecord* r, std::int32_t lastDay, bool index,
                         const PriceRecord* margin, bool broken) {
    char date[32];
    std::snprintf(date, sizeof date, "(%02d/%02d 15:00)", lastDay / 100 % 100, lastDay % 100);
    std::string body = "<table class=\"price\"><tr><th>現在値</th><td align=\"center\"><b>" +
                       (r ? groupedNumber(r->close, index) : std::string("-")) + "</b>" + date + "</td></tr></table>\n";
    body += "<table class=\"detail\"><tr><th>高値</th><th>安値</th><th>始値</th>";
    if (!index) body += "<th>出来高</th>";
    body += "</tr>\n<tr>";
    body += broken ? "<td class=\"high\">" : "<td style=\"border-top:3px double #CCC;\">";
    body += (r ? groupedNumber(r->high, index) : "-") + "</td><td>" + (r ? groupedNumber(r->low, index) : "-") +
            "</td><td>" + (r ? groupedNumber(r->open, index) : "-") + "</td>";
    if (!index) body += "<td>" + (r ? groupedNumber(r->volume) : std::string("-")) + "</td>";
    body += "</tr></table>\n";
    if (margin)
        body += "<table class=\"margin\"><tr><th>信用売残</th><th>信用買残</th></tr>\n<tr><th>" +
                monthDay(margin->date) + "</th><td>" + groupedNumber(margin->marginSell) + "</td><td>" +
                groupedNumber(margin->marginBuy) + "</td></tr></table>";
    return page("株価 " + std::to_string(number), body);
}

std::string infoSeekNoSuchCodePage(long number) {
    return page("検索結果", "<p>「" + std::to_string(number) + "」と一致するデータが見つかりませんでした。</p>");
}

std::string priceTablePage(const std::vector<PriceRecord>& rows, bool index, bool broken) {
    std::string body = "<table><tr><th>日付</th><th>始値</th><th>高値</th><th>安値</th><th>終値</th><th>出来高</th>"
                       "<th>調整後終値</th></tr>\n";
    for (const PriceRecord& r : rows) {
        body += "<tr align=right bgcolor=\"#ffffff\"><td><small>" + tableDate(r.date) + "</small></td><td><small>" +
                groupedNumber(r.open, index) + "</small></td><td><small>" + groupedNumber(r.high, index) +
                "</small></td><td><small>" + groupedNumber(r.low, index) + "</small></td><td><small>" +
                (broken ? "" : "<b>") + groupedNumber(r.close, index) + "</b></small></td><td><small>" +
                groupedNumber(r.volume) + "</small></td><td><small>" + groupedNumber(r.close, index) +
                "</small></td></tr>\n";
    }
    return page("時系列", body + "</table>");
}

std::string priceTableEmptyPage() { return page("時系列", "<p>この検索期間の価格データはありません。</p>"); }

std::string priceTableNoSuchCodePage(long number) {
    return page("時系列", "<p>指定された銘柄コード " + std::to_string(number) + " のデータはありません。</p>");
}

std::string marginTablePage(const std::vector<PriceRecord>& rows, bool broken) {
    std::string body = "<table><tr><th>日付</th><th>売残</th><th>買残</th><th>倍率</th></tr>\n";
    for (const PriceRecord& r : rows) {
        char ratio[32];
        std::snprintf(ratio, sizeof ratio, "%.2f",
                      r.marginSell ? static_cast<double>(r.marginBuy) / r.marginSell : 0.0);
        std::string date = tableDate(r.date);
        if (broken) date.resize(date.size() - std::string("日").size());
        body += "<tr align=right  bgcolor=\"#ffffff\"><td><small>" + date + "</small></td><td><small>" +
                groupedNumber(r.marginSell) + "</small></td><td><small>" + groupedNumber(r.marginBuy) +
                "</small></td><td><small>" + ratio + "</small></td></tr>\n";
    }
    return page("信用残時系列", body + "</table>");
}

std::string marginTableEmptyPage() { return page("信用残時系列", "<p>この検索期間の信用残データはありません。</p>"); }

std::string marginTableNoSuchCodePage() { return page("信用残時系列", "<p>銘柄コードを入力してください。</p>"); }

}  // namespace quarlink::pages
