#pragma once
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/store/price_record.h"

namespace quarlink {

// What the data check can find in the chart folder. Only the first three
// need no guessing to repair.
enum class FindingKind {
    PartialRecord,   // the file ends in a piece of a record
    OutOfOrder,      // a date earlier than the one before it
    DuplicateDate,   // a date met again
    InvalidDate,     // not a calendar date (date -1 hides every record after it)
    FutureDate,      // after today
    BadPrice,        // a negative price, a high below open or close, a low above them
    NegativeCount,   // a volume or margin balance below zero
    MissingDays,     // trading days of the Nikkei average's file missing within the file's span
    NoPriceFile,     // registered in index.txt without a price file
    NotInIndex,      // a price file without an entry in index.txt
    Unreadable,      // not a regular file of sane size, or a read error
    NoIndex,         // index.txt cannot be read
};

inline constexpr int kFindingKinds = static_cast<int>(FindingKind::NoIndex) + 1;

// The stable key of a kind in the JSON output ("partial_record", ...).
const char* findingKey(FindingKind kind);
// What the finding says in the dialog's table and the CLI's lines.
const char* findingText(FindingKind kind);
bool findingFixable(FindingKind kind);

struct Finding {
    static constexpr std::size_t kDatesShown = 5;

    int code = -1;  // -1: the folder as a whole
    FindingKind kind = FindingKind::PartialRecord;
    int count = 0;                      // records, days or bytes concerned
    std::vector<std::int32_t> dates;    // the first kDatesShown of them, in file order
    std::string detail;                 // why a file is unreadable
    bool repaired = false;
};

// A calendar date from 1900-01-01 to 9999-12-31 as YYYYMMDD.
bool isCalendarDate(std::int32_t yyyymmdd);

// False for a negative price, or (unless all four are zero, a day without
// trade) a high below the open or close or a low above them.
bool pricesConsistent(const PriceRecord& r);

// The trading days to compare with: the valid dates of a price file image
// (the Nikkei average's), ascending, each once.
std::vector<std::int32_t> calendarDates(std::string_view image);

// Checks one price file image; appends a finding per kind found. Reads the
// image once; allocates only for a file out of order. `calendar` empty: no
// missing-days check.
class PriceFileChecker {
public:
    PriceFileChecker(std::span<const std::int32_t> calendar, std::int32_t today)
        : calendar_(calendar), today_(today) {}

    void check(int code, std::string_view image, std::vector<Finding>& out);

private:
    void countMissing(const std::int32_t* dates, std::size_t n, Finding& gaps) const;

    std::span<const std::int32_t> calendar_;
    std::int32_t today_;
    std::vector<std::int32_t> sorted_;  // scratch for files out of order, kept between files
};

// The file image with the fixable faults repaired through the store's merge:
// whole records only, in date order, one per date (the last one written);
// records of date -1 go last, as the merge keeps them.
std::string repairedPriceImage(std::string_view image);

}  // namespace quarlink
