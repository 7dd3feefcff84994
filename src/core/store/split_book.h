#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/application.h"
#include "core/store/index_flags.h"

namespace quarlink {

struct CodeSplit {
    int code = 0;
    Split split;
    friend bool operator==(const CodeSplit&, const CodeSplit&) = default;
};

// The split of a bar's price adjustment factor on its date: 0.5 is a 1:2
// split (ratio 2), 10 a 1:10 consolidation (ratio 0.1). False for a factor
// of 1 or one that cannot be a factor.
bool splitOfFactor(double adjFactor, double& ratio);

// `flags` with `add` among its split tokens, ascending by date after the
// other tokens (the canonical order). A split whose date already has a token
// is not added again; every token already there stays as it is written.
std::string flagsWithSplits(std::string_view flags, const std::vector<Split>& add);

// Splits read from the data, on their way into index.txt: the entry of a
// registered code gets its S:D:ratio token, a code without an entry keeps
// its split in the working folder (kPendingSplitsFile) until the index
// update registers it.
class SplitBook {
public:
    static constexpr const char* kPendingSplitsFile = "splits-pending.txt";

    // Records the split a bar's factor means, if any.
    void addFactor(int code, std::int32_t date, double adjFactor);
    void add(int code, const Split& split);
    bool empty() const { return found_.empty(); }
    const std::vector<CodeSplit>& found() const { return found_; }

    // Writes what is new: index.txt replaced atomically when an entry gains a
    // token, the pending file likewise. `recorded` gets the splits written
    // (in index.txt or pending), each once. The book keeps what it found, so
    // a second commit writes nothing new.
    bool commit(const Application& app, std::vector<CodeSplit>* recorded, std::string* error);

private:
    std::vector<CodeSplit> found_;
};

// The working folder's splits of codes without an entry, and the file
// rewritten (removed when empty). A missing file is an empty list.
std::vector<CodeSplit> loadPendingSplits(const Application& app);
bool savePendingSplits(const Application& app, const std::vector<CodeSplit>& splits, std::string* error);

// "7203 2026/01/05 → 2分割、..." for a run's last line; empty for none.
std::string splitsText(const std::vector<CodeSplit>& splits);

}  // namespace quarlink
