// The message-table mechanism and the shared counters.
#include "core/messages.h"

#include <cstring>
#include <string>
#include <vector>

#include "core/codepage.h"
#include "core/host.h"
#include "platform/platform.h"

int error_count = 0;
int warning_count = 0;
int stop_requested = 0;
int english_texts = 1;
uint32_t debug_categories = DBG_ALWAYS;

size_t MessageText::max_size() const { return fixed_max ? fixed_max : 2 * strlen(english) + 60; }

// The argument types a printf format consumes, one letter each:
// 'i' int-sized integer, 'l' long, 'q' long long, 'z' size_t, 'j' intmax_t,
// 't' ptrdiff_t, 'd' double, 'D' long double, 's' string, 'p' pointer,
// 'c' character. Returns false for a conversion we never pass (%n or an
// unknown letter), so such a text is never used.
static bool format_arguments(const char* format, std::string& types)
{
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        // flags
        while (*p && strchr("-+ #0'", *p))
            ++p;
        // A width or precision: digits, or '*' taking an int argument.
        auto skip_count = [&] {
            if (*p == '*') {
                types += 'i';
                ++p;
            }
            while (*p >= '0' && *p <= '9')
                ++p;
        };
        skip_count();
        if (*p == '.') {
            ++p;
            skip_count();
        }
        // length
        char length = 0;
        if (*p == 'h') {
            ++p;
            if (*p == 'h')
                ++p;
        } else if (*p == 'l') {
            ++p;
            length = 'l';
            if (*p == 'l') {
                ++p;
                length = 'q';
            }
        } else if (*p == 'L' || *p == 'z' || *p == 'j' || *p == 't') {
            length = *p;
            ++p;
        }
        if (!*p)
            return false;
        char c = *p;
        if (strchr("diouxX", c))
            types += length ? (length == 'L' ? 'q' : length) : 'i';
        else if (strchr("eEfFgGaA", c))
            types += length == 'L' ? 'D' : 'd';
        else if (c == 's')
            types += length == 'l' ? 'w' : 's';
        else if (c == 'c')
            types += 'c';
        else if (c == 'p')
            types += 'p';
        else
            return false;
    }
    return true;
}

int conversions_match(const char* english, const char* translated)
{
    std::string a, b;
    if (!format_arguments(english, a) || !format_arguments(translated, b))
        return 0;
    return a == b;
}

int load_message_table(MessageTable table, LanguageGroup* group, int code_page, int write)
{
    for (MessageText* m : table) {
        if (write) {
            if (group)
                group->set(m->key, convert_utf8_to_cp(code_page, m->text()));
            continue;
        }
        if (!group) {
            // Built-in texts are UTF-8 already.
            m->loaded = english_texts ? m->english : m->polish;
            m->has_loaded = true;
            continue;
        }
        std::string value;
        if (!group->get(m->key, value)) {
            m->loaded = m->english;
            m->has_loaded = true;
            continue;
        }
        size_t limit = m->max_size() - 1;
        if (value.size() > limit)
            value.resize(limit);
        if (code_page > 0 && code_page != 65001) {
            std::vector<char> buffer(m->max_size() * 3 + 1, '\0');
            memcpy(buffer.data(), value.data(), value.size());
            convert_cp_to_utf8_in_place(code_page, static_cast<int>(buffer.size()), buffer.data());
            value = buffer.data();
        }
        value.resize(platform::utf8_prefix_length(value.data(), value.size(), m->max_size() * 3));
        m->loaded = conversions_match(m->english, value.c_str()) ? value : std::string(m->english);
        m->has_loaded = true;
    }
    return 1;
}
