#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <unistd.h>
#include <vector>

#include "core/jobs/job_outcome.h"
#include "core/store/atomic_file.h"
#include "support/scratch_chart.h"

namespace quarlink::testing {

// A file job's scratch working and chart folders.
class FileJobFixture : public ::testing::Test, public test::ScratchChart {
protected:
    static PriceRecord rec(int date, int close = 100) {
        return PriceRecord{date, close - 1, close + 5, close - 5, close, 1000 + close, 7, 9};
    }
    static PriceSeries series(std::initializer_list<PriceRecord> rows) { return PriceSeries{rows}; }

    // Runs start() and tick() until the job leaves Running; returns the last
    // outcome and collects every message.
    template <typename Job>
    JobOutcome runToEnd(Job& job, std::vector<std::string>* messages = nullptr) {
        JobOutcome o = job.start();
        while (o.state == JobState::Running) {
            o = job.tick();
            if (o.message && messages) messages->push_back(*o.message);
        }
        return o;
    }
};

}  // namespace quarlink::testing
