#pragma once
#include <optional>
#include <string>

#include "core/sources/source_result.h"

namespace quarlink {

enum class JobState {
    Idle,      // opened, waiting for start
    Running,   // call tick() again
    Stopped,   // stopped on an error or by the user; start() resumes where it stopped
    Finished,  // done; whether its window closes is the window's choice
};

// What one start(), tick(), stop() or answer() did, for the dialog or the CLI to show.
struct JobOutcome {
    JobState state = JobState::Running;
    std::optional<std::string> status;   // new status line text, if it changed
    std::optional<int> progress;         // new progress bar position, if it changed
    std::optional<std::string> message;  // message box text, shown after the state is applied
    // A yes/no question for the user. The driver asks it on its own thread and
    // hands the answer to Job::answer(), whose outcome follows this one.
    std::optional<std::string> question;

    // Why the job stopped or failed, for exit codes: a resumable connection
    // failure, a page the reader did not recognise, or files that failed.
    enum class StopReason { None, Connection, UnrecognisedPage, Failed };
    StopReason stopReason = StopReason::None;
};

// The stop reason for a source's answer: the one mapping of answers to the
// CLI's exit codes (refused or outside the plan 1, connection 2, page 3).
constexpr JobOutcome::StopReason stopReasonFor(Answer answer) {
    switch (answer) {
    case Answer::Data:
    case Answer::NoData: return JobOutcome::StopReason::None;
    case Answer::ConnectionFailed:
    case Answer::Stopped: return JobOutcome::StopReason::Connection;
    case Answer::Unrecognised: return JobOutcome::StopReason::UnrecognisedPage;
    default: return JobOutcome::StopReason::Failed;
    }
}

// A run stopped by a source's answer: its stop reason, the source's reason as the message.
inline JobOutcome stoppedBy(const SourceResult& result) {
    JobOutcome o;
    o.state = JobState::Stopped;
    o.stopReason = stopReasonFor(result.answer);
    if (!result.reason.empty()) o.message = result.reason;
    return o;
}

}  // namespace quarlink
