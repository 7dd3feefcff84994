#include "core/web/jquants/bulk_list.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <simdjson.h>
#include <vector>

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
    return "field " + std::string(field) + " value \"" + echoText(value) + "\" (" + std::string(reason) + ")";
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
    if (row.get_object().get(fields)) return "row " + std::to_string(index) + " is not an object";
    const auto text = [&](const char* name, std::string& out) -> std::string {
        dom::element value;
        if (fields[name].get(value)) return "field " + std::string(name) + " missing";
        std::string_view got;
        if (value.get_string().get(got)) return named(name, simdjson::minify(value), "not a string");
        if (controlIn(got)) return named(name, got, "control bytes");
        out.assign(got);
        return {};
    };
    if (std::string bad = text("Key", file.key); !bad.empty()) return bad;
    if (const char* bad = bulkKeyProblem(file.key)) return named("Key", file.key, bad);
    const std::string in = "file " + echoText(file.key) + " ";
    if (std::string bad = text("LastModified", file.lastModified); !bad.empty()) return in + bad;
    dom::element size;
    if (fields["Size"].get(size)) return in + "field Size missing";
    std::string served;
    if (!readSize(size, file.size, served)) return in + named("Size", served, "not a size");
    return {};
}

}  // namespace

const char* bulkKeyProblem(std::string_view key) {
    if (key.empty()) return "empty";
    if (key.size() > kMaxKey) return "too long";
    if (key.front() == '/') return "an absolute path";
    if (key.find("..") != std::string_view::npos) return "a path with \"..\"";
    if (controlIn(key)) return "control bytes";
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
    if (body.size() > kMaxListPage) return refuse("a list page of more than " + std::to_string(kMaxListPage >> 20) + " MB");
    dom::parser parser;
    dom::element document;
    if (const auto error = parser.parse(body.data(), body.size()).get(document))
        return refuse(std::string("not valid JSON (") + simdjson::error_message(error) + ")");
    dom::object top;
    dom::array data;
    if (document.get_object().get(top)) return refuse("not a JSON object");
    if (top["data"].get_array().get(data)) return refuse("no data array");
    if (dom::element key; !top["pagination_key"].get(key) && !key.is_null()) {
        std::string_view text;
        if (key.get_string().get(text)) return refuse("pagination_key " + echoText(simdjson::minify(key)) + " is not a string");
        nextKey.assign(text);
    }
    std::vector<BulkFile> files;
    std::size_t index = 0;
    for (dom::element row : data) {
        BulkFile file;
        if (std::string bad = readFile(row, ++index, file); !bad.empty()) return refuse(bad);
        if (into.rows.size() + files.size() >= maxRows)
            return refuse("more files than such a request can have (" + std::to_string(maxRows) + ")");
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
    if (body.size() > kMaxUrl + 1024) return refuse("an answer of " + std::to_string(body.size()) + " bytes");
    dom::parser parser;
    dom::element document;
    if (const auto error = parser.parse(body.data(), body.size()).get(document))
        return refuse(std::string("not valid JSON (") + simdjson::error_message(error) + ")");
    dom::element value;
    if (document["url"].get(value)) return refuse("no url");
    std::string_view text;
    if (value.get_string().get(text)) return refuse(named("url", simdjson::minify(value), "not a string"));
    const auto scheme = [&](std::string_view prefix) {
        return text.size() > prefix.size() && std::equal(prefix.begin(), prefix.end(), text.begin(),
                                                         [](char a, char b) { return a == (b | 0x20); });
    };
    // A presigned URL shows its signature: only its scheme is named.
    if (!scheme("http://") && !scheme("https://"))
        return refuse("a url that is not http or https (\"" + echoText(text.substr(0, text.find(':')), 16) + "\")");
    if (text.size() > kMaxUrl || controlIn(text) || text.find(' ') != std::string_view::npos)
        return refuse("a url that cannot be one");
    url.assign(text);
    return true;
}

}  // namespace quarlink::jquants
