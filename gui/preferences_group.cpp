// FLTK's preferences files as the core's key/value groups, and the number
// reading the settings and the language files share.
#include "gui/preferences_group.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

bool read_preference_text(Fl_Preferences& store, const char* key, std::string& text)
{
    if (!store.entryExists(key))
        return false;
    char* value = nullptr;
    store.get(key, value, "");
    text = value ? value : "";
    free(value);
    return true;
}

bool parse_int32(const char* text, int& value)
{
    if (!text)
        return false;
    while (*text == ' ' || *text == '\t')
        ++text;
    if (!*text)
        return false;
    // strtol saturates at LONG_MIN/LONG_MAX and sets ERANGE, so a number
    // that does not fit is refused rather than wrapped; the int range check
    // comes before the narrowing.
    errno = 0;
    char* end = nullptr;
    long parsed = strtol(text, &end, 10);
    if (end == text || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX)
        return false;
    while (*end == ' ' || *end == '\t' || *end == '\r' || *end == '\n')
        ++end;
    if (*end)
        return false;
    value = static_cast<int>(parsed);
    return true;
}

int read_preference_int(Fl_Preferences& store, const char* key, int fallback)
{
    std::string text;
    int value = 0;
    if (read_preference_text(store, key, text) && parse_int32(text.c_str(), value))
        return value;
    return fallback;
}

bool PreferencesGroup::get(const char* key, std::string& value)
{
    return node_ && read_preference_text(*node_, key, value);
}

bool PreferencesGroup::set(const char* key, const std::string& value)
{
    return node_ && !read_only_ && node_->set(key, value.c_str());
}

std::unique_ptr<LanguageGroup> PreferencesGroup::subgroup(const char* name)
{
    if (!node_)
        return std::unique_ptr<LanguageGroup>(new PreferencesGroup(nullptr, read_only_));
    // Opening a group by name creates it and marks the file changed; an
    // existing group opened by its index does neither.
    for (int i = 0, n = node_->groups(); i < n; ++i) {
        const char* group = node_->group(i);
        if (group && !strcmp(group, name))
            return std::unique_ptr<LanguageGroup>(
                new PreferencesGroup(std::make_unique<Fl_Preferences>(node_, i), read_only_));
    }
    if (read_only_)
        return std::unique_ptr<LanguageGroup>(new PreferencesGroup(nullptr, read_only_));
    return std::unique_ptr<LanguageGroup>(
        new PreferencesGroup(std::make_unique<Fl_Preferences>(node_, name), read_only_));
}
