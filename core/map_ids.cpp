// The map-ID list.
#include "core/messages.h"

static MessageText* const mp_table[] = {nullptr};

int load_messages_mp(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(mp_table, 0), group, code_page, write);
}
