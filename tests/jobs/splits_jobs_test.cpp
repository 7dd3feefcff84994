// Splits read from J-Quants' factors reach index.txt once: the initial data,
// the scan of a folder filled before, and the index update that keeps them.
#include <gtest/gtest.h>

#include "core/jobs/index_update.h"
#include "core/jobs/init_data_job.h"
#include "core/jobs/split_scan_job.h"
#include "core/store/atomic_file.h"
#include "jobs/splits_fake_api.h"
#include "support/fake_clock.h"
#include "support/fake_prompter.h"
#include "support/scripted_fetcher.h"
#include "support/scripted_reader.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

struct SplitsFixture : ::testing::Test {
    ScratchChart folder;
    ScriptedReader reader;
    FixedClock clock{LocalDateTime{2026, 1, 9}};
    SplitsApi api;
    std::string bytes;
    const std::string& index() { return readWholeFile(layout::indexFile(folder.app), bytes), bytes; }
    std::string pending() {
        return readWholeFile(folder.app.workDir / SplitBook::kPendingSplitsFile, bytes) ? bytes : "";
    }
    FakePrompter prompter;
    JobOutcome drive(Job& job) { return runToEnd(job, prompter); }
};

}  // namespace

// A split of a registered code goes into index.txt, a consolidation of an
// unregistered one into the pending list, each once: at the end of the run
// resumed after a stop (which names both) and never again.
TEST_F(SplitsFixture, InitialDataRecordsEachSplitOnceAcrossAStop) {
    api.days = {20260105, 20260106, 20260107};
    api.codes = {1301, 1302, 1303};
    api.factors = {{{1301, 20260106}, 0.5}, {{1303, 20260107}, 10}};
    api.failing = 1303;
    folder.writeIndex("date=20260101\r\n1301,A,T1,100,N225\r\n");
    const std::string recorded = "date=20260101\r\n1301,A,T1,100,N225,S:20260106:2\r\n";
    const std::string named = splitsText({{1301, {20260106, 2}}, {1303, {20260107, 0.1}}});
    InitDataJob job(folder.app, reader, test::onClock(clock), api.endpoints());
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run);
        job.open();
        job.settings = {.margin = false, .startYear = 2026, .source = SourceKind::JQuants};
        JobOutcome o = drive(job);
        if (run == 0) {
            // Stopped while the market's history is gathered: no code written, no split read yet.
            EXPECT_EQ(o.stopReason, JobOutcome::StopReason::Connection);
            EXPECT_EQ(index(), "date=20260101\r\n1301,A,T1,100,N225\r\n");
            EXPECT_EQ(pending(), "");
            api.failing = 0;
            o = drive(job);
        }
        EXPECT_EQ(o.state, JobState::Finished);
        EXPECT_EQ(o.message.value_or("").find(init_data_text::kSplitsRecorded + named) != std::string::npos, run == 0);
        EXPECT_EQ(index(), recorded);
        EXPECT_EQ(pending(), "1303,S:20260107:0.1\n");
    }
}

// The scan asks one day of the whole market per request, goes on after a
// stop, and lists what index.txt lacks for the codes with a price file.
TEST_F(SplitsFixture, ScanAsksOneRequestADayAcrossAStop) {
    api.days = {20260105, 20260106, 20260107};
    api.codes = {1301, 1302, 1303, 1304};
    api.factors = {{{1301, 20260106}, 0.5}, {{1302, 20260106}, 0.5}, {{1303, 20260107}, 10}, {{1304, 20260107}, 10}};
    folder.writeIndex("date=20260101\r\n1301,A,T1,100,S:20260106:2\r\n1302,B,T1,100\r\n");
    for (const int code : {1301, 1302, 1304}) folder.writePrices(code, {rec(20260105, 100)});
    SplitScanJob job(folder.app, reader, api.endpoints(), test::onClock(clock));
    job.open();
    job.settings.from = 20260101;
    ASSERT_EQ(job.start().state, JobState::Running);
    job.tick();
    EXPECT_EQ(job.stop().state, JobState::Stopped);
    EXPECT_EQ(drive(job).state, JobState::Finished);
    EXPECT_EQ(job.found(), (std::vector<CodeSplit>{{1302, {20260106, 2}}, {1304, {20260107, 0.1}}}));
    const std::string day = "/v2/equities/bars/daily?date=2026-01-0";
    EXPECT_EQ(api.targets, (std::vector<std::string>{"/v2/markets/calendar?from=2026-01-01&to=2026-01-09", day + "5",
                                                     day + "6", day + "7"}));
}

// The published list lacks the local tokens and the pending ones: a code that
// differs only by them is no change, the others keep them, and what apply
// registers leaves the pending list.
TEST_F(SplitsFixture, IndexUpdateKeepsLocalTokensAndTakesPendingOnes) {
    folder.writeIndex("date=20260101\r\n1301,A,T1,100,S:20250709:2\r\n1302,B,T1,100,N225,S:20250101:2\r\n"
                      "1303,C,T1,100,S:20250101:2,N225\r\n");
    ScratchChart::writeFile(folder.app.workDir / SplitBook::kPendingSplitsFile, "1400,S:20250908:0.1\n9000,S:20250101:2\n");
    ScriptedFetcher fetcher;
    fetcher.pages[index_update_text::kPath] =
        "date=20260105\r\n1301,A,T1,100\r\n1302,B,T1,100,N225,A500\r\n1303,C,T1,100,N225\r\n1400,D,T1,100\r\n";
    Endpoints endpoints;
    endpoints.index = Endpoint{"127.0.0.1", 8080};
    IndexUpdate job(folder.app, fetcher, endpoints, systemEnvironment());
    prompter.otherwise = Prompter::Answer::Yes;
    ASSERT_EQ(job.open().state, JobState::Idle);
    ASSERT_EQ(drive(job).state, JobState::Finished);
    EXPECT_EQ(job.changed(), (std::vector<int>{1302, 1400}));
    job.action = IndexUpdate::Action::Apply;
    ASSERT_EQ(drive(job).state, JobState::Finished);
    EXPECT_EQ(index(), "date=20260105\r\n1301,A,T1,100,S:20250709:2\r\n1302,B,T1,100,N225,A500,S:20250101:2\r\n"
                       "1303,C,T1,100,S:20250101:2,N225\r\n1400,D,T1,100,S:20250908:0.1\r\n");
    EXPECT_EQ(pending(), "9000,S:20250101:2\n");
}
