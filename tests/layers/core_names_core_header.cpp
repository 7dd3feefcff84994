// The control for the probe beside it: the same command finds core headers.
#include "core/jobs/update_job.h"
