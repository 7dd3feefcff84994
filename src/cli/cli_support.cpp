#include "cli_support.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <string>
#include <unistd.h>

#include "core/jobs/progress_estimate.h"
#include "core/jobs/web_session.h"
#include "core/env/clock.h"
#include "core/store/echo_text.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"

namespace quarlink::cli {
namespace {

std::string forTerminal(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        out.push_back(text[i]);
    }
    return out;
}

bool interactive() { return ::isatty(STDIN_FILENO) && ::isatty(STDERR_FILENO); }

std::string readAnswer() {
    std::string line;
    if (!std::getline(std::cin, line)) return {};
    return line;
}

}  // namespace

void TerminalPrompter::message(const std::string& text) {
    std::cout.flush();
    std::cerr << forTerminal(text) << '\n';
    std::cerr.flush();
}

bool TerminalPrompter::askYesNo(const std::string& text) {
    std::cerr << forTerminal(text) << '\n';
    if (assumeYes) {
        std::cerr << "[y/N] y (--yes)\n";
        return true;
    }
    if (!interactive()) {
        std::cerr << "[y/N] n（端末がないためNoと答えました。Yesと答えるには--yesを付けてください）\n";
        return false;
    }
    std::cerr << "[y/N] " << std::flush;
    const std::string answer = readAnswer();
    return answer == "y" || answer == "Y" || answer == "yes";
}

Prompter::Answer TerminalPrompter::askYesNoCancel(const std::string& text) {
    std::cerr << forTerminal(text) << '\n';
    if (assumeYes) {
        std::cerr << "[y/n/C] y (--yes)\n";
        return Answer::Yes;
    }
    if (!interactive()) {
        std::cerr << "[y/n/C] c（端末がないため取り消しました）\n";
        return Answer::Cancel;
    }
    std::cerr << "[y/n/C] " << std::flush;
    const std::string answer = readAnswer();
    if (answer == "y" || answer == "Y" || answer == "yes") return Answer::Yes;
    if (answer == "n" || answer == "N" || answer == "no") return Answer::No;
    return Answer::Cancel;
}

void printStatus(std::string_view text) {
    std::cout << text << '\n';
    std::cout.flush();
}

int usageError(std::string_view command, std::string_view text) {
    const std::string name = command.empty() ? "quarlink-cli" : "quarlink-cli " + std::string(command);
    std::cerr << name << ": " << text << "\n"
              << "Try '" << name << " --help'.\n";
    return kExitUsage;
}

std::optional<long> parseNumber(std::string_view text) { return wholeNumber(text, 9); }

CLI::Option* addNumber(CLI::App& app, const std::string& name, std::optional<int>& target, long min, long max,
                       const std::string& what, const std::string& description) {
    const CLI::Validator range(
        [=](std::string& text) -> std::string {
            const auto value = parseNumber(text);
            return value && *value >= min && *value <= max ? std::string() : "takes " + what;
        },
        "", "");
    return app
        .add_option_function<std::string>(
            name, [&target](const std::string& text) { target = static_cast<int>(*parseNumber(text)); }, description)
        ->check(range)
        ->type_name("N");
}

CLI::Option* addChoice(CLI::App& app, const std::string& name, std::optional<std::string>& target,
                       const std::vector<std::string>& choices, const std::string& description) {
    std::string what;
    for (std::size_t i = 0; i < choices.size(); ++i)
        what += (i == 0 ? "" : i + 1 == choices.size() ? " or " : ", ") + choices[i];
    const CLI::Validator member(
        [=](std::string& text) -> std::string {
            return std::find(choices.begin(), choices.end(), text) != choices.end() ? std::string() : "takes " + what;
        },
        "", "");
    std::string names;
    for (const auto& choice : choices) names += (names.empty() ? "" : "|") + choice;
    return app
        .add_option_function<std::string>(
            name, [&target](const std::string& text) { target = text; }, description)
        ->check(member)
        ->type_name(names);
}

namespace {

const CLI::Validator kCodeCheck(
    [](std::string& text) -> std::string {
        return layout::parseCode(text) ? std::string() : "takes a code 0000 to 9999, not '" + echoText(text) + "'";
    },
    "", "");

}  // namespace

CLI::Option* addCode(CLI::App& app, const std::string& name, std::optional<int>& target,
                     const std::string& description) {
    return app
        .add_option_function<std::string>(
            name, [&target](const std::string& text) { target = layout::parseCode(text); }, description)
        ->check(kCodeCheck)
        ->type_name("CODE");
}

