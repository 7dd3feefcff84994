#include "core/portfolio/portfolio_report.h"

#include <chrono>
#include <cstdio>

#include "core/portfolio/portfolio_rows.h"
#include "core/store/atomic_file.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/index_flags.h"
#include "core/store/text_encoding.h"

namespace quarlink {
namespace {

// Names and other texts are user input and must not become markup.
std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out.push_back(c);
        }
    }
    return out;
}

std::string marketDisplay(const std::string& market) {
    for (const MarketCode& m : kMarketCodes)
        if (market == m.code) return sjis(m.displayName);
    return market;
}

std::string cells(const PortfolioRow& row, std::size_t count) {
    std::string out = "<TR>";
    for (std::size_t i = 0; i < count; ++i) {
        const std::string& text = i == 3 ? marketDisplay(row[i]) : row[i];
        out += "<TD>" + escapeHtml(text) + "</TD>";
    }
    return out + "</TR>\n";
}

constexpr std::string_view kPositionHeader =
    "<TR><TD><B>仕掛け日</B></TD><TD><B>コード</B></TD><TD><B>銘柄名</B></TD><TD><B>市場</B></TD>"
    "<TD><B>仕掛け</B></TD><TD><B>額面</B></TD><TD><B>枚数</B></TD><TD><B>金額</B></TD>"
    "<TD><B>現在価格(％)</B></TD></TR>\n";

constexpr std::string_view kTradeHeader =
    "<TR><TD><B>仕掛日</B></TD><TD><B>コード</B></TD><TD><B>銘柄名</B></TD><TD><B>市場</B></TD>"
    "<TD><B>仕掛け</B></TD><TD><B>額面</B></TD><TD><B>枚数</B></TD><TD><B>金額</B></TD>"
    "<TD><B>仕舞日</B></TD><TD><B>仕舞額面</B></TD><TD><B>仕舞金額</B></TD><TD><B>差損益</B></TD></TR>\n";

std::string crlf(std::string_view text) {
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') out.push_back('\r');
        out.push_back(c);
    }
    return out;
}

}  // namespace

const char* weekdayName(int year, int month, int day) {
    static constexpr const char* kNames[] = {"日", "月", "火", "水", "木", "金", "土"};
    using namespace std::chrono;
    const weekday wd{sys_days{std::chrono::year{year} / month / day}};
    return kNames[wd.c_encoding() % 7];
}

