#include "core/store/price_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

#include "core/store/atomic_file.h"

namespace quarlink {
namespace {

constexpr auto kSize = static_cast<std::int64_t>(kRecordSize);

}  // namespace

PriceFile::~PriceFile() { close(); }

bool PriceFile::open(const std::filesystem::path& path, Mode mode) {
    close();
    // Only a regular file of sane size is a price file: the store's one open
    // rule (no symlink, no waiting on a FIFO, at most 64 MB).
    long long size = 0;
    fd_ = openUserFile(path, mode == Mode::Read ? O_RDONLY : O_RDWR, kMaxPriceFileBytes, size, &links_);
    if (fd_ < 0) return false;
    wholeEnd_ = (size / kSize) * kSize;
    position_ = 0;
    return true;
}

void PriceFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    position_ = 0;
    wholeEnd_ = 0;
}

PriceRecord PriceFile::readRecord() {
    unsigned char buffer[kRecordSize];
    std::size_t got = 0;
    if (fd_ >= 0 && position_ < wholeEnd_) {
        while (got < kRecordSize) {
            const ssize_t n = ::pread(fd_, buffer + got, kRecordSize - got, position_ + static_cast<std::int64_t>(got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) break;
            got += static_cast<std::size_t>(n);
        }
    }
    if (got < kRecordSize) return decodeRecord(buffer, 0);  // end of file
    position_ += kSize;
    return decodeRecord(buffer, got);
}

void PriceFile::seekToLastRecord() { position_ = wholeEnd_ >= kSize ? wholeEnd_ - kSize : 0; }

PriceRecord PriceFile::readLastRecord() {
    if (wholeEnd_ < kSize) {
        position_ = 0;
        return PriceRecord{};
    }
    seekToLastRecord();
    return readRecord();
}

bool PriceFile::writeRecord(const PriceRecord& record) {
    if (fd_ < 0) return false;
    const RecordBytes bytes = encodeRecord(record);
    std::size_t done = 0;
    while (done < kRecordSize) {
        const ssize_t n = ::pwrite(fd_, bytes.data() + done, kRecordSize - done, position_ + static_cast<std::int64_t>(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    position_ += kSize;
    if (position_ > wholeEnd_) wholeEnd_ = position_;
    return true;
}

bool PriceFile::readImage(std::int64_t index, std::int64_t count, std::string& image) {
    index = std::clamp<std::int64_t>(index, 0, recordCount());
    count = std::clamp<std::int64_t>(count, 0, recordCount() - index);
    image.resize(static_cast<std::size_t>(count) * kRecordSize);
    for (std::size_t got = 0; got < image.size();) {
        const ssize_t n = ::pread(fd_, image.data() + got, image.size() - got, index * kSize + std::int64_t(got));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    return true;
}

bool PriceFile::writeImage(std::int64_t index, std::string_view image) {
    if (fd_ < 0 || image.size() % kRecordSize) return false;
    for (std::size_t done = 0; done < image.size();) {
        const ssize_t n = ::pwrite(fd_, image.data() + done, image.size() - done, index * kSize + std::int64_t(done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
    }
    wholeEnd_ = std::max<std::int64_t>(wholeEnd_, index * kSize + std::int64_t(image.size()));
    return true;
}

bool loadPriceFile(const std::filesystem::path& path, PriceSeries& series, std::string* error) {
    std::string bytes;
    if (!readWholeFile(path, bytes, error)) return false;
    series = parsePriceSeries(bytes);
    return true;
}

bool writePriceFile(const std::filesystem::path& path, const PriceSeries& series, std::string* error) {
    return replaceFileAtomically(path, serializePriceSeries(series), error);
}

StoreResult appendOrOverwrite(const std::filesystem::path& path, std::int32_t compareDate,
                              const PriceRecord& record, PriceRecord* lastOut, bool keepOrder) {
    if (lastOut) *lastOut = PriceRecord{};
    PriceFile file;
    if (!file.open(path, PriceFile::Mode::ReadWrite)) {
        // A first file appears whole, like every other write: a kill or a
        // full disk leaves no file rather than an empty one.
        const RecordBytes bytes = encodeRecord(record);
        if (errno != ENOENT ||
            !replaceFileAtomically(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size())))
            return StoreResult::Failed;
        return StoreResult::Appended;
    }
    const PriceRecord last = file.readLastRecord();
    if (lastOut) *lastOut = last;
    if (keepOrder && last.date != kEndOfFileDate && compareDate < last.date) return StoreResult::Older;
    const bool overwrite = last.date != kEndOfFileDate && last.date == compareDate;
    if (overwrite)
        file.seekToLastRecord();
    else
        file.seekToEnd();
    if (file.hasOtherNames()) {
        // The snapshot's name must keep the old content: a new file instead.
        std::string bytes;
        if (!readPriceFileBytes(path, bytes)) return StoreResult::Failed;
        bytes.resize(static_cast<std::size_t>(file.position()));
        const RecordBytes r = encodeRecord(record);
        bytes.append(reinterpret_cast<const char*>(r.data()), r.size());
        file.close();
        if (!replaceFileAtomically(path, bytes)) return StoreResult::Failed;
    } else if (!file.writeRecord(record)) {
        return StoreResult::Failed;
    }
    return overwrite ? StoreResult::Overwritten : StoreResult::Appended;
}

namespace {

// Moves the date -1 records out of `series` into the result, in file order.
PriceSeries takeEndMarkers(PriceSeries& series) {
    PriceSeries ends;
    std::erase_if(series.rows, [&](const PriceRecord& r) {
        if (r.date != kEndOfFileDate) return false;
        ends.append(r);
        return true;
    });
    return ends;
}

}  // namespace

std::string mergePriceImages(std::string_view target, std::string_view source, bool overwrite) {
    PriceSeries merged = parseAllRecords(target);
    const PriceSeries ends = takeEndMarkers(merged);
    PriceSeries incoming = parseAllRecords(source);
    takeEndMarkers(incoming);  // no date to merge them by
    mergeSeries(merged, incoming, overwrite);
    merged.rows.insert(merged.rows.end(), ends.rows.begin(), ends.rows.end());
    return serializePriceSeries(merged);
}

namespace {

template <typename Write>
MergeResult mergeFiles(const std::filesystem::path& target, const std::filesystem::path& source, bool overwrite,
                       std::string* error, Write&& write) {
    std::string targetBytes;
    if (!readPriceFileBytes(target, targetBytes, error)) return MergeResult::TargetOpenFailed;
    std::string sourceBytes;
    if (!readPriceFileBytes(source, sourceBytes, error)) return MergeResult::SourceOpenFailed;
    if (!write(mergePriceImages(targetBytes, sourceBytes, overwrite))) return MergeResult::WriteFailed;
    return MergeResult::Merged;
}

}  // namespace

MergeResult mergePriceFile(const std::filesystem::path& target, const std::filesystem::path& source,
                           bool overwrite, std::string* error) {
    return mergeFiles(target, source, overwrite, error,
                      [&](const std::string& out) { return replaceFileAtomically(target, out, error); });
}

MergeResult mergePriceFile(const std::filesystem::path& target, const std::filesystem::path& source,
                           bool overwrite, BatchWriter& batch, std::string* error) {
    return mergeFiles(target, source, overwrite, error,
                      [&](const std::string& out) { return batch.replace(target, out, error); });
}

}  // namespace quarlink
