// The external map compilers (cGPSmapper, MapTk, mkgmap) that turn the
// preview map source of a MapSource split into an IMG: their command lines,
// starting them, their output in the log and their result.
#pragma once

#include <string>
#include <vector>

#include "core/task_options.h"

// What one compile runs. The display line is the one the log shows (in the
// quoting a Windows command interpreter would want); the argument vector is
// what is really started, with no shell in between.
struct CompilerCommand {
    std::string display;
    std::vector<std::string> argv;
    // Windows program: runs through wine.
    bool needs_wine = false;
    // The IMG the run must leave behind ("" when its place is not certain).
    std::string expected_map;
};

// The program of the chosen compiler: the path setting when not blank; else
// for mkgmap the mkgmap.jar beside the program when there is one, then the
// packaged one; else the compiler's default program name.
std::string compiler_program(const TaskOptions& options);

// The command for a split's record (output_path, mapset_file_name,
// split_result, compiler_is_maptk / compiler_is_mkgmap) and a program.
CompilerCommand compiler_command(const TaskOptions& options, const std::string& program);

// Runs the chosen compiler on the preview map of the split whose record
// this is, its output going to the log line by line while the window keeps
// handling events. A failure (cannot start, non-zero exit, no IMG where one
// was expected) counts one error in error_count.
void run_map_compiler(const TaskOptions& options);

// The lines that follow the compiler's output, and the error they count: a
// failed read of that output, else a non-zero exit status, else the map the
// run should have written and did not (missing_map, "" when none is).
void log_compiler_result(bool read_failed, int status, const std::string& missing_map);

// Where a blank mkgmap path looks last.
extern const char* const packaged_mkgmap_jar;
