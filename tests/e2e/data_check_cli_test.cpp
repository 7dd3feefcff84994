// quarlink-cli check, export and import on a generated market: a clean bill
// for a fresh folder, every planted fault named, the repair with its backup,
// and the CSV round trip.
#include <gtest/gtest.h>

#include "core/store/folder_layout.h"
#include "core/store/price_series.h"
#include "support/page_server.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace quarlink;
using namespace quarlink::test;

namespace {

class DataCheckCli : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(generateMarket(dir_ / "chart", "--codes 12"));
        writeFile(dir_ / "work" / "Quarlink.conf", (dir_ / "chart").string() + ",0\r\n");
        for (const auto& e : fs::directory_iterator(dir_ / "chart" / "data"))
            if (e.path().filename().string()[0] != '0') codes_.push_back(e.path().filename().string());
        std::sort(codes_.begin(), codes_.end());
        ASSERT_GE(codes_.size(), 8u);
    }
    ProcessResult cli(std::vector<std::string> args) {
        args.insert(args.begin(), {"--workdir", (dir_ / "work").string()});
        return runProcess(QUARLINK_CLI_PATH, args);
    }
    fs::path data(const std::string& code) const { return dir_ / "chart" / "data" / code; }
    PriceSeries load(const std::string& code) const { return parseAllRecords(readFile(data(code))); }
    void store(const std::string& code, const PriceSeries& s, const std::string& tail = {}) {
        writeFile(data(code), serializePriceSeries(s) + tail);
    }

    TempDir dir_;
    std::vector<std::string> codes_;
};

TEST_F(DataCheckCli, CleanFolderFaultsNamedFixableOnesRepairedWithABackup) {
    const ProcessResult clean = cli({"check"});
    EXPECT_EQ(clean.exitCode, 0) << clean.out << clean.err;
    EXPECT_NE(clean.out.find("問題は見つかりませんでした"), std::string::npos) << clean.out;

    // One fault per code.
    const auto& c = codes_;
    store(c[0], load(c[0]), "\x01\x02");
    PriceSeries swapped = load(c[1]);
    std::swap(swapped[3], swapped[4]);
    store(c[1], swapped);
    PriceSeries doubled = load(c[2]);
    doubled.append(doubled[doubled.size() - 1]);
    doubled.rows.back().close += 1;
    doubled.rows.back().high = std::max(doubled.rows.back().high, doubled.rows.back().close);
    store(c[2], doubled);
    PriceSeries bad = load(c[3]);
    bad[5].high = bad[5].low - 1;
    store(c[3], bad);
    PriceSeries gap = load(c[4]);
    gap.rows.erase(gap.rows.begin() + 10);
    store(c[4], gap);
    fs::remove(data(c[5]));
    writeFile(data("9998"), readFile(data(c[6])));
    std::map<std::string, std::string> before;
    for (const auto& code : c) before[code] = fs::exists(data(code)) ? readFile(data(code)) : "";

    const ProcessResult found = cli({"check", "--json"});
    EXPECT_EQ(found.exitCode, 1);
    for (const auto& [code, kind] : std::vector<std::pair<std::string, std::string>>{
             {c[0], "partial_record"}, {c[1], "out_of_order"}, {c[2], "duplicate_date"}, {c[3], "bad_price"},
             {c[4], "missing_days"}, {c[5], "no_price_file"}, {"9998", "not_in_index"}})
        EXPECT_NE(found.out.find("\"code\": \"" + code + "\", \"kind\": \"" + kind + "\""), std::string::npos)
            << code << " " << kind << "\n" << found.out;
    EXPECT_EQ(cli({"check", "--code", c[6]}).exitCode, 0);

    // Without a terminal and without --yes the repair is declined.
    EXPECT_EQ(cli({"check", "--repair"}).exitCode, 1);
    EXPECT_FALSE(fs::exists(dir_ / "work" / "backup"));

    const ProcessResult repaired = cli({"check", "--repair", "--yes"});
    EXPECT_EQ(repaired.exitCode, 1) << "the bad price and the gaps stay";
    EXPECT_NE(repaired.out.find("修復"), std::string::npos) << repaired.out;
    std::vector<fs::path> folders;
    for (const auto& e : fs::directory_iterator(dir_ / "work" / "backup")) folders.push_back(e.path());
    ASSERT_EQ(folders.size(), 1u);
    EXPECT_EQ(folders[0].filename().string().rfind("repair-", 0), 0u);
    for (int i : {0, 1, 2}) EXPECT_EQ(readFile(folders[0] / c[i]), before[c[i]]) << c[i];
    EXPECT_EQ(std::distance(fs::directory_iterator(folders[0]), fs::directory_iterator()), 3);
    EXPECT_EQ(readFile(data(c[0])), before[c[0]].substr(0, before[c[0]].size() - 2));
    EXPECT_EQ(readFile(data(c[1])), serializePriceSeries(load(c[1])));
    PriceSeries sorted = load(c[1]);
    EXPECT_TRUE(std::is_sorted(sorted.rows.begin(), sorted.rows.end(),
                               [](auto& a, auto& b) { return a.date < b.date; }));
    EXPECT_EQ(load(c[2]).rows.back(), doubled.rows.back()) << "the last one written is kept";
    EXPECT_EQ(load(c[2]).size(), doubled.size() - 1);
    for (int i : {3, 4}) EXPECT_EQ(readFile(data(c[i])), before[c[i]]) << "not repairable: " << c[i];

    const ProcessResult again = cli({"check", "--repair", "--yes", "--json"});
    EXPECT_EQ(again.exitCode, 1);
    EXPECT_NE(again.out.find("\"partial_record\": 0, \"out_of_order\": 0, \"duplicate_date\": 0"), std::string::npos)
        << again.out;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "work" / "backup"), fs::directory_iterator()), 1);
}

