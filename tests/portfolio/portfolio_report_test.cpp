#include "core/portfolio/portfolio_report.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "portfolio_test_support.h"
#include "core/env/clock.h"
#include "core/store/folder_layout.h"
#include "support/fake_clock.h"

namespace quarlink::test {
namespace {

const LocalDateTime kSunday{2006, 12, 3, 10, 0, 0};

std::string utf8(const std::string& sjisBytes) { return cp932ToUtf8(sjisBytes); }

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (std::size_t p = text.find(part); p != std::string::npos; p = text.find(part, p + 1)) ++n;
    return n;
}

TEST(PortfolioReport, PositionTotalsFromAmountAndCurrentPrice) {
    const std::string positions =
        "2006/01/10,1301,A,T1,x,1000,100,100000,1050(105.00),5,---,---,---,---\r\n"
        "2006/01/10,7203,B,Q9,x,2500,100,250000,2400(96.00),5,---,---,---,---\r\n"
        "2006/01/10,7203,C,T1,x,1,1,0,,5,---,---,---,---\r\n";
    const PortfolioReport r = renderPortfolioReport({"Core", "12", "Desk"}, positions, "", kSunday);
    EXPECT_EQ(r.entryTotal, 350000);
    EXPECT_EQ(r.valuationTotal, 345000);
    const std::string page = utf8(r.html);
    EXPECT_NE(page.find("<B>仕掛け総額</B></TD><TD align=\"right\">350000</TD>"), std::string::npos);
    EXPECT_NE(page.find("<TD colspan=\"2\" align=\"right\">345000</TD></TR></TABLE></CENTER>\n"), std::string::npos);
    EXPECT_NE(page.find("<TD>東証１部</TD>"), std::string::npos);
    EXPECT_NE(page.find("<TD>Q9</TD>"), std::string::npos);
    // Only the first nine fields are shown.
    EXPECT_NE(page.find("<TD>1050(105.00)</TD></TR>\n"), std::string::npos);
    EXPECT_EQ(page.find("---"), std::string::npos);
}

// The edit dialog writes amounts beyond the 32-bit range whole; the totals
// read them whole rather than cut at 2147483647.
TEST(PortfolioReport, TotalsOfLargeAmounts) {
    const std::string positions = "2006/01/10,1301,A,T1,x,100000,100000,10000000000,105000(105.00),5,,,,\r\n"
                                  "2006/01/10,1301,A,T1,x,100000,100000,10000000000,1(0.00),5,,,,\r\n";
    const std::string trades = "a,1301,N,T2,k,1,1,1,d,1,1,-10000000000,未\r\na,1301,N,T2,k,1,1,1,d,1,1,-5,未\r\n";
    const PortfolioReport r = renderPortfolioReport({"Core", "12", "Desk"}, positions, sj(trades), kSunday);
    EXPECT_EQ(r.entryTotal, 20000000000);
    EXPECT_EQ(r.valuationTotal, 10500100000);
    EXPECT_EQ(r.profitTotal, -10000000005);
    EXPECT_NE(utf8(r.html).find(">20000000000</TD>"), std::string::npos);
}

TEST(PortfolioReport, TradeTotalAndHiddenMarker) {
    const std::string trades = "a,1301,N,T2,k,1,1,1,d,1,1,30000,済\r\n"
                               "a,1301,N,T2,k,1,1,1,d,1,1,-12000,未\r\n"
                               "a,1301,N,T2,k,1,1,1,d,1,1,,未\r\n";
    const PortfolioReport r = renderPortfolioReport({"Core", "12", "Desk"}, "", sj(trades), kSunday);
    EXPECT_EQ(r.profitTotal, 18000);
    const std::string page = utf8(r.html);
    EXPECT_NE(page.find("<B>差損益合計</B></TD><TD align=\"right\" colspan=\"2\">18000</TD>"), std::string::npos);
    EXPECT_NE(page.find("<TD>東証２部</TD>"), std::string::npos);
    EXPECT_EQ(page.find("済"), std::string::npos);
}

TEST(PortfolioReport, EmptyFilesGiveHeadersTwiceAndZeroTotals) {
    const std::string page = utf8(renderPortfolioReport({"Core", "12", "Desk"}, "", "", kSunday).html);
    EXPECT_EQ(count(page, "<TD><B>仕掛け日</B></TD>"), 2u);
    EXPECT_EQ(count(page, "<TD><B>仕舞日</B></TD>"), 2u);
    EXPECT_NE(page.find("<TD align=\"right\">0</TD><TD colspan=\"4\""), std::string::npos);
    EXPECT_NE(page.find("colspan=\"2\">0</TD></TR></TABLE></CENTER><BR>\n</TD></TR>\n</TABLE></CENTER>\n</BODY>\n</HTML>"),
              std::string::npos);
    EXPECT_TRUE(page.ends_with("</HTML>"));
}

TEST(PortfolioReport, HeadingCarriesDateAndWeekday) {
    const std::string page = utf8(renderPortfolioReport({"Core", "12", "Desk"}, "", "", kSunday).html);
    EXPECT_TRUE(page.starts_with("<HTML>\n<HEAD>\n<META http-equiv=\"Content-Type\" content=\"text/html; "
                                 "charset=Shift_JIS\">\n<TITLE>Coreポートフォリオ管理</TITLE>\n</HEAD>"));
    EXPECT_NE(page.find("<DIV align=\"left\">Core<BR>\n2006年12月03日(日)現在</DIV>"), std::string::npos);
    EXPECT_NE(page.find("width=\"720\"border=\"0\""), std::string::npos);
    EXPECT_NE(page.find("<DIV class=\"solid\">　<B>仕掛けデータ</B></DIV>"), std::string::npos);
    struct Case {
        int y, m, d;
        const char* name;
    };
    for (const Case& c : {Case{2006, 12, 4, "月"}, Case{2000, 2, 29, "火"}, Case{2007, 1, 6, "土"}})
        EXPECT_STREQ(weekdayName(c.y, c.m, c.d), c.name) << c.y << c.m << c.d;
}

TEST(PortfolioReport, FieldTextsAreEscaped) {
    const std::string positions = "2006/01/10,1301,<script>&\"x\",T1,x,1,1,1,1(1.00),5,,,,\r\n";
    const std::string page =
        utf8(renderPortfolioReport({"<b>A&B</b>", "12", "D"}, positions, "", kSunday).html);
    EXPECT_NE(page.find("<TITLE>&lt;b&gt;A&amp;B&lt;/b&gt;ポートフォリオ管理"), std::string::npos);
    EXPECT_NE(page.find("<TD>&lt;script&gt;&amp;&quot;x&quot;</TD>"), std::string::npos);
    EXPECT_EQ(page.find("<script>"), std::string::npos);
}

// The whole page, piece by piece; only the charset line is added to the head.
TEST(PortfolioReport, WholePageIsByteExact) {
    const std::string positions =
        sj("2006/01/10,1301,水産,T1,現物買,1000,100,100000,1050(105.00),現在まで,1080(108.00),990(99.00),"
           "2006/01/12,2006/01/11\r\n");
    const std::string trades = sj("2006/01/10,7203,車,J,信用売,1000,300,300000,2006/02/01,1100,330000,30000,済\r\n");
    const std::string positionHeader =
        "<TR><TD><B>仕掛け日</B></TD><TD><B>コード</B></TD><TD><B>銘柄名</B></TD><TD><B>市場</B></TD><TD><B>仕掛け</B>"
        "</TD><TD><B>額面</B></TD><TD><B>枚数</B></TD><TD><B>金額</B></TD><TD><B>現在価格(\uFF05)</B></TD></TR>\n";
    const std::string tradeHeader =
        "<TR><TD><B>仕掛日</B></TD><TD><B>コード</B></TD><TD><B>銘柄名</B></TD><TD><B>市場</B></TD><TD><B>仕掛け</B>"
        "</TD><TD><B>額面</B></TD><TD><B>枚数</B></TD><TD><B>金額</B></TD><TD><B>仕舞日</B></TD><TD><B>仕舞額面</B>"
        "</TD><TD><B>仕舞金額</B></TD><TD><B>差損益</B></TD></TR>\n";
    const std::string expected =
        "<HTML>\n<HEAD>\n"
        "<META http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">\n"
        "<TITLE>Coreポートフォリオ管理</TITLE>\n"
        "</HEAD>\n<STYLE type=\"text/css\">\n<!--\nTABLE.solid{\n border-style:solid;\n"
        " border-width:1pt;\n border-color:#000000;\n}\nDIV.solid{\n border-style:solid;"
        " border-width:1pt;\n border-color:#000000;\n}\nTD{\n FONT-SIZE:12px;\n}-->\n"
        "</STYLE>\n<BODY><CENTER>\n"
        "<TABLE width=\"720\"><TR><TD>\n<CENTER><FONT size=\"+1\">売買実績記録</FONT></CENTER><BR>\n"
        "<DIV align=\"left\">Core<BR>\n2006年12月03日(日)現在</DIV>\n</TD></TR></TABLE>"
        "<TABLE border=\"0\" width=\"720\""
        "border=\"0\" cellspacing=\"0\" cellpadding=\"0\">\n<TR><TD>"
        "<DIV class=\"solid\">\u3000<B>仕掛けデータ</B></DIV>\n<CENTER><TABLE width=\"700\">" +
        positionHeader +
        "<TR><TD>2006/01/10</TD><TD>1301</TD><TD>水産</TD><TD>東証１部</TD><TD>現物買</TD><TD>1000</TD><TD>100</TD>"
        "<TD>100000</TD><TD>1050(105.00)</TD></TR>\n" +
        positionHeader +
        "<TR><TD colspan=\"2\" align=\"center\"><B>仕掛け総額</B></TD><TD align=\"right\">100000</TD>"
        "<TD colspan=\"4\" align=\"center\"><B>評価総額</B></TD><TD colspan=\"2\" align=\"right\">105000</TD></TR>"
        "</TABLE></CENTER>\n"
        "<DIV class=\"solid\">\u3000<B>売買データ</B></DIV>\n<CENTER><TABLE width=\"700\">" +
        tradeHeader +
        "<TR><TD>2006/01/10</TD><TD>7203</TD><TD>車</TD><TD>ジャスダック</TD><TD>信用売</TD><TD>1000</TD><TD>300</TD>"
        "<TD>300000</TD><TD>2006/02/01</TD><TD>1100</TD><TD>330000</TD><TD>30000</TD></TR>\n" +
        tradeHeader +
        "<TR><TD colspan=\"10\" align=\"center\"><B>差損益合計</B></TD><TD align=\"right\" colspan=\"2\">30000</TD></TR>"
        "</TABLE></CENTER><BR>\n"
        "</TD></TR>\n</TABLE></CENTER>\n</BODY>\n</HTML>";
    EXPECT_EQ(renderPortfolioReport({"Core", "12", "Desk"}, positions, trades, kSunday).html, sj(expected));
}

class WriteAllReportsTest : public PortfolioFolder {
protected:
    FixedClock clock{kSunday};
};

TEST_F(WriteAllReportsTest, WritesEveryPortfolioInFileOrder) {
    writeFile(layout::portfolioListFile(app), sj("Core,12,Desk\r\n日本株,7,山田\r\n"));
    writeFile(app.workDir / "user" / "12_buy.csv", "2006/01/10,1301,A,T1,x,1000,100,100000,1050(105.00),5,,,,\r\n");
    writeFile(app.workDir / "user" / "12_sell.csv", "");
    writeFile(app.workDir / "user" / "7_buy.csv", "");
    writeFile(app.workDir / "user" / "7_sell.csv", "");
    std::vector<std::filesystem::path> written;
    ASSERT_TRUE(writeAllReports(app, clock, prompter, &written));
    EXPECT_TRUE(prompter.messages.empty());
    ASSERT_EQ(written.size(), 2u);
    EXPECT_EQ(written[0], app.workDir / "html" / "p12_Core(Desk).html");
    EXPECT_EQ(written[1], app.workDir / "html" / "p7_日本株(山田).html");
    const std::string page = readFile(written[0]);
    EXPECT_NE(page.find("\r\n<HEAD>\r\n"), std::string::npos);
    EXPECT_NE(page.find(">105000</TD>"), std::string::npos);
    EXPECT_NE(readFile(written[1]).find(sj("<TITLE>日本株ポートフォリオ管理")), std::string::npos);
}

TEST_F(WriteAllReportsTest, StopsAtTheFirstFailure) {
    struct Case {
        const char* list;
        const char* message;
    };
    const Case cases[] = {
        {nullptr, "ポートフォリオ管理ファイルが開けません。"},
        {"A,1,X\r\nB,2,Y\r\n", "ポートフォリオ管理ファイルが開けません。"},  // 2 has no files
        {"A,1,X\r\nB,../1,Y\r\n", "ファイルオープンエラー"},
    };
    writeFile(app.workDir / "user" / "1_buy.csv", "");
    writeFile(app.workDir / "user" / "1_sell.csv", "");
    for (const Case& c : cases) {
        std::filesystem::remove_all(app.workDir / "html");
        std::filesystem::remove(layout::portfolioListFile(app));
        if (c.list) writeFile(layout::portfolioListFile(app), c.list);
        prompter.messages.clear();
        std::vector<std::filesystem::path> written;
        EXPECT_FALSE(writeAllReports(app, clock, prompter, &written));
        EXPECT_EQ(prompter.messages, std::vector<std::string>{c.message}) << (c.list ? c.list : "none");
        EXPECT_EQ(written.size(), c.list ? 1u : 0u);
    }
    EXPECT_FALSE(std::filesystem::exists(root / "x"));
}

// A "/" or a control character changes the report's file name only; a report
// that cannot be written is named and the next portfolio's is still written.
TEST_F(WriteAllReportsTest, OddNamesBecomeUnderscoresAndOneFailureKeepsTheOthers) {
    writeFile(layout::portfolioListFile(app), "B/../../x,1,Y/Z\r\nTab\tName,2,M\r\nLast,3,W\r\n");
    for (const char* n : {"1", "2", "3"}) {
        writeFile(app.workDir / "user" / (std::string(n) + "_buy.csv"), "");
        writeFile(app.workDir / "user" / (std::string(n) + "_sell.csv"), "");
    }
    // A folder where the second report's file would go cannot be replaced by it.
    const auto blocked = app.workDir / "html" / "p2_Tab_Name(M).html";
    std::filesystem::create_directories(blocked / "inside");
    std::vector<std::filesystem::path> written;
    EXPECT_FALSE(writeAllReports(app, clock, prompter, &written));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].find(blocked.string()), std::string::npos) << prompter.messages[0];
    EXPECT_EQ(written, (std::vector<std::filesystem::path>{app.workDir / "html" / "p1_B_.._.._x(Y_Z).html",
                                                           app.workDir / "html" / "p3_Last(W).html"}));
    EXPECT_NE(readFile(written[0]).find("B/../../x"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(root / "x"));
}

TEST_F(WriteAllReportsTest, CliWritesReportsAndPrintsTheirNames) {
    writeFile(layout::portfolioListFile(app), "Core,12,Desk\r\n");
    writeFile(app.workDir / "user" / "12_buy.csv", "");
    writeFile(app.workDir / "user" / "12_sell.csv", "");
    writeFile(app.workDir / "Quarlink.conf", ",0");
    const auto out = root / "out.txt";
    const std::string cmd = std::string(QUARLINK_CLI_PATH) + " --workdir '" + app.workDir.string() + "' report > '" +
                            out.string() + "' 2>&1";
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 0);
    EXPECT_EQ(readFile(out), "html/p12_Core(Desk).html\n");
    EXPECT_TRUE(std::filesystem::exists(app.workDir / "html" / "p12_Core(Desk).html"));

    std::filesystem::remove(app.workDir / "user" / "12_sell.csv");
    EXPECT_EQ(WEXITSTATUS(std::system(cmd.c_str())), 1);
    EXPECT_EQ(readFile(out), "ポートフォリオ管理ファイルが開けません。\n");
}

}  // namespace
}  // namespace quarlink::test
