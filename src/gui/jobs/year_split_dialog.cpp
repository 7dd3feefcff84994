#include "jobs/year_split_dialog.h"

#include <memory>

namespace quarlink {

SepalaterDialog::SepalaterDialog(Application& app, QWidget* parent, Prompter* prompter)
    : AutoJobDialog(QString::fromUtf8(split_text::kTitle), QString::fromUtf8(split_text::kNote), prompter, parent) {
    auto job = std::make_shared<YearSplitJob>(app);
    setJob(job->open(), [job] { return job->start(); }, [job] { return job->tick(); });
}

}  // namespace quarlink
