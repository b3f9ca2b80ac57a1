// The information report of one input.
#pragma once

#include "core/input_file.h"

int print_info_report(InputFile& input);
