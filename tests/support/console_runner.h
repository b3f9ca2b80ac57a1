// twk's whole run inside the test process: the same start, parse, reading and
// command as the binary, with the language of an environment of its own and
// its output taken from the captured log. Starting the binary costs far more
// than the run itself, so only the tests of the program as a process (its
// exit status, its standard output) start it.
#pragma once

#include <string>
#include <vector>

#include "console/twk_main.h"
#include "core/codepage.h"
#include "core/host.h"
#include "operations/task_bridge.h"
#include "platform/platform.h"
#include "tests/support/host_capture.h"
#include "tests/support/locale_environment.h"
#include "tests/support/test_support.h"

// Runs twk with the arguments in this process, as run_twk runs the binary
// (LANG=lang, no LC_ALL or LC_MESSAGES). The counters, options and captured
// log start empty and are left so; the texts go back to English.
inline RunResult run_twk_here(const std::vector<std::string>& args, const std::string& lang = "C")
{
    RunResult result;
    LocaleEnvironment environment(nullptr, nullptr, lang.c_str());
    int ctype_code_page = platform::current_ctype_code_page();
    reset_test_state();
    std::vector<std::string> strings{"twk"};
    strings.insert(strings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : strings)
        argv.push_back(s.data());
    argv.push_back(nullptr);
    result.exit_code = twk_main(static_cast<int>(strings.size()), argv.data());
    result.output = take_log();
    reset_test_state();
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
    platform::set_current_ctype_code_page(ctype_code_page);
    return result;
}
