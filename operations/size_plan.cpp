// Output size planning.
#include "core/messages.h"

static MessageText* const size_table[] = {nullptr};

int load_messages_size(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(size_table, 0), group, code_page, write);
}
