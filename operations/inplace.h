// In-place changes of inputs.
#pragma once

#include "core/input_file.h"

int apply_file_changes(InputFile& input, InputList* list);
