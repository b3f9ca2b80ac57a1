// What twk prints itself, in the language in force.
#include "console/output.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void print_line(const char* english, const char* polish)
{
    log_message("%s\n", pick_text(english, polish));
}

void print_text(const char* english, const char* polish, ...)
{
    const char* format = pick_text(english, polish);
    va_list args;
    va_start(args, polish);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (n > 0) {
        std::string text(static_cast<size_t>(n) + 1, '\0');
        vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(n));
        log_message("%s", text.c_str());
    }
    va_end(args);
}
