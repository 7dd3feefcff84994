// quarlink-cli update --source jquants against the API of quarlink-pages.
#include <gtest/gtest.h>

#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <sys/stat.h>

#include "core/jobs/catch_up_job.h"
#include "core/store/atomic_file.h"
#include "core/store/index_table.h"
#include "core/store/price_file.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"
#include "core/web/jquants/jquants_json.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;
using test::PageServer;
using test::readFile;

constexpr const char* kKey = "fake-key-catchup-7e57c0de";
constexpr const char* kWrongKey = "fake-key-catchup-0bad0bad";
constexpr std::int32_t kLastDay = 20260109;  // a Friday; 2025-12-31 to 2026-01-02 are closed
constexpr std::int32_t kSeedDay = 20251229;  // the data ends here: a Monday
constexpr std::int32_t kWindowTo = 20251017; // 12 weeks before the last day (free plan)

using Files = std::map<std::string, std::string>;

Files folderBytes(const fs::path& dir) {
    Files files;
    for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = readFile(e.path());
    return files;
}

PriceSeries seriesOf(const std::string& bytes) { return parsePriceSeries(bytes); }

std::string truncatedTo(const std::string& bytes, std::int32_t last) {
    PriceSeries series = parsePriceSeries(bytes), kept;
    for (const PriceRecord& r : series.rows)
        if (r.date <= last) kept.append(r);
    return serializePriceSeries(kept);
}

class JQuantsCatchUp : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        ASSERT_TRUE(test::generateMarket(market(), "--codes 40 --to " + std::to_string(kLastDay)));
    }
    static void TearDownTestSuite() { delete dir_; }
    static fs::path market() { return *dir_ / "market"; }

    // A working folder whose stock files end on `seedDay`; `registered` is
    // every other code of index.txt when false, every code when true.
    fs::path makeWork(const std::string& name, const PageServer& server, std::int32_t seedDay, bool everyCode = true) {
        const fs::path work = *dir_ / name;
        fs::create_directories(work / "chart" / "data");
        test::writeFile(work / "endpoints.conf", "jquants=http://127.0.0.1:" + std::to_string(server.port()) +
                                                     "/v2\njquants_rpm=0\n");
        test::writeFile(work / "Quarlink.conf", (work / "chart").string() + ",0\r\n");
        std::string index, kept;
        int line = 0;
        for (std::istringstream in(readFile(market() / "index.txt")); std::getline(in, index); ++line)
            if (line == 0 || everyCode || line % 2 == 0) kept += index + "\n";
        test::writeFile(work / "chart" / "index.txt", kept);
        for (const auto& e : fs::directory_iterator(market() / "data")) {
            const int code = std::atoi(e.path().filename().c_str());
            if (code >= 1000)
                test::writeFile(work / "chart" / "data" / e.path().filename(), truncatedTo(readFile(e.path()), seedDay));
        }
        return work;
    }

    static test::ProcessResult runCli(const fs::path& work, const std::string& args, const char* key = kKey,
                                      std::chrono::milliseconds limit = std::chrono::milliseconds(60'000)) {
        std::vector<std::string> argv{"--workdir", work.string(), "update", "--source", "jquants"};
        // The market ends there; a real day after it would only find no rows.
        if (args.find("--through") == std::string::npos) argv.push_back("--through=" + std::to_string(kLastDay));
        std::istringstream words(args);
        for (std::string w; words >> w;) argv.push_back(w);
        return test::runProcess(QUARLINK_CLI_PATH, argv, {{"JQUANTS_API_KEY", key}}, {}, limit);
    }

    static std::string serve(const std::string& plan, const std::string& more = {}) {
        return std::string("--api-key ") + kKey + " --plan " + plan + " --rate-window-ms 0 --now 2026-01-09T18:00 " + more;
    }

    // The market's records through `last` as the catch-up from `seed` stores
    // them: balances carried into days without a margin record (every day
    // without `margins`); `fresh` for a file the catch-up created.
    static PriceSeries expected(int code, std::int32_t seed, std::int32_t last, bool margins = true,
                                bool fresh = false) {
        PriceSeries all = parsePriceSeries(readFile(market() / "data" / layout(code))), out;
        // The balances of the business days from ten before the seed on are
        // asked again and put on their dates, carried to the records after.
        const PriceSeries days = parsePriceSeries(readFile(market() / "data" / "0102"));
        std::size_t at = 0;
        while (at < days.size() && days.rows[at].date < seed) ++at;
        const std::size_t back = std::min(at, CatchUpJob::kMarginLookback);
        const std::int32_t asked = margins ? days.rows[at - back].date : 0;
        std::optional<PriceRecord> balance;
        for (PriceRecord r : all.rows) {
            if (r.date > last) break;
            if (asked && r.date >= asked && (r.marginBuy || r.marginSell) && publishedBy(days, r.date)) balance = r;
            if (fresh && r.date < seed) continue;
            if (r.date >= seed && !margins) r.marginBuy = r.marginSell = 0;
            if (r.date >= seed && !r.marginBuy && !r.marginSell && !out.empty())
                r.marginBuy = out.rows.back().marginBuy, r.marginSell = out.rows.back().marginSell;
            if (balance) r.marginBuy = balance->marginBuy, r.marginSell = balance->marginSell;
            out.append(r);
        }
        return out;
    }
    // Whether the balances of record date `date` are out on the evening of
    // the last day: a Friday's on the second business day after it.
    static bool publishedBy(const PriceSeries& days, std::int32_t date) {
        int after = 0;
        for (const PriceRecord& d : days.rows) after += d.date > date && d.date <= kLastDay;
        return after >= 2;
    }
    static std::string layout(int code) {
        char name[8];
        std::snprintf(name, sizeof name, "%04d", code);
        return name;
    }

    static test::TempDir* dir_;
};
test::TempDir* JQuantsCatchUp::dir_ = nullptr;

