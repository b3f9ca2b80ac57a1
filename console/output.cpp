// What twk prints itself, in the language in force.
#include "console/output.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/text_format.h"

void print_line(const char* english, const char* polish)
{
    log_message("%s\n", pick_text(english, polish));
}

void print_text(const char* english, const char* polish, ...)
{
    const char* format = pick_text(english, polish);
    va_list args;
    va_start(args, polish);
    std::string text;
    append_vformat(text, format, args);
    va_end(args);
    if (!text.empty())
        log_message("%s", text.c_str());
}
