#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quarlink {

// Replaces many files in a row, each atomically, without the cost of one
// flush per file. Each new content goes into a fresh temporary file beside
// its target; a batch of them is flushed together and only then renamed over
// the targets, and the folders are flushed last. So a kill or a power cut
// leaves every target old or new, and a target's old inode is released, never
// written: other names of it (hard links of a `cp -al` snapshot) keep their
// content. Temporary files carry the writer's names, so a killed run's are
// removed at the next start like any other leftover.
class BatchWriter {
public:
    BatchWriter() = default;
    ~BatchWriter() { flush(); }
    BatchWriter(BatchWriter&& other) noexcept;
    BatchWriter(const BatchWriter&) = delete;
    BatchWriter& operator=(const BatchWriter&) = delete;
    BatchWriter& operator=(BatchWriter&&) = delete;

    // Queue the new content of `target`; it is published by the batch's
    // flush. False (with the target untouched) when it cannot be written.
    bool replace(const std::filesystem::path& target, std::string_view bytes, std::string* error = nullptr);
    // The same for a copy of a regular price file, streamed.
    bool copy(const std::filesystem::path& source, const std::filesystem::path& target, std::string* error = nullptr);

    // Flushes and publishes what is queued. False when a file system
    // reported an error; the targets concerned keep their old content and
    // are listed in failures().
    bool flush();
    const std::vector<std::string>& failures() const { return failures_; }

private:
    struct Pending {
        std::filesystem::path temp, target;
    };
    int createFor(const std::filesystem::path& target, std::filesystem::path& temp, std::string* error);
    bool finish(int fd, std::filesystem::path temp, const std::filesystem::path& target, bool written, int err,
                std::string* error);

    std::vector<Pending> pending_;
    std::vector<std::string> failures_;
};

}  // namespace quarlink
