// Join driver and IMG writer.
#include "operations/join.h"

#include "core/host.h"
#include "core/messages.h"

static MessageText* const dd_table[] = {nullptr};

int load_messages_dd(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(dd_table, 0), group, code_page, write);
}

int join_input_maps(InputList&)
{
    log_message("The join is not built yet.\n");
    ++error_count;
    return 0;
}
