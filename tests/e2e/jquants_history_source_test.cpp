// The whole market's history gathered from the bulk files (or whole-market
// days on Free) of quarlink-pages' API answers every code as the API does
// code by code; a gather resumes after what it took.
#include <gtest/gtest.h>

#include <algorithm>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>

#include "core/sources/market_history.h"
#include "support/fake_clock.h"
#include "support/page_server.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

using test::PageServer;

constexpr const char* kKey = "fake-key-history-0ddba11";
constexpr std::int32_t kFrom = 20250101, kToday = 20251003;  // a Friday, the third business day of October
constexpr const char* kStartedOver =
    "作業フォルダの取得途中の履歴（history）が壊れているか置き換えられていたため、初めから取り直しました。";

class JQuantsHistorySource : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        ASSERT_TRUE(test::generateMarket(*dir_ / "market", "--codes 40 --from 2025 --to " + std::to_string(kToday)));
        ::setenv("JQUANTS_API_KEY", kKey, 1);
    }
    static void TearDownTestSuite() {
        ::unsetenv("JQUANTS_API_KEY");
        delete dir_;
    }
    static std::unique_ptr<PageServer> serve(const std::string& plan, const std::string& more = {}) {
        return std::make_unique<PageServer>(*dir_ / "market", std::string("--api-key ") + kKey + " --plan " + plan +
                                                                  " --rate-window-ms 0 --now 2025-10-03T18:00 " + more);
    }
    static Endpoints endpoints(const PageServer& server, const std::string& plan) {
        Endpoints e;
        e.jquants = "http://127.0.0.1:" + std::to_string(server.port()) + "/v2";
        e.jquantsRpm = 0;
        e.jquantsPlan = parseJQuantsPlan(plan);
        return e;
    }
    static Application app(const std::string& name) {
        Application a;
        a.workDir = *dir_ / name;  // the gather makes it
        return a;
    }
    static JQuantsHistory& connected(JQuantsHistory& source) {
        source.api().environment.clock = &clock_;
        EXPECT_TRUE(source.connect().answered());
        return source;
    }
    static void gatherAll(JQuantsHistory& history, std::size_t units = SIZE_MAX) {
        std::string status;
        for (std::size_t i = 0; i < units; ++i) {
            const SourceResult r = history.gatherNext(status);
            if (r.answer == Answer::NoData) return;
            ASSERT_EQ(r.answer, Answer::Data) << r.reason;
        }
    }
    struct Seen { int codes = 0, splits = 0, balances = 0, halts = 0; };
    // Every listed code and TOPIX, from what was gathered and from the API code by code.
    static Seen expectSameAsApi(JQuantsHistory& history, const Endpoints& e, std::int32_t from, std::int32_t to,
                                bool margin, bool topix, bool startedOver = false) {
        const Application apiApp = app("api");
        JQuantsSource api(apiApp, e, systemEnvironment());
        api.environment.clock = &clock_;
        EXPECT_TRUE(api.connect().answered());
        std::vector<int> codes;
        EXPECT_TRUE(history.listedCodes(codes).answered());
        Seen seen;
        if (topix) codes.push_back(102);
        for (const int code : codes) {
            SCOPED_TRACE(code);
            HistoryRows got, want;
            const SourceResult g = code == 102 ? history.indexBars(code, from, to, got)
                                               : history.codeBars(code, from, to, margin, got);
            const SourceResult w = code == 102 ? api.indexBars(code, from, to, want) : api.codeBars(code, from, to, margin, want);
            EXPECT_EQ(g.answer, w.answer) << g.reason;
            for (const auto field : {&HistoryRows::dates, &HistoryRows::opens, &HistoryRows::highs, &HistoryRows::lows,
                                     &HistoryRows::closes, &HistoryRows::volumes, &HistoryRows::buys, &HistoryRows::sells})
                EXPECT_EQ(got.*field, want.*field);
            EXPECT_EQ(got.splits, want.splits);
            EXPECT_EQ(got.lastServed, want.lastServed);
            seen.codes += !want.dates.empty();
            seen.splits += !want.splits.empty();
            seen.balances += std::count_if(want.buys.begin(), want.buys.end(), [](int b) { return b != 0; }) > 0;
            seen.halts += !want.dates.empty() && want.lastServed > want.dates.back();
        }
        EXPECT_EQ(history.notes(), startedOver ? std::string(kStartedOver) + (api.notes().empty() ? "" : "\n" + api.notes()) : api.notes());
        return seen;
    }

    static test::TempDir* dir_;
    static FixedClock clock_;
};
test::TempDir* JQuantsHistorySource::dir_ = nullptr;
FixedClock JQuantsHistorySource::clock_{{2025, 10, 3, 18, 0, 0}};

