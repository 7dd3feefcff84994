#include <gtest/gtest.h>

#include "core/health/price_csv.h"
#include "core/store/echo_text.h"
#include "core/store/price_file.h"
#include "core/store/price_series.h"

namespace quarlink {
namespace {

constexpr std::int32_t kToday = 20240131;

std::string image(const std::vector<PriceRecord>& rows) {
    PriceSeries s;
    for (const auto& r : rows) s.append(r);
    return serializePriceSeries(s);
}

TEST(PriceCsv, ExportThenImportIsTheIdentity) {
    const std::string file = image({{19991230, 100, 120, 90, 110, 5000, 700, 300},
                                    {20000104, 0, 0, 0, 0, 0, 0, 0},
                                    {20240105, 2147483647, 2147483647, 1, 2, 3, 4, 5}});
    const std::string csv = priceCsv(file);
    EXPECT_EQ(csv.substr(0, csv.find('\n', 60) + 1),
              "date,open,high,low,close,volume,margin_sell,margin_buy\n1999-12-30,100,120,90,110,5000,300,700\n");
    const CsvImport rows = parsePriceCsv(csv, kToday);
    ASSERT_EQ(rows.error, "");
    EXPECT_EQ(importPriceCsv("", rows, false).image, file);
    const ImportResult again = importPriceCsv(file, rows, true);
    EXPECT_EQ(again.image, file);
    EXPECT_EQ(again.replaced, 3);
    // The date range keeps the rows between the bounds.
    EXPECT_EQ(priceCsv(file, 20000101, 20231231),
              "date,open,high,low,close,volume,margin_sell,margin_buy\n2000-01-04,0,0,0,0,0,0,0\n");
}

TEST(PriceCsv, EveryWholeRecordRoundTripsWhereverADateMinusOneStands) {
    const PriceRecord a{20240104, 100, 120, 90, 110, 5000, 700, 300}, b{20240105, 1, 1, 1, 1, 1, 0, 0},
        c{20240109, 2, 2, 2, 2, 2, 0, 0}, end{-1, -1, -1, -1, -1, -1, -1, -1}, odd{-1, 7, 0, -2, 0, 0, 0, 9};
    const struct {
        const char* where;
        std::vector<PriceRecord> rows;
    } cases[] = {{"midway", {a, end, b, c}}, {"first", {end, a, b}}, {"last", {a, b, end}},
                 {"only", {end, end}},       {"several", {a, odd, b, end, end, c}}};
    for (const auto& k : cases) {
        SCOPED_TRACE(k.where);
        const std::string file = image(k.rows), csv = priceCsv(file);
        EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), static_cast<long>(k.rows.size()) + 1);
        const CsvImport rows = parsePriceCsv(csv, kToday);
        ASSERT_EQ(rows.error, "");
        EXPECT_EQ(importPriceCsv("", rows, false).image, file);
        // Over the file itself each record dated -1 takes the place of its twin.
        for (const bool overwrite : {false, true}) EXPECT_EQ(importPriceCsv(file, rows, overwrite).image, file);
    }
}

TEST(PriceCsv, ABadRowIsRefusedByItsLineAndNothingIsTaken) {
    const std::string header = "date,open,high,low,close,volume,margin_sell,margin_buy\n";
    const std::string good = "2024-01-04,100,110,90,105,10,1,2\n";
    const struct {
        std::string text;
        std::string error;  // the start of the message
    } cases[] = {
        {"", "見出しの行がありません"},
        {"date,open,high,low,close\n", "1行目：列がありません：volume"},
        {"date,open,high,low,close,volume,margin_sell\n", "1行目：margin_sell と margin_buy"},
        {"date,open,high,low,close,volume,adj\n", "1行目：知らない列名です：adj"},
        {header + good + "2024-01-05,100,110,90,105,10,1\n", "3行目：列の数が見出しと違います"},
        {header + good + "2024-02-30,100,110,90,105,10,1,2\n", "3行目：日付が読めないか暦にありません"},
        {header + good + "2024-01-05,1O0,110,90,105,10,1,2\n", "3行目：open が数ではありません"},
        {header + good + "2024-01-05,100,110,90,105,-10,1,2\n", "3行目：volume が負です"},
        {header + good + "2024-01-05,100,99,90,105,10,1,2\n", "3行目：高値・安値が始値・終値と矛盾"},
        {header + good + "2024-02-01,100,110,90,105,10,1,2\n", "3行目：今日より後の日付"},
        {header + good + "\n2024-01-04,100,110,90,105,10,1,2\n", "4行目：同じ日付の行がすでにあります"},
        {header + good + "2024-01-05,99999999999,110,90,105,10,1,2\n", "3行目：open が数ではありません"},
        {header + std::string(kMaxCsvLineBytes + 1, '1') + "\n" + good, "2行目：行が長すぎます"},
        // Bytes of the file are quoted with their controls escaped, and cut short.
        {"date,\x1b]0;owned\x07\x1b[2J,open\n", "1行目：知らない列名です：\\x1b]0;owned\\x07\\x1b[2J"},
        {header + "2024-01-05,\x1b[31m1,110,90,105,10,1,2\n", "2行目：open が数ではありません：\\x1b[31m1"},
        {header + std::string(1000, '9') + ",1,1,1,1,1,1,1\n",
         "2行目：日付が読めないか暦にありません：" + std::string(kEchoLimit, '9') + "…"},
    };
    for (const auto& c : cases) {
        const CsvImport r = parsePriceCsv(c.text, kToday);
        EXPECT_EQ(r.error.substr(0, c.error.size()), c.error) << c.text;
        EXPECT_TRUE(r.rows.empty()) << c.text;
    }
}

TEST(PriceCsv, CommonDownloadsTakeTheFilesMarginBalances) {
    // Excel's byte order mark, CR LF, quoted thousands, a decimal, any column order.
    const std::string csv =
        "\xEF\xBB\xBFVolume,Date,Open,High,Low,Close\r\n"
        "\"1,200\",2024/01/05,100,110.4,90,105\r\n"
        "300,20240103,100,110,90,105\r\n"
        "400,2024-01-09,100,110,90,105\r\n";
    const CsvImport rows = parsePriceCsv(csv, kToday);
    ASSERT_EQ(rows.error, "");
    EXPECT_FALSE(rows.hasMargins);
    const std::string file = image({{20240104, 1, 1, 1, 1, 1, 70, 30}, {20240105, 2, 2, 2, 2, 2, 80, 40}});
    // Without --overwrite the file keeps 2024-01-05; the new days carry the balances.
    const ImportResult kept = importPriceCsv(file, rows, false);
    EXPECT_EQ(kept.added, 2);
    EXPECT_EQ(kept.kept, 1);
    EXPECT_EQ(parsePriceSeries(kept.image).rows,
              (std::vector<PriceRecord>{{20240103, 100, 110, 90, 105, 300, 0, 0},
                                        {20240104, 1, 1, 1, 1, 1, 70, 30},
                                        {20240105, 2, 2, 2, 2, 2, 80, 40},
                                        {20240109, 100, 110, 90, 105, 400, 80, 40}}));
    const ImportResult replaced = importPriceCsv(file, rows, true);
    EXPECT_EQ(parsePriceSeries(replaced.image).rows[2], (PriceRecord{20240105, 100, 110, 90, 105, 1200, 80, 40}));
}

}  // namespace
}  // namespace quarlink
