// twk's command line: option letters into task_options, names into the input list.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TaskOptions;

// The input names in the order given. The files are only read by the
// command (run_command), which makes their InputFiles when it needs them.
using InputNames = std::vector<std::string>;

// parse_arguments' result when the run goes on to reading and the command.
constexpr int PARSE_GO_ON = -1;

// Parses the arguments from argv[first] on into task_options and the input
// names. Prints every refusal (with the usage where one belongs) and returns
// the exit code then, or PARSE_GO_ON.
int parse_arguments(int argc, char** argv, int first, InputNames& inputs);

// The value parsers of the options. Each takes the whole text, prints its own
// message when the text is wrong and returns 0 then, else 1.

// "FID" or "FID,PID", each below 65536. One number gives PID 1 and flags 1,
// two numbers flags 3.
int parse_fid_pid(const char* text, uint32_t& family_id, uint32_t& product_id, uint8_t& flags);
// -c under -j and -w: "major.minor", "major.minor,ms", ".,ms", each of them
// or ".," with ",product code" behind.
int parse_version_argument(const char* text, TaskOptions& options);
// -y: "FID[,PID[,CP]]".
int parse_typ_argument(const char* text, TaskOptions& options);
// -q under -w: "t1,t2,t3[,t4]".
int parse_tre_argument(const char* text, TaskOptions& options);

// Appends one input name per non-empty line of a list file; the number of
// names added, or -1 when the file can't be opened or read.
int read_file_list(const char* path, InputNames& list);
