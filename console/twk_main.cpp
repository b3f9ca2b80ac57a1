// twk's whole run.
//
// Start: version, language, cleared options, the leading "-E", "-P" and
// "-LicenseAcknowledge", the banner line (not after "-LicenseAcknowledge"),
// then the options and input names, and the one command.
#include "console/twk_main.h"

#include <cstring>

#include "console/options.h"
#include "console/run.h"
#include "console/usage.h"
#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "core/messages.h"
#include "operations/task_bridge.h"
#include "core/task_options.h"
#include "platform/platform.h"

int twk_main(int argc, char** argv)
{
    make_version_text();
    capture_current_time();
    init_locale();
    set_ctype_code_page(english_texts ? 1252 : 1250);
    clear_task_options(task_options);

    int first = 1;
    bool acknowledged = false;
    for (; first < argc; ++first) {
        if (strcmp(argv[first], "-E") == 0) {
            english_texts = 1;
            set_ctype_code_page(1252);
        } else if (strcmp(argv[first], "-P") == 0) {
            english_texts = 0;
            set_ctype_code_page(1250);
        } else if (strcmp(argv[first], "-LicenseAcknowledge") == 0) {
            acknowledged = true;
        } else {
            break;
        }
    }
    // The core's own messages follow the language chosen so far; -E and -P
    // among the options load them again.
    load_core_messages(nullptr, 0, 0);

    if (!acknowledged) {
        print_banner_line();
        if (argc <= 1) {
            print_usage(0);
            platform::show_banner_box(1);
            return 1;
        }
        platform::show_banner_box(0);
    }
    if (first >= argc) {
        print_usage(0);
        return 1;
    }
    InputNames inputs;
    int code = parse_arguments(argc, argv, first, inputs);
    if (code != PARSE_GO_ON)
        return code;
    return run_command(inputs);
}