TEST_F(DataCheckCli, ExportThenImportRoundTripsEveryRecordAndABadRowWritesNothing) {
    // A record dated -1 midway hides the rest from the chart program, not from the CSV.
    PriceSeries hidden = load(codes_[1]);
    hidden[hidden.size() / 2] = PriceRecord{};
    store(codes_[1], hidden);
    ASSERT_EQ(cli({"export", "--all", "--out", (dir_ / "csv").string()}).exitCode, 0);
    const ProcessResult one = cli({"export", "0101", "--from", "19000101"});
    EXPECT_EQ(one.exitCode, 0);
    EXPECT_EQ(one.out, readFile(dir_ / "csv" / "0101.csv"));
    for (const std::string& code : {std::string("0101"), codes_[0], codes_[1]}) {
        const std::string original = readFile(data(code));
        fs::remove(data(code));
        const ProcessResult r = cli({"import", code, (dir_ / "csv" / (code + ".csv")).string()});
        EXPECT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(readFile(data(code)), original) << code;
    }
    std::string csv = readFile(dir_ / "csv" / (codes_[1] + ".csv"));
    csv += "2001-02-29,1,1,1,1,1,1,1\n";
    writeFile(dir_ / "bad.csv", csv);
    const std::string before = readFile(data(codes_[1]));
    const ProcessResult refused = cli({"import", codes_[1], (dir_ / "bad.csv").string(), "--overwrite"});
    EXPECT_EQ(refused.exitCode, 1);
    const auto lines = std::count(csv.begin(), csv.end(), '\n');
    EXPECT_NE(refused.err.find(std::to_string(lines) + "行目"), std::string::npos) << refused.err;
    EXPECT_EQ(readFile(data(codes_[1])), before);
}

TEST_F(DataCheckCli, ALineLongerThanAnyRowIsRefusedWithoutBeingHeld) {
    // A good row, then a 256 MB line of NULs: a hole, so it costs no disk.
    const fs::path csv = dir_ / "long.csv";
    writeFile(csv, "date,open,high,low,close,volume\n2024-01-04,1,1,1,1,1\n");
    fs::resize_file(csv, 256 << 20);
    const std::string before = readFile(data(codes_[0]));
    const ProcessResult r = cli({"import", codes_[0], csv.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("3行目：行が長すぎます"), std::string::npos) << r.err.substr(0, 200);
    EXPECT_LT(r.err.size(), 500u);
    EXPECT_LT(r.maxRssKb, 64 << 10) << "the line was held in memory";
    EXPECT_EQ(readFile(data(codes_[0])), before);
}

}  // namespace
