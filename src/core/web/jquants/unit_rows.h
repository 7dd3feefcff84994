#pragma once
// The one check every served row passes before it is kept, whichever way it
// came (a JSON answer for a day or a span, a month's or a day's bulk file):
// its date lies inside the unit it came from, and the unit names a (code,
// date) once. The one exception is a margin balance published again for the
// same record date (a correction: JPX keeps both rows, the newer with a later
// PubDate), where the newest publication wins and is counted.
#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/web/jquants/jquants_types.h"

namespace quarlink::jquants {

template <class Row>
class UnitRows {
public:
    // The unit's days; a `first` of 0 checks nothing (a query by code, whose
    // answer is not one unit of the market). Margin rows may also be dated up
    // to kMarginEarlierDays before `first`: a file cut by publication date
    // opens with the balances of the weeks before it.
    void begin(std::int32_t first, std::int32_t last);
    bool active() const { return first_ != 0; }
    // Checks rows.back(), just appended: keeps it, drops it (an older
    // publication of a row kept), or moves it onto the row it corrects.
    // Returns why the unit cannot be taken, empty when it can.
    std::string admit(std::vector<Row>& rows);
    std::size_t corrections() const { return corrections_; }

    static constexpr int kMarginEarlierDays = 21;

private:
    std::int32_t first_ = 0, last_ = 0;
    std::int32_t earliest_ = 0;  // first_, or earlier for margin
    long firstSerial_ = 0;
    std::size_t days_ = 0;
    std::vector<std::uint64_t> seen_;  // a bit per (day, code)
    std::unordered_map<std::uint64_t, std::size_t> at_;  // margin: where each (day, code) row is
    std::size_t corrections_ = 0;
    std::int32_t lastDate_ = 0;
    long lastSerial_ = 0;
};

extern template class UnitRows<DailyBar>;
extern template class UnitRows<MarginBalance>;
extern template class UnitRows<IndexBar>;

}  // namespace quarlink::jquants
