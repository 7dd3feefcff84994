#pragma once
#include <filesystem>
#include <string>
#include <vector>

#include "store/number_text.h"

namespace quarlink {

// Price files a file job left alone because they are not regular files of
// sane size (symlinks, FIFOs, devices, folders, huge files): counted and
// named in the job's final report, never followed or read.
class SkippedFiles {
public:
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
        std::string text = formatInt("通常のファイルでないため飛ばしたファイル数 %d", count_);
        for (const auto& n : names_) text += "\n" + n;
        if (count_ > static_cast<int>(names_.size())) text += "\n...";
        return text;
    }

private:
    static constexpr std::size_t kNamed = 10;
    int count_ = 0;
    std::vector<std::string> names_;
};

}  // namespace quarlink
