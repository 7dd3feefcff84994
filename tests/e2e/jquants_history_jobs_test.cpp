// init-create and margin-fill with --source jquants against the API of
// quarlink-pages, compared with what the price and margin tables of the same
// market give.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <thread>

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include "core/store/price_file.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

namespace fs = std::filesystem;
using test::PageServer;
using test::readFile;
using Files = std::map<std::string, std::string>;

constexpr const char* kKey = "fake-key-history-5ca1ab1e";
constexpr std::int32_t kLastDay = 20260109;
constexpr std::int32_t kWindowFrom = 20231017, kWindowTo = 20251017;  // the free plan's, 12 weeks before

Files folderBytes(const fs::path& dir) {
    Files files;
    if (fs::exists(dir))
        for (const auto& e : fs::directory_iterator(dir)) files[e.path().filename().string()] = readFile(e.path());
    return files;
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t n = 0;
    for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Returns once `folder` holds `count` entries, or `done` is signalled, on the
// folder's inotify events: the run's progress is watched, not sampled. The
// bound only keeps a stuck run from hanging the test.
void waitForEntries(const fs::path& folder, std::ptrdiff_t count, int done) {
    const int watch = ::inotify_init1(IN_CLOEXEC);
    const auto until = std::chrono::steady_clock::now() + std::chrono::minutes(2);
    ::inotify_add_watch(watch, folder.parent_path().c_str(), IN_CREATE);  // the run makes the folder
    for (;;) {
        ::inotify_add_watch(watch, folder.c_str(), IN_CREATE | IN_MOVED_TO);
        std::error_code ec;
        const auto it = fs::directory_iterator(folder, ec);
        if (!ec && std::distance(fs::begin(it), fs::end(it)) >= count) break;
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd ready[] = {{watch, POLLIN, 0}, {done, POLLIN, 0}};
        if (left.count() <= 0 || ::poll(ready, 2, static_cast<int>(left.count())) <= 0 || ready[1].revents) break;
        char events[4096];
        if (::read(watch, events, sizeof events) < 0) break;
    }
    ::close(watch);
}

class JQuantsHistoryJobs : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new test::TempDir;
        ASSERT_TRUE(test::generateMarket(*dir_ / "market", "--codes 12 --from 2023 --to " + std::to_string(kLastDay)));
        // The margin fill looks six months back from today.
        ASSERT_TRUE(test::generateMarket(*dir_ / "recent", "--codes 8"));
    }
    static void TearDownTestSuite() { delete dir_; }

    // A working folder with the pages and the API of `server`, and an empty chart folder.
    static fs::path makeWork(const std::string& name, const PageServer& server) {
        const fs::path work = *dir_ / name;
        fs::create_directories(work / "chart" / "data");
        const std::string at = "127.0.0.1:" + std::to_string(server.port());
        test::writeFile(work / "endpoints.conf", "history=" + at + "\nretry_wait_ms=0\njquants=http://" + at +
                                                     "/v2\njquants_rpm=0\n");
        test::writeFile(work / "Quarlink.conf", (work / "chart").string() + ",0\r\n");
        return work;
    }

    static test::ProcessResult runCli(const fs::path& work, const std::string& args) {
        std::vector<std::string> argv{"--workdir", work.string()};
        std::istringstream words(args);
        for (std::string w; words >> w;) argv.push_back(w);
        return test::runProcess(QUARLINK_CLI_PATH, argv, {{"JQUANTS_API_KEY", kKey}}, {},
                                std::chrono::milliseconds(120'000));
    }

    // The API's clock stands two weeks on, when the recent market's last balances are out.
    static std::string serve(const std::string& plan, const std::string& more = {}) {
        const std::chrono::year_month_day later{std::chrono::floor<std::chrono::days>(std::chrono::system_clock::now()) +
                                                std::chrono::days(14)};
        char now[40];
        std::snprintf(now, sizeof now, " --now %04d-%02u-%02uT00:00 ", int(later.year()), unsigned(later.month()),
                      unsigned(later.day()));
        return std::string("--api-key ") + kKey + " --plan " + plan + " --rate-window-ms 0" + now + more;
    }

    // The page source's initial data of the market from 2023, TOPIX included.
    static const Files& pageInit() {
        static const Files files = [] {
            PageServer pages(*dir_ / "market");
            const fs::path work = makeWork("pages-init", pages);
            const test::ProcessResult r = runCli(work, "init-create --topix --start-year 2023");
            EXPECT_EQ(r.exitCode, 0) << r.err;
            return folderBytes(work / "init");
        }();
        return files;
    }

    static test::TempDir* dir_;
};
test::TempDir* JQuantsHistoryJobs::dir_ = nullptr;

// The API builds what the price tables build, record for record: rounded
// prices, halted days as fillers with carried balances, TOPIX in hundredths;
// a run stopped by dropped connections and resumed writes the same files.
TEST_F(JQuantsHistoryJobs, InitialDataEqualsThePageSourceAndResumes) {
    const Files& want = pageInit();
    ASSERT_EQ(want.size(), 13u);  // 12 codes and TOPIX
    int fillers = 0;
    for (const auto& [name, bytes] : want) {
        const PriceSeries series = parsePriceSeries(bytes);
        ASSERT_FALSE(series.empty()) << name;
        const PriceRecord& last = series.rows.back();
        EXPECT_EQ(last.date, kLastDay) << name;
        fillers += last.close == 0 && last.marginBuy != 0;
    }
    EXPECT_GE(fillers, 1);  // a code halted on the last day

    PageServer api(*dir_ / "market", serve("standard", "--page-size 97"));
    const fs::path work = makeWork("api-init", api);
    const test::ProcessResult r = runCli(work, "init-create --source jquants --topix --nikkei --start-year 2023");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(folderBytes(work / "init"), want);
    EXPECT_NE(r.out.find("初期化データ作成終了"), std::string::npos) << r.out;
    EXPECT_EQ(count(r.err, "J-Quantsには日経平均がありません"), 1u) << r.err;
    EXPECT_EQ((r.out + r.err).find(kKey), std::string::npos);

    // The server goes away in the middle of the run: exit 2 naming the code
    // to resume from; resumed against a new server, the run goes on from the
    // file it was in and the files are the same.
    const std::string args = "init-create --source jquants --topix --start-year 2023";
    const fs::path resumed = *dir_ / "api-init-stopped";
    test::ProcessResult stopped;
    {
        PageServer slow(*dir_ / "market", serve("standard", "--page-size 500 --delay-ms 20"));
        makeWork("api-init-stopped", slow);
        const int done = ::eventfd(0, EFD_CLOEXEC);
        std::thread run([&] {
            stopped = runCli(resumed, args);
            ::eventfd_write(done, 1);
        });
        // Gone while the market's history is being gathered: the first files are in.
        waitForEntries(resumed / "history", 3, done);
        slow.stop();
        run.join();
        ::close(done);
    }
    ASSERT_EQ(stopped.exitCode, 2) << stopped.out << stopped.err;
    const auto at = stopped.out.rfind("--resume-from ");
    ASSERT_NE(at, std::string::npos) << stopped.out;
    EXPECT_NE(stopped.err.find("J-Quantsとの通信が切断されました。"), std::string::npos) << stopped.err;
    makeWork("api-init-stopped", api);
    const test::ProcessResult r2 =
        runCli(resumed, args + " --resume-from " + std::to_string(std::atoi(stopped.out.c_str() + at + 14)));
    ASSERT_EQ(r2.exitCode, 0) << r2.out << r2.err;
    EXPECT_EQ(folderBytes(resumed / "init"), want);
}

// The free plan: the window is said once and nothing outside it is written;
// margin balances are not in the plan (said once, left 0). TOPIX is refused
// before anything is written.
TEST_F(JQuantsHistoryJobs, FreePlanKeepsToItsWindowAndRefusesTopix) {
    PageServer api(*dir_ / "market", serve("free"));
    const fs::path work = makeWork("api-free", api);
    const test::ProcessResult refused = runCli(work, "init-create --source jquants --topix --start-year 2023");
    EXPECT_EQ(refused.exitCode, 1);
    EXPECT_NE(refused.err.find("TOPIXはJ-QuantsのLightプラン以上"), std::string::npos) << refused.err;
    EXPECT_TRUE(folderBytes(work / "init").empty());

    const test::ProcessResult r = runCli(work, "init-create --source jquants --start-year 2023");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(count(r.err, "2023-10-17〜2025-10-17"), 1u) << r.err;
    EXPECT_EQ(count(r.err, "Standardプラン"), 1u) << r.err;
    Files expected;
    for (const auto& [name, bytes] : pageInit()) {
        if (name == "0102") continue;
        PriceSeries kept;
        for (PriceRecord rec : parsePriceSeries(bytes).rows) {
            if (rec.date < kWindowFrom || rec.date > kWindowTo) continue;
            rec.marginBuy = rec.marginSell = 0;
            kept.append(rec);
        }
        expected[name] = serializePriceSeries(kept);
    }
    EXPECT_EQ(folderBytes(work / "init"), expected);
}

// A start before the plan's files: the bulk files are listed from the plan's
// window when the plan is known, and from the window the service names when
// it refuses an earlier month (the mock does) while the plan is not known yet.
TEST_F(JQuantsHistoryJobs, BulkFilesAreListedWithinThePlansWindow) {
    PageServer api(*dir_ / "market", serve("light"));
    Files known;
    for (const char* plan : {"jquants_plan=light\n", ""}) {
        SCOPED_TRACE(*plan ? "plan known" : "plan not known");
        const fs::path work = makeWork(std::string("window-") + (*plan ? "known" : "unknown"), api);
        test::writeFile(work / "endpoints.conf", readFile(work / "endpoints.conf") + plan);
        const test::ProcessResult r = runCli(work, "init-create --source jquants --start-year 2006");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        const Files files = folderBytes(work / "init");
        EXPECT_GE(files.size(), 12u);
        if (*plan) known = files;
        else EXPECT_TRUE(files == known);
    }
}

// The margin fill through the API equals the margin tables' fill; a plan
// without margin data stops at once, names the plan and changes nothing.
TEST_F(JQuantsHistoryJobs, MarginFillEqualsThePageSourceAndRefusesLowerPlans) {
    const fs::path recent = *dir_ / "recent";
    const auto seed = [&](const fs::path& work) {
        fs::copy_file(recent / "index.txt", work / "chart" / "index.txt");
        for (const auto& e : fs::directory_iterator(recent / "data")) {
            PriceSeries series = parsePriceSeries(readFile(e.path()));
            for (PriceRecord& r : series.rows) r.marginBuy = r.marginSell = 0;
            test::writeFile(work / "chart" / "data" / e.path().filename(), serializePriceSeries(series));
        }
    };
    PageServer pages(recent);
    const fs::path reference = makeWork("fill-pages", pages);
    seed(reference);
    const Files before = folderBytes(reference / "chart" / "data");
    ASSERT_EQ(runCli(reference, "margin-fill").exitCode, 0);
    const Files want = folderBytes(reference / "chart" / "data");
    ASSERT_NE(want, before);

    PageServer standard(recent, serve("standard", "--page-size 3"));
    const fs::path work = makeWork("fill-api", standard);
    seed(work);
    const test::ProcessResult r = runCli(work, "margin-fill --source jquants");
    ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
    EXPECT_EQ(folderBytes(work / "chart" / "data"), want);

    for (const char* plan : {"light", "free"}) {
        SCOPED_TRACE(plan);
        PageServer lower(recent, serve(plan));
        const fs::path refused = makeWork(std::string("fill-") + plan, lower);
        seed(refused);
        const test::ProcessResult l = runCli(refused, "margin-fill --source jquants --all-codes");
        EXPECT_EQ(l.exitCode, 1);
        EXPECT_NE(l.err.find("J-QuantsのStandardプラン以上"), std::string::npos) << l.err;
        EXPECT_EQ(folderBytes(refused / "chart" / "data"), before);
    }
}

// The split scan reads the factors from the bars' files on a plan that has
// them, and a whole-market day a request on Free: the same splits either
// way, and no day a file holds is asked for by itself.
TEST_F(JQuantsHistoryJobs, SplitScanFindsTheSameSplitsFromFilesAsDayByDay) {
    const struct {
        const char* plan;
        bool files;
    } cases[] = {{"free", false}, {"light", true}, {"premium", true}};
    std::string want;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.plan);
        const fs::path log = *dir_ / (std::string("splits-") + c.plan + ".log");
        PageServer api(*dir_ / "market", serve(c.plan, "--log " + log.string()));
        const fs::path work = makeWork(std::string("splits-") + c.plan, api);
        test::writeFile(work / "endpoints.conf", readFile(work / "endpoints.conf") + "jquants_plan=" + c.plan + "\n");
        for (const auto& e : fs::directory_iterator(*dir_ / "market" / "data"))
            fs::copy_file(e.path(), work / "chart" / "data" / e.path().filename());
        const test::ProcessResult r = runCli(work, "splits --source jquants --from 20231017");
        ASSERT_EQ(r.exitCode, 0) << r.out << r.err;
        // The splits listed, those of Free's window (it ends weeks before the market's last day).
        std::istringstream lines(r.out.substr(std::min(r.out.size(), r.out.find("index.txtにない分割・併合"))));
        std::string found;
        for (std::string line; std::getline(lines, line);)
            if (const auto at = line.find("\tS:"); at != std::string::npos && std::stoi(line.substr(at + 3, 8)) <= kWindowTo)
                found += line + '\n';
        const std::string asked = readFile(log);
        EXPECT_EQ(count(asked, "/v2/bulk/get") > 0, c.files) << asked;
        EXPECT_EQ(count(asked, "/v2/equities/bars/daily?date=2025") > 0, !c.files) << asked;
        if (want.empty()) want = found;
        EXPECT_EQ(found, want);
    }
    EXPECT_GE(count(want, "\tS:"), 1u) << want;
}