// Across the New Year holidays: every business day of the market lands in
// the registered codes' files, decimals rounded back to the stored yen,
// halted days left out, margin balances on their dates and carried forward;
// other codes stay as they were unless --all-codes, which also creates files.
TEST_F(JQuantsCatchUp, TakesInTheMissedDaysOfTheRightCodes) {
    PageServer server(market(), serve("standard", "--page-size 9"));
    struct Case {
        const char* name;
        const char* args;
        bool allCodes;
    };
    for (const Case& c : {Case{"index-only", "", false}, Case{"all-codes", "--all-codes", true}}) {
        SCOPED_TRACE(c.name);
        const fs::path work = makeWork(std::string("days-") + c.name, server, kSeedDay, false);
        const fs::path data = work / "chart" / "data";
        const Files before = folderBytes(data);
        const std::string newCode = before.rbegin()->first;
        fs::remove(data / newCode);

        const test::ProcessResult r = runCli(work, c.args);
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        // The newest day is taken in again, then the five after the holidays.
        EXPECT_NE(r.out.find("7日分を取得します（2025-12-29〜2026-01-09）"), std::string::npos) << r.out;
        // Two letter codes and a preferred share a day, all skipped and counted.
        EXPECT_NE(r.out.find("対象外の行 "), std::string::npos);
        EXPECT_EQ(r.out.find("対象外の行 0件"), std::string::npos) << r.out;

        std::vector<int> registered;
        loadCodeList(work / "chart" / "index.txt", registered);
        const std::set<int> listed(registered.begin(), registered.end());
        int halted = 0, rounded = 0;
        for (const auto& [name, bytes] : before) {
            const int code = std::atoi(name.c_str());
            const bool taken = c.allCodes || listed.count(code);
            const std::string now = fs::exists(data / name) ? readFile(data / name) : std::string();
            if (!taken) {
                EXPECT_EQ(now, name == newCode ? std::string() : bytes) << name;
                continue;
            }
            // A new file holds the days taken in only.
            const PriceSeries want = expected(code, kSeedDay, kLastDay, true, name == newCode);
            EXPECT_EQ(now, serializePriceSeries(want)) << name;
            halted += want.rows.back().date != kLastDay;
            rounded += code % 2;
        }
        if (c.allCodes) {
            EXPECT_GE(rounded, 1);  // odd codes are served with fractions
            EXPECT_GE(halted, 1);
        }
        EXPECT_EQ(r.err, "");
    }
}

// A hard-linked snapshot of data/ (cp -al) keeps its bytes: a day after a
// file's last record is appended in place only to files of one name.
TEST_F(JQuantsCatchUp, HardLinkedSnapshotKeepsItsBytes) {
    PageServer server(market(), serve("standard"));
    const fs::path work = makeWork("links", server, kSeedDay);
    const fs::path data = work / "chart" / "data", snap = work / "snap";
    const Files before = folderBytes(data);
    fs::create_directory(snap);
    for (const auto& [name, bytes] : before) fs::create_hard_link(data / name, snap / name);

    const test::ProcessResult r = runCli(work, "--from 20260105");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(folderBytes(snap), before);
    EXPECT_NE(folderBytes(data), before);
}

