// The tabs' table of task-bridge entries.
#include "gui/task_calls.h"

#include "operations/task_bridge.h"

static const TaskCalls bridge = {pomost_info, pomost_join, pomost_split, pomost_write, pomost_chang};

TaskCalls task_calls = bridge;

void reset_task_calls() { task_calls = bridge; }
