#pragma once
#include <filesystem>
#include <string>

namespace quarlink {

// The one-writer rule between processes: whoever writes the chart folder or
// the working folder's data holds an exclusive flock on "quarlink.lock" in
// the working folder. The kernel drops it when the holder dies, so a killed
// job never leaves the folder locked. The file names the holder (program and
// pid) so that a refused writer can say who is in the way.
class WriterLock {
public:
    WriterLock(std::filesystem::path workDir, std::string program);
    ~WriterLock() { release(); }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // One attempt; true when held (also when already held).
    bool tryAcquire();
    void release();
    bool held() const { return fd_ >= 0; }

    // "quarlink-cli (pid 1234)" as recorded by the current holder.
    std::string holder() const;
    // The message for a writer that found the lock taken.
    std::string busyMessage() const;

    static constexpr const char* kFileName = "quarlink.lock";

private:
    std::filesystem::path path_;
    std::string program_;
    int fd_ = -1;
};

}  // namespace quarlink
