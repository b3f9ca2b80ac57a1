// In-place changes of inputs.
#include "operations/inplace.h"

#include "core/host.h"
#include "core/messages.h"

static MessageText* const gw_table[] = {nullptr};

int load_messages_gw(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(gw_table, 0), group, code_page, write);
}

int apply_file_changes(InputFile&, InputList*)
{
    log_message("Writing changes is not built yet.\n");
    ++error_count;
    return 0;
}
