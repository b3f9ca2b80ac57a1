// MapSource installation data.
#include "core/messages.h"

static MessageText* const pl_table[] = {nullptr};

int load_messages_pl(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(pl_table, 0), group, code_page, write);
}
