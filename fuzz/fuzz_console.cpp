#include "fuzz/fuzz_console.h"

#include "core/files.h"
#include "core/task_options.h"

bool fuzz_parse_arguments(std::vector<std::string>& args, InputNames& inputs)
{
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    clear_task_options(task_options);
    error_count = 0;
    warning_count = 0;
    return parse_arguments(static_cast<int>(args.size()), argv.data(), 1, inputs) == PARSE_GO_ON;
}
