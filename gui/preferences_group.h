// The window program's language files and settings file as the core's
// key/value groups: FLTK's preferences files behind the LanguageGroup
// interface, and the checked number reading they share.
#pragma once

#include <memory>
#include <string>

#include <FL/Fl_Preferences.H>

#include "core/messages.h"

// One group of an open preferences file. The file itself is opened and
// closed (written when changed) by whoever owns the Fl_Preferences.
class PreferencesGroup : public LanguageGroup {
public:
    // read_only: a missing subgroup is not created, so reading a language
    // file never marks it changed and never rewrites it on close.
    PreferencesGroup(Fl_Preferences& node, bool read_only) : node_(&node), read_only_(read_only) {}
    bool get(const char* key, std::string& value) override;
    bool set(const char* key, const std::string& value) override;
    std::unique_ptr<LanguageGroup> subgroup(const char* name) override;

private:
    explicit PreferencesGroup(std::unique_ptr<Fl_Preferences> owned, bool read_only)
        : owned_(std::move(owned)), node_(owned_.get()), read_only_(read_only) {}

    std::unique_ptr<Fl_Preferences> owned_;
    Fl_Preferences* node_;  // null: a group that is not there (reads find nothing)
    bool read_only_;
};

// The text stored under key; false (text untouched) when there is none.
bool read_preference_text(Fl_Preferences& store, const char* key, std::string& text);
// An int stored under key: the whole text must be a decimal number that
// fits in 32 bits (blanks around allowed); anything else gives fallback.
int read_preference_int(Fl_Preferences& store, const char* key, int fallback);
// The same check on any text; false when it is not such a number.
bool parse_int32(const char* text, int& value);