// Refusals end the run with exit 1, a lost server with exit 2, each with a
// message naming the cause and no key text anywhere in the output; the days
// before a plan window stay stored.
TEST_F(JQuantsCatchUp, StopsExitWithTheirCodeAndKeepTheKeyOutOfTheOutput) {
    PageServer standard(market(), serve("standard"));
    PageServer free(market(), serve("free"));
    struct Case {
        const char* name;
        const PageServer& server;
        std::int32_t seed;
        const char* args;
        const char* key;
        std::vector<std::string> said;
        int exit = 1;
    };
    const Case cases[] = {
        {"wrong key", standard, kSeedDay, "", kWrongKey, {"APIキーを受け付けません", "JQUANTS_API_KEY"}},
        {"free window", free, 20251013, "--no-margin", kKey, {"2023-10-17", "2025-10-17", "終了日を2025-10-17"}},
        {"topix on free", free, 20251013, "--topix --through 20251017", kKey, {"TOPIXはJ-QuantsのLightプラン以上"}},
        {"no data yet", standard, 0, "", kKey, {"先に株価データ初期化を行う"}},
        {"no server", standard, kSeedDay, "", kKey, {"J-Quants（http://127.0.0.1:1/v2）からデータを取得できません"}, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path work = makeWork(std::string("refused-") + c.name, c.server, c.seed ? c.seed : 19000101);
        if (c.exit == 2) test::writeFile(work / "endpoints.conf", "jquants=http://127.0.0.1:1/v2\njquants_rpm=0\nretry_wait_ms=0\n");
        const Files before = folderBytes(work / "chart" / "data");
        const test::ProcessResult r = runCli(work, c.args, c.key);
        EXPECT_EQ(r.exitCode, c.exit);
        for (const std::string& text : c.said) EXPECT_NE(r.err.find(text), std::string::npos) << r.err;
        const bool keyShown = (r.out + r.err).find(c.key) != std::string::npos;
        EXPECT_FALSE(keyShown) << "the API key text appears in the output";
        if (std::string(c.name) != "free window") {
            EXPECT_EQ(folderBytes(work / "chart" / "data"), before);
            continue;
        }
        // 2025-10-13 to 10-17 are in the window and stored; the run stops at 10-20.
        for (const auto& [name, bytes] : before) {
            const PriceSeries want = expected(std::atoi(name.c_str()), c.seed, kWindowTo, false);
            EXPECT_EQ(readFile(work / "chart" / "data" / name), serializePriceSeries(want)) << name;
        }
    }
}

// kill -9 at random moments: every file stays whole records that the
// uninterrupted run also wrote, none missing before its own last one, and
// runs to the end then give the same files as the uninterrupted run.
TEST_F(JQuantsCatchUp, KilledRunsLoseNoFinishedDayAndRerunsMatch) {
    PageServer server(market(), serve("premium", "--page-size 5"));
    const fs::path reference = makeWork("kill-reference", server, 20251229);
    const auto started = std::chrono::steady_clock::now();
    ASSERT_EQ(runCli(reference, "--all-codes --topix").exitCode, 0);
    const auto full = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
    const Files want = folderBytes(reference / "chart" / "data");
    std::cout << "uninterrupted run: " << full.count() << " ms\n";

    const fs::path work = makeWork("kill-work", server, 20251229);
    std::mt19937 random(std::random_device{}());
    for (int kill = 0; kill < 6; ++kill) {
        const auto at = std::chrono::milliseconds(1 + random() % std::max<long>(1, full.count()));
        const test::ProcessResult r = runCli(work, "--all-codes --topix", kKey, at);
        SCOPED_TRACE("killed after " + std::to_string(at.count()) + " ms");
        // Each file is written once a run, whole records: it holds the
        // reference's days up to its own last one (the run's mark takes the
        // rest in again).
        for (const auto& [name, bytes] : folderBytes(work / "chart" / "data")) {
            if (!want.count(name)) continue;  // a spare of the batch writer, removed by the next run
            ASSERT_EQ(bytes.size() % kRecordSize, 0u) << name;
            const PriceSeries series = seriesOf(bytes), all = seriesOf(want.at(name));
            ASSERT_LE(series.size(), all.size()) << name;
            for (std::size_t i = 0; i < series.size(); ++i) {
                PriceRecord r = all.rows[i];
                // Balances stay carried until the run puts the real ones on their dates.
                r.marginBuy = series[i].marginBuy, r.marginSell = series[i].marginSell;
                EXPECT_EQ(series[i], r) << name;
            }
        }
        if (!r.killed) break;
    }
    const test::ProcessResult last = runCli(work, "--all-codes --topix");
    ASSERT_EQ(last.exitCode, 0) << last.err;
    EXPECT_EQ(folderBytes(work / "chart" / "data"), want);
}

// A gap back into past months takes them from the months' bulk files on a
// plan that has them (bars and balances): the data files and index.txt equal
// those of the same gap taken a day a request, also when runs are killed or
// stopped on the way.
TEST_F(JQuantsCatchUp, PastMonthsFromTheBulkFilesEqualTheDaysOfTheApi) {
    const fs::path log = *dir_ / "bulk-requests.log";
    PageServer server(market(), serve("standard", "--log " + log.string()));
    const auto chart = [](const fs::path& work) {
        Files files = folderBytes(work / "chart" / "data");
        files["index.txt"] = readFile(work / "chart" / "index.txt");
        return files;
    };
    const auto dayRequests = [&] {
        const std::string text = readFile(log);
        test::writeFile(log, "");
        std::size_t n = 0;
        for (std::size_t at = 0; (at = text.find("?date=", at)) != std::string::npos; ++at) ++n;
        return n;
    };
    const auto work = [&](const std::string& name, bool files) {
        const fs::path w = makeWork(name, server, 20250731);
        if (files) test::writeFile(w / "endpoints.conf", readFile(w / "endpoints.conf") + "jquants_plan=standard\n");
        return w;
    };
    test::writeFile(log, "");
    ASSERT_EQ(runCli(work("bulk-by-day", false), "--all-codes --topix").exitCode, 0);
    const std::size_t apiDays = dayRequests();
    const Files want = chart(*dir_ / "bulk-by-day");

    std::chrono::milliseconds whole{0};
    const struct {
        const char* name;
        std::vector<int> killsAtThirds;
        int stopAfterTicks = 0;
    } cases[] = {{"whole"}, {"killed twice", {1, 2}}, {"stopped", {}, 4}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path w = work(std::string("bulk-") + c.name, true);
        for (const int third : c.killsAtThirds) runCli(w, "--all-codes --topix", kKey, whole * third / 3);
        if (c.stopAfterTicks) {
            Application app;
            app.workDir = w;
            app.chartFolder = (w / "chart").string();
            ::setenv("JQUANTS_API_KEY", kKey, 1);
            const FixedClock clock(LocalDateTime{2026, 1, 9, 20, 0, 0});
            CatchUpJob job(app, loadEndpoints(w / "endpoints.conf"), test::onClock(clock));
            job.open();
            job.settings.indexOnly = false;
            job.settings.topix = true;
            JobOutcome o = job.start();
            for (int tick = 0; o.state == JobState::Running; ++tick) o = tick == c.stopAfterTicks ? job.stop() : job.tick();
            ASSERT_EQ(o.state, JobState::Stopped);
            for (o = job.start(); o.state == JobState::Running;) o = job.tick();
            ::unsetenv("JQUANTS_API_KEY");
            ASSERT_EQ(o.state, JobState::Finished) << o.message.value_or("");
        } else {
            const test::ProcessResult r = runCli(w, "--all-codes --topix");
            ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
            if (c.killsAtThirds.empty()) whole = r.elapsed;
        }
        if (c.killsAtThirds.empty() && !c.stopAfterTicks) EXPECT_LT(dayRequests() * 2, apiDays);  // most days from files
        EXPECT_TRUE(chart(w) == want);
    }
}

// The run's appends reach the disk at its end; a run cut short before that
// leaves its first day in the working folder, and the next run takes in every
// day from there (a mark left for another chart folder is ignored).
TEST_F(JQuantsCatchUp, ARunCutShortIsTakenInAgainFromItsFirstDay) {
    PageServer server(market(), serve("standard"));
    const fs::path work = makeWork("marked", server, kLastDay);
    const fs::path mark = work / "jquants-catch-up.run";
    ASSERT_EQ(runCli(work, "--from 20251229").exitCode, 0);
    const Files want = folderBytes(work / "chart" / "data");
    for (const auto& [chart, days] : {std::pair{std::string("/elsewhere"), "（2026-01-09〜2026-01-09）"},
                                      std::pair{(work / "chart").string(), "（2025-12-29〜2026-01-09）"}}) {
        test::writeFile(mark, "20251229 " + chart + "\n");
        const test::ProcessResult r = runCli(work, "");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        EXPECT_NE(r.out.find(days), std::string::npos) << r.out;
        EXPECT_FALSE(fs::exists(mark));
        EXPECT_TRUE(folderBytes(work / "chart" / "data") == want);  // taking days in again changes nothing
    }
}

// An odd file, one that ends after today or one beyond 64 MB sets its own
// code aside, named in the message; every other code gets its days, and
// nothing waits on a FIFO (at a price file's name or at index.txt).
TEST_F(JQuantsCatchUp, OddAndFutureFilesSetOnlyTheirCodeAside) {
    PageServer server(market(), serve("standard"));
    const fs::path work = makeWork("odd", server, kSeedDay);
    const fs::path data = work / "chart" / "data";
    const Files before = folderBytes(data);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : before) names.push_back(name);
    ASSERT_GE(names.size(), 6u);
    PriceSeries future = parsePriceSeries(before.at(names[4]));
    future.append(PriceRecord{20991231, 1, 1, 1, 1, 1, 0, 0});
    struct Odd {
        std::string name;
        std::function<void(const fs::path&)> make;
        const char* why;
    };
    const std::vector<Odd> odd = {
        {names[0], [](const fs::path& p) { fs::remove(p); ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         file_text::kNotRegular},
        {names[1], [&](const fs::path& p) { fs::remove(p); fs::create_symlink(data / names[5], p); }, file_text::kSymlink},
        {names[2], [](const fs::path& p) { fs::remove(p); fs::create_directory(p); }, file_text::kNotRegular},
        {names[3], [](const fs::path& p) { fs::resize_file(p, 6LL << 30); }, file_text::kOver64MB},
        {names[4], [&](const fs::path& p) { test::writeFile(p, serializePriceSeries(future)); }, "2099-12-31"},
    };
    for (const Odd& o : odd) o.make(data / o.name);
    const auto typeOf = [&](const std::string& name) { return fs::symlink_status(data / name).type(); };

    const test::ProcessResult r = runCli(work, "");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    for (const Odd& o : odd) {
        SCOPED_TRACE(o.name);
        EXPECT_NE((r.out + r.err).find((data / o.name).string() + " (" + o.why + ")"), std::string::npos) << r.err;
    }
    EXPECT_EQ(typeOf(names[0]), fs::file_type::fifo);
    EXPECT_EQ(typeOf(names[1]), fs::file_type::symlink);
    EXPECT_EQ(fs::file_size(data / names[3]), 6ULL << 30);
    EXPECT_EQ(readFile(data / names[4]), serializePriceSeries(future));
    for (std::size_t i = 5; i < names.size(); ++i)
        EXPECT_EQ(readFile(data / names[i]),
                  serializePriceSeries(expected(std::atoi(names[i].c_str()), kSeedDay, kLastDay)))
            << names[i];

    // index.txt as a FIFO: the codes cannot be read, said at once.
    fs::remove(work / "chart" / "index.txt");
    ASSERT_EQ(::mkfifo((work / "chart" / "index.txt").c_str(), 0600), 0);
    const test::ProcessResult fifo = runCli(work, "", kKey, std::chrono::milliseconds(20'000));
    EXPECT_EQ(fifo.exitCode, 1) << fifo.out << fifo.err;
    EXPECT_NE(fifo.err.find("銘柄コードが読めません"), std::string::npos) << fifo.err;
}

// No source or option stores a day after today in Japan: --through past it
// is cut back to today and said.
TEST_F(JQuantsCatchUp, NoDayAfterTodayIsStored) {
    PageServer server(market(), serve("standard"));
    const fs::path work = makeWork("today", server, kSeedDay);
    Application app;
    app.workDir = work;
    app.chartFolder = (work / "chart").string();
    ::setenv("JQUANTS_API_KEY", kKey, 1);
    const FixedClock clock(LocalDateTime{2026, 1, 7, 20, 0, 0});
    CatchUpJob job(app, loadEndpoints(work / "endpoints.conf"), test::onClock(clock));
    job.open();
    job.settings.through = kLastDay;
    JobOutcome o = job.start();
    while (o.state == JobState::Running) o = job.tick();
    ::unsetenv("JQUANTS_API_KEY");
    ASSERT_EQ(o.state, JobState::Finished) << o.message.value_or("");
    EXPECT_NE(o.message.value_or("").find("2026-01-09は今日より後のため、今日（2026-01-07）まで"), std::string::npos)
        << o.message.value_or("");
    for (const auto& e : fs::directory_iterator(work / "chart" / "data")) {
        PriceFile file;
        ASSERT_TRUE(file.open(e.path(), PriceFile::Mode::Read));
        EXPECT_LE(file.readLastRecord().date, 20260107) << e.path();
    }
}

}  // namespace
}  // namespace quarlink
