// Reads arbitrary bytes as each of the portfolio CSV files (user/plist.csv,
// user/N_buy.csv, user/N_sell.csv): every line gives one row of exactly the
// file's field count, and what is written back reads as the same rows.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/portfolio/portfolio_list_model.h"
#include "core/portfolio/portfolio_rows.h"

using namespace quarlink;

namespace {

void check(bool ok) {
    if (!ok) std::abort();
}

bool clean(const std::string& field) { return field.find_first_of(",\r\n") == std::string::npos; }

void rowsRoundTrip(std::string_view bytes, std::size_t count) {
    const auto lines = splitLines(bytes);
    std::string written;
    std::vector<PortfolioRow> rows;
    for (const std::string& line : lines) {
        PortfolioRow row = splitFields(line, count);
        check(row.size() == count);
        for (const std::string& field : row) {
            check(clean(field));
            (void)fieldNumber(field);
            (void)fieldDate(field);
        }
        written += joinFields(row);
        rows.push_back(std::move(row));
    }
    const auto again = splitLines(written);
    check(again.size() == rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) check(splitFields(again[i], count) == rows[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);

    const auto entries = parsePortfolioList(bytes);
    check(entries.size() == splitLines(bytes).size());
    std::string written;
    for (const PortfolioEntry& e : entries) {
        check(clean(e.name) && clean(e.number) && clean(e.manager));
        written += joinFields({e.name, e.number, e.manager});
    }
    check(parsePortfolioList(written) == entries);

    rowsRoundTrip(bytes, kPositionColumns);
    rowsRoundTrip(bytes, kTradeColumns);
    return 0;
}
