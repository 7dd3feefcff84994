#pragma once
#include <string>

#include "core/sources/questions.h"
#include "core/sources/source_result.h"

namespace quarlink {

class JQuantsHistory;

// One data source as a job sees it: made ready for a run, stoppable from
// any thread, and asked only through the question interfaces it offers
// (nullptr where it has no answer: the pages have no listed-issue master,
// J-Quants no Nikkei average and no quote page).
class DataSource {
public:
    virtual ~DataSource() = default;

    // Makes the source ready for a run (a key, a client); an answer other
    // than Data says why it cannot be used, with its reason for the user.
    virtual SourceResult connect() { return {}; }
    // From any thread: the request in flight ends, and so does every later
    // one until restart().
    virtual void abort() {}
    // A new run: forgets what the last one learnt (a plan's window, its notes).
    virtual void restart() {}
    // What the run has to tell the user once, at its end; empty when nothing.
    virtual std::string notes() const { return {}; }
    // True for a source whose requests are rationed (a plan's rate): a job
    // then asks it only for what it can store, never for a code without a
    // price file or for an index it has no use for.
    virtual bool rationed() const { return false; }

    virtual BusinessDays* businessDays() { return nullptr; }
    virtual CodeBars* codeBars() { return nullptr; }
    virtual MarginHistory* marginHistory() { return nullptr; }
    virtual IndexBars* indexBars() { return nullptr; }
    virtual ListedCodes* listedCodes() { return nullptr; }
    virtual DayQuote* dayQuote() { return nullptr; }
    virtual ListedIssues* listedIssues() { return nullptr; }
    virtual MarketDays* marketDays() { return nullptr; }
    // A source that gathers the whole market's history before a code-by-code
    // job asks it (the bulk files): the job lets it gather first.
    virtual JQuantsHistory* history() { return nullptr; }
};

}  // namespace quarlink
