// Damaged and malformed files driven through the commands that read and
// rewrite them: each is read without a crash, reported where the program
// has a message, and written back only in the form the program should write.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "robustness/fault_harness.h"
#include "support/loopback_server.h"
#include "support/run_process.h"
#include "core/env/clock.h"
#include "core/store/index_table.h"
#include "core/store/price_series.h"
#include "support/scratch_chart.h"
#include "core/web/html_value_format.h"

namespace fs = std::filesystem;
using namespace quarlink;
using namespace quarlink::test;

namespace {

ProcessResult cli(const fs::path& work, std::vector<std::string> args) {
    args.insert(args.begin(), {"--workdir", work.string()});
    return runMeasured(QUARLINK_CLI_PATH, args, std::chrono::seconds(60));
}

PriceRecord rec(std::int32_t date, std::int32_t buy = 0, std::int32_t sell = 0) {
    return {date, 100, 110, 90, 105, 1000, buy, sell};
}

std::string image(std::initializer_list<PriceRecord> rows) {
    PriceSeries s;
    for (const auto& r : rows) s.append(r);
    return serializePriceSeries(s);
}

// A record whose date is -1 but whose other bytes are not.
std::string endMarkerRecord() {
    std::string bytes = image({rec(0, 5, 6)});
    bytes.replace(0, 4, "\xFF\xFF\xFF\xFF");
    return bytes;
}

// Newest first, as the table lists them: 01/05 sell 1,000 buy 2,000;
// 01/03 sell 900 buy 1,800.
std::string marginTablePage() {
    using namespace markers;
    std::string page = kHeader + "<html><body><table>\n";
    for (const auto& [day, sell, buy] : {std::tuple{"5", "1,000", "2,000"}, std::tuple{"3", "900", "1,800"}})
        page += "<tr " + euc(kMarginRow) + "2006" + euc(kYear) + "1" + euc(kMonth) + day + euc(kDay) +
                euc(kCellBreak) + sell + euc(kCellBreak) + buy + euc(kCellBreak) + "2.00</small></td></tr>\n";
    return page + "</table></body></html>\n";
}

struct PriceCase {
    const char* name;
    std::string before;
    std::string afterMarginFill;
};

// Codes 1301.. in index.txt order.
std::vector<PriceCase> priceCases() {
    const std::string filled = image({rec(20060103, 1800, 900), rec(20060104, 1800, 900), rec(20060105, 2000, 1000)});
    return {
        {"Sound", image({rec(20060103), rec(20060104), rec(20060105)}), filled},
        {"PartialTrailingRecord", image({rec(20060103), rec(20060104), rec(20060105)}) + "0123456789", filled},
        // The chart program stops at date -1: what follows is kept as it was.
        {"EndMarkerInTheMiddle", image({rec(20060103)}) + endMarkerRecord() + image({rec(20060105)}),
         image({rec(20060103, 1800, 900)}) + endMarkerRecord() + image({rec(20060105)})},
        // File order is kept; balances carry forward in that order.
        {"DatesOutOfOrder", image({rec(20060105), rec(20060103), rec(20060104)}),
         image({rec(20060105, 2000, 1000), rec(20060103, 1800, 900), rec(20060104, 1800, 900)})},
        {"ZeroLength", "", ""},
    };
}

class BadPriceFiles : public ::testing::Test {
protected:
    fs::path setUpFolder(int port) {
        const std::string at = "127.0.0.1:" + std::to_string(port);
        writeFile(layout::endpointsFile(dir_.app), "quote=" + at + "\nhistory=" + at + "\nstock=" + at +
                                                       "\ntimeout_ms=2000\npage_timeout_ms=4000\n");
        dir_.writeOptions();
        std::string index = "date=20061205\r\n";
        int code = 1301;
        for (const auto& c : priceCases()) {
            index += std::to_string(code) + ",N" + std::to_string(code) + ",T1,100\r\n";
            writeFile(dataFile(code++), c.before);
        }
        writeFile(layout::indexFile(dir_.app), index);
        return dir_.app.workDir;
    }
    fs::path dataFile(int code) const { return layout::dataFile(dir_.app, code); }

