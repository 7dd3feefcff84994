#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <sys/stat.h>

#include "core/health/check_report.h"
#include "core/health/data_check_job.h"
#include "support/file_job_fixture.h"
#include "core/store/index_table.h"
#include "support/fake_clock.h"

namespace quarlink {
namespace {

using testing::FileJobFixture;

// The calendar of data/0101: the weekdays of 2006-01-04 .. 2006-01-13.
constexpr std::int32_t kDays[] = {20060104, 20060105, 20060106, 20060109, 20060110,
                                  20060111, 20060112, 20060113};

class DataCheck : public FileJobFixture {
protected:
    void SetUp() override {
        FileJobFixture::SetUp();
        PriceSeries nikkei;
        for (std::int32_t d : kDays) nikkei.append(rec(d, 1600000));
        writeSeries(layout::dataFile(app, 101), nikkei);
        registered = {101, 1301};
    }
    void writeIndex() {
        std::string text = "date=20060113\r\n";
        for (int code : registered) text += layout::codeName(code) + ",N,T1,100\r\n";
        writeFile(layout::indexFile(app), text);
    }
    void put(int code, const std::string& bytes) { writeFile(layout::dataFile(app, code), bytes); }
    static std::string image(std::initializer_list<std::int32_t> dates) {
        PriceSeries s;
        for (std::int32_t d : dates) s.append(rec(d));
        return serializePriceSeries(s);
    }
    static std::string withRecord(std::string bytes, std::size_t at, const PriceRecord& r) {
        const RecordBytes b = encodeRecord(r);
        bytes.replace(at * kRecordSize, kRecordSize, reinterpret_cast<const char*>(b.data()), kRecordSize);
        return bytes;
    }
    DataCheckJob& check(bool repair = false, bool yes = true) {
        job = std::make_unique<DataCheckJob>(app, clock);
        job->open();
        job->settings.repair = repair;
        JobOutcome o = job->start();
        while (o.state == JobState::Running) {
            if (o.question) questions.push_back(*o.question);
            o = o.question ? job->answer(yes) : job->tick();
        }
        last = o;
        return *job;
    }
    // "code kind dates..." per unrepaired finding.
    std::set<std::string> described() const {
        std::set<std::string> out;
        for (const Finding& f : job->findings()) {
            if (f.repaired) continue;
            std::string line = findingCodeText(f) + " " + findingKey(f.kind);
            for (std::int32_t d : f.dates) line += " " + std::to_string(d);
            out.insert(line);
        }
        return out;
    }

