// Sets the locale variables of the environment for one test and puts the
// old values back afterwards, so tests see a language of their choosing.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

class LocaleEnvironment {
public:
    // A null value leaves the variable unset.
    LocaleEnvironment(const char* lc_all, const char* lc_messages, const char* lang)
    {
        for (int i = 0; i < 3; ++i) {
            const char* old = getenv(names_[i]);
            if (old)
                saved_[i] = old;
        }
        set(0, lc_all);
        set(1, lc_messages);
        set(2, lang);
    }
    ~LocaleEnvironment()
    {
        for (int i = 0; i < 3; ++i)
            set(i, saved_[i] ? saved_[i]->c_str() : nullptr);
    }
    LocaleEnvironment(const LocaleEnvironment&) = delete;
    LocaleEnvironment& operator=(const LocaleEnvironment&) = delete;

private:
    void set(int i, const char* value)
    {
        if (value)
            setenv(names_[i], value, 1);
        else
            unsetenv(names_[i]);
    }

    const char* names_[3] = {"LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[3];
};