// A new user with a key and an empty chart folder: initial data, transfer,
// the code list and the catch-up leave a folder the check finds complete.
TEST_F(JQuantsHistoryJobs, ANewUserFillsAnEmptyChartFolder) {
    PageServer api(*dir_ / "market", serve("standard"));
    const fs::path work = makeWork("new-user", api);
    for (const char* step : {"init-create --source jquants --start-year 2025", "init-transfer",
                             "index-update --source jquants --apply --yes",
                             "update --source jquants --through 20260109", "check"}) {
        const test::ProcessResult r = runCli(work, step);
        ASSERT_EQ(r.exitCode, 0) << step << "\n" << r.out << r.err;
    }
    const Files data = folderBytes(work / "chart" / "data");
    EXPECT_EQ(data.size(), 12u);
    for (const auto& [name, bytes] : data) {
        const PriceSeries series = parsePriceSeries(bytes);
        ASSERT_FALSE(series.empty()) << name;
        EXPECT_EQ(series.rows.front().date / 10000, 2025) << name;
        EXPECT_EQ(series.rows.back().date, kLastDay) << name;
        EXPECT_NE(readFile(work / "chart" / "index.txt").find("\n" + name + ","), std::string::npos) << name;
    }
}

}  // namespace
}  // namespace quarlink

