#include "gui/jobs/year_split_dialog.h"

#include "gui/jobs/job_labels.h"

namespace quarlink {

SepalaterDialog::SepalaterDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(split_labels::kTitle), QString::fromUtf8(split_labels::kNote), prompter,
                    parent) {
    openJob<YearSplitJob>(app);
}

}  // namespace quarlink