// Light and Standard from their files (the live days of September left to
// September's file), Free a whole-market day a request inside its window:
// every code the same as the API's answer, and the cost what was asked.
TEST_F(JQuantsHistorySource, GatheredHistoryEqualsTheApiCodeByCode) {
    const struct {
        const char* plan;
        std::int32_t from;
        bool margin, topix;
        std::vector<std::string> endpoints;  // with files
        std::size_t overhead;                // lists refused, the calendar, a day's balances asked
    } cases[] = {
        {"light", kFrom, true, true, {"/equities/bars/daily", "/indices/bars/daily/topix"}, 3},
        {"standard", kFrom, true, true, {"/equities/bars/daily", "/markets/margin-interest", "/indices/bars/daily/topix"}, 1},
        {"free", 20250401, true, false, {}, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        const std::filesystem::path log = *dir_ / (std::string(c.plan) + ".log");
        const auto server = serve(c.plan, "--log " + log.string());
        const Endpoints e = endpoints(*server, c.plan);
        const std::int32_t to = c.from == kFrom ? kToday : 20250630;
        const Application work = app(std::string("gather-") + c.plan);
        JQuantsHistory history(work, e, systemEnvironment());
        HistoryCost cost;
        ASSERT_TRUE(connected(history).plan(c.from, to, c.margin, c.topix, cost).answered());
        gatherAll(history);
        ASSERT_FALSE(::testing::Test::HasFatalFailure());

        std::vector<std::string> asked;
        std::ifstream in(log);
        for (std::string line; std::getline(in, line);) asked.push_back(line);
        EXPECT_EQ(cost.requests, asked.size());
        std::map<std::string, std::uint64_t> sizes;  // of the listing, by key
        jquants::Client client(e, kKey, systemEnvironment());
        for (const std::string& endpoint : c.endpoints) {
            jquants::BulkFiles files;
            ASSERT_TRUE(client.bulkList(endpoint, c.from / 100, to / 100, files).ok());
            for (const jquants::BulkFile& f : files.rows) sizes[std::regex_replace(f.key, std::regex("/"), "%2F")] = f.size;
        }
        std::size_t gets = 0;
        std::uint64_t bytes = 0;
        for (const std::string& target : asked)
            if (target.rfind("/v2/bulk/get?key=", 0) == 0) ++gets, bytes += sizes.at(target.substr(17));
        EXPECT_EQ(cost.files, gets);
        EXPECT_EQ(cost.bytes, bytes);
        EXPECT_EQ(cost.bulk, gets > 0);
        EXPECT_EQ(gets > 0, !c.endpoints.empty());
        // Besides the files: a request for each day no file holds.
        EXPECT_EQ(asked.size(), gets + c.endpoints.size() + c.overhead + (history.totalCount() - gets));

        const Seen seen = expectSameAsApi(history, e, c.from, to, c.margin, c.topix);
        EXPECT_GE(seen.codes, 30);
        EXPECT_GE(seen.halts, to == kToday ? 1 : 0);  // a code halted on the market's last day
        EXPECT_EQ(seen.balances > 0, std::string(c.plan) == "standard");
    }
}

// Half gathered, one unit's rows appended without its record (a kill), then
// a new run of the same span goes on after the half; a progress line cut
// short is no unit, scratch shorter than recorded (a power cut) starts over,
// a rewritten file is taken again, another span starts over; scratch that is
// not what the program wrote (odd lengths, garbage, a symlink) starts over too.
TEST_F(JQuantsHistorySource, AGatherResumesAfterWhatItTook) {
    const auto server = serve("standard");
    const auto rewritten = serve("standard", "--bulk-revision 1");
    const Endpoints e = endpoints(*server, "standard");
    const Application work = app("resume");
    const std::filesystem::path progress = work.workDir / JQuantsHistory::kFolder / "progress";
    std::size_t total = 0, files = 0;  // units, and the files among them (the rest: days no file holds)
    std::size_t recorded = 0;          // units in the progress file at the simulated kill
    {
        JQuantsHistory history(work, e, systemEnvironment());
        HistoryCost cost;
        ASSERT_TRUE(connected(history).plan(kFrom, kToday, true, true, cost).answered());
        total = history.totalCount();
        files = cost.files;
        gatherAll(history, total / 2);
        // What the progress file holds: a line a unit taken, after its header.
        const std::string half = test::readFile(progress);
        recorded = static_cast<std::size_t>(std::count(half.begin(), half.end(), '\n')) - 1;
        gatherAll(history, 1);
        test::writeFile(progress, half);
    }
    namespace fs = std::filesystem;
    const fs::path folder = progress.parent_path(), elsewhere = work.workDir / "elsewhere";
    // What a hand, a disk or a power cut may leave in the scratch folder.
    enum class Harm { None, CutShort, OddLength, Garbage, Symlink };
    const auto harm = [&](Harm h) {
        const fs::path bars = folder / "bars" / "13";
        if (h == Harm::CutShort)
            for (const auto& entry : fs::directory_iterator(folder / "bars"))
                fs::resize_file(entry.path(), fs::file_size(entry.path()) / 2);
        if (h == Harm::OddLength) {  // a recorded length that is no whole number of records
            std::string text = test::readFile(progress);
            const std::size_t at = text.rfind("@bars/13=") + 9, end = text.find_first_of("\t\n", at);
            text.replace(at, end - at, std::to_string(std::stoull(text.substr(at, end - at)) - 3));
            test::writeFile(progress, text);
        }
        if (h == Harm::Garbage) {
            std::string bytes = test::readFile(bars);
            bytes.replace(bytes.size() / 2, 8, "\xff\xff\xff\xff\x35\x01\x00\x00");
            test::writeFile(bars, bytes);
        }
        if (h == Harm::Symlink) {
            fs::rename(folder, elsewhere);
            fs::create_directory_symlink(elsewhere, folder);
        }
    };
    const struct {
        const char* name;
        const PageServer& server;
        std::int32_t from;
        std::size_t taken;  // before gathering
        std::size_t files;  // left to download
        Harm harm = Harm::None;
        const char* tornLine = "";
        bool startsOver = false;  // and says so
    } cases[] = {
        {"resumed", *server, kFrom, recorded, files - recorded},
        {"all taken", *server, kFrom, total, 0},
        {"progress line cut short", *server, kFrom, total, 0, Harm::None, "file\tequities/bars/daily/x.csv.gz\t@bars/13=8"},
        {"scratch cut short", *server, kFrom, 0, files, Harm::CutShort, "", true},
        {"rewritten files", *rewritten, kFrom, total - files, files},
        {"a length not whole records", *server, kFrom, 0, files, Harm::OddLength, "", true},
        {"garbage within the recorded length", *server, kFrom, 0, files, Harm::Garbage, "", true},
        {"history a symlink", *server, kFrom, 0, files, Harm::Symlink, "", true},
        {"another span", *server, kFrom + 1, 0, files},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Endpoints at = endpoints(c.server, "standard");
        test::writeFile(progress, test::readFile(progress) + c.tornLine);
        harm(c.harm);
        const std::string elsewhereBefore = c.harm == Harm::Symlink ? test::readFile(elsewhere / "progress") : "";
        JQuantsHistory history(work, at, systemEnvironment());
        HistoryCost cost;
        ASSERT_TRUE(connected(history).plan(c.from, kToday, true, true, cost).answered());
        EXPECT_EQ(history.gatheredCount(), c.taken);
        EXPECT_EQ(cost.files, c.files);
        gatherAll(history);
        const Seen seen = expectSameAsApi(history, at, c.from, kToday, true, true, c.startsOver);
        EXPECT_GE(seen.splits, 1);
        EXPECT_GE(seen.balances, 30);
        if (c.harm == Harm::Symlink) {  // the link went, never followed
            EXPECT_FALSE(fs::is_symlink(folder));
            EXPECT_EQ(test::readFile(elsewhere / "progress"), elsewhereBefore);
        }
    }
    JQuantsHistory(work, e, systemEnvironment()).discard();
    EXPECT_FALSE(std::filesystem::exists(progress.parent_path()));
    EXPECT_TRUE(std::filesystem::exists(work.workDir));
}

}  // namespace
}  // namespace quarlink
