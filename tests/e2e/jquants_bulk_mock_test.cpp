// The bulk files of quarlink-pages' J-Quants API: lists by plan and date,
// presigned downloads, and files that hold what the API serves.
#include <gtest/gtest.h>

#include <httplib.h>
#include <regex>
#include <sstream>
#include <zlib.h>

#include "core/env/clock.h"
#include "core/store/index_flags.h"
#include "core/store/index_table.h"
#include "core/web/jquants/jquants_json.h"
#include "support/page_server.h"
#include "support/temp_dir.h"

namespace quarlink {
namespace {

constexpr const char* kKey = "fake-key-bulk-5eed0f11e5";

// From 2020 to Friday 2026-10-09.
std::filesystem::path market() {
    static const test::TempDir dir;
    static const bool made = test::generateMarket(dir / "market", "--codes 30 --from 2020 --to 20261009");
    EXPECT_TRUE(made);
    return dir / "market";
}
std::unique_ptr<test::PageServer> serve(const std::string& options) {
    return std::make_unique<test::PageServer>(
        market(), std::string("--api-key ") + kKey + " --rate-window-ms 0 --now 2026-10-10T12:00 " + options);
}
std::pair<int, std::string> get(int port, const std::string& target, const httplib::Headers& headers) {
    const auto r = httplib::Client("127.0.0.1", port).Get(target, headers);
    return r ? std::pair(r->status, r->body) : std::pair(0, std::string());
}
std::pair<int, std::string> api(const test::PageServer& server, const std::string& path) {
    return get(server.port(), "/v2/" + path, {{"x-api-key", kKey}});
}
// "http://127.0.0.1:PORT/files/..." fetched as a client would, or with the key it must not send.
std::pair<int, std::string> download(const std::string& url, bool withKey = false) {
    const auto slash = url.find('/', 17);
    return get(std::atoi(url.c_str() + 17), url.substr(slash), withKey ? httplib::Headers{{"x-api-key", kKey}} : httplib::Headers{});
}
// The values of `field` in a body, in order, quotes dropped.
std::vector<std::string> values(const std::string& body, const std::string& field) {
    std::vector<std::string> out;
    for (auto at = body.find("\"" + field + "\":"); at != std::string::npos; at = body.find("\"" + field + "\":", at + 1)) {
        const auto from = at + field.size() + 3;
        const std::string v = std::regex_replace(body.substr(from, body.find_first_of(",}", from) - from), std::regex("\""), "");
        out.push_back(v == "null" ? "" : v);
    }
    return out;
}
// "B:202609 T:20261002" -> keys: a month's file or a day's, of bars, TOPIX, margin or the calendar.
std::vector<std::string> keys(const std::string& names) {
    static const std::map<char, std::string> kDataset = {
        {'B', "equities/bars/daily"}, {'T', "indices/bars/daily/topix"}, {'M', "markets/margin-interest"}, {'C', "markets/calendar"}};
    std::vector<std::string> out;
    std::istringstream in(names);
    for (std::string n; in >> n;) {
        const std::string prefix = kDataset.at(n[0]), stamp = n.substr(2);
        const std::string folder = n[0] == 'C' ? "/" : stamp.size() == 6 ? "/historical/" + stamp.substr(0, 4) + "/" : "/live/";
        out.push_back(prefix + folder + std::regex_replace(prefix, std::regex("/"), "_") + "_" + stamp + ".csv.gz");
    }
    return out;
}
std::string gunzip(const std::string& bytes) {
    z_stream z{};
    inflateInit2(&z, 16 + MAX_WBITS);
    std::string out(bytes.size() * 20 + 1000, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
    z.avail_in = static_cast<uInt>(bytes.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    const bool whole = inflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(whole ? z.total_out : 0);
    inflateEnd(&z);
    return out;
}

TEST(JQuantsBulkMock, ListsThePlansFilesOldestFirst) {
    const struct {
        const char *name, *serve, *query;
        int status;
        const char* keys;
    } cases[] = {
        {"free: the calendar alone", "--plan free", "endpoint=/markets/calendar&from=2020-01", 200, "C:20261010"},
        {"free: no bars", "--plan free", "endpoint=/equities/bars/daily", 403, nullptr},
        {"free: nothing by date", "--plan free", "date=2026-09", 200, ""},
        {"light: bars and TOPIX by date", "--plan light", "date=2026-09", 200, "B:202609 T:202609"},
        {"light: no margin", "--plan light", "endpoint=markets/margin-interest", 403, nullptr},
        {"light: five years", "--plan light", "endpoint=/equities/bars/daily&to=202110", 200, "B:202110"},
        {"standard: ten years", "--plan standard", "endpoint=/equities/bars/daily&from=2019-01&to=2020-01", 200, "B:202001"},
        {"standard: a day's files", "--plan standard", "date=20261002", 200, "B:20261002 T:20261002 M:20261002"},
        {"standard: margin", "--plan standard", "endpoint=markets/margin-interest&from=202609&to=2026-09-30", 200, "M:202609"},
        {"second business day: last month's days too", "--plan light --now 2026-10-02T18:00",
         "endpoint=/equities/bars/daily&from=2026-09-29", 200, "B:20260929 B:20260930 B:202609 B:20261001 B:20261002"},
        {"seventh: this month's", "--plan light --now 2026-10-09T18:00",
         "endpoint=/equities/bars/daily&from=2026-09-30&to=20261001", 200, "B:202609 B:20261001"},
        {"bars at 16:29", "--plan light --now 2026-10-09T16:29", "endpoint=/equities/bars/daily&from=2026-10-08", 200, "B:20261008"},
        {"endpoint and date", "--plan light", "endpoint=/equities/bars/daily&date=2026-09", 400, nullptr},
        {"from without endpoint", "--plan light", "date=2026-09&from=2026-09", 400, nullptr},
        {"no such month", "--plan light", "endpoint=/equities/bars/daily&from=2026-13", 400, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto server = serve(c.serve);
        const auto [status, body] = api(*server, std::string("bulk/list?") + c.query);
        EXPECT_EQ(status, c.status) << body;
        if (c.keys) {
            EXPECT_EQ(values(body, "Key"), keys(c.keys));
        }
        EXPECT_TRUE(status != 403 || body.empty()) << body;
    }
}

TEST(JQuantsBulkMock, ADownloadURLServesOnceInItsTimeAndNeverTakesTheKey) {
    const std::string month = keys("B:202609")[0];
    const struct {
        const char *name, *serve;
        std::string query;
        int status;
        std::vector<std::pair<char, int>> downloads;  // plain, 'k'ey sent, 'f'orged: status
    } cases[] = {
        {"once", "", "key=" + month, 200, {{'p', 200}, {'p', 403}}},
        {"the key refused, the URL kept", "", "key=" + month, 200, {{'k', 403}, {'p', 200}}},
        {"forged", "", "endpoint=/equities/bars/daily&date=20261009", 200, {{'f', 403}, {'p', 200}}},
        {"expired", "--bulk-url-ttl-ms 0", "key=" + month, 200, {{'p', 403}}},
        {"key with endpoint and date", "", "key=" + month + "&endpoint=/equities/bars/daily&date=2026-09", 400, {}},
        {"nothing asked", "", "", 400, {}},
        {"no such key", "", "key=equities/bars/daily/historical/2019/equities_bars_daily_201901.csv.gz", 404, {}},
        {"margin on light", "", "key=" + keys("M:202609")[0], 403, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto server = serve(std::string("--plan light ") + c.serve);
        const auto [status, body] = api(*server, "bulk/get?" + c.query);
        ASSERT_EQ(status, c.status) << body;
        const std::string url = status == 200 ? values(body, "url").at(0) : "";
        for (const auto& [how, expected] : c.downloads) {
            const auto file = download(how == 'f' ? url.substr(0, url.size() - 1) + (url.back() == '0' ? "1" : "0") : url, how == 'k');
            EXPECT_EQ(file.first, expected) << how;
            if (expected == 200) EXPECT_EQ(gunzip(file.second).rfind("Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor\n", 0), 0u);
            else EXPECT_NE(file.second.find("<Code>AccessDenied</Code>"), std::string::npos);
        }
    }
}

// The text of the file `query` names.
std::string fileText(const test::PageServer& server, const std::string& query) {
    return gunzip(download(values(api(server, "bulk/get?" + query).second, "url").at(0)).second);
}

// The month of the first split, and the last day, where some codes did not trade.
TEST(JQuantsBulkMock, ABarsFileHoldsTheAPIsRowsOfItsDays) {
    IndexTable index;
    ASSERT_TRUE(loadIndexTable(market() / "index.txt", index));
    std::int32_t split = 0;
    for (int code = 1000; code < kCodeCount && !split; ++code)
        for (const Split& s : parseFlags(index.flags[code]).splits) split = s.date;
    const auto server = serve("--plan premium");
    const struct {
        std::string date, mark;
    } cases[] = {{std::to_string(split / 100), ",0.5\n"}, {"20261009", ",,,,0,0,,,"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.date);
        const std::string text = fileText(*server, "endpoint=/equities/bars/daily&date=" + c.date);
        EXPECT_NE(text.find(c.mark), std::string::npos);
        std::map<std::string, std::vector<std::string>> filed;  // by date
        std::istringstream in(std::regex_replace(text, std::regex("\""), ""));
        std::string line;
        for (std::getline(in, line); std::getline(in, line);) filed[line.substr(0, 10)].push_back(line);
        const std::int32_t first = std::stoi(c.date.size() == 6 ? c.date + "01" : c.date);
        for (std::int32_t d = first; d / 100 == first / 100 && (d == first || c.date.size() == 6); d = addDays(d, 1)) {
            const std::string body = api(*server, "equities/bars/daily?date=" + std::to_string(d)).second;
            std::vector<std::string> served(values(body, "Date").size());
            for (const char* field : {"Date", "Code", "O", "H", "L", "C", "UL", "LL", "Vo", "Va", "AdjFactor"})
                for (std::size_t i = 0; const std::string& v : values(body, field)) (served[i++] += v) += ',';
            for (std::string& row : served) row.pop_back();
            std::sort(served.begin(), served.end());
            std::vector<std::string>& rows = filed[jquants::isoDate(d)];
            std::sort(rows.begin(), rows.end());
            EXPECT_EQ(rows, served) << d;
        }
    }
}

// Each monthly file a revision later, with a decimal more; a day's file as it was.
TEST(JQuantsBulkMock, ARevisionRewritesTheMonthlyFiles) {
    const std::string list = "bulk/list?endpoint=/equities/bars/daily&from=2026-09-30&to=2026-10-01";
    const auto before = serve("--plan light"), after = serve("--plan light --bulk-revision 1");
    const std::string was = api(*before, list).second, is = api(*after, list).second;
    EXPECT_EQ(values(was, "LastModified"), (std::vector<std::string>{"2026-10-01T08:00:00Z", "2026-10-01T08:00:00Z"}));
    EXPECT_EQ(values(is, "LastModified"), (std::vector<std::string>{"2026-10-01T09:00:00Z", "2026-10-01T09:00:00Z"}));
    EXPECT_NE(values(was, "Size").at(0), values(is, "Size").at(0));
    EXPECT_EQ(values(was, "Size").at(1), values(is, "Size").at(1));
    const std::string month = "endpoint=/equities/bars/daily&date=2026-09", old = fileText(*before, month);
    ASSERT_GT(old.size(), 1000u);
    EXPECT_EQ(fileText(*after, month), std::regex_replace(old, std::regex(R"(\.\d+)"), "$&0"));
}

}  // namespace
}  // namespace quarlink
