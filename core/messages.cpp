// The message-table mechanism and the shared counters.
#include "core/messages.h"

#include <algorithm>
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

namespace {

// One printf conversion as far as a translated text may differ from the
// English one. A width or precision given as '*' is counted as -1 (it takes
// an argument of its own, so it shows in the types already).
struct Conversion {
    std::string flags;
    long width = -2;      // -2: none
    long precision = -2;  // -2: none
};

// Digits as a count, held at a bound far above any width a text needs, so
// that a long run of digits cannot overflow.
long read_count(const char*& p)
{
    long value = 0;
    while (*p >= '0' && *p <= '9') {
        value = std::min(value * 10 + (*p - '0'), 1000000000L);
        ++p;
    }
    return value;
}

// The argument types a printf format consumes, one letter each:
// 'i' int-sized integer, 'l' long, 'q' long long, 'z' size_t, 'j' intmax_t,
// 't' ptrdiff_t, 'd' double, 'D' long double, 's' string, 'p' pointer,
// 'c' character, and each conversion's flags, width and precision. Returns
// false for a conversion we never pass (%n or an unknown letter), so such
// a text is never used.
bool format_arguments(const char* format, std::string& types, std::vector<Conversion>& conversions)
{
    for (const char* p = format; *p; ++p) {
        if (*p != '%')
            continue;
        ++p;
        if (*p == '%')
            continue;
        Conversion conversion;
        while (*p && strchr("-+ #0'", *p))
            conversion.flags += *p++;
        // A width or precision: digits, or '*' taking an int argument.
        auto read_field = [&](long& field) {
            if (*p == '*') {
                types += 'i';
                field = -1;
                ++p;
            } else if (*p >= '0' && *p <= '9') {
                field = read_count(p);
            }
        };
        read_field(conversion.width);
        if (*p == '.') {
            ++p;
            conversion.precision = 0;  // "%.s" is precision 0
            read_field(conversion.precision);
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
        conversions.push_back(conversion);
    }
    return true;
}

// A width or precision of a translation is allowed only where the English
// text has one, and no larger: "%999999999i" would make every message a
// gigabyte.
bool field_within(long translated, long english)
{
    if (translated == -2)
        return true;
    if (english == -2)
        return false;
    if (translated == -1 || english == -1)
        return translated == english;
    return translated <= english;
}

}  // namespace

int conversions_match(const char* english, const char* translated)
{
    std::string a, b;
    std::vector<Conversion> english_conversions, translated_conversions;
    if (!format_arguments(english, a, english_conversions) || !format_arguments(translated, b, translated_conversions))
        return 0;
    if (a != b || english_conversions.size() != translated_conversions.size())
        return 0;
    for (size_t i = 0; i < english_conversions.size(); ++i) {
        const Conversion& e = english_conversions[i];
        const Conversion& t = translated_conversions[i];
        for (char flag : t.flags)
            if (e.flags.find(flag) == std::string::npos)
                return 0;
        if (!field_within(t.width, e.width) || !field_within(t.precision, e.precision))
            return 0;
    }
    return 1;
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
