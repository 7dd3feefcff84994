#pragma once
#include <map>
#include <string>
#include <vector>

#include "core/store/text_encoding.h"
#include "core/web/page_fetcher.h"

namespace quarlink::test {

// Answers each path with a canned page (UTF-8 in the test, EUC-JP on the
// wire); an unknown path fails the fetch. Records every request.
class ScriptedFetcher final : public PageFetcher {
public:
    std::map<std::string, std::string> pages;  // path -> EUC-JP page
    std::string fallback;                       // answers unknown paths when set
    bool hasFallback = false;
    std::vector<std::string> requests;          // "host:port/path"

    void page(const std::string& path, const std::string& utf8) { pages[path] = utf8ToEucJp(utf8); }

    int fetch(const std::string& host, std::uint16_t port, const std::string& path,
              std::string& response) override {
        requests.push_back(host + ":" + std::to_string(port) + path);
        if (auto it = pages.find(path); it != pages.end()) {
            response = it->second;
            return 1;
        }
        if (hasFallback) {
            response = fallback;
            return 1;
        }
        return 0;
    }
};

}  // namespace quarlink::test
