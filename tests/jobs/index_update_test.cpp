#include <gtest/gtest.h>

#include "core/jobs/index_update.h"
#include "core/sources/master_index.h"
#include "support/scripted_reader.h"
#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "support/fake_prompter.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

class CannedFetcher final : public PageFetcher {
public:
    int result = 1;
    std::string page;
    std::string lastPath;
    int fetch(const std::string&, std::uint16_t, const std::string& path, std::string& response) override {
        lastPath = path;
        if (result == 1) response = page;
        return result;
    }
};

const std::string kLocal =
    "date=20061101\r\n"
    "1301,\x8b\x8d,T1,1000\r\n"         // unchanged
    "1332,OLD,T1,1000,N225\r\n"        // changed
    "2000,GONE,T2,100\r\n"             // only local
    "3000,KEEP,T2,100,S:20060101:2\r\n";  // only local
const std::string kPublished =
    "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
    "date=20061205\r\n"
    "1301,\x8b\x8d,T1,1000\r\n"
    "1332,NEW,T1,100,N225,A500,S:20061001:1.5\r\n"
    "7203,ADDED,T1,100\r\n";

struct IndexFixture : ::testing::Test {
    ScratchChart folder;
    CannedFetcher fetcher;
    Endpoints endpoints;
    test::FakePrompter prompter;
    IndexUpdate job{folder.app, fetcher, endpoints, systemEnvironment()};
    JobOutcome last;

    IndexFixture() {
        prompter.otherwise = Prompter::Answer::Yes;
        endpoints.index = Endpoint{"127.0.0.1", 8080};
        folder.writeIndex(kLocal);
        fetcher.page = kPublished;
    }
    // As the dialog and the CLI drive it: messages and the question go to the prompter.
    bool opened() {
        last = job.open();
        if (last.message) prompter.message(*last.message);
        return last.state == JobState::Idle;
    }
    bool run(IndexUpdate::Action action) {
        job.action = action;
        last = runToEnd(job, prompter);
        return last.state == JobState::Finished;
    }
    bool download() { return run(IndexUpdate::Action::Download); }
    bool apply() { return run(IndexUpdate::Action::Apply); }
    bool fetchFailed() const { return last.stopReason == JobOutcome::StopReason::Connection; }
    std::string indexText() const {
        std::string bytes;
        readWholeFile(layout::indexFile(folder.app), bytes);
        return bytes;
    }
};

}  // namespace

TEST_F(IndexFixture, DownloadListsChangedAndUnregisteredCodes) {
    ASSERT_TRUE(opened());
    ASSERT_TRUE(download());
    EXPECT_EQ(fetcher.lastPath, "/download/index.txt");
    EXPECT_EQ(job.changed(), (std::vector<int>{1332, 7203}));
    EXPECT_EQ(job.unregistered(), (std::vector<int>{2000, 3000}));
    EXPECT_EQ(job.newDateText(), "2006/12/05");
    // The scratch copy starts at "date=" and has LF line ends.
    std::string scratch;
    ASSERT_TRUE(readWholeFile(folder.app.workDir / "index", scratch));
    EXPECT_EQ(scratch.rfind("date=20061205\n1301,", 0), 0u);

    const IndexEntryView now = job.newView(1332);
    EXPECT_EQ(now.name, "NEW");
    EXPECT_EQ(now.market, "東証１部");
    EXPECT_EQ(now.unit, "100");
    EXPECT_TRUE(now.n225);
    EXPECT_TRUE(now.a500);
    EXPECT_FALSE(now.obs);
    EXPECT_EQ(now.splits, (std::vector<std::string>{"2006/10/01 → 1.5分割"}));
    EXPECT_EQ(job.newView(2000).name, "該当データなし");
}

TEST_F(IndexFixture, ApplyWritesTheRemainingChangesByteForByte) {
    ASSERT_TRUE(opened());
    ASSERT_TRUE(download());
    EXPECT_EQ(job.removeChanged(1), 0);      // drop 7203: the last item, select the previous
    EXPECT_EQ(job.removeUnregistered(0), 0);  // drop 2000 from the index
    ASSERT_TRUE(apply());
    EXPECT_EQ(indexText(),
              "date=20061205\r\n"
              "1301,\x8b\x8d,T1,1000\r\n"
              "1332,NEW,T1,100,N225,A500,S:20061001:1.5\r\n"
              "3000,KEEP,T2,100,S:20060101:2\r\n");
    EXPECT_TRUE(job.changed().empty());
    EXPECT_EQ(job.unregistered(), (std::vector<int>{3000}));
    ASSERT_EQ(prompter.questions.size(), 1u);
    EXPECT_EQ(prompter.questions[0], index_update_text::kApplyQuestion);
    EXPECT_EQ(prompter.messages.back(), index_update_text::kApplied);
}

