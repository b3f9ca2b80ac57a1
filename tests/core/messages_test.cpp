// The message-table mechanism: loads, language files, conversion checks.
#include "core/messages.h"

#include <gtest/gtest.h>

#include <map>

#include "core/host.h"
#include "core/text_format.h"

namespace {

// An in-memory language file group.
class MemoryGroup : public LanguageGroup {
public:
    std::map<std::string, std::string> values;
    std::map<std::string, std::unique_ptr<MemoryGroup>>* children = nullptr;

    bool get(const char* key, std::string& value) override
    {
        auto it = values.find(key);
        if (it == values.end())
            return false;
        value = it->second;
        return true;
    }
    bool set(const char* key, const std::string& value) override
    {
        values[key] = value;
        return true;
    }
    std::unique_ptr<LanguageGroup> subgroup(const char* name) override;
};

std::map<std::string, MemoryGroup> subgroups;

class GroupRef : public LanguageGroup {
public:
    explicit GroupRef(MemoryGroup* g) : g_(g) {}
    bool get(const char* key, std::string& value) override { return g_->get(key, value); }
    bool set(const char* key, const std::string& value) override { return g_->set(key, value); }
    std::unique_ptr<LanguageGroup> subgroup(const char* name) override { return g_->subgroup(name); }

private:
    MemoryGroup* g_;
};

std::unique_ptr<LanguageGroup> MemoryGroup::subgroup(const char* name)
{
    return std::make_unique<GroupRef>(&subgroups[name]);
}

MessageText t_plain{"xx_Plain", "Write error, file %s.\n", "Błąd zapisu pliku %s.\n"};
MessageText t_two{"xx_TwoNu", "Block %u of %s.\n", "Blok %u z %s.\n"};
MessageText* const table[] = {&t_plain, &t_two};

}  // namespace

TEST(MessageTable, BuiltInTextsFollowTheLanguage)
{
    english_texts = 0;
    load_message_table(table, nullptr, 1250, 0);
    EXPECT_STREQ(t_plain.text(), "Błąd zapisu pliku %s.\n");
    english_texts = 1;
    load_message_table(table, nullptr, 1252, 0);
    EXPECT_STREQ(t_plain.text(), "Write error, file %s.\n");
}

TEST(MessageTable, LanguageFileTextsAreCheckedAndCut)
{
    MemoryGroup group;
    group.values["xx_Plain"] = "Fehler beim Schreiben, Datei %s.\n";
    group.values["xx_TwoNu"] = "Block %s von %u.\n";  // swapped conversions: refused
    load_message_table(table, &group, 0, 0);
    EXPECT_STREQ(t_plain.text(), "Fehler beim Schreiben, Datei %s.\n");
    EXPECT_STREQ(t_two.text(), "Block %u of %s.\n");

    group.values["xx_Plain"] = std::string(500, 'x') + "%s";
    load_message_table(table, &group, 0, 0);
    // Cut at max size - 1 bytes loses the conversion, so the English text stays.
    EXPECT_STREQ(t_plain.text(), "Write error, file %s.\n");

    group.values.erase("xx_Plain");
    load_message_table(table, &group, 0, 0);
    EXPECT_STREQ(t_plain.text(), "Write error, file %s.\n");
}

TEST(MessageTable, WriteModeStoresCurrentTexts)
{
    MemoryGroup group;
    english_texts = 1;
    load_message_table(table, nullptr, 0, 0);
    load_message_table(table, &group, 0, 1);
    EXPECT_EQ(group.values["xx_TwoNu"], "Block %u of %s.\n");
}

TEST(MessageTable, ConversionsMustMatchInNumberOrderAndType)
{
    EXPECT_TRUE(conversions_match("%s: %u%%\n", "%s - %u %%"));
    EXPECT_TRUE(conversions_match("%08X %-5s", "%x %s"));
    EXPECT_FALSE(conversions_match("%s %u", "%u %s"));
    EXPECT_FALSE(conversions_match("%s", "%s %s"));
    EXPECT_FALSE(conversions_match("%s", ""));
    EXPECT_FALSE(conversions_match("%lu", "%u"));
    EXPECT_FALSE(conversions_match("%s", "%n"));
    EXPECT_FALSE(conversions_match("%s", "%"));
}

// A translation may drop a flag, width or precision, never add one or make
// one larger: "%999999999i" would turn every message into a gigabyte.
TEST(MessageTable, TranslatedConversionsGetNoFlagWidthOrPrecisionTheEnglishLacks)
{
    struct Case {
        const char* english;
        const char* translated;
        bool taken;
    };
    const Case cases[] = {
        {"errors (%i)\n", "Fehler (%i)\n", true},
        {"errors (%i)\n", "Fehler (%999999999i)\n", false},
        {"errors (%i)\n", "Fehler (%99999999999999999999999i)\n", false},
        {"errors (%i)\n", "Fehler (%.999999999i)\n", false},
        {"errors (%i)\n", "Fehler (%-i)\n", false},
        {"errors (%i)\n", "Fehler (%0i)\n", false},
        {"name %s\n", "Name %.5s\n", false},
        {"name %s\n", "Name %20s\n", false},
        {"%08X %-5s", "%08X %-5s", true},
        {"%08X %-5s", "%8X %5s", true},
        {"%08X %-5s", "%09X %-5s", false},
        {"%08X %-5s", "%08X %-6s", false},
        {"%08X %-5s", "%+08X %-5s", false},
        {"[%.30s%s]", "[%.20s%s]", true},
        {"[%.30s%s]", "[%.31s%s]", false},
        {"[%.30s%s]", "[%30s%s]", false},
        {"%*d", "%*d", true},
        {"%*d", "%-*d", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(conversions_match(c.english, c.translated), c.taken ? 1 : 0) << c.english << " / " << c.translated;

    MemoryGroup group;
    group.values["xx_TwoNu"] = "Block %999999999u z %s.\n";
    load_message_table(table, &group, 0, 0);
    EXPECT_STREQ(t_two.text(), "Block %u of %s.\n");
}

TEST(MessageTable, MaximumSizeIsTwiceEnglishPlusSixty)
{
    MessageText m{"fn_OuOfMe", "Out of memory.\n", "Brak pamięci.\n"};
    EXPECT_EQ(m.max_size(), 90u);
}

// Texts are formatted into a line buffer first: one just inside it, one that
// just fills it and longer ones must all come out whole, after what was there.
TEST(TextFormat, TextsOfEveryLengthAroundTheLineBufferComeOutWhole)
{
    for (size_t length : {0u, 1u, 254u, 255u, 256u, 257u, 10000u}) {
        std::string piece(length, 'x');
        if (length)
            piece.back() = 'z';
        std::string out = "kept:";
        append_format(out, "%s|%u", piece.c_str(), 42u);
        EXPECT_EQ(out, "kept:" + piece + "|42") << "length " << length;
    }
}
