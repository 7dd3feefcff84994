#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "core/web/jquants/jquants_types.h"
#include "core/web/jquants/unit_rows.h"

namespace quarlink::jquants {

namespace rows {
struct Field;
}

// Where a file's text goes as it is decompressed, in pieces of any size.
class TextSink {
public:
    virtual ~TextSink() = default;
    // A new attempt at the file `name` (its key, for messages): all that an
    // earlier attempt fed is forgotten.
    virtual void start(std::string_view name) = 0;
    // False refuses the file; why() says why, naming it.
    virtual bool feed(std::string_view text) = 0;
    // The file ended here.
    virtual bool finish() = 0;
    virtual const std::string& why() const = 0;
};

// A bulk file's CSV, read as it arrives: a header line naming the columns
// (in any order, columns not needed ignored), then one row a line. LF or
// CRLF, a UTF-8 BOM, fields quoted with "" for a quote (commas and line
// breaks inside). A needed column the header lacks, a malformed line, a row
// over kMaxRowBytes, or a row that cannot be what it stands for (the API's
// rules and words, jquants_json.h) refuses the file, naming its key and line.
// Memory stays a few buffers of kMaxRowBytes, whatever the file's size.
class CsvReader : public TextSink {
public:
    static constexpr std::size_t kMaxRowBytes = 64u << 10;

    void start(std::string_view name) override;
    bool feed(std::string_view text) override;
    bool finish() override;
    const std::string& why() const override { return why_; }

protected:
    // `names`: the columns read, whose fields take() gets in this order, the
    // first `required` of them needed; `numeric`: those that hold numbers.
    CsvReader(const std::string_view* names, const bool* numeric, std::size_t count, std::size_t required);
    ~CsvReader() override;
    // One row's needed fields: why it cannot be taken, empty when taken.
    virtual std::string take(const rows::Field* fields) = 0;
    // Hands over the rows taken since the last call (`end`: the file's last).
    virtual void flush(bool end) = 0;
    virtual void restart() = 0;

private:
    bool record(const char* begin, const char* end, bool quoted, std::uint64_t breaks);
    bool header(const char* begin, const char* end);
    bool refuse(std::string reason);

    const std::string_view* names_;
    const bool* numeric_;
    std::size_t count_;
    std::size_t required_;
    std::vector<rows::Field> fields_;
    std::vector<int> slots_;     // the needed field of each column, -1 for none
    std::string name_;
    std::string carry_;          // a row begun in an earlier piece
    bool carryQuoted_ = false;   // it holds a quote
    bool odd_ = false;           // after an odd number of quotes: inside a quoted field
    std::uint64_t carryBreaks_ = 0;
    std::string unquoted_;       // fields with "" escapes, unescaped
    std::uint64_t line_ = 1;     // the line the next row starts on
    bool headerRead_ = false;
    bool failed_ = false;
    std::string why_;
};

// Where rows go as they are read. begin() comes before each attempt at a
// file: after a lost connection or an expired URL it starts over from its
// first row, and rows handed over before must be dropped, as must those of
// a file that is refused. take() gets a batch (at most a piece of text's
// worth) and may move the rows out.
template <class Row>
struct RowSink {
    std::function<void()> begin;
    std::function<void(std::vector<Row>& batch)> take;
};

// A bulk file's rows of one kind: DailyBar (bars: Date, Code, O, H, L, C,
// Vo, AdjFactor), MarginBalance (Date, Code, LongVol, ShrtVol), IndexBar
// (TOPIX: Date, O, H, L, C), CalendarDay (Date, HolDiv). Without a sink the
// rows collect in rows(); with one they are handed over as they are read.
// rows() keeps the counts (codes that are not ordinary shares, rows without
// a value they must have, margin corrections) of the current attempt either way.
template <class Row>
class CsvRows final : public CsvReader {
public:
    explicit CsvRows(RowSink<Row> sink = {});
    const Rows<Row>& rows() const { return rows_; }
    // The file holds the days first..last: every row is checked as a unit's
    // (UnitRows). Margin rows are then handed over at the file's end, as a
    // correction may replace any row before it.
    void expect(std::int32_t first, std::int32_t last) { first_ = first, last_ = last; }

private:
    std::string take(const rows::Field* fields) override;
    void flush(bool end) override;
    void restart() override;

    Rows<Row> rows_;
    RowSink<Row> sink_;
    std::int32_t first_ = 0, last_ = 0;
    UnitRows<Row> unit_;
};

extern template class CsvRows<DailyBar>;
extern template class CsvRows<MarginBalance>;
extern template class CsvRows<IndexBar>;
extern template class CsvRows<CalendarDay>;

}  // namespace quarlink::jquants
