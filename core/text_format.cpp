// printf-style formatting into a growing std::string.
#include "core/text_format.h"

#include <cstdio>

void append_vformat(std::string& out, const char* format, va_list args)
{
    // Most texts are a line: they are formatted once, into a buffer on the
    // stack; a longer one is measured there and formatted again at its end.
    char line[256];
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(line, sizeof line, format, args);
    if (n > 0 && static_cast<size_t>(n) < sizeof line) {
        out.append(line, static_cast<size_t>(n));
    } else if (n > 0) {
        size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

void append_format(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_vformat(out, format, args);
    va_end(args);
}
