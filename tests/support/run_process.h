#pragma once
#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace quarlink::test {

struct ProcessResult {
    int exitCode = -1;
    std::string out;
    std::string err;
    bool killed = false;  // ran past the hard limit
    std::chrono::milliseconds elapsed{0};
    long maxRssKb = 0;  // peak resident memory
};

// Runs a program with arguments (no shell), feeding `input` on standard input.
// `env` entries are added to (or replace in) the environment. With a hard
// limit, a child still running after it is killed, so that a hanging case
// fails instead of hanging the suite.
ProcessResult runProcess(const std::string& program, const std::vector<std::string>& args,
                         const std::map<std::string, std::string>& env = {}, const std::string& input = {},
                         std::chrono::milliseconds hardLimit = std::chrono::milliseconds::zero());

// The same with a hard limit and nothing else.
inline ProcessResult runMeasured(const std::string& program, const std::vector<std::string>& args,
                                 std::chrono::milliseconds hardLimit) {
    return runProcess(program, args, {}, {}, hardLimit);
}

}  // namespace quarlink::test
