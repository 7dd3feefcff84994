// The text tables of the jobs, sources, J-Quants client, store and schedule, read from their sources so that a
// constant added later is walked too: no status line, refusal or failure says an English sentence.
#include <gtest/gtest.h>

#include "core/store/atomic_file.h"
#include "support/english_text.h"
#include "support/temp_dir.h"

namespace quarlink {

TEST(MessageTables, NoConstantSaysAnEnglishSentence) {
    const std::regex table(R"(namespace\s+([\w:]*_text)\s*\{([\s\S]*?)\n\})"), comment(R"(\n\s*//[^\n]*)"),
        constant(R"((\w+)\s*=\s*((?:\s*"(?:[^"\\]|\\.)*")+)\s*;)"), literal(R"("((?:[^"\\]|\\.)*)\")");
    std::string tables;
    std::size_t walked = 0;
    for (const char* folder : {"jobs", "sources", "web/jquants", "store", "schedule"})
        for (const auto& file : std::filesystem::directory_iterator(std::string(QUARLINK_SOURCE_DIR) + "/src/core/" + folder)) {
            const std::string source = test::readFile(file.path());
            for (std::sregex_iterator t(source.begin(), source.end(), table), end; t != end; ++t) {
                tables += (*t)[1].str() + " ";
                const std::string body = std::regex_replace((*t)[2].str(), comment, "\n");
                for (std::sregex_iterator c(body.begin(), body.end(), constant); c != end; ++c, ++walked) {
                    std::string text, literals = (*c)[2];
                    for (std::sregex_iterator l(literals.begin(), literals.end(), literal); l != end; ++l) text += (*l)[1];
                    SCOPED_TRACE(file.path().filename().string() + ": " + (*c)[1].str() + " = " + text);
                    EXPECT_EQ(test::englishSentence(text), "");
                }
            }
        }
    EXPECT_GT(walked, 150u);
    for (const char* name : {"catch_up_text ", "quarlink::jquants_text ", "init_data_text ", "file_text ", "systemd_text "})
        EXPECT_NE(tables.find(name), std::string::npos) << name;
    // The finder finds what the tables once said, and passes Japanese with names, options and server words.
    EXPECT_NE(test::englishSentence("APIキーが使えません：no J-Quants API key: set the environment variable"), "");
    EXPECT_NE(test::englishSentence("code 13010 field O value \"abc\" (not a number)"), "");
    EXPECT_EQ(test::englishSentence("J-QuantsがAPIキーを受け付けません（\"The api key is invalid.\"）。--topixなし、%s"), "");
}

// Every step a caller names, with every errno: the path, then Japanese, the system's own words only quoted.
TEST(MessageTables, FileErrorsAreJapaneseButForTheSystemsQuotedWords) {
    const std::regex call(R"((?:fileErrorText|fileReasonText|\bfail)\("([^"]+)\")"), quoted(R"("[^"]*")"), latin("[A-Za-z]");
    std::vector<std::string> steps;
    for (const auto& file : std::filesystem::recursive_directory_iterator(std::string(QUARLINK_SOURCE_DIR) + "/src")) {
        const std::string source = file.is_regular_file() ? test::readFile(file.path()) : "";
        for (std::sregex_iterator c(source.begin(), source.end(), call), end; c != end; ++c) steps.push_back((*c)[1]);
    }
    EXPECT_GT(steps.size(), 10u);
    for (const std::string& step : steps)
        for (int err = 1; err < 134; ++err) {
            const std::string text = fileErrorText(step.c_str(), "/w/1301", err);
            SCOPED_TRACE(step + ", errno " + std::to_string(err) + ": " + text);
            EXPECT_EQ(text.rfind("/w/1301を", 0), 0u);
            EXPECT_FALSE(std::regex_search(std::regex_replace(text.substr(7), quoted, ""), latin));
        }
}

}  // namespace quarlink
