#include "core/web/jquants/bulk_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <simdjson.h>
#include <vector>

#include "core/env/date.h"
#include "core/store/echo_text.h"

namespace quarlink::jquants {

namespace {

namespace dom = simdjson::dom;

// A list is a few hundred files (twenty years of months and a month of days);
// a page far larger is not one.
constexpr std::size_t kMaxListPage = 4u << 20;
constexpr std::size_t kMaxKey = 1024;
// Presigned URLs carry their signature in the query: long, but not without end.
constexpr std::size_t kMaxUrl = 16u << 10;

bool controlIn(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; });
}

std::string named(std::string_view field, std::string_view value, std::string_view reason) {
    return "項目" + std::string(field) + "の値\"" + echoText(value) + "\"（" + std::string(reason) + "）";
}

// A whole number of bytes: 123, "123" or 123.0.
bool readSize(dom::element value, std::uint64_t& size, std::string& served) {
    std::string_view token;
    if (!value.get_string().get(token)) {
        served = token;
    } else {
        served = simdjson::minify(value);
        if (!value.is_number()) return false;
        token = served;
    }
    if (token.empty()) return false;
    const char* end = token.data() + token.size();
    if (const auto [at, error] = std::from_chars(token.data(), end, size); error == std::errc() && at == end) return true;
    double number = 0;
    const auto [at, error] = std::from_chars(token.data(), end, number);
    if (error != std::errc() || at != end || !(number >= 0) || number >= 18446744073709551616.0 ||
        number != std::floor(number))
        return false;
    size = static_cast<std::uint64_t>(number);
    return true;
}

std::string readFile(dom::element row, std::size_t index, BulkFile& file) {
    dom::object fields;
    if (row.get_object().get(fields)) return std::to_string(index) + "行目がオブジェクトではありません";
    const auto text = [&](const char* name, std::string& out) -> std::string {
        dom::element value;
        if (fields[name].get(value)) return "項目" + std::string(name) + "がありません";
        std::string_view got;
        if (value.get_string().get(got)) return named(name, simdjson::minify(value), "文字列ではありません");
        if (controlIn(got)) return named(name, got, "制御文字があります");
        out.assign(got);
        return {};
    };
    if (std::string bad = text("Key", file.key); !bad.empty()) return bad;
    if (const char* bad = bulkKeyProblem(file.key)) return named("Key", file.key, bad);
    const std::string in = "ファイル" + echoText(file.key) + "の";
    if (std::string bad = text("LastModified", file.lastModified); !bad.empty()) return in + bad;
    dom::element size;
    if (fields["Size"].get(size)) return in + "項目Sizeがありません";
    std::string served;
    if (!readSize(size, file.size, served)) return in + named("Size", served, "大きさではありません");
    return {};
}

}  // namespace

const char* bulkKeyProblem(std::string_view key) {
    if (key.empty()) return "空です";
    if (key.size() > kMaxKey) return "長すぎます";
    if (key.front() == '/') return "絶対パスです";
    if (key.find("..") != std::string_view::npos) return "\"..\"を含むパスです";
    if (controlIn(key)) return "制御文字があります";
    return nullptr;
}

bool parseBulkListPage(std::string_view body, BulkFiles& into, std::string& nextKey, std::string* why,
                       std::size_t maxRows) {
    nextKey.clear();
    const auto refuse = [&](std::string reason) {
        nextKey.clear();
        if (why) *why = std::move(reason);
        return false;
    };
    if (body.size() > kMaxListPage) return refuse("一覧のページが" + std::to_string(kMaxListPage >> 20) + " MBを超えています");
    dom::parser parser;
    dom::element document;
    if (const auto error = parser.parse(body.data(), body.size()).get(document))
        return refuse(std::string("JSONとして読めません（") + simdjson::error_message(error) + "）");
    dom::object top;
    dom::array data;
    if (document.get_object().get(top)) return refuse("JSONオブジェクトではありません");
    if (top["data"].get_array().get(data)) return refuse("data配列がありません");
    if (dom::element key; !top["pagination_key"].get(key) && !key.is_null()) {
        std::string_view text;
        if (key.get_string().get(text)) return refuse("pagination_key " + echoText(simdjson::minify(key)) + "が文字列ではありません");
        nextKey.assign(text);
    }
    std::vector<BulkFile> files;
    std::size_t index = 0;
    for (dom::element row : data) {
        BulkFile file;
        if (std::string bad = readFile(row, ++index, file); !bad.empty()) return refuse(bad);
        if (into.rows.size() + files.size() >= maxRows)
            return refuse("この問い合わせにありうるファイル数（" + std::to_string(maxRows) + "）を超えています");
        files.push_back(std::move(file));
    }
    into.rows.insert(into.rows.end(), std::make_move_iterator(files.begin()), std::make_move_iterator(files.end()));
    ++into.pages;
    return true;
}

bool parseBulkUrl(std::string_view body, std::string& url, std::string* why) {
    const auto refuse = [&](std::string reason) {
        if (why) *why = std::move(reason);
        return false;
    };
    if (body.size() > kMaxUrl + 1024) return refuse(std::to_string(body.size()) + "バイトの応答です");
    dom::parser parser;
    dom::element document;
    if (const auto error = parser.parse(body.data(), body.size()).get(document))
        return refuse(std::string("JSONとして読めません（") + simdjson::error_message(error) + "）");
    dom::element value;
    if (document["url"].get(value)) return refuse("urlがありません");
    std::string_view text;
    if (value.get_string().get(text)) return refuse(named("url", simdjson::minify(value), "文字列ではありません"));
    const auto scheme = [&](std::string_view prefix) {
        return text.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                         [](char a, char b) { return a == (b | 0x20); });
    };
    // A presigned URL shows its signature: only its scheme is named.
    if (!scheme("http://") && !scheme("https://"))
        return refuse("httpでもhttpsでもないurlです（\"" + echoText(text.substr(0, text.find(':')), 16) + "\"）");
    if (text.size() > kMaxUrl || controlIn(text) || text.find(' ') != std::string_view::npos)
        return refuse("urlになりえない値です");
    url.assign(text);
    return true;
}

bool bulkFileDays(std::string_view key, std::int32_t& first, std::int32_t& last, bool& month) {
    const std::size_t end = key.rfind(".csv");
    const std::size_t start = end == std::string_view::npos ? end : key.rfind('_', end);
    if (end == std::string_view::npos || start == std::string_view::npos) return false;
    const std::string_view stamp = key.substr(start + 1, end - start - 1);
    std::int32_t value = 0;
    if ((stamp.size() != 6 && stamp.size() != 8) ||
        std::from_chars(stamp.data(), stamp.data() + stamp.size(), value).ptr != stamp.data() + stamp.size() ||
        !std::all_of(stamp.begin(), stamp.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    month = stamp.size() == 6;
    first = month ? value * 100 + 1 : value;
    if (first < 19000101 || !validDate(first)) return false;
    last = month ? lastOfMonth(first) : first;
    return true;
}

}  // namespace quarlink::jquants
