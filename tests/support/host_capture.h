// Host services for the tests: a captured log, a settable Stop request.
#pragma once

#include <cstdint>
#include <string>

#include "core/host.h"

// The log written since the last call.
std::string take_log();
// The debug lines of the categories in test_debug_mask written since the last call.
std::string take_debug_log();
// The Files-list rows the core asked to rebuild since the last call, one
// "path code_page" line each.
std::string take_refreshed_rows();
// -1: never stop; n >= 0: poll_stop_request returns 0 n times, then 1.
extern int test_stop_after_polls;
// Debug categories that are captured (0: none).
extern uint32_t test_debug_mask;

// Puts everything a test may have changed back to its start: the task
// options, the counters and flags, the Stop and debug settings of this host,
// and the captured log, debug lines and refreshed rows.
void reset_test_state();
