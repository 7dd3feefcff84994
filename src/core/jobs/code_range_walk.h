#pragma once
#include "core/store/application.h"

namespace quarlink {

// The walk of the file jobs: every code from 0000 to the last one, one per
// tick, kept in Application::currentCode so that a stopped job resumes where
// it stopped.
class CodeRangeWalk {
public:
    static constexpr int kFirstCode = 0;
    static constexpr int kLastCode = 9999;

    explicit CodeRangeWalk(Application& app, int lastCode = kLastCode) : app_(app), last_(lastCode) {}

    void restart() { app_.currentCode = kFirstCode; }
    int code() const { return app_.currentCode; }
    int progress() const { return app_.currentCode / 100; }
    bool done() const { return app_.currentCode > last_; }
    // Moves to the next code; true when the walk has passed the last one.
    bool advance() {
        ++app_.currentCode;
        return done();
    }

private:
    Application& app_;
    int last_;
};

}  // namespace quarlink
