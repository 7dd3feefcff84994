#pragma once
#include <cstdint>
#include <string>
#include <utility>

namespace quarlink {

// How a data source answered one question: the one vocabulary at the seam
// between the jobs and the sources, whatever the source speaks inside (the
// page readers' 1/-1/-2/-3, the J-Quants client's statuses). Data and NoData
// let a run go on; every other answer stops it, and the answer alone decides
// the stop reason (and so the CLI's exit code): Refused and OutsidePlan 1,
// ConnectionFailed and Stopped 2, Unrecognised 3.
enum class Answer {
    Data,              // the question is answered
    NoData,            // the source has nothing for it (a code it does not know)
    ConnectionFailed,  // no answer came, or the server failed
    Unrecognised,      // an answer that is not the documented page or data
    Refused,           // the source refuses us (a missing or refused key)
    OutsidePlan,       // the data or the dates are not in the user's plan
    Stopped,           // the user's stop ended the request
};

struct SourceResult {
    Answer answer = Answer::Data;
    // For the user, when the source has words of its own: the system's text
    // with the source's reason after it. Empty: the job says it in its words.
    std::string reason;
    // OutsidePlan for dates: the first and last dates the plan covers (0 when
    // open-ended or unknown).
    std::int32_t windowFrom = 0, windowTo = 0;
    // The source's own words, for a job that puts its text in front of them:
    // the page reader's note on a page it did not recognise (the step that
    // failed), the API's reason.
    std::string detail;
    // A failure on this machine (a copy the source could not keep or read
    // back), not an answer of the service: the reason says all there is.
    bool local = false;

    bool answered() const { return answer == Answer::Data || answer == Answer::NoData; }
    static SourceResult of(Answer answer, std::string reason = {}) {
        SourceResult r;
        r.answer = answer;
        r.reason = std::move(reason);
        return r;
    }
    // A failure on this machine (`local`), refused with the reason.
    static SourceResult localFailure(std::string reason) {
        SourceResult r = of(Answer::Refused, std::move(reason));
        r.local = true;
        return r;
    }
};

// A page reader's result (1 read, -1 no data, -2 fetch failed, -3 page not
// recognised) as an answer; `message`, the reader's text of a -3, is its detail.
SourceResult pageAnswer(int readerResult, std::string message = {});

}  // namespace quarlink
