// The console's option parser as the fuzz targets that drive twk use it.
#pragma once

#include <string>
#include <vector>

#include "console/options.h"

// Clears what a previous run left (task options, error and warning counts)
// and parses args (args[0] the program name) into inputs, as twk_main does
// after its leading arguments; true when the run goes on to the command.
bool fuzz_parse_arguments(std::vector<std::string>& args, InputNames& inputs);
