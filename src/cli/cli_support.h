#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jobs/job.h"
#include "store/application.h"
#include "store/prompter.h"

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

    int messagesShown() const { return messages_; }

private:
    int messages_ = 0;
};

// Command-line arguments of one command, consumed as they are recognised.
class Args {
public:
    explicit Args(std::vector<std::string> args) : args_(std::move(args)) {}

    bool flag(std::string_view name);
    // --name VALUE or --name=VALUE. Sets `missingValue` when the name has no value.
    std::optional<std::string> value(std::string_view name);
    bool helpRequested() const;
    // The first argument not consumed, if any.
    std::optional<std::string> leftover() const;
    bool missingValue() const { return missingValue_; }
    const std::string& missingName() const { return missingName_; }

private:
    std::vector<std::string> args_;
    bool missingValue_ = false;
    std::string missingName_;
};

struct Context {
    Application app;
    TerminalPrompter prompter;
};

// Prints a status line on standard output.
void printStatus(std::string_view text);

// Prints a usage error and returns kExitUsage.
int usageError(std::string_view command, std::string_view text);

// Parses a whole decimal number; nullopt for anything else.
std::optional<long> parseNumber(std::string_view text);

// Drives a job whose settings are filled in: start(), then tick() until the
// job leaves Running, printing each new status line and message and asking
// each question (the answer goes back through answer()). Returns the exit
// code for the final outcome.
int driveJob(Job& job, TerminalPrompter& prompter);

int exitCodeFor(const JobOutcome& outcome);

}  // namespace quarlink::cli
