#pragma once
#include <optional>
#include <string>

namespace quarlink {

enum class JobState {
    Idle,      // opened, waiting for start
    Running,   // call tick() again
    Stopped,   // stopped on an error; start() resumes where it stopped
    Finished,  // done; the dialog stays open until the user closes it
    Closed,    // done; the dialog closes itself
};

// What one tick() (or start()) did, for the dialog or the CLI to show.
struct JobOutcome {
    JobState state = JobState::Running;
    std::optional<std::string> status;   // new status line text, if it changed
    std::optional<int> progress;         // new progress bar position, if it changed
    std::optional<std::string> message;  // message box text, shown after the state is applied

    // Why the job stopped, for exit codes: a resumable connection failure or
    // a page the reader did not recognise.
    enum class StopReason { None, Connection, UnrecognisedPage, Failed };
    StopReason stopReason = StopReason::None;
};

}  // namespace quarlink
