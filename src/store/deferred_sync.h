#pragma once
#include <filesystem>
#include <utility>
#include <vector>

namespace quarlink {

// Collects the folders written with Durability::Deferred and flushes their
// file systems once: at flush(), or when the owner (a job) goes away, so a
// cancelled job is flushed too.
class DeferredSync {
public:
    DeferredSync() = default;
    ~DeferredSync() { flush(); }
    DeferredSync(DeferredSync&& other) noexcept : pending_(std::exchange(other.pending_, {})) {}
    DeferredSync& operator=(DeferredSync&&) = delete;

    void wrote(const std::filesystem::path& folder);
    // False when a file system reported an error while flushing.
    bool flush();

private:
    std::vector<std::filesystem::path> pending_;
};

}  // namespace quarlink
