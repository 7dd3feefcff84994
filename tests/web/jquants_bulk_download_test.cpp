#include <gtest/gtest.h>

#include <cstdio>
#include <thread>
#include <zlib.h>

#include "core/web/jquants/bulk_download.h"
#include "support/fake_clock.h"
#include "support/loopback_server.h"

namespace quarlink::jquants {
namespace {

constexpr const char* kApiKey = "fake-key-bulk-5eed";
const std::string kFile = "equities/bars/daily/historical/2025/equities_bars_daily_202501.csv.gz";

std::string gzip(std::string_view text) {
    z_stream z{};
    std::string out(text.size() + 1024, '\0');
    deflateInit2(&z, 6, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data())), z.avail_in = uInt(text.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data()), z.avail_out = uInt(out.size());
    deflate(&z, Z_FINISH), deflateEnd(&z);
    out.resize(z.total_out);
    return out;
}

// A month of bars of `codes` codes.
std::string month(int codes) {
    std::string text = "Date,Code,O,H,L,C,UL,LL,Vo,Va,AdjFactor\n";
    char row[128];
    for (int day = 6; day <= 31; ++day)
        for (int code = 1301; code < 1301 + codes; ++code) {
            std::snprintf(row, sizeof row, "2025-01-%02d,%d0,%d.0,%d.0,%d.0,%d.5,0,0,%d.0,,1.0\n", day, code, 100 + day,
                          110 + day, 90 + day, 105 + day, code * day);
            text += row;
        }
    return text;
}

std::string summary(const std::vector<DailyBar>& rows) {
    double sum = 0;
    for (const DailyBar& bar : rows) sum += bar.volume + bar.close;
    return std::to_string(rows.size()) + " rows, sum " + std::to_string(sum);
}
// The rows of the text read whole.
std::string summary(std::string_view text) {
    CsvRows<DailyBar> reader;
    reader.start(kFile);
    return reader.feed(text) && reader.finish() ? summary(reader.rows().rows) : reader.why();
}

std::string http(int status, std::string_view body, std::size_t sent = std::string::npos) {
    return "HTTP/1.0 " + std::to_string(status) + " X\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
           std::string(body.substr(0, sent));
}

TEST(JQuantsBulkDownload, GzipStreamsInAnyPiecesAndMembers) {
    const std::string text = month(400), packed = gzip(text), whole = summary(text);
    std::string badCrc = packed;
    badCrc[badCrc.size() - 6] ^= 0x5a;
    const struct {
        const char* name;
        std::string bytes;
        std::size_t piece;
        std::string read;
    } cases[] = {
        {"1-byte pieces", packed, 1, whole},
        {"64 KB pieces", packed, 64 << 10, whole},
        {"two members", gzip(text.substr(0, 12'345)) + gzip(text.substr(12'345)), 4096, whole},
        {"a bad checksum", badCrc, 4096, kFile + "：gzipのデータではありません（incorrect data check）"},
        {"cut short", packed.substr(0, packed.size() - 5), 4096, kFile + "：gzipのデータが途中で終わっています"},
        {"not gzip", text, 4096, kFile + "：gzipのデータではありません（incorrect header check）"},
        {"nothing", "", 4096, kFile + "：gzipのデータが途中で終わっています"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CsvRows<DailyBar> reader;
        GzipText gzip(reader);
        gzip.start(kFile);
        bool ok = true;
        for (std::size_t at = 0; ok && at < c.bytes.size(); at += c.piece)
            ok = gzip.feed(std::string_view(c.bytes).substr(at, c.piece));
        EXPECT_EQ(ok && gzip.finish() ? summary(reader.rows().rows) : gzip.why(), c.read);
    }
}

// The API (/v2/...) and the file host (/files/...) on one loopback port,
// every request's head kept. /v2/bulk/get hands out URLs signed 1, 2, ...;
// the file host and /v2/bulk/list answer their scripts in turn.
struct Host {
    const std::vector<std::string> files, lists{};
    const std::string url = "http";
    std::vector<std::string> heads{};  // written before each answer is sent
    int urls = 0;
    std::size_t fetched = 0, listed = 0;
    std::atomic<bool> holding{false};
    test::LoopbackServer server{[this](int fd, const std::atomic<bool>& stop) { serve(fd, stop); }, true};

    void serve(int fd, const std::atomic<bool>& stop) {
        std::string head;
        char buffer[4096];
        for (ssize_t n; head.find("\r\n\r\n") == std::string::npos && test::waitReadable(fd, stop); head.append(buffer, n))
            if ((n = ::recv(fd, buffer, sizeof buffer, 0)) <= 0) return;
        std::string answer;
        heads.push_back(head);
        if (head.rfind("GET /v2/bulk/get?key=", 0) == 0)
            answer = http(200, R"({"url":")" + url + "://127.0.0.1:" + std::to_string(server.port()) + "/files/" + kFile +
                                   "?X-Signature=" + std::to_string(++urls) + "\"}");
        else if (head.rfind("GET /files/", 0) == 0) answer = files[std::min(fetched++, files.size() - 1)];
        else answer = lists[std::min(listed++, lists.size() - 1)];
        test::sendAll(fd, answer, stop);
        if (answer.find("Content-Length: ") != std::string::npos) return;
        holding = true;  // silent until the client goes
        while (test::waitReadable(fd, stop) && ::recv(fd, buffer, sizeof buffer, 0) > 0) {}
    }
    Endpoints endpoints() {
        Endpoints e;
        e.jquants = "http://127.0.0.1:" + std::to_string(server.port()) + "/v2", e.jquantsRpm = 0;
        return e;
    }
};

TEST(JQuantsBulkDownload, AFileComesWithoutTheKeyAndFailuresAskANewUrl) {
    const std::string text = month(300), packed = gzip(text);
    const std::string good = http(200, packed), busy = http(503, "busy"), lost = http(200, packed, packed.size() / 2);
    const std::string expired = http(403, "<?xml version=\"1.0\"?><Error><Code>AccessDenied</Code></Error>");
    const std::string silent = "HTTP/1.0 200 OK\r\n\r\n" + packed.substr(0, 1000);
    using std::chrono::milliseconds;
    const struct {
        const char* name;
        std::vector<std::string> files;
        Outcome outcome;
        int urls;
        milliseconds slept;
        const char* said;
    } cases[] = {
        {"served", {good}, Outcome::Ok, 1, {}, ""},
        {"an expired URL asked anew once", {expired, good}, Outcome::Ok, 2, {}, ""},
        {"but not twice", {expired, expired, good}, Outcome::Expired, 2, {}, "（HTTP 403 \"AccessDenied\"）"},
        {"host errors asked again", {busy, busy, good}, Outcome::Ok, 3, milliseconds(2000 + 4000), ""},
        {"until the retries end", {busy}, Outcome::ConnectionFailed, 4, milliseconds(14000), "HTTP 503"},
        {"a connection lost mid-file", {lost, good}, Outcome::Ok, 2, milliseconds(2000), ""},
        {"not gzip", {http(200, text)}, Outcome::Unrecognised, 1, {}, "gzipのデータではありません"},
        {"aborted from another thread while the host is silent", {silent}, Outcome::Aborted, 1, {}, "中断しました"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Host host{c.files};
        test::FakeTime time;
        Client client(host.endpoints(), kApiKey, time.environment());
        BulkDownload download(host.endpoints(), time.environment());
        std::vector<DailyBar> rows;
        CsvRows<DailyBar> reader({[&] { rows.clear(); },
                                  [&](std::vector<DailyBar>& batch) { rows.insert(rows.end(), batch.begin(), batch.end()); }});
        std::atomic<bool> done{false};
        std::thread stopper([&] {
            while (!host.holding && !done) std::this_thread::yield();
            if (!done) download.abort();
        });
        const Status status = download.file(client, kFile, reader);
        done = true;
        stopper.join();
        EXPECT_EQ(status.outcome, c.outcome) << status.message;
        EXPECT_NE(status.message.find(c.said), std::string::npos) << status.message;
        EXPECT_EQ(time.sleeper.slept, c.slept);
        if (status.ok()) {
            EXPECT_EQ(summary(rows), summary(text));
        }
        EXPECT_EQ(download.filesFetched(), status.ok() ? 1u : 0u);
        // The key goes to the API, never to the file host, and each fetch has a URL of its own.
        int fetches = 0;
        for (const std::string& head : host.heads) {
            const bool toFile = head.rfind("GET /files/", 0) == 0;
            EXPECT_EQ(head.find(kApiKey) != std::string::npos, !toFile) << head;
            if (toFile) {
                EXPECT_NE(head.find("X-Signature=" + std::to_string(++fetches) + " "), std::string::npos) << head;
            }
        }
        EXPECT_EQ(fetches, c.urls);
    }
}

TEST(JQuantsBulkDownload, ListsFollowPagesAndRefuseKeysOutsideTheDataset) {
    const auto page = [](std::string files, std::string next = "") {
        return http(200, R"({"data":[)" + files + "]" + (next.empty() ? "" : R"(,"pagination_key":")" + next + "\"") + "}");
    };
    const auto file = [](std::string key, std::string size) {
        return R"({"Key":")" + key + R"(","LastModified":"2026-02-01T08:00:00Z","Size":)" + size + "}";
    };
    const struct {
        const char* name;
        std::vector<std::string> pages;
        bool ok;
        std::string listed;  // or what the refusal names
    } cases[] = {
        {"two pages", {page(file("a/1.csv.gz", "123") + "," + file("a/2.csv.gz", "\"45\""), "p 2"), page(file("a/3.csv.gz", "6.0"))},
         true, "a/1.csv.gz 123;a/2.csv.gz 45;a/3.csv.gz 6;"},
        {"a key that climbs", {page(file("a/../../x.csv.gz", "1"))}, false, R"(項目Keyの値"a/../../x.csv.gz"（".."を含むパスです）)"},
        {"an absolute key", {page(file("/etc/x.csv.gz", "1"))}, false, R"(項目Keyの値"/etc/x.csv.gz"（絶対パスです）)"},
        {"a control byte", {page(file("a\\u001b[2J.csv.gz", "1"))}, false, R"(項目Keyの値"a\x1b[2J.csv.gz"（制御文字があります）)"},
        {"a size that is not one", {page(file("a/1.csv.gz", "\"12a\""))}, false, R"(ファイルa/1.csv.gzの項目Sizeの値"12a")"},
        {"a silent 403", {http(403, "")}, false, "/equities/bars/dailyの一括ファイルはJ-Quantsのfreeプランでは取得できません"},
        {"the same file twice", {page(file("a/1.csv.gz", "1"), "p 2"), page(file("a/1.csv.gz", "1"))}, false, "（1つの応答に2回"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Host host{{}, c.pages};
        Client client(host.endpoints(), kApiKey, systemEnvironment());
        BulkFiles files;
        const Status status = client.bulkList("equities/bars/daily", 202501, 202601, files);
        std::string listed;
        for (const BulkFile& f : files.rows) listed += f.key + " " + std::to_string(f.size) + ";";
        EXPECT_NE((status.ok() ? listed : status.message).find(c.listed), std::string::npos) << status.message;
        EXPECT_EQ(status.ok(), c.ok);
        EXPECT_EQ(host.heads.at(0).rfind("GET /v2/bulk/list?endpoint=%2Fequities%2Fbars%2Fdaily&from=2025-01&to=2026-01 ", 0), 0u);
        if (host.heads.size() > 1) {
            EXPECT_NE(host.heads[1].find("&pagination_key=p%202 "), std::string::npos) << host.heads[1];
        }
    }
    Host host{{}, {}, "file"};
    std::string url;
    const Status status = Client(host.endpoints(), kApiKey, systemEnvironment()).bulkUrl(kFile, url);
    EXPECT_EQ(status.outcome, Outcome::Unrecognised);
    EXPECT_NE(status.message.find("httpでもhttpsでもないurlです（\"file\"）"), std::string::npos) << status.message;
}

}  // namespace
}  // namespace quarlink::jquants
