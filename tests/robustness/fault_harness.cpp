#include "robustness/fault_harness.h"

#include "core/store/atomic_file.h"
#include "support/temp_dir.h"

namespace quarlink::test {
namespace {

std::vector<std::string> expand(const std::vector<std::string>& args, const std::filesystem::path& root) {
    std::vector<std::string> out;
    for (std::string a : args) {
        for (std::size_t p; (p = a.find("{root}")) != std::string::npos;) a.replace(p, 6, root.string());
        out.push_back(a);
    }
    return out;
}

std::string describe(const std::optional<std::string>& v) {
    return v ? std::to_string(v->size()) + " bytes" : "missing";
}

}  // namespace

Snapshot snapshot(const std::filesystem::path& root, const std::vector<std::string>& watched) {
    Snapshot s;
    for (const auto& w : watched) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(root / w, ec))
            s[w] = readFile(root / w);
        else
            s[w] = std::nullopt;
    }
    return s;
}

std::vector<std::filesystem::path> leftoverTemporaries(const std::filesystem::path& root) {
    std::vector<std::filesystem::path> found;
    std::error_code ec;
    for (std::filesystem::recursive_directory_iterator it(root, ec), end; !ec && it != end; it.increment(ec))
        if (isTemporaryFileName(it->path().filename().string())) found.push_back(it->path());
    return found;
}

ProcessResult runCli(const FaultScenario& s, const std::filesystem::path& root,
                     const std::map<std::string, std::string>& extraEnv) {
    auto env = s.env;
    // A sanitized build wants its runtime first; the shim is preloaded before it.
    env["ASAN_OPTIONS"] = "verify_asan_link_order=0";
    for (const auto& [k, v] : extraEnv) env[k] = v;
    return runProcess(s.program, expand(s.args, root), env);
}

CleanRun cleanRun(const FaultScenario& s) {
    TempDir dir;
    s.setup(dir.path());
    CleanRun run;
    run.before = snapshot(dir.path(), s.watched);
    const auto countFile = dir.path().parent_path() / (dir.path().filename().string() + ".count");
    run.result = runCli(s, dir.path(), {{"LD_PRELOAD", QUARLINK_SHIM_PATH}, {"QUARLINK_COUNT_FILE", countFile.string()}});
    run.after = snapshot(dir.path(), s.watched);
    run.calls = std::atol(readFile(countFile).c_str());
    std::filesystem::remove(countFile);
    return run;
}

std::vector<std::string> killAtEveryCall(const FaultScenario& s) {
    const CleanRun clean = cleanRun(s);
    std::vector<std::string> failures;
    if (clean.calls == 0) failures.push_back(s.name + ": the operation made no file-changing call");
    for (long n = 1; n <= clean.calls; ++n) {
        TempDir dir;
        s.setup(dir.path());
        const ProcessResult r = runCli(s, dir.path(), {{"LD_PRELOAD", QUARLINK_SHIM_PATH}, {"QUARLINK_KILL_AT", std::to_string(n)}});
        const std::string at = s.name + " killed at call " + std::to_string(n) + ": ";
        if (r.exitCode != 128 + 9) failures.push_back(at + "not killed (exit " + std::to_string(r.exitCode) + ")");
        const Snapshot now = snapshot(dir.path(), s.watched);
        for (const auto& [file, content] : now)
            if (content != clean.before.at(file) && content != clean.after.at(file))
                failures.push_back(at + file + " is neither old (" + describe(clean.before.at(file)) + ") nor new (" +
                                   describe(clean.after.at(file)) + "): " + describe(content));
        // The next start removes what the killed writer left.
        runProcess(QUARLINK_CLI_PATH, {"--workdir", (dir / "work").string(), "options"});
        for (const auto& left : leftoverTemporaries(dir.path()))
            failures.push_back(at + "temporary file left after the next start: " + left.string());
    }
    return failures;
}

std::vector<std::string> fullDiskAtEveryCall(const FaultScenario& s) {
    const CleanRun clean = cleanRun(s);
    std::vector<std::string> failures;
    for (long n = 1; n <= clean.calls; ++n) {
        TempDir dir;
        s.setup(dir.path());
        const ProcessResult r = runCli(s, dir.path(), {{"LD_PRELOAD", QUARLINK_SHIM_PATH}, {"QUARLINK_ENOSPC_AT", std::to_string(n)}});
        const std::string at = s.name + " disk full from call " + std::to_string(n) + ": ";
        const Snapshot now = snapshot(dir.path(), s.watched);
        bool allNew = true;
        for (const auto& [file, content] : now) {
            if (content != clean.after.at(file)) allNew = false;
            if (content != clean.before.at(file) && content != clean.after.at(file))
                failures.push_back(at + file + " is neither old nor new: " + describe(content));
        }
        if (r.exitCode == 0 && !allNew && clean.before != clean.after)
            failures.push_back(at + "reported success without writing everything");
        if (r.exitCode != 0 && r.err.empty()) failures.push_back(at + "failed without a message");
        for (const auto& left : leftoverTemporaries(dir.path()))
            failures.push_back(at + "temporary file left: " + left.string());
    }
    return failures;
}

}  // namespace quarlink::test