CLI::Option* addCodes(CLI::App& app, const std::string& name, std::vector<int>& target,
                      const std::string& description) {
    auto* option = app.add_option_function<std::vector<std::string>>(
                          name,
                          [&target](const std::vector<std::string>& texts) {
                              for (const auto& text : texts) target.push_back(*layout::parseCode(text));
                          },
                          description)
                       ->check(kCodeCheck)
                       ->type_name("CODE");
    // An option takes one code a time and is repeated; the arguments take all.
    if (name.starts_with('-')) option->take_all()->expected(1)->allow_extra_args(false);
    return option;
}

CLI::Option* addYear(CLI::App& app, const std::string& name, std::optional<int>& target,
                     const std::string& description) {
    const int thisYear = SystemClock().now().year;
    return addNumber(app, name, target, kFirstYear, thisYear,
                     "a year from " + std::to_string(kFirstYear) + " to this year", description)
        ->type_name("YYYY");
}

int exitCodeFor(const JobOutcome& outcome) {
    switch (outcome.state) {
    // Finished with files that failed is no success.
    case JobState::Finished: return outcome.stopReason == JobOutcome::StopReason::Failed ? kExitFailed : kExitDone;
    case JobState::Stopped:
        switch (outcome.stopReason) {
        case JobOutcome::StopReason::Connection: return kExitConnection;
        case JobOutcome::StopReason::UnrecognisedPage: return kExitPage;
        default: return kExitFailed;
        }
    default: return kExitFailed;
    }
}

namespace {

// On a terminal, the per-code status lines become one line redrawn in place,
// with the progress position and an estimate of the time left.
class ProgressLine {
public:
    void update(const JobOutcome& o) {
        if (o.progress) {
            progress_ = *o.progress;
            estimate_.observe(progress_);
        }
        if (o.status) status_ = *o.status;
        const auto now = std::chrono::steady_clock::now();
        if (status_.empty() || (drawn_ && now - drawnAt_ < std::chrono::milliseconds(100))) return;
        drawnAt_ = now;
        std::string text = "\r\033[K" + status_;
        text += "  " + std::to_string(progress_) + "%";
        if (const auto left = estimate_.remaining()) text += "  ETA " + ProgressEstimate::format(*left);
        std::cout << text << std::flush;
        drawn_ = true;
    }
    // Ends the line in place, so that what follows starts on its own line.
    void breakLine() {
        if (drawn_) std::cout << '\n' << std::flush;
        drawn_ = false;
    }
    // Replaces the line with the last status, as a plain line.
    void finish(const JobOutcome& o) {
        if (o.status) status_ = *o.status;
        if (drawn_) std::cout << "\r\033[K";
        drawn_ = false;
        if (!status_.empty()) printStatus(status_);
    }

private:
    std::string status_;
    int progress_ = 0;
    ProgressEstimate estimate_;
    bool drawn_ = false;
    std::chrono::steady_clock::time_point drawnAt_{};
};

}  // namespace

int driveJob(Job& job, TerminalPrompter& prompter) {
    // A question is asked once its outcome is shown; the answer's outcome follows.
    auto next = [&](const JobOutcome& o) {
        return o.question ? job.answer(prompter.askYesNo(*o.question)) : job.tick();
    };
    if (::isatty(STDOUT_FILENO)) {
        ProgressLine line;
        JobOutcome outcome = job.start();
        for (;;) {
            if (outcome.state != JobState::Running) {
                line.finish(outcome);
                if (outcome.message) prompter.message(*outcome.message);
                return exitCodeFor(outcome);
            }
            line.update(outcome);
            if (outcome.message || outcome.question) line.breakLine();
            if (outcome.message) prompter.message(*outcome.message);
            outcome = next(outcome);
        }
    }

    std::string lastStatus;
    auto apply = [&](const JobOutcome& o) {
        if (o.status && *o.status != lastStatus) {
            lastStatus = *o.status;
            printStatus(lastStatus);
        }
        if (o.message) prompter.message(*o.message);
    };
    JobOutcome outcome = job.start();
    apply(outcome);
    while (outcome.state == JobState::Running) {
        outcome = next(outcome);
        apply(outcome);
    }
    return exitCodeFor(outcome);
}

void printFetchError(const std::string& text) { std::cerr << "Error: " << text << '\n' << std::flush; }

int driveJob(Job& job, TerminalPrompter& prompter, WebSession& web) {
    web.reportFetchErrors(printFetchError);
    return driveJob(job, prompter);
}

}  // namespace quarlink::cli
