#include "core/jobs/job.h"

namespace quarlink {

JobOutcome runToEnd(Job& job, Prompter& prompter) {
    JobOutcome o = job.start();
    for (;;) {
        if (o.message) prompter.message(*o.message);
        if (o.state != JobState::Running) return o;
        o = o.question ? job.answer(prompter.askYesNo(*o.question)) : job.tick();
    }
}

}  // namespace quarlink
