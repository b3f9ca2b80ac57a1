// Message catalogue of the core: one table of texts per module.
//
// Every text a core module prints lives in a MessageText of that module's
// table, with a key ("fn_OuOfMe"), a built-in English and a built-in Polish
// text (both UTF-8 in the source) and a maximum size for texts read from a
// language file (twice the English length plus 60, unless the table gives
// one of its own). The module prints
// through text(), which is the English built-in until a loader runs.
//
// A module defines its entries and a table of pointers to them, and its
// loader is one line:
//
//   MessageText fn_OuOfMe{"fn_OuOfMe", "Out of memory.\n", "Brak pamięci.\n"};
//   static MessageText* const fn_table[] = {&fn_OuOfMe, ...};
//   int load_messages_fn(LanguageGroup* g, int cp, int w)
//   { return load_message_table(fn_table, g, cp, w); }
#pragma once

#include <cstddef>
#include <memory>
#include <span>
#include <string>

// One key/value group of a language file. The window program adapts its
// preferences files to it, tests use an in-memory one, `twk` uses none.
class LanguageGroup {
public:
    virtual ~LanguageGroup() = default;
    // The value stored under key, or false when the key is missing.
    virtual bool get(const char* key, std::string& value) = 0;
    // Stores value under key; false when it could not be stored.
    virtual bool set(const char* key, const std::string& value) = 0;
    // The named subgroup, created empty when it does not exist.
    virtual std::unique_ptr<LanguageGroup> subgroup(const char* name) = 0;
};

struct MessageText {
    const char* key;
    const char* english;
    const char* polish;
    std::string loaded;       // the text in force after a load
    bool has_loaded = false;
    size_t fixed_max = 0;     // a maximum size given by the table, else 0

    MessageText(const char* k, const char* en, const char* pl) : key(k), english(en), polish(pl) {}
    // The window program's tables give some maximum sizes of their own.
    MessageText(const char* k, const char* en, const char* pl, size_t max)
        : key(k), english(en), polish(pl), fixed_max(max) {}

    // The text every message is printed through.
    const char* text() const { return has_loaded ? loaded.c_str() : english; }
    size_t max_size() const;
};

using MessageTable = std::span<MessageText* const>;

// Fills a table: write mode stores every current text into the group
// (converted to code_page); read mode with a group takes each key's value
// (English default, cut at max_size - 1 bytes, converted from code_page to
// UTF-8) when its printf conversions match the English text's; read mode
// without a group takes the built-in English or Polish texts by english_texts.
int load_message_table(MessageTable table, LanguageGroup* group, int code_page, int write);

// 1 when a translated text's printf conversions match the English text's in
// number, order and type, so it is safe to print with the English arguments,
// and carry no flag, width or precision that the English ones lack (nor a
// larger width or precision), so it prints no longer than they do.
int conversions_match(const char* english, const char* translated);

// Loaders of the reading and report modules, one per message table; the
// loaders of the operations and load_core_messages, which runs them all,
// are the task bridge's.
int load_messages_dp(LanguageGroup* group, int code_page, int write);
int load_messages_fn(LanguageGroup* group, int code_page, int write);
int load_messages_mp(LanguageGroup* group, int code_page, int write);
int load_messages_nt(LanguageGroup* group, int code_page, int write);
int load_messages_od(LanguageGroup* group, int code_page, int write);
