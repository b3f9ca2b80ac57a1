// The task bridge: one task over an input list, and the program's version.
#include "operations/task_bridge.h"

#include <cstdio>

#include "core/messages.h"

char version_text[32];
int version_number = 0;

void make_version_text()
{
    snprintf(version_text, sizeof version_text, "%lu.%lu.%lu.%lu%s", 0ul, 9ul, 73ul, 1232ul, "b");
    version_number = 9073;
}

static MessageText* const bridge_table[] = {nullptr};

int load_messages_bridge(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(bridge_table, 0), group, code_page, write);
}
