// The information report of one input.
#include "core/report.h"

#include "core/host.h"
#include "core/messages.h"

static MessageText* const dp_table[] = {nullptr};

int load_messages_dp(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(dp_table, 0), group, code_page, write);
}

int print_info_report(InputFile& input)
{
    log_message("The information report is not built yet, file %s.\n", input.path.c_str());
    ++error_count;
    return 0;
}