namespace quarlink {
namespace {

// Month files a faulty server damaged, through every job that reads them:
// a (code, date) twice or a row of another month is refused (exit 3, naming
// the file and line) before anything is written; a file of the header alone
// has its days asked of the API, and the files come out as from a sound server.
TEST_F(JQuantsHistoryJobs, DamagedMonthFilesAreRefusedOrTheirDaysAskedThroughEveryJob) {
    using namespace std::chrono;
    const year_month_day today{floor<days>(system_clock::now())};
    const year_month damaged = year_month{today.year(), today.month()} - months(3);
    const std::int32_t month = int(damaged.year()) * 100 + int(unsigned(damaged.month()));
    const auto dayOf = [](year_month_day d) { return int(d.year()) * 10000 + int(unsigned(d.month())) * 100 + int(unsigned(d.day())); };
    const std::int32_t seedDay = dayOf(year_month_day{sys_days{damaged / 1} - days(1)});
    const std::int32_t through = dayOf(year_month_day{(damaged + months(1)) / std::chrono::last});
    const fs::path recent = *dir_ / "recent";

    // Each job: how its folder is seeded, its arguments, and what it leaves to compare.
    const auto seedChart = [&](const fs::path& work, std::int32_t upTo, bool balances) {
        fs::copy_file(recent / "index.txt", work / "chart" / "index.txt", fs::copy_options::overwrite_existing);
        for (const auto& e : fs::directory_iterator(recent / "data")) {
            PriceSeries series = parsePriceSeries(readFile(e.path())), kept;
            for (PriceRecord r : series.rows) {
                if (!balances) r.marginBuy = r.marginSell = 0;
                if (r.date <= upTo) kept.append(r);
            }
            test::writeFile(work / "chart" / "data" / e.path().filename(), serializePriceSeries(kept));
        }
    };
    const struct Job {
        const char* name;
        std::string args;
        std::function<void(const fs::path&)> seed;
        const char* result;  // the folder compared
        bool keepsDaysBefore = false;  // a stop keeps the days taken before the damaged month
    } jobs[] = {
        {"init-create", "init-create --source jquants --topix --start-year " + std::to_string(month / 100),
         [](const fs::path&) {}, "init"},
        {"margin-fill", "margin-fill --source jquants", [&](const fs::path& w) { seedChart(w, 99991231, false); },
         "chart/data"},
        {"update", "update --source jquants --topix --through " + std::to_string(through),
         [&](const fs::path& w) { seedChart(w, seedDay, true); }, "chart/data", true},
        {"splits", "splits --source jquants --apply --from " + std::to_string(seedDay),
         [&](const fs::path& w) { seedChart(w, 99991231, true); }, "chart"},
    };
    for (const Job& job : jobs) {
        SCOPED_TRACE(job.name);
        const auto run = [&](const std::string& damage, Files& after) {
            PageServer api(recent, serve("standard", damage.empty() ? "" : "--damage-bulk " + damage + ":" + std::to_string(month)));
            const fs::path work = makeWork(std::string("damaged-") + job.name + "-" + (damage.empty() ? "none" : damage), api);
            // The plan known, as after a connection test: the catch-up and the split scan read files then.
            test::writeFile(work / "endpoints.conf", readFile(work / "endpoints.conf") + "jquants_plan=standard\n");
            job.seed(work);
            const Files before = folderBytes(work / job.result);
            const test::ProcessResult r = runCli(work, job.args);
            after = folderBytes(work / job.result);
            const auto fromDamaged = [&] {
                for (const auto& [name, bytes] : after)
                    for (const PriceRecord& r : parsePriceSeries(bytes).rows)
                        if (r.date / 100 >= month) return true;
                return false;
            };
            if (damage == "twice" || damage == "foreign")
                EXPECT_TRUE(job.keepsDaysBefore ? !fromDamaged() : after == before) << "files changed";
            return r;
        };
        Files sound, got;
        const test::ProcessResult good = run("", sound);
        ASSERT_EQ(good.exitCode, 0) << good.out << good.err;
        for (const char* damage : {"twice", "foreign", "empty"}) {
            SCOPED_TRACE(damage);
            const test::ProcessResult r = run(damage, got);
            if (std::string(damage) == "empty") {
                EXPECT_EQ(r.exitCode, 0) << r.out << r.err;
                EXPECT_TRUE(got == sound) << "files differ from a sound server's";
            } else {
                EXPECT_EQ(r.exitCode, 3) << r.out << r.err;
                EXPECT_NE((r.out + r.err).find("行目："), std::string::npos) << r.out << r.err;
            }
        }
    }
}

}  // namespace
}  // namespace quarlink
