#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <sys/types.h>

#include "core/web/jquants/jquants_types.h"

namespace quarlink {

namespace scratch_text {
inline constexpr const char* kDamaged =
    "作業フォルダの取得途中の履歴（history）が壊れているか置き換えられています。次の実行で初めから取り直します：";
}  // namespace scratch_text

// The whole market's rows that a gathering took, waiting in a folder of the
// working folder (history/) until the code-by-code job reads them: append-only
// files of a hundred codes each (bars/13 holds 1300..1399; margin/..; topix),
// never synced, and a progress file with a line a unit taken that holds the
// lengths that unit left each file at. A run cut short anywhere goes on from
// exactly what it recorded.
//
// Its own store, trusted only as far as it checks: on opening, every file is
// cut back to its recorded length and read whole (whole records, valid dates
// within the span, codes of its hundred, finite non-negative values); a
// symlink at the folder or its subfolders is removed, never followed; any
// other state starts over, and opened() says so. While a run goes on, the
// folder must stay the one it opened (device and inode).
class HistoryScratch {
public:
    explicit HistoryScratch(std::filesystem::path folder);
    ~HistoryScratch();
    HistoryScratch(const HistoryScratch&) = delete;
    HistoryScratch& operator=(const HistoryScratch&) = delete;

    const std::filesystem::path& folder() const { return folder_; }

    // What an earlier run of the same `header` took: the units' entries and,
    // for a file that lacked days, those days (asked of the API after it).
    struct Taken {
        std::vector<std::string> entries;
        std::map<std::string, std::vector<std::int32_t>> lacking;
        bool startedOver = false;  // something was there and could not be trusted
    };
    // Opens the folder for rows dated from..to under `header`; false with
    // `error` when the folder cannot be made.
    bool open(const std::string& header, std::int32_t from, std::int32_t to, Taken& taken, std::string& error);
    // Whether the folder is still the one open() made.
    bool unchanged() const;

    // The rows of the unit being taken (ordinary shares only; the rest are
    // not a price file's), until commit() or clearUnit().
    void add(const jquants::DailyBar& row);
    void add(const jquants::MarginBalance& row);
    void add(const jquants::IndexBar& row);
    void clearUnit();
    // Appends the unit's rows, then its line: `entry`, the days it lacked
    // and the lengths it left.
    bool commit(const std::string& entry, const std::vector<std::int32_t>& lacking, std::string& error);

    // A code's rows of from..to (its last row of a date taken twice).
    bool bars(int code, std::int32_t from, std::int32_t to, std::vector<jquants::DailyBar>& rows, std::string& error);
    bool margins(int code, std::int32_t from, std::int32_t to, std::vector<jquants::MarginBalance>& rows,
                 std::string& error);
    bool topix(std::int32_t from, std::int32_t to, std::vector<jquants::IndexBar>& rows, std::string& error);

    // Closes the files kept open for appending.
    void close();
    // Removes the folder and forgets what it held.
    void discard();

private:
    struct State;
    std::filesystem::path folder_;
    std::unique_ptr<State> state_;
};

}  // namespace quarlink
