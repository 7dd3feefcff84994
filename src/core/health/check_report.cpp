#include "core/health/check_report.h"

#include <cstdio>

#include "core/store/folder_layout.h"
#include "core/store/number_text.h"

namespace quarlink {
namespace {

std::string jsonString(std::string_view s) {
    std::string out = "\"";
    for (const char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "\\u%04x", static_cast<unsigned char>(c));
                out += buf;
            } else {
                out += c;
            }
        }
    }
    return out + "\"";
}

bool countsRecords(FindingKind k) {
    return k != FindingKind::PartialRecord && k != FindingKind::NoPriceFile && k != FindingKind::NotInIndex &&
           k != FindingKind::Unreadable && k != FindingKind::NoIndex;
}

std::string dateText(std::int32_t d) { return isCalendarDate(d) ? slashDate(d) : std::to_string(d); }

// The report's lines say 修復済み in a column of their own.
std::string whatText(const Finding& f) {
    std::string text = findingText(f.kind);
    if (countsRecords(f.kind))
        text += (f.kind == FindingKind::MissingDays ? formatInt("（%d日）", f.count) : formatInt("（%d件）", f.count));
    if (!f.detail.empty()) text += "：" + f.detail;
    return text;
}

}  // namespace

std::string findingCodeText(const Finding& f) { return f.code < 0 ? "-" : layout::codeName(f.code); }

std::string findingWhatText(const Finding& f) { return whatText(f) + (f.repaired ? "（修復済み）" : ""); }

std::string findingDatesText(const Finding& f) {
    std::string text;
    for (std::size_t i = 0; i < f.dates.size(); ++i) text += (i ? ", " : "") + dateText(f.dates[i]);
    if (f.count > static_cast<int>(f.dates.size()) && !f.dates.empty()) text += " ほか";
    return text;
}

std::string findingRepairText(const Finding& f) {
    if (f.repaired) return check_text::kFixed;
    return findingFixable(f.kind) ? check_text::kFixable : check_text::kNotFixable;
}

std::string checkReportText(const DataCheckJob& job) {
    std::string out;
    int fixable = 0;
    for (const Finding& f : job.findings()) {
        out += findingCodeText(f) + "\t" + whatText(f) + "\t" + findingRepairText(f);
        if (!f.repaired && findingFixable(f.kind)) ++fixable;
        if (const std::string dates = findingDatesText(f); !dates.empty()) out += "\t" + dates;
        out += "\n";
    }
    int counts[kFindingKinds] = {};
    for (const Finding& f : job.findings())
        if (!f.repaired) ++counts[static_cast<int>(f.kind)];
    out += formatInt("点検したファイル数 %d", job.filesChecked()) + "\n";
    for (int k = 0; k < kFindingKinds; ++k)
        if (counts[k] > 0) out += std::string(findingText(static_cast<FindingKind>(k))) + formatInt("：%d", counts[k]) + "\n";
    if (!job.calendarChecked()) out += std::string(check_text::kNoCalendar) + "\n";
    for (const auto& r : job.repairs()) {
        out += layout::codeName(r.code) + "\t修復：";
        if (r.partialBytes) out += formatInt("末尾の%dバイトを削除、", r.partialBytes);
        if (r.reordered) out += "日付順に並べ替え、";
        if (r.duplicatesDropped) out += formatInt("重複した%d件を削除、", r.duplicatesDropped);
        out += std::to_string(r.bytesBefore) + " → " + std::to_string(r.bytesAfter) + " バイト\n";
    }
    if (!job.repairs().empty())
        out += std::string(check_text::kBackupFolderIs) + job.repairBackupFolder().string() + "\n";
    const int left = job.remaining();
    out += left == 0 ? std::string("問題は見つかりませんでした。\n") : formatInt("問題 %d件", left) + "\n";
    if (fixable > 0) out += formatInt(check_text::kFixableLeft, fixable) + "\n";
    return out;
}

std::string checkReportJson(const DataCheckJob& job, const std::string& chartFolder) {
    std::string out = "{\n  \"chart_folder\": " + jsonString(chartFolder) + ",\n";
    out += "  \"files_checked\": " + std::to_string(job.filesChecked()) + ",\n";
    out += std::string("  \"calendar\": ") + (job.calendarChecked() ? "\"data/0101\"" : "null") + ",\n";
    out += std::string("  \"clean\": ") + (job.remaining() == 0 ? "true" : "false") + ",\n";
    out += "  \"remaining\": " + std::to_string(job.remaining()) + ",\n";
    int counts[kFindingKinds] = {};
    for (const Finding& f : job.findings())
        if (!f.repaired) ++counts[static_cast<int>(f.kind)];
    out += "  \"summary\": {";
    for (int k = 0; k < kFindingKinds; ++k)
        out += std::string(k ? ", " : "") + "\"" + findingKey(static_cast<FindingKind>(k)) + "\": " +
               std::to_string(counts[k]);
    out += "},\n  \"findings\": [";
    bool first = true;
    for (const Finding& f : job.findings()) {
        out += first ? "\n" : ",\n";
        first = false;
        out += "    {\"code\": " + (f.code < 0 ? std::string("null") : "\"" + layout::codeName(f.code) + "\"");
        out += std::string(", \"kind\": \"") + findingKey(f.kind) + "\", \"text\": " + jsonString(findingText(f.kind));
        out += std::string(", \"fixable\": ") + (findingFixable(f.kind) ? "true" : "false");
        out += std::string(", \"repaired\": ") + (f.repaired ? "true" : "false");
        out += ", \"count\": " + std::to_string(f.count) + ", \"dates\": [";
        for (std::size_t i = 0; i < f.dates.size(); ++i) out += (i ? ", " : "") + std::to_string(f.dates[i]);
        out += "], \"detail\": " + jsonString(f.detail) + "}";
    }
    out += first ? "],\n" : "\n  ],\n";
    if (job.repairBackupFolder().empty() && job.repairs().empty()) {
        out += "  \"repair\": null\n";
    } else {
        out += "  \"repair\": {\"backup_folder\": " + jsonString(job.repairBackupFolder().string()) +
               ", \"failed\": " + std::to_string(job.repairFailures()) + ", \"files\": [";
        for (std::size_t i = 0; i < job.repairs().size(); ++i) {
            const auto& r = job.repairs()[i];
            out += std::string(i ? ", " : "") + "{\"code\": \"" + layout::codeName(r.code) +
                   "\", \"bytes_before\": " + std::to_string(r.bytesBefore) +
                   ", \"bytes_after\": " + std::to_string(r.bytesAfter) +
                   ", \"partial_bytes\": " + std::to_string(r.partialBytes) +
                   ", \"duplicates_dropped\": " + std::to_string(r.duplicatesDropped) +
                   ", \"reordered\": " + (r.reordered ? "true" : "false") + "}";
        }
        out += "]}\n";
    }
    return out + "}\n";
}

}  // namespace quarlink
