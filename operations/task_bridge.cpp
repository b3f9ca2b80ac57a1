// The task bridge: one task over an input list.
#include "core/messages.h"

static MessageText* const bridge_table[] = {nullptr};

int load_messages_bridge(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(bridge_table, 0), group, code_page, write);
}
