#pragma once
#include <cstddef>
#include <filesystem>
#include <optional>
#include <vector>

namespace quarlink {

// The walk of the code-by-code jobs: 101 first, then either every code from
// 1000 to 9999 or the codes of index.txt in file order. The list position
// survives a stop, so a resumed job continues where it stopped.
class CodeCursor {
public:
    static constexpr int kNikkeiCode = 101;
    static constexpr int kFirstStockCode = 1000;
    static constexpr int kLastCode = 9999;

    bool indexOnly = true;
    std::vector<int> codes;     // from index.txt
    std::size_t position = 0;   // next list entry to use

    // Sets the mode at a start; in index-only mode reads the codes of
    // `indexFile`. A file gone missing or bad since the last start keeps the
    // list a resumed run is walking.
    void begin(bool onlyIndexed, const std::filesystem::path& indexFile);

    // Moves `current` to the next code; false when the walk is over.
    bool advance(int& current);

    // Places the walk at `code` for a resumed run in a new process: 101, a
    // stock code in all-codes mode, or the first list entry equal to it (else
    // the first one above it). False when nothing is left to visit.
    bool seek(int code, int& current);

    // The same for a resume code given once (the CLI's --resume-from): seeks
    // to it if set and forgets it. False when nothing is left to visit.
    bool seekOnce(std::optional<int>& code, int& current);
};

}  // namespace quarlink
