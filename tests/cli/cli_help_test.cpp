// Help texts are made from the options' declarations; codes are read by one rule.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "core/store/folder_layout.h"
#include "support/run_process.h"
#include "support/temp_dir.h"

using namespace quarlink;
using namespace quarlink::test;

namespace {

ProcessResult cli(const std::vector<std::string>& args) { return runProcess(QUARLINK_CLI_PATH, args); }

// Each --option of the usage lines (up to the first empty line) must have a
// line of its own in the help, with a description after its label.
void expectUsageOptionsDescribed(const std::string& help) {
    const std::string usage = help.substr(0, help.find("\n\n"));
    const std::regex word("--[a-z-]+");
    for (auto it = std::sregex_iterator(usage.begin(), usage.end(), word); it != std::sregex_iterator(); ++it) {
        if (it->str() == "--workdir") continue;  // global, on the program's own help
        const std::regex line("\n  " + it->str() + "( [^ ]+)?  +[^ \n]");
        EXPECT_TRUE(std::regex_search(help, line)) << it->str() << " is not described in\n" << help;
    }
}

}  // namespace

TEST(CliHelp, EveryOptionOfEveryUsageLineIsDescribed) {
    const ProcessResult program = cli({"--help"});
    ASSERT_EQ(program.exitCode, 0);
    for (const char* global : {"--workdir DIR", "--wait SECONDS", "--help", "--version"})
        EXPECT_TRUE(std::regex_search(program.out, std::regex(std::string("\n  ") + global + "  +[a-z]"))) << global;
    std::istringstream lines(program.out.substr(program.out.find("Commands:\n") + 10));
    int commands = 0;
    for (std::string line; std::getline(lines, line) && !line.empty(); ++commands) {
        const std::string name = line.substr(2, line.find(' ', 2) - 2);
        SCOPED_TRACE(name);
        const ProcessResult help = cli({name, "--help"});
        EXPECT_EQ(help.exitCode, 0);
        EXPECT_EQ(help.out, cli({"help", name}).out);
        EXPECT_EQ(help.out.find("{options"), std::string::npos);
        expectUsageOptionsDescribed(help.out);
    }
    EXPECT_GT(commands, 10);
}

TEST(CliHelp, EveryCodeOptionRefusesACodeOutside0000To9999) {
    const std::vector<std::vector<std::string>> uses = {
        {"update", "--resume-from"}, {"margin-fill", "--resume-from"}, {"init-create", "--resume-from"},
        {"index-update", "--remove-change"}, {"index-update", "--remove-unregistered"}, {"check", "--code"},
        {"export"}, {"import"},
    };
    for (const char* bad : {"10000", "00101", "0x10", "1a", "+1", ""}) {
        for (const auto& use : uses) {
            SCOPED_TRACE(use.back() + " " + bad);
            TempDir dir;
            std::vector<std::string> args = {"--workdir", dir.path().string()};
            args.insert(args.end(), use.begin(), use.end());
            args.push_back(bad);
            if (use[0] == "import") args.push_back("rows.csv");
            const ProcessResult r = cli(args);
            EXPECT_EQ(r.exitCode, 64);
            EXPECT_NE(r.err.find("takes a code 0000 to 9999, not '" + std::string(bad) + "'"), std::string::npos)
                << r.err;
            EXPECT_TRUE(std::filesystem::is_empty(dir.path())) << "a refused code must not touch the working folder";
        }
    }
}

TEST(CliHelp, CodesAreOneToFourDigits) {
    const std::pair<const char*, std::optional<int>> cases[] = {
        {"0101", 101}, {"101", 101}, {"0", 0}, {"0000", 0}, {"9999", 9999},
        {"10000", std::nullopt}, {"00101", std::nullopt}, {"", std::nullopt}, {"1a", std::nullopt},
        {"+1", std::nullopt}, {" 1", std::nullopt}, {"-1", std::nullopt},
    };
    for (const auto& [text, code] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(layout::parseCode(text), code);
        EXPECT_EQ(layout::codeOfName(text), std::string_view(text).size() == 4 && code ? *code : -1);
    }
}
