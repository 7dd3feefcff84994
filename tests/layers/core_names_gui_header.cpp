// Compiled with the core's include root only: must not find the GUI header.
#include "gui/jobs/update_dialog.h"
