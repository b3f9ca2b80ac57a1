// Split driver.
#include "operations/split.h"

#include "core/host.h"
#include "core/messages.h"

static MessageText* const pd_table[] = {nullptr};

int load_messages_pd(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(pd_table, 0), group, code_page, write);
}

int split_input_files(InputList&)
{
    log_message("The split is not built yet.\n");
    ++error_count;
    return 0;
}
