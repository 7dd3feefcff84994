#pragma once
#include <filesystem>
#include <optional>
#include <string>

namespace quarlink {

// The one-writer rule between processes: whoever writes the chart folder or
// the working folder's data holds an exclusive flock on "quarlink.lock" in
// the working folder and, when a chart folder is set, one on a file named
// after that folder's real path in the user's runtime folder, so that two
// working folders configured for one chart folder cannot write it at once.
// The kernel drops both when the holder dies, so a killed job never leaves a
// folder locked. Each file names its holder (program, pid, working folder)
// so that a refused writer can say who is in the way.
class WriterLock {
public:
    // An empty `chartFolder`: the working folder's lock alone.
    WriterLock(std::filesystem::path workDir, std::string program, std::filesystem::path chartFolder = {});
    ~WriterLock() { release(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // One attempt at both locks, working folder first; true when both are
    // held (also when already held). A failed attempt holds neither.
    bool tryAcquire();
    void release();
    bool held() const { return workFd_ >= 0; }

    // "quarlink-cli (pid 1234)" as recorded by the holder that the last
    // failed attempt ran into.
    std::string holder() const;
    // The message for a writer whose last attempt failed.
    std::string busyMessage() const;

    static constexpr const char* kFileName = "quarlink.lock";

    // $XDG_RUNTIME_DIR when it is a folder of ours, else /tmp/quarlink-<uid>,
    // made private. Empty, with `error` set, when neither can be used.
    static std::filesystem::path runtimeFolder(std::string& error);
    // The chart folder's lock file name: its real path (symlinks resolved),
    // hashed, so that every path to one folder names one lock.
    static std::string chartLockName(const std::filesystem::path& chartFolder);

private:
    bool lockChartFolder();

    std::filesystem::path workDir_;
    std::string program_;
    std::filesystem::path chartFolder_;
    int workFd_ = -1;
    int chartFd_ = -1;
    // What the last failed attempt found: the holder's record, or why a lock
    // file could not be opened at all.
    std::string busyRecord_;
    std::string failure_;
};

}  // namespace quarlink