    std::vector<int> registered;
    FixedClock clock{LocalDateTime{2006, 1, 13, 9, 30, 5}};
    std::unique_ptr<DataCheckJob> job;
    std::vector<std::string> questions;
    JobOutcome last;
};

TEST_F(DataCheck, NamesEachKindOfFaultAndNothingElse) {
    const std::string good = image({20060104, 20060105, 20060106, 20060109, 20060110, 20060111, 20060112, 20060113});
    struct Case {
        const char* name;
        std::function<void()> plant;
        std::set<std::string> expected;
    };
    const Case cases[] = {
        {"clean", [&] { put(1301, good); }, {}},
        {"all-zero day is fine",
         [&] { put(1301, withRecord(good, 1, {20060105, 0, 0, 0, 0, 0, 0, 0})); },
         {}},
        {"partial record", [&] { put(1301, good + "\x01\x02\x03"); },
         {"1301 partial_record"}},
        {"invalid date", [&] { put(1301, good + image({20060230})); },
         {"1301 invalid_date 20060230"}},
        {"end marker inside",
         [&] { put(1301, withRecord(good, 2, PriceRecord{})); },
         {"1301 invalid_date -1", "1301 missing_days 20060106"}},
        {"out of order",
         [&] { put(1301, image({20060104, 20060109, 20060105, 20060106})); },
         {"1301 out_of_order 20060105"}},
        {"duplicate date",
         [&] { put(1301, image({20060104, 20060105, 20060105, 20060106})); },
         {"1301 duplicate_date 20060105"}},
        {"duplicate behind an end marker",
         [&] { put(1301, withRecord(image({20060104, 20060105, 20060105, 20060105}), 1, PriceRecord{})); },
         {"1301 invalid_date -1", "1301 duplicate_date 20060105"}},
        {"duplicate out of order",
         [&] { put(1301, image({20060105, 20060106, 20060104, 20060105})); },
         {"1301 out_of_order 20060104", "1301 duplicate_date 20060105"}},
        {"after today", [&] { put(1301, good + image({20060116})); },
         {"1301 future_date 20060116"}},
        {"high below close",
         [&] { put(1301, withRecord(good, 0, {20060104, 100, 101, 90, 105, 1, 0, 0})); },
         {"1301 bad_price 20060104"}},
        {"negative price",
         [&] { put(1301, withRecord(good, 0, {20060104, -1, 0, 0, 0, 0, 0, 0})); },
         {"1301 bad_price 20060104"}},
        {"negative margin",
         [&] { put(1301, withRecord(good, 3, {20060109, 100, 110, 90, 105, 1, 0, -5})); },
         {"1301 negative_count 20060109"}},
        {"missing days",
         [&] { put(1301, image({20060104, 20060109, 20060110})); },
         {"1301 missing_days 20060105 20060106"}},
        {"missing days out of order",
         [&] { put(1301, image({20060110, 20060104})); },
         {"1301 out_of_order 20060104", "1301 missing_days 20060105 20060106 20060109"}},
        {"registered without file",
         [&] {
             put(1301, good);
             registered.push_back(1332);
         },
         {"1332 no_price_file"}},
        {"file without entry",
         [&] {
             put(1301, good);
             put(1333, good);
         },
         {"1333 not_in_index"}},
        {"symlink",
         [&] { std::filesystem::create_symlink(root / "elsewhere", layout::dataFile(app, 1301)); },
         {"1301 unreadable"}},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(layout::dataFile(app, 1301));
        std::filesystem::remove(layout::dataFile(app, 1333));
        registered = {101, 1301};
        c.plant();
        writeIndex();
        check();
        EXPECT_EQ(described(), c.expected) << c.name << "\n" << checkReportText(*job);
        EXPECT_TRUE(questions.empty()) << c.name;  // a check alone asks nothing and writes nothing
        // What the findings say 修復 fixes is exactly what a repair takes away.
        const auto kinds = [&](bool unfixableOnly) {
            std::set<std::string> out;
            for (const Finding& f : job->findings())
                if (!unfixableOnly || !findingFixable(f.kind)) out.insert(findingCodeText(f) + " " + findingKey(f.kind));
            return out;
        };
        const std::set<std::string> kept = kinds(true);
        check(/*repair=*/true);
        questions.clear();
        check();
        EXPECT_EQ(kinds(false), kept) << c.name << "\n" << checkReportText(*job);
    }
}

TEST_F(DataCheck, UnreadableIndexIsReportedAndTheFilesStillChecked) {
    writeFile(layout::dataFile(app, 1301), image({20060104, 20060104}));
    for (const bool fifo : {false, true}) {
        if (fifo) ASSERT_EQ(::mkfifo(layout::indexFile(app).c_str(), 0600), 0);  // must not hang the check
        check();
        EXPECT_EQ(described(), (std::set<std::string>{"- no_index", "1301 duplicate_date 20060104"})) << fifo;
    }
}

TEST_F(DataCheck, RepairFixesExactlyTheFixableKindsAfterABackupAndIsIdempotent) {
    // 1301: out of order, a duplicate (the later row wins), a bad price and a partial record.
    PriceSeries s;
    s.append(rec(20060105, 200));
    s.append(rec(20060104, 100));
    s.append(PriceRecord{20060105, 300, 301, 290, 310, 5, 1, 2});  // high below close; written last
    const std::string damaged = serializePriceSeries(s) + "xyz";
    writeFile(layout::dataFile(app, 1301), damaged);
    const std::string calendarBefore = readFile(layout::dataFile(app, 101));
    writeIndex();

    check(/*repair=*/true, /*yes=*/false);
    EXPECT_EQ(readFile(layout::dataFile(app, 1301)), damaged) << "No writes nothing";
    EXPECT_FALSE(std::filesystem::exists(layout::backupFolder(app)));

    questions.clear();
    check(true, true);
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_NE(questions[0].find("repair-20060113-093005"), std::string::npos) << questions[0];
    const auto backup = layout::backupFolder(app) / "repair-20060113-093005" / "1301";
    EXPECT_EQ(readFile(backup), damaged);
    PriceSeries fixed;
    fixed.append(rec(20060104, 100));
    fixed.append(PriceRecord{20060105, 300, 301, 290, 310, 5, 1, 2});
    EXPECT_EQ(readFile(layout::dataFile(app, 1301)), serializePriceSeries(fixed));
    EXPECT_EQ(readFile(layout::dataFile(app, 101)), calendarBefore);
    EXPECT_EQ(described(), (std::set<std::string>{"1301 bad_price 20060105"}));
    ASSERT_EQ(job->repairs().size(), 1u);
    EXPECT_EQ(job->repairs()[0].partialBytes, 3);
    EXPECT_EQ(job->repairs()[0].duplicatesDropped, 1);
    EXPECT_TRUE(job->repairs()[0].reordered);
    EXPECT_EQ(last.stopReason, JobOutcome::StopReason::None);

    // Again: nothing left to repair, no question, no second backup.
    questions.clear();
    check(true, true);
    EXPECT_TRUE(questions.empty());
    EXPECT_EQ(readFile(layout::dataFile(app, 1301)), serializePriceSeries(fixed));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(layout::backupFolder(app)),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(DataCheck, JsonNamesEveryKindInItsSummary) {
    writeFile(layout::dataFile(app, 1301), image({20060105, 20060104}));
    writeIndex();
    check();
    const std::string json = checkReportJson(*job, app.chartFolder);
    for (int k = 0; k < kFindingKinds; ++k)
        EXPECT_NE(json.find(std::string("\"") + findingKey(static_cast<FindingKind>(k)) + "\": "), std::string::npos);
    EXPECT_NE(json.find("\"code\": \"1301\", \"kind\": \"out_of_order\""), std::string::npos) << json;
    EXPECT_NE(json.find("\"clean\": false"), std::string::npos);
}

}  // namespace
}  // namespace quarlink
