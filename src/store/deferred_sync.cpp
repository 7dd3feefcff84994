#include "store/deferred_sync.h"

#include <algorithm>
#include <set>
#include <sys/stat.h>

#include "store/atomic_file.h"

namespace quarlink {

void DeferredSync::wrote(const std::filesystem::path& folder) {
    if (std::find(pending_.begin(), pending_.end(), folder) == pending_.end()) pending_.push_back(folder);
}

bool DeferredSync::flush() {
    bool ok = true;
    std::set<dev_t> done;
    for (const auto& folder : pending_) {
        struct stat st {};
        if (::stat(folder.c_str(), &st) != 0 || !done.insert(st.st_dev).second) continue;
        ok = syncFileSystem(folder) && ok;
    }
    pending_.clear();
    return ok;
}

}  // namespace quarlink
