// Subfile header knowledge: section tables and known lengths.
#include "core/messages.h"

static MessageText* const nt_table[] = {nullptr};

int load_messages_nt(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(nt_table, 0), group, code_page, write);
}
