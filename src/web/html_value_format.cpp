// PLACEHOLDER until the page readers land: every read reports an unrecognised page.
#include "web/html_value_format.h"

namespace quarlink {

int HtmlValueFormat::ReadYahooQuote(int, int, std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&,
                                    std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&) {
    return -3;
}
int HtmlValueFormat::ReadInfoSeekQuote(int, int, std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&,
                                       std::int32_t&, std::int32_t&, std::int32_t&, std::int32_t&) {
    return -3;
}
int HtmlValueFormat::ReadPriceHistory(int, int, int, std::vector<std::int32_t>&, std::vector<std::int32_t>&,
                                      std::vector<std::int32_t>&, std::vector<std::int32_t>&,
                                      std::vector<std::int32_t>&, std::vector<std::int32_t>&,
                                      std::vector<std::int32_t>&, std::vector<std::int32_t>&) {
    return -3;
}
int HtmlValueFormat::ReadMarginHistory(int, int, std::vector<std::int32_t>&, std::vector<std::int32_t>&,
                                       std::vector<std::int32_t>&) {
    return -3;
}

}  // namespace quarlink