PortfolioReport renderPortfolioReport(const PortfolioEntry& portfolio, std::string_view positionFile,
                                      std::string_view tradeFile, const LocalDateTime& now) {
    PortfolioReport report;
    std::string& h = report.html;
    const std::string name = escapeHtml(portfolio.name);
    char date[128];
    std::snprintf(date, sizeof date, "%4d年%02d月%02d日(%s)現在", now.year, now.month, now.day,
                  weekdayName(now.year, now.month, now.day));

    h += "<HTML>\n<HEAD>\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n<TITLE>" +
         name + sjis("ポートフォリオ管理</TITLE>\n");
    h += "</HEAD>\n<STYLE type=\"text/css\">\n<!--\nTABLE.solid{\n border-style:solid;\n";
    h += " border-width:1pt;\n border-color:#000000;\n}\nDIV.solid{\n border-style:solid;";
    h += " border-width:1pt;\n border-color:#000000;\n}\nTD{\n FONT-SIZE:12px;\n}-->\n";
    h += "</STYLE>\n<BODY><CENTER>\n";
    h += sjis("<TABLE width=\"720\"><TR><TD>\n<CENTER><FONT size=\"+1\">売買実績記録</FONT></CENTER><BR>\n"
              "<DIV align=\"left\">") +
         name + sjis("<BR>\n") + sjis(date) + "</DIV>\n</TD></TR></TABLE>";
    h += "<TABLE border=\"0\" width=\"720\"";
    h += "border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n<TR><TD>";

    h += sjis("<DIV class=\"solid\">　<B>仕掛けデータ</B></DIV>\n<CENTER><TABLE width=\"700\">");
    const std::string positionHeader = sjis(kPositionHeader);
    h += positionHeader;
    for (const std::string& line : splitLines(positionFile)) {
        const PortfolioRow row = splitFields(line, kPositionColumns);
        addToTotal(report.entryTotal, amountNumber(row[7]));
        const std::size_t paren = row[8].find('(');
        if (paren != std::string::npos)
            addToTotal(report.valuationTotal,
                       static_cast<std::int64_t>(fieldNumber(row[8].substr(0, paren))) * fieldNumber(row[6]));
        h += cells(row, 9);
    }
    h += positionHeader;
    h += sjis("<TR><TD colspan=\"2\" align=\"center\"><B>仕掛け総額</B></TD><TD align=\"right\">") +
         std::to_string(report.entryTotal) +
         sjis("</TD><TD colspan=\"4\" align=\"center\"><B>評価総額</B></TD><TD colspan=\"2\" align=\"right\">") +
         std::to_string(report.valuationTotal) + "</TD></TR>";
    h += "</TABLE></CENTER>\n";

    h += sjis("<DIV class=\"solid\">　<B>売買データ</B></DIV>\n<CENTER><TABLE width=\"700\">");
    const std::string tradeHeader = sjis(kTradeHeader);
    h += tradeHeader;
    for (const std::string& line : splitLines(tradeFile)) {
        const PortfolioRow row = splitFields(line, kTradeColumns);
        addToTotal(report.profitTotal, amountNumber(row[11]));
        h += cells(row, 12);
    }
    h += tradeHeader;
    h += sjis("<TR><TD colspan=\"10\" align=\"center\"><B>差損益合計</B></TD><TD align=\"right\" colspan=\"2\">") +
         std::to_string(report.profitTotal) + "</TD></TR>";
    h += "</TABLE></CENTER><BR>\n";
    h += "</TD></TR>\n</TABLE></CENTER>\n</BODY>\n</HTML>";
    return report;
}

bool writeAllReports(const Application& app, const Clock& clock, Prompter& prompter,
                     std::vector<std::filesystem::path>* written) {
    constexpr const char* kCannotOpen = "ポートフォリオ管理ファイルが開けません。";
    ensureFolder(layout::htmlFolder(app));
    std::string listBytes;
    if (!readWholeFile(layout::portfolioListFile(app), listBytes)) {
        prompter.message(kCannotOpen);
        return false;
    }
    bool allWritten = true;
    for (const PortfolioEntry& p : parsePortfolioList(listBytes)) {
        // Only a plain number may name the portfolio's files.
        if (!isPortfolioNumber(p.number)) {
            prompter.message("ファイルオープンエラー");
            return false;
        }
        const std::string prefix = "user/" + p.number;
        std::string positions, trades;
        if (!readWholeFile(layout::buyFile(app, prefix), positions)) {
            prompter.message(kCannotOpen);
            return false;
        }
        const LocalDateTime now = clock.now();
        if (!readWholeFile(layout::sellFile(app, prefix), trades)) {
            prompter.message(kCannotOpen);
            return false;
        }
        const PortfolioReport report = renderPortfolioReport(p, positions, trades, now);
        // The name shows as the user typed it inside the report; only the
        // file name gives up what a file name cannot hold, so it stays inside
        // html/ (the file manager shows names as UTF-8).
        const auto path = layout::reportFile(app, p.number, fileNamePart(cp932ToUtf8(p.name)),
                                             fileNamePart(cp932ToUtf8(p.manager)));
        std::string error;
        if (!replaceFileAtomically(path, crlf(report.html), &error)) {
            // One report that cannot be written does not keep the others from being written.
            // The name comes from the book's file: shown escaped and cut short.
            prompter.message("ファイルオープンエラー：" + echoText(path.string(), 4 * kEchoLimit) +
                             (error.empty() ? "" : "\n" + echoText(error, 4 * kEchoLimit)));
            allWritten = false;
            continue;
        }
        if (written) written->push_back(path);
    }
    return allWritten;
}

}  // namespace quarlink