TEST_F(IndexFixture, ApplyRefusalsLeaveTheFileAlone) {
    ASSERT_TRUE(opened());
    EXPECT_FALSE(apply());
    EXPECT_EQ(prompter.messages.back(), index_update_text::kNotDownloaded);
    ASSERT_TRUE(download());
    prompter.otherwise = Prompter::Answer::No;
    EXPECT_FALSE(apply());
    EXPECT_EQ(indexText(), kLocal);
    // A write failure shows only its own message and keeps the lists.
    prompter.otherwise = Prompter::Answer::Yes;
    const auto index = layout::indexFile(folder.app);
    std::filesystem::remove(index);
    std::filesystem::create_directory(index);
    const std::size_t before = prompter.messages.size();
    EXPECT_FALSE(apply());
    ASSERT_EQ(prompter.messages.size(), before + 1);
    EXPECT_EQ(prompter.messages.back(), index_update_text::kWriteError);
    EXPECT_EQ(job.changed().size(), 2u);
}

TEST_F(IndexFixture, FailuresGiveTheirMessages) {
    {
        // A new chart folder without index.txt starts from an empty list; an
        // index.txt that cannot be read, or no chart folder at all, is refused.
        ScratchChart empty;
        IndexUpdate j{empty.app, fetcher, endpoints, systemEnvironment()};
        EXPECT_EQ(j.open().state, JobState::Idle);
        std::filesystem::create_directories(layout::indexFile(empty.app));
        for (int refused = 0; refused < 2; ++refused) {
            const JobOutcome o = j.open();
            EXPECT_NE(o.state, JobState::Idle);
            EXPECT_EQ(o.message, index_update_text::kOpenError);
            empty.app.chartFolder += "-gone";
        }
    }
    ASSERT_TRUE(opened());
    fetcher.result = 0;
    EXPECT_FALSE(download());
    EXPECT_EQ(prompter.messages.back(), index_update_text::kDownloadFailed);
    EXPECT_FALSE(job.downloaded());
    EXPECT_TRUE(fetchFailed());
    endpoints.index = Endpoint{};
    fetcher.result = 1;
    EXPECT_FALSE(download());
    EXPECT_EQ(prompter.messages.back(), index_update_text::kDownloadFailed);
    // A working folder that cannot take the copy is no download failure, and says why.
    endpoints.index = Endpoint{"127.0.0.1", 8080};
    std::filesystem::create_directories(layout::indexDownloadFile(folder.app) / "inside");
    EXPECT_FALSE(download());
    EXPECT_FALSE(fetchFailed());
    EXPECT_EQ(prompter.messages.back().rfind(std::string(index_update_text::kSaveError) + "\n", 0), 0u)
        << prompter.messages.back();
    EXPECT_GT(prompter.messages.back().size(), std::string(index_update_text::kSaveError).size() + 1);
}

TEST_F(IndexFixture, EntryLineHasNoTrailingCommaWithoutFlags) {
    ASSERT_TRUE(opened());
    EXPECT_EQ(IndexUpdate::entryLine(job.currentTable(), 2000), "2000,GONE,T2,100");
    EXPECT_EQ(IndexUpdate::entryLine(job.currentTable(), 1332), "1332,OLD,T1,1000,N225");
    EXPECT_EQ(IndexUpdate::entryLine(job.currentTable(), 7203), "");
}

