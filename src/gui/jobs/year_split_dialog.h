#pragma once
#include "gui/jobs/auto_job_dialog.h"
#include "core/jobs/year_split_job.h"

namespace quarlink {

// Splits every price file by year into sep/YYYY/NNNN as soon as it opens;
// closes itself with the summary. The tray menu asks kSplitQuestion first.
class SepalaterDialog : public AutoJobDialog {
    Q_OBJECT
public:
    SepalaterDialog(Application& app, QWidget* parent, Prompter* prompter = nullptr);
};

}  // namespace quarlink
