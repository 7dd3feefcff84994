#pragma once
#include <string>

#include "core/health/data_check_job.h"

namespace quarlink {

// The three columns of a finding, as the dialog's table and the CLI show them.
std::string findingCodeText(const Finding& f);   // "7203", or "-" for the folder
std::string findingWhatText(const Finding& f);   // the kind's text, its count and detail, "（修復済み）"
std::string findingDatesText(const Finding& f);  // "2006/12/05, 2006/12/06 ほか" or empty
// What 修復 does to it, from what the repair rewrites: 修復可, 修復不可（手作業）, 修復済み.
std::string findingRepairText(const Finding& f);

// The findings one per line (code, what, repair, dates separated by tabs), then the
// summary and what a repair did: the CLI's output and the dialog's saved file.
std::string checkReportText(const DataCheckJob& job);

// The same as one JSON document (see README, "Data check").
std::string checkReportJson(const DataCheckJob& job, const std::string& chartFolder);

}  // namespace quarlink
