// File primitives: memory, file messages, transfers through the FAT.
#include "core/messages.h"

static MessageText* const fn_table[] = {nullptr};

int load_messages_fn(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(fn_table, 0), group, code_page, write);
}
