// The task bridge as the tabs call it: one table of entries, the real
// bridge by default, so tests can hand a tab's run to a double and read the
// record it would have run with.
#pragma once

#include "core/task_options.h"

struct TaskCalls {
    void (*info)(const TaskOptions&, int, const char* const*);
    void (*join)(const TaskOptions&, int, const char* const*);
    void (*split)(TaskOptions&, int, const char* const*);
    void (*write)(const TaskOptions&, int, const char* const*);
    void (*chang)(const TaskOptions&, int, const char* const*);
};

extern TaskCalls task_calls;
// Puts the real bridge back.
void reset_task_calls();
