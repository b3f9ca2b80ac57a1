// twk after its arguments: read every input, run the one command, exit code.
#pragma once

#include "console/options.h"

// Exit codes: 0 done (or nothing to do), 2 an input can't be read, 3 the
// inputs or a name the command needs are missing, or -w has nothing to
// change, 4 the command failed.
int run_command(const InputNames& names);
