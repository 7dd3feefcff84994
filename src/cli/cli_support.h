#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <CLI/CLI.hpp>

#include "core/jobs/job.h"
#include "core/store/application.h"
#include "core/env/prompter.h"
#include "core/web/page_fetcher.h"

namespace quarlink {
class WebSession;
}

namespace quarlink::cli {

enum ExitCode : int {
    kExitDone = 0,
    kExitFailed = 1,      // refused or failed; the message is on standard error
    kExitConnection = 2,  // stopped on a connection failure; resumable
    kExitPage = 3,        // stopped on an unrecognised page
    kExitUsage = 64,
};

// Message boxes go to standard error, questions to the terminal. Without a
// terminal a question is answered No (Cancel for three-way ones) unless
// --yes was given.
class TerminalPrompter final : public Prompter {
public:
    bool assumeYes = false;

    void message(const std::string& text) override;
    bool askYesNo(const std::string& text) override;
    Answer askYesNoCancel(const std::string& text) override;
};

struct Context {
    Application app;
    TerminalPrompter prompter;
    WebEnvironment environment;  // the run's clocks and sleeper, made in main
    // For a command that writes only on request: takes the writer lock as
    // --wait says; false (the message shown) when another writer holds it.
    std::function<bool()> takeWriterLock;
};

// Prints a status line on standard output.
void printStatus(std::string_view text);

// Prints a usage error and returns kExitUsage.
int usageError(std::string_view command, std::string_view text);

// Parses a whole decimal number; nullopt for anything else.
std::optional<long> parseNumber(std::string_view text);

// Declares --name VALUE taking a whole decimal number from `min` to `max`
// (CLI11's own integer reading would take 0x.. as hex and 0.. as octal, and
// code 0101 is 101). `what` ends the refusal: "--name takes <what>".
CLI::Option* addNumber(CLI::App& app, const std::string& name, std::optional<int>& target, long min, long max,
                       const std::string& what, const std::string& description = {});

// Declares --name VALUE taking one of `choices`.
CLI::Option* addChoice(CLI::App& app, const std::string& name, std::optional<std::string>& target,
                       const std::vector<std::string>& choices, const std::string& description = {});

// An option or argument that takes a code, 0000 to 9999 by layout::parseCode:
// every command refuses a code by this one rule. `addCodes` collects every
// code given (a repeatable option, or the arguments).
CLI::Option* addCode(CLI::App& app, const std::string& name, std::optional<int>& target,
                     const std::string& description);
CLI::Option* addCodes(CLI::App& app, const std::string& name, std::vector<int>& target,
                      const std::string& description);

// --start-year and history's year: every year command takes years by this one rule.
CLI::Option* addYear(CLI::App& app, const std::string& name, std::optional<int>& target,
                     const std::string& description = {});
inline constexpr int kFirstYear = 1990;  // the price tables start here

// --yes of the commands that ask whether to go on.
inline constexpr const char* kYesDescription =
    "answers Yes; on a terminal the question is asked; otherwise the answer is No and nothing runs (exit 1)";

// Drives a job whose settings are filled in: start(), then tick() until the
// job leaves Running, printing each new status line and message and asking
// each question (the answer goes back through answer()). Returns the exit
// code for the final outcome.
int driveJob(Job& job, TerminalPrompter& prompter);
// The same for a job reading through `web`: each fetch failure is written to
// standard error as it happens ("Error: ...").
int driveJob(Job& job, TerminalPrompter& prompter, WebSession& web);

// Writes one fetch failure of the page client to standard error.
void printFetchError(const std::string& text);

int exitCodeFor(const JobOutcome& outcome);

}  // namespace quarlink::cli
