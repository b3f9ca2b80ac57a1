// Join driver and IMG writer.
#pragma once

#include "core/input_file.h"

int join_input_maps(InputList& inputs);