TEST_F(IndexFixture, PublishedLinesTheChartProgramCannotReadAreLeftOut) {
    // 5 + 497 + 7 = 509 bytes is the longest line that fits.
    const std::string fits = "1400," + std::string(497, 'A') + ",T1,100";
    fetcher.page = kPublished + fits + "\r\n" + "1401," + std::string(498, 'B') + ",T1,100\r\n" +
                   "1402,N" + std::string(1, '\0') + "UL,T1,100\r\n" +
                   "1332,LONG,T1,100," + std::string(100000, 'F') + "\r\n";
    ASSERT_TRUE(opened());
    ASSERT_TRUE(download());
    EXPECT_EQ(job.changed(), (std::vector<int>{1400, 7203}));
    EXPECT_EQ(job.leftOut(), (std::vector<int>{1332, 1401, 1402}));
    ASSERT_EQ(prompter.messages.size(), 1u);
    EXPECT_NE(prompter.messages[0].find("3"), std::string::npos);
    EXPECT_NE(prompter.messages[0].find("1332,1401,1402"), std::string::npos) << prompter.messages[0];
    ASSERT_TRUE(apply());
    // The local entry of a left-out code stays as it was read.
    const std::string written = indexText();
    EXPECT_NE(written.find("1332,OLD,T1,1000,N225\r\n"), std::string::npos);
    EXPECT_NE(written.find(fits + "\r\n"), std::string::npos);
    for (const char* code : {"1401", "1402"}) EXPECT_EQ(written.find(code), std::string::npos) << code;
}

namespace {

jquants::ListedIssue issue(std::int32_t date, const std::string& code, const std::string& name, const std::string& mkt) {
    return {date, code, jquants::stockCodeOf(code), name, mkt};
}

}  // namespace

// The code list from the listed-issue master: markets mapped, the local unit
// and flags kept, a new code in units of 100, letters and other share classes
// left out, indices untouched, a name without CP932 form marked per character.
TEST(MasterIndex, BuildsTheListAsAPublishedIndex) {
    IndexTable local;
    const auto put = [&](int code, const char* name, const char* market, const char* unit, const char* flags) {
        local.name[code] = name, local.market[code] = market, local.unit[code] = unit, local.flags[code] = flags;
    };
    put(101, "N225", "T1", "1", "");
    put(1301, "A", "T2", "1000", "N225,S:20060101:2");
    put(1302, "B", "O1", "500", "");
    put(1303, "C", "J", "1", "");

    jquants::ListedMaster master;
    master.rows = {
        issue(20260105, "13010", "A", "0111"),       // Prime, keeps unit and flags
        issue(20260105, "13020", "B", "0109"),       // other market: keeps O1
        issue(20260105, "13030", "C", "0104"),       // old Mothers code: M
        issue(20260105, "13040", "D", "0105"),       // new, other market: "-"
        issue(20260105, "13050", "\xF0\xA0\xAE\xB7" "E", "0112"),
        issue(20260106, "13060", "F", "0113"),       // newest Date becomes the list's date
        issue(20260105, "130A0", "G", "0111"),       // letters
        issue(20260105, "13015", "H", "0111"),       // preferred share
        issue(20260105, "13070", "I", "0102"),
        issue(20260105, "13080", "J2", "0106"),
        issue(20260104, "13060", "OLD", "0111"),     // an older row of the same code loses
    };
    const MasterIndex built = indexFromMaster(master, local);
    EXPECT_EQ(built.table.date, 20260106);
    EXPECT_EQ(built.skippedCodes, 2u);
    const std::vector<std::string> lines = {
        IndexUpdate::entryLine(built.table, 101),  IndexUpdate::entryLine(built.table, 1301),
        IndexUpdate::entryLine(built.table, 1302), IndexUpdate::entryLine(built.table, 1303),
        IndexUpdate::entryLine(built.table, 1304), IndexUpdate::entryLine(built.table, 1305),
        IndexUpdate::entryLine(built.table, 1306), IndexUpdate::entryLine(built.table, 1307),
        IndexUpdate::entryLine(built.table, 1308), IndexUpdate::entryLine(built.table, 1309),
    };
    EXPECT_EQ(lines, (std::vector<std::string>{"0101,N225,T1,1", "1301,A,T1,1000,N225,S:20060101:2", "1302,B,O1,500",
                                               "1303,C,M,1", "1304,D,-,100", "1305,?E,T2,100", "1306,F,M,100",
                                               "1307,I,T2,100", "1308,J2,J,100", ""}));
    ASSERT_EQ(built.replacedNames.size(), 1u);
    EXPECT_EQ(built.replacedNames.at(1305), "\xF0\xA0\xAE\xB7");

    // A TOPIX file without an entry gets one; the user's own entry stands.
    EXPECT_EQ(IndexUpdate::entryLine(built.table, 102), "");
    EXPECT_EQ(IndexUpdate::entryLine(indexFromMaster(master, local, true).table, 102), "0102,TOPIX,,1");
    put(102, "T", "", "1", "");
    EXPECT_EQ(IndexUpdate::entryLine(indexFromMaster(master, local, true).table, 102), "0102,T,,1");
}
