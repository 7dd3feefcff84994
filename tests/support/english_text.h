#pragma once
#include <algorithm>
#include <regex>
#include <string>

namespace quarlink::test {

// The first English sentence in `text`, three ASCII words in a row, or "". Quoted text (a server's own
// words), placeholders, options, paths, numbers and words glued to Japanese end a run; acronyms and
// "J-Quants" neither count nor end one ("the API key").
inline std::string englishSentence(std::string text) {
    text = std::regex_replace(text, std::regex(R"("[^"]*")"), "\n");
    static const std::regex kToken(R"([\w\-'./%=]+|[^\w\-'./%= ,;:()!?])"), kWord("[A-Za-z]?[a-z][A-Za-z'\\-]*"),
        kAcronym("[A-Z]+|J-Quants");
    std::string run;
    for (std::sregex_iterator it(text.begin(), text.end(), kToken), end; it != end; ++it) {
        const std::size_t at = static_cast<std::size_t>(it->position()), next = at + it->str().size();
        const bool glued = (at > 0 && text[at - 1] & 0x80) || (next < text.size() && text[next] & 0x80);
        if (!glued && std::regex_match(it->str(), kAcronym)) continue;
        run = !glued && std::regex_match(it->str(), kWord) ? run + " " + it->str() : "";
        if (std::count(run.begin(), run.end(), ' ') >= 3) return run;
    }
    return {};
}

}  // namespace quarlink::test
