#pragma once
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/run_process.h"

namespace quarlink::test {

// One CLI operation run under fault injection. `setup` builds the starting
// state under the root folder; `args` may use "{root}" for that folder.
struct FaultScenario {
    std::string name;
    std::function<void(const std::filesystem::path& root)> setup;
    std::vector<std::string> args;
    std::vector<std::string> watched;  // files under root that the operation rewrites
    std::map<std::string, std::string> env;
    std::string program = QUARLINK_CLI_PATH;
};

using Snapshot = std::map<std::string, std::optional<std::string>>;

Snapshot snapshot(const std::filesystem::path& root, const std::vector<std::string>& watched);

// Temporary files of the atomic writer anywhere under root.
std::vector<std::filesystem::path> leftoverTemporaries(const std::filesystem::path& root);

ProcessResult runCli(const FaultScenario& s, const std::filesystem::path& root,
                     const std::map<std::string, std::string>& extraEnv = {});

// Runs the scenario once without faults: the new state and the number of
// file-changing calls it makes.
struct CleanRun {
    Snapshot before, after;
    long calls = 0;
    ProcessResult result;
};
CleanRun cleanRun(const FaultScenario& s);

// Kills the operation at every call N in turn. Returns the failures found
// (empty when every file was old or new after each kill and the next start
// removed every temporary file).
std::vector<std::string> killAtEveryCall(const FaultScenario& s);

// Makes every write from call N on fail with ENOSPC, for every N. Returns
// the failures (a file neither old nor new, a temporary left, or success
// reported with a file not written).
std::vector<std::string> fullDiskAtEveryCall(const FaultScenario& s);

}  // namespace quarlink::test
