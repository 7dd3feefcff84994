#pragma once
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>

#include "core/store/batch_writer.h"
#include "core/store/price_record.h"
#include "core/store/price_series.h"

namespace quarlink {

// One price file opened for record-at-a-time access. Reads past the end give
// date -1; a trailing partial record is treated as absent, so writes at the
// end start at the last whole-record boundary.
class PriceFile {
public:
    enum class Mode { Read, ReadWrite };

    PriceFile() = default;
    ~PriceFile();
    PriceFile(const PriceFile&) = delete;
    PriceFile& operator=(const PriceFile&) = delete;

    bool open(const std::filesystem::path& path, Mode mode);
    void close();
    bool isOpen() const { return fd_ >= 0; }

    PriceRecord readRecord();
    // Positions 32 bytes before the end and reads there; an empty file gives
    // date -1 with the position left at 0.
    PriceRecord readLastRecord();
    void seekToLastRecord();
    void seekToEnd() { position_ = wholeEnd_; }
    // The record `index` (0 first) is the next read or written.
    void seekToRecord(std::int64_t index) {
        position_ = std::clamp<std::int64_t>(index, 0, recordCount()) * static_cast<std::int64_t>(kRecordSize);
    }
    bool writeRecord(const PriceRecord& record);
    // The whole records `index`.. as stored, at most `count` of them: one
    // read; and bytes of whole records written back at `index` in one write.
    bool readImage(std::int64_t index, std::int64_t count, std::string& image);
    bool writeImage(std::int64_t index, std::string_view image);

    std::int64_t position() const { return position_; }
    // True when the file has other names (hard links of a snapshot), which
    // a write in place would change too.
    bool hasOtherNames() const { return links_ > 1; }
    std::int64_t recordCount() const { return wholeEnd_ / static_cast<std::int64_t>(kRecordSize); }

private:
    int fd_ = -1;
    std::int64_t position_ = 0;
    std::int64_t wholeEnd_ = 0;
    long links_ = 1;
};

bool loadPriceFile(const std::filesystem::path& path, PriceSeries& series, std::string* error = nullptr);

// Writes the rows as the whole file, atomically.
bool writePriceFile(const std::filesystem::path& path, const PriceSeries& series, std::string* error = nullptr);

enum class StoreResult { Appended, Overwritten, Older, Failed };

// The daily record step: appends `record`, or overwrites the last record when
// its date equals `compareDate`. Creates the file when missing. `lastOut`
// receives the last record found (date -1 for a new or empty file). With
// `keepOrder`, a compare date before the last record's writes nothing
// (result Older), so the file stays in ascending date order.
StoreResult appendOrOverwrite(const std::filesystem::path& path, std::int32_t compareDate,
                              const PriceRecord& record, PriceRecord* lastOut = nullptr, bool keepOrder = false);

enum class MergeResult { Merged, TargetOpenFailed, SourceOpenFailed, WriteFailed };

// Merges the source file into the existing target file (see mergeSeries) and
// rewrites the target atomically. The target never shrinks.
MergeResult mergePriceFile(const std::filesystem::path& target, const std::filesystem::path& source,
                           bool overwrite, std::string* error = nullptr);
// The same, writing through a batch (the file jobs).
MergeResult mergePriceFile(const std::filesystem::path& target, const std::filesystem::path& source,
                           bool overwrite, BatchWriter& batch, std::string* error = nullptr);

// The merged file image of two file images (see mergeSeries). Every whole
// record of the target is kept; those with date -1, which no reader gets
// past, go last so that the dated rows stay readable and in date order.
std::string mergePriceImages(std::string_view target, std::string_view source, bool overwrite);

}  // namespace quarlink
