// Split driver.
#pragma once

#include "core/input_file.h"

int split_input_files(InputList& inputs);
