#include "core/jobs/year_split_job.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"
#include "core/store/number_text.h"
#include "core/store/price_series.h"

namespace quarlink {
namespace {

int yearOf(const PriceRecord& r) { return r.date / 10000; }

}  // namespace

JobOutcome YearSplitJob::open() {
    app_.processedCount = 0;
    walk_.restart();
    setSettingsTaken(false);
    skipped_.clear();
    JobOutcome o;
    o.state = JobState::Idle;
    o.progress = 0;
    o.status = "株価データ分割保存中...";
    return o;
}

JobOutcome YearSplitJob::start() {
    JobOutcome o = open();
    const auto sep = layout::sepFolder(app_);
    ensureFolder(sep);  // a failure shows when the first year file cannot be created
    std::error_code ec;
    for (std::filesystem::directory_iterator it(sep, ec), end; !ec && it != end; it.increment(ec))
        if (it->is_directory(ec)) removeStaleTemporaryFiles(it->path());
    setSettingsTaken(true);
    o.state = JobState::Running;
    return o;
}

JobOutcome YearSplitJob::tick() {
    JobOutcome o;
    o.state = JobState::Running;
    const int code = walk_.code();
    const auto path = layout::dataFile(app_, code);
    std::string why;
    const PriceFileKind kind = examinePriceFile(path, &why);
    if (kind == PriceFileKind::Odd) skipped_.add(path, why);
    if (kind == PriceFileKind::Regular) {
        std::string bytes;
        if (!readPriceFileBytes(path, bytes)) {
            o.state = JobState::Finished;
            o.stopReason = JobOutcome::StopReason::Failed;
            o.message = formatInt("ファイルオープンエラー！%d\n", code);
            return o;
        }
        // Every whole record goes to some year, even one the chart program
        // would stop at.
        PriceSeries series = parseAllRecords(bytes);
        // A year that recurs out of date order keeps all of its records, in
        // file order, instead of the later run replacing the earlier one.
        std::stable_sort(series.rows.begin(), series.rows.end(),
                         [](const PriceRecord& a, const PriceRecord& b) { return yearOf(a) < yearOf(b); });
        for (std::size_t begin = 0; begin < series.size();) {
            const int year = yearOf(series[begin]);
            std::size_t end = begin;
            PriceSeries yearRows;
            while (end < series.size() && yearOf(series[end]) == year) yearRows.append(series[end++]);
            const auto target = layout::sepFile(app_, year, code);
            std::string error;
            if (!ensureFolder(target.parent_path(), &error) ||
                !batch_.replace(target, serializePriceSeries(yearRows), &error)) {
                batch_.flush();
                o.state = JobState::Finished;
                o.stopReason = JobOutcome::StopReason::Failed;
                o.message = "ファイル作成エラー！" + target.string() + "\n" + error;
                return o;
            }
            begin = end;
        }
        o.status = formatInt("株価データ分割保存中...%d", code);
        ++app_.processedCount;
    }
    o.progress = walk_.progress();
    if (walk_.advance()) {
        const bool flushed = batch_.flush();
        o.state = JobState::Finished;
        o.message = formatInt("分割完了！処理ファイル数 %d", app_.processedCount);
        if (!flushed) {
            o.stopReason = JobOutcome::StopReason::Failed;
            for (const auto& f : batch_.failures()) *o.message += "\n" + f;
        }
        if (skipped_.count() > 0) *o.message += "\n" + skipped_.report();
    }
    return o;
}

}  // namespace quarlink
