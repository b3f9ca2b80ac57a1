// Reading an input: IMG container or single subfile file.
#pragma once

#include "core/input_file.h"

// Reads the input's header, FAT and subfile tables; 1 on success, 0 on failure
// (the reason is logged and counted).
int read_input_file(InputFile& input);