    ScratchChart dir_;
};

TEST_F(BadPriceFiles, MarginFillRewritesOnlyWholeRecordsBeforeTheEndMarker) {
    LoopbackServer server(reply(marginTablePage()), true);
    const fs::path work = setUpFolder(server.port());
    const ProcessResult run = cli(work, {"margin-fill"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    int code = 1301;
    for (const auto& c : priceCases()) {
        EXPECT_EQ(readFile(dataFile(code)), c.afterMarginFill) << c.name;
        ++code;
    }
    EXPECT_TRUE(leftoverTemporaries(dir_.root).empty());
}

TEST_F(BadPriceFiles, DailyUpdateWritesTheDayAtTheLastWholeRecord) {
    LoopbackServer server(reply(kHeader + stockPage()), true);
    const fs::path work = setUpFolder(server.port());
    const ProcessResult run = cli(work, {"update"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    const int day = SystemClock().now().yyyymmdd();
    const std::string record = image({{day, 1210, 1250, 1200, 1234, 123400, 2000, 1000}});
    int code = 1301;
    for (const auto& c : priceCases()) {
        const std::string whole = c.before.substr(0, c.before.size() / 32 * 32);
        EXPECT_EQ(readFile(dataFile(code)), whole + record) << c.name;
        ++code;
    }
}

// index-update --apply merges the published index into each damaged local
// one; what comes out is the published entries plus the local entries that
// could be read, in the file's own form.
struct IndexCase {
    const char* name;
    std::string local;
    std::string keptLines;  // local-only lines expected after the published ones
};

const std::string kPublished = "date=20070101\r\n0101,N225,,1\r\n1301,KYOKUYO,T1,1000\r\n7203,TOYOTA,T1,100,N225\r\n";

std::vector<IndexCase> indexCases() {
    const std::string longName(600, 'A');
    return {
        {"OverlongLine", "date=20061205\r\n9999," + longName + ",T1,100\r\n", "9999," + longName + ",T1,100\r\n"},
        {"CodesOutOfRange", "date=20061205\r\n12345,BAD,T1,1\r\n-5,NEG,T1,1\r\nabcd,X,T1,1\r\n9332,NISSUI,T1,1000\r\n",
         "9332,NISSUI,T1,1000\r\n"},
        {"MissingFields", "date=20061205\r\n9332,NISSUI\r\n9333\r\n9334,,T1,100\r\n", "9332,NISSUI,,\r\n"},
        {"MixedLineEnds", "date=20061205\n9332,NISSUI,T1,1000\n9333,MARUHA,T1,100\r\n9334,X\r,T1\n",
         "9332,NISSUI,T1,1000\r\n9333,MARUHA,T1,100\r\n9334,X,T1,\r\n"},
        {"InvalidShiftJis", "date=20061205\r\n9332,\x81\xFF\x82\xA0\x80,T1,1000\r\n",
         "9332,\x81\xFF\x82\xA0\x80,T1,1000\r\n"},
        {"CodeHeader", "code=\r\n9332\r\n9333\r\n", ""},
        {"Empty", "", ""},
        {"Binary", std::string("\x00\x01\xFF\r\n\x00\x00,\x80", 10), ""},
    };
}

class BadIndexFiles : public ::testing::TestWithParam<IndexCase> {};

TEST_P(BadIndexFiles, IndexUpdateWritesAWellFormedMerge) {
    const IndexCase& c = GetParam();
    LoopbackServer server(reply(kHeader + kPublished), true);
    ScratchChart dir;
    writeFile(layout::endpointsFile(dir.app), "index=127.0.0.1:" + std::to_string(server.port()) + "\n");
    dir.writeOptions();
    writeFile(layout::indexFile(dir.app), c.local);
    const ProcessResult run = cli(dir.app.workDir, {"index-update", "--apply", "--yes"});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;

    // Local-only codes sort after the published ones in every case here.
    EXPECT_EQ(readFile(layout::indexFile(dir.app)), kPublished + c.keptLines);
}

TEST_P(BadIndexFiles, ReadingAndWritingAgainChangesNothing) {
    IndexTable table;
    readIndexTable(GetParam().local, table);
    const std::string once = writeIndexTable(table, table.date);
    IndexTable again;
    readIndexTable(once, again);
    EXPECT_EQ(writeIndexTable(again, again.date), once);
    for (std::size_t at = once.find('\n'); at != std::string::npos; at = once.find('\n', at + 1))
        EXPECT_EQ(once[at - 1], '\r');
}

INSTANTIATE_TEST_SUITE_P(Robustness, BadIndexFiles, ::testing::ValuesIn(indexCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// options reads the first line (at most 255 bytes); a save writes that path
// back with the new flag, in the one-line form.
TEST(BadOptionsFile, ReadWithoutComplaintAndSavedInTheOneLineForm) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string savedPath;
    };
    const std::vector<Case> cases = {
        {"Empty", "", ""},
        // A path cannot hold a NUL byte: it ends there.
        {"Binary", std::string("\x01\xFF\x00/x\x80,9\r\n\x00\xFE", 13), "\x01\xFF"},
        {"Overlong", "/" + std::string(5000, 'a') + ",1\r\n", "/" + std::string(254, 'a')},
        {"OnlyALineEnd", "\r\n", ""},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "Quarlink.conf", c.bytes);
        const ProcessResult show = cli(dir.path(), {"options"});
        EXPECT_EQ(show.exitCode, 0) << c.name << show.err;
        EXPECT_EQ(readFile(dir / "Quarlink.conf"), c.bytes) << c.name;

        const ProcessResult save = cli(dir.path(), {"options", "--launch-chart", "1"});
        EXPECT_EQ(save.exitCode, 0) << c.name << save.err;
        EXPECT_EQ(readFile(dir / "Quarlink.conf"), c.savedPath + ",1\r\n") << c.name;
    }
}

std::map<std::string, std::string> tree(const fs::path& root) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root))
        if (e.is_regular_file()) files[fs::relative(e.path(), root).string()] = readFile(e.path());
    return files;
}

// The report reads every portfolio file and writes only html/; a file it
// cannot read stops the run with a message.
TEST(BadPortfolioFiles, ReportReadsWhatItCanAndWritesOnlyReports) {
    const std::string longText(1000, 'x');
    struct Case {
        const char* name;
        std::string list, buy, sell;
        int exitCode;
        std::vector<std::string> reports;
    };
    const std::vector<Case> cases = {
        {"MissingFields", "Main,1\r\n", "7203\r\n7203,T,2006/01/05\r\n", "7203,T\r\n,,\r\n", 0, {"p1_Main().html"}},
        {"ExtraFields", "Main,1,Me,x,y\r\n",
         "7203,T,2006/01/05,100,1000,1,2,3,4,5,6,7,8,9,10,11,12\r\n", "7203,T,2006/01/05,100,1000,1,2,3,4,5,6,7,8,9,10\r\n",
         0, {"p1_Main(Me).html"}},
        {"OverlongLines", "Main,1,Me\r\n", "7203," + longText + ",2006/01/05,100\r\n" + longText + "\r\n",
         longText + "," + longText + "\n", 0, {"p1_Main(Me).html"}},
        {"NumberThatIsAPath", "Bad,../../x,m\r\n", "", "", 1, {}},
        // A NUL or control byte cannot be part of a file name: it becomes "_"
        // there (0xFF alone is no Shift-JIS, so it reads as U+FFFD).
        {"NulInTheName", std::string("\x00\xFF,1,\x01\r\n", 8), "", "", 0, {"p1__\xEF\xBF\xBD(_).html"}},
    };
    for (const auto& c : cases) {
        TempDir dir;
        writeFile(dir / "Quarlink.conf", ",0");
        writeFile(dir / "user" / "plist.csv", c.list);
        writeFile(dir / "user" / "1_buy.csv", c.buy);
        writeFile(dir / "user" / "1_sell.csv", c.sell);
        const auto before = tree(dir.path());
        const ProcessResult run = cli(dir.path(), {"report"});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.name << run.err;
        if (c.exitCode != 0) { EXPECT_FALSE(run.err.empty()) << c.name; }

        auto after = tree(dir.path());
        for (const auto& name : c.reports) {
            EXPECT_EQ(after.count("html/" + name), 1u) << c.name << " " << name;
            after.erase("html/" + name);
        }
        EXPECT_EQ(after, before) << c.name;
    }
}

}  // namespace
