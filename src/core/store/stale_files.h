#pragma once
#include "core/store/application.h"

namespace quarlink {

// Removes the temporary files that a killed writer left in every folder the
// program writes to (working folder and its sub-folders, the chart folder and
// its data folder). Run at start-up, after the options are loaded. Returns how
// many were removed.
int removeStaleTemporaryFiles(const Application& app);

}  // namespace quarlink
