// The global task options.
#include "core/task_options.h"

TaskOptions task_options;

void clear_task_options(TaskOptions& options) { options = TaskOptions{}; }
