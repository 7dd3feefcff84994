#include "core/store/stale_files.h"

#include "core/store/atomic_file.h"
#include "core/store/folder_layout.h"

namespace quarlink {

int removeStaleTemporaryFiles(const Application& app) {
    int removed = 0;
    for (const auto& folder : {app.workDir, layout::initFolder(app), layout::backupFolder(app),
                               layout::userFolder(app), layout::htmlFolder(app)})
        removed += removeStaleTemporaryFiles(folder);
    std::error_code ec;
    // The year folders of the split and the repair's backup folders.
    for (const auto& parent : {layout::sepFolder(app), layout::backupFolder(app)})
        for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end; it.increment(ec))
            if (it->is_directory(ec)) removed += removeStaleTemporaryFiles(it->path());
    if (app.chartFolderConfigured()) {
        removed += removeStaleTemporaryFiles(layout::chartFolder(app));
        removed += removeStaleTemporaryFiles(layout::dataFolder(app));
    }
    return removed;
}

}  // namespace quarlink
