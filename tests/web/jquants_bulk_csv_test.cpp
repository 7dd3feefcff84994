#include <gtest/gtest.h>

#include <cstdio>

#include "core/web/jquants/csv_rows.h"
#include "core/web/jquants/jquants_json.h"

namespace quarlink::jquants {
namespace {

const std::string kKey = "equities/bars/daily/historical/2025/equities_bars_daily_202501.csv.gz";
const std::string kHead = "Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor\n";

std::string shown(const DailyBar& r) {
    char text[160];
    std::snprintf(text, sizeof text, "%d %d %s%g/%g/%g/%g v%g x%g;", r.code, r.date, r.traded ? "" : "halt ", r.open,
                  r.high, r.low, r.close, r.volume, r.adjFactor);
    return text;
}
std::string shown(const MarginBalance& r) { return shown(DailyBar{r.date, r.code, true, r.longVol, r.shortVol}); }
std::string shown(const IndexBar& r) { return shown(DailyBar{r.date, 0, true, r.open, r.high, r.low, r.close}); }
std::string shown(const CalendarDay& r) { return std::to_string(r.date) + " " + std::to_string(r.holDiv) + ";"; }
template <class Row>
std::string shown(const Rows<Row>& rows) {
    std::string text;
    for (const Row& row : rows.rows) text += shown(row);
    return text + " other " + std::to_string(rows.otherCodes) + " missing " + std::to_string(rows.missingValues);
}

// The file fed in pieces cut at `cuts`; its rows, or its refusal.
template <class Row>
std::string read(std::string_view file, std::vector<std::size_t> cuts = {}) {
    CsvRows<Row> reader;
    reader.start(kKey);
    cuts.push_back(file.size());
    std::size_t from = 0;
    bool ok = true;
    for (const std::size_t cut : cuts) ok = ok && reader.feed(file.substr(from, cut - from)), from = cut;
    return ok && reader.finish() ? shown(reader.rows()) : reader.why();
}

TEST(JQuantsBulkCsv, ColumnsAreFoundByNameAndEveryLineIsChecked) {
    const struct {
        const char* name;
        std::string file, read;
    } cases[] = {
        {"columns reordered and extra, BOM, CRLF, no last newline",
         "\xEF\xBB\xBF" "AdjFactor,Vo,Code,MktCap,C,L,H,O,Date\r\n0.5,200,13010,x,105,90,110,100,2025-01-06\r\n"
         "1,7,72030,,9,9,9,9,20250107",
         "1301 20250106 100/110/90/105 v200 x0.5;7203 20250107 9/9/9/9 v7 x1; other 0 missing 0"},
        {"quoted fields with commas, quotes and a line break",
         "Date,Code,Name,O,H,L,C,Vo,AdjFactor\n2025-01-06,\"13010\",\"A, \"\"B\"\"\nC\",\"100.0\",110,90,105,5,1.0\n"
         "\n2025-01-07,13010,\"\",1,1,1,1,1,1\n",
         "1301 20250106 100/110/90/105 v5 x1;1301 20250107 1/1/1/1 v1 x1; other 0 missing 0"},
        {"as served, with empty and sentinel fields and other codes",
         kHead + "2025-01-06,13010,,,,,0,0,,,1.0\n2025-01-06,13020,-,*,,120.0,0,0,5,,\n"
                 "2025-01-06,13030,1,1,1,,0,0,1,1,-\n2025-01-06,130A0,1,1,1,1,0,0,1,1,1\n"
                 "2025-01-06,13040,3775.0,3800.0,3750.0,3790.0,0,0,21400.0,81000000.0,1.0\n",
         "1301 20250106 halt 0/0/0/0 v0 x1;1302 20250106 120/120/120/120 v5 x1;1303 20250106 halt 0/0/0/0 v0 x1;"
         "1304 20250106 3775/3800/3750/3790 v21400 x1; other 1 missing 1"},
        {"a missing column", "Date,Code,O,H,L,C,AdjFactor\n", kKey + "の見出し行に列Voがありません"},
        {"a column twice", "Date,Code,O,H,L,C,Vo,C,AdjFactor\n", kKey + "の見出し行に列Cが2回あります"},
        {"no header", "", kKey + "に見出し行がありません"},
        {"a price that cannot be one", kHead + "2025-01-06,13010,1,1,1,1,0,0,1,1,1\n2025-01-07,13010,120,110,90,100,0,0,1,1,1\n",
         kKey + "の3行目：銘柄コード13010の項目Oの値\"120\"（L〜Hの外です）"},
        {"the line after a quoted line break", "Date,Code,Name,O,H,L,C,Vo,AdjFactor\n2025-01-06,13010,\"a\nb\",1,1,1,1,1,1\n"
                                               "2025-01-06,13010,x,abc,1,1,1,1,1\n",
         kKey + "の4行目：銘柄コード13010の項目Oの値\"abc\"（数値ではありません）"},
        {"a row short of fields", kHead + "2025-01-06,13010,1,1,1,1\n", kKey + "の2行目：項目が6あります（見出し行は11）"},
        {"a quote never closed", kHead + "2025-01-06,\"13010,1\n", kKey + "の2行目：引用符で始まる項目が閉じていません"},
        {"text after a closing quote", kHead + "2025-01-06,\"13010\"0,1,1,1,1,0,0,1,1,1\n",
         kKey + "の2行目：引用符で閉じた項目のあとに続きがあります"},
        {"a stray quote", kHead + "2025-01-06,13\"010,1,1,1,1,0,0,1,1,1\n\"\n",
         kKey + "の2行目：引用符で囲まない項目に引用符があります"},
        {"a row over 64 KB", kHead + "2025-01-06,13010," + std::string(70'000, '1') + "\n",
         kKey + "の2行目：65536バイトを超える行があります"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(read<DailyBar>(c.file), c.read);
    }
}

// A row cut anywhere between two pieces of text reads as if it came whole.
TEST(JQuantsBulkCsv, PiecesCutAtAnyByteGiveTheSameRows) {
    const std::string file = "\xEF\xBB\xBF" "Date,Code,Name,O,H,L,C,Vo,AdjFactor\r\n"
                             "2025-01-06,13010,\"x, \"\"y\"\"\r\nz\",100,110,90,105,5,1.0\r\n"
                             "2025-01-06,13020,,,,,,,\r\n\"2025-01-07\",13010,-,1.5,1.5,1.5,1.5,7,0.5";
    const std::string whole = read<DailyBar>(file);
    ASSERT_EQ(whole, "1301 20250106 100/110/90/105 v5 x1;1302 20250106 halt 0/0/0/0 v0 x1;"
                     "1301 20250107 1.5/1.5/1.5/1.5 v7 x0.5; other 0 missing 0");
    std::vector<std::size_t> bytes;
    for (std::size_t at = 1; at < file.size(); bytes.push_back(at++)) EXPECT_EQ(read<DailyBar>(file, {at}), whole) << at;
    EXPECT_EQ(read<DailyBar>(file, bytes), whole);
}

// Each line read from a file with `header` takes as the API's JSON row with
// those values does, or is refused in the same words after the key and line.
template <class Row>
void expectAsJson(bool (*parse)(std::string_view, Rows<Row>&, std::string&, std::string*, std::size_t),
                  const std::string& header, std::initializer_list<std::string> lines) {
    const auto split = [](const std::string& line) {
        std::vector<std::string> parts(1);
        for (const char c : line) c == ',' ? (void)parts.emplace_back() : parts.back().push_back(c);
        return parts;
    };
    const std::vector<std::string> names = split(header);
    for (const std::string& line : lines) {
        SCOPED_TRACE(header + "\n" + line);
        const std::vector<std::string> values = split(line);
        std::string page = R"({"data":[{)";
        for (std::size_t i = 0; i < names.size(); ++i) page += (i ? ",\"" : "\"") + names[i] + "\":\"" + values[i] + "\"";
        Rows<Row> served;
        std::string next, why;
        const bool taken = parse(page + "}]}", served, next, &why, kAnyRows);
        EXPECT_EQ(read<Row>(header + "\n" + line + "\n"), taken ? shown(served) : kKey + "の2行目：" + why);
    }
}

TEST(JQuantsBulkCsv, RowsAreTakenAndRefusedAsTheApisRows) {
    expectAsJson(parseDailyBarsPage, "Date,Code,O,H,L,C,Vo,AdjFactor",
                 {"2025-01-06,13010,100,110,90,105,5,1", "2025-01-06,13010,abc,110,90,100,1,1",
                  "2025-02-30,13010,1,1,1,1,1,1", "2025-01-06,1301,1,1,1,1,1,1", "2025-01-06,13010,-5,110,90,100,1,1",
                  "2025-01-06,13010,0,110,0,100,1,1", "2025-01-06,13010,100,80,90,100,1,1",
                  "2025-01-06,13010,100,110,90,85,1,1", "2025-01-06,13010,100,110,90,100,2147483648,1",
                  "2025-01-06,13010,1e400,110,90,100,1,1", "2025-01-06,13010,-,110,90,120,1,1",
                  "2025-01-06,13010,100,110,90,100,1,0", "2025-01-06,13010,,,,100,,*"});
    expectAsJson(parseMarginPage, "Date,Code,IssType,ShrtVol,LongVol,ShrtNegVol",
                 {"2025-01-10,72030,2,300.0,1200,-", "2025-01-10,72030,2,3,-,1", "2025-01-10,72030,2,3,-1,1"});
    expectAsJson(parseIndexPage, "Date,O,H,L,C",
                 {"2025-01-06,2047.5,2069,2035,2045.4", "2025-01-06,,,,2050", "2025-01-06,1,3e7,1,1", "2025-01-06,1,1,1,"});
    expectAsJson(parseCalendarPage, "Date,HolDiv", {"2025-01-06,1", "2025-01-06,7", "2025-1-6,1"});
}

}  // namespace
}  // namespace quarlink::jquants

namespace quarlink::jquants {
namespace {

// A month's file holds that month alone and each (code, date) once; a margin
// row published again for its record date (a later PubDate) replaces the
// older wherever it stands, as the API's answers are checked too. A file that
// repeats one row without end is refused at the repeat, not read to its end.
TEST(JQuantsBulkCsv, AUnitHoldsItsOwnDaysOnce) {
    const std::string bars = kHead + "2025-01-06,13010,1,1,1,1,0,0,1,1,1\n";
    const std::string margin = "Date,Code,ShrtVol,LongVol,PubDate\n";
    const struct {
        const char* name;
        bool isMargin;
        std::string file, read;
    } cases[] = {
        {"a row of the month before", false, bars + "2024-12-30,13020,1,1,1,1,0,0,1,1,1\n",
         kKey + "の3行目：日付2024-12-30の行があります（2025-01-01〜2025-01-31の分のはずです）"},
        {"a code twice on a day", false, bars + "2025-01-06,13010,2,2,2,2,0,0,2,2,1\n",
         kKey + "の3行目：銘柄コード1301が2025-01-06に2回あります"},
        {"one row repeated a million times", false, bars + [] {
             std::string more;
             for (int i = 0; i < 1'000'000; ++i) more += "2025-01-06,13010,1,1,1,1,0,0,1,1,1\n";
             return more;
         }(),
         kKey + "の3行目：銘柄コード1301が2025-01-06に2回あります"},
        {"a correction after the row", true,
         margin + "2025-01-10,13010,5,6,2025-01-14\n2025-01-10,13020,1,1,\n2025-01-10,13010,7,8,2025-01-15\n",
         "1301 20250110 8/7/0/0 v0 x1;1302 20250110 1/1/0/0 v0 x1; other 0 missing 0 corrections 1"},
        {"a correction before the row", true,
         margin + "2025-01-10,13010,7,8,2025-01-15\n2025-01-10,13010,5,6,2025-01-14\n",
         "1301 20250110 8/7/0/0 v0 x1; other 0 missing 0 corrections 1"},
        {"the same publication twice", true, margin + "2025-01-10,13010,5,6,2025-01-14\n2025-01-10,13010,7,8,2025-01-14\n",
         kKey + "の3行目：銘柄コード1301が2025-01-10に2回あります"},
        {"twice without a publication date", true, margin + "2025-01-10,13010,5,6,\n2025-01-10,13010,7,8,\n",
         kKey + "の3行目：銘柄コード1301が2025-01-10に2回あります"},
        {"balances of the weeks before, as a file cut by publication", true, margin + "2024-12-20,13010,5,6,\n",
         "1301 20241220 6/5/0/0 v0 x1; other 0 missing 0 corrections 0"},
        {"a balance of the month after", true, margin + "2025-02-03,13010,5,6,\n",
         kKey + "の2行目：日付2025-02-03の行があります（2025-01-01〜2025-01-31の分のはずです）"},
    };
    const auto read = [](auto reader, const std::string& file) {
        reader.expect(20250101, 20250131);
        reader.start(kKey);
        if (!reader.feed(file) || !reader.finish()) return reader.why();
        return shown(reader.rows()) + " corrections " + std::to_string(reader.rows().corrections);
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string got = c.isMargin ? read(CsvRows<MarginBalance>{}, c.file) : read(CsvRows<DailyBar>{}, c.file);
        EXPECT_EQ(got, c.read);
    }
}

}  // namespace
}  // namespace quarlink::jquants
