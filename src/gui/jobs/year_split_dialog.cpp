#include "jobs/year_split_dialog.h"

namespace quarlink {

SepalaterDialog::SepalaterDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(app, QString::fromUtf8(split_text::kTitle), QString::fromUtf8(split_text::kNote), prompter,
                    parent) {
    openJob<YearSplitJob>(app);
}

}  // namespace quarlink
