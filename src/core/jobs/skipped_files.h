#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "core/store/number_text.h"

namespace quarlink {

// Price files a job left alone: by default those that are not regular files
// of sane size (symlinks, FIFOs, devices, folders, huge files), never
// followed or read; a job may keep other lists under their own heading.
// Counted and named in the job's final report.
class SkippedFiles {
public:
    static constexpr const char* kOddFiles = "通常のファイルでないため飛ばしたファイル数 %d";

    explicit SkippedFiles(const char* heading = kOddFiles) : heading_(heading) {}
    void add(const std::filesystem::path& path, const std::string& why) {
        ++count_;
        if (names_.size() < kNamed) names_.push_back(path.string() + " (" + why + ")");
    }
    int count() const { return count_; }
    void clear() {
        count_ = 0;
        names_.clear();
    }
    // Empty when nothing was skipped, else a line for the final message.
    std::string report() const {
        if (count_ == 0) return {};
        std::string text = formatInt(heading_, count_);
        for (const auto& n : names_) text += "\n" + n;
        if (count_ > static_cast<int>(names_.size())) text += "\n...";
        return text;
    }

private:
    static constexpr std::size_t kNamed = 10;
    const char* heading_;
    int count_ = 0;
    std::vector<std::string> names_;
};

}  // namespace quarlink
