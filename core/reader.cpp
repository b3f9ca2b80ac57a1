// Reading an input: IMG container or single subfile file.
#include "core/reader.h"

#include "core/host.h"
#include "core/messages.h"

static MessageText* const od_table[] = {nullptr};

int load_messages_od(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(od_table, 0), group, code_page, write);
}

int read_input_file(InputFile& input)
{
    log_message("Reading is not built yet, file %s.\n", input.path.c_str());
    ++error_count;
    return 0;
}
