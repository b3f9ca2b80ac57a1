// Code-page conversions and their cache, mapset names, locale, label case, CRC-32.
#include "core/codepage.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/task_options.h"
#include "platform/platform.h"
#include "tests/support/locale_environment.h"

namespace {

// A code page iconv does not know.
constexpr int kUnknownCodePage = 7777;

// Puts back the globals a test changes.
class CodePageTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        platform::set_current_ctype_code_page(0);
        english_texts = 1;
        mapset_cp_type = 0;
        user_code_page = 0;
        system_code_page = 0;
        language_default_code_page = 1252;
    }
};

// Label case of a text in the given character code page.
std::string label_case(int mode, std::string text, int ctype_code_page, int code_page = 0, int* result = nullptr)
{
    EXPECT_EQ(set_ctype_code_page(ctype_code_page), 1);
    int r = convert_label_case(mode, text.data(), static_cast<int>(text.size()), code_page);
    if (result)
        *result = r;
    return text;
}

}  // namespace

TEST(Crc32, CheckValueAndEmptyInput)
{
    EXPECT_EQ(compute_crc32("123456789", 9), 0xCBF43926u);
    EXPECT_EQ(compute_crc32("123456789", 0), 0u);
    EXPECT_EQ(compute_crc32("a", 1), 0xE8B7BE43u);
}

using Conversion = CodePageTest;

TEST_F(Conversion, BothDirections)
{
    EXPECT_STREQ(convert_utf8_to_cp(1250, "Łódź"), "\xA3\xF3\x64\x9F");
    EXPECT_STREQ(convert_cp_to_utf8(1250, "\xA3\xF3\x64\x9F"), "Łódź");
    EXPECT_STREQ(convert_utf8_to_cp(1252, "Café"), "Caf\xE9");
    EXPECT_STREQ(convert_cp_to_utf8(1251, "\xCC\xEE\xF1\xEA\xE2\xE0"), "Москва");

    const char* text = "Łódź";
    EXPECT_EQ(convert_utf8_to_cp(0, text), text);
    EXPECT_EQ(convert_utf8_to_cp(-1250, text), text);
    EXPECT_EQ(convert_utf8_to_cp(65001, text), text);
    EXPECT_EQ(convert_cp_to_utf8(0, text), text);
    EXPECT_STREQ(convert_cp_to_utf8(65001, text), text);
    const char* empty = "";
    EXPECT_EQ(convert_utf8_to_cp(1250, empty), empty);
}

TEST_F(Conversion, StopsAtACharacterWithoutForm)
{
    EXPECT_STREQ(convert_utf8_to_cp(1252, "abc"), "abc");
    // The earlier, longer result must not show through.
    EXPECT_STREQ(convert_utf8_to_cp(1250, "ab\xCE\xB1z"), "ab");
}

TEST_F(Conversion, ConverterCacheTriesAFailedCodePageOnce)
{
    // Start from known pairs: an earlier failure for the same code page would
    // be remembered.
    convert_utf8_to_cp(1252, "a");
    convert_cp_to_utf8(1252, "a");
    const char* text = "żółw";
    int opens = converter_open_count();
    EXPECT_EQ(convert_utf8_to_cp(kUnknownCodePage, text), text);
    EXPECT_EQ(convert_utf8_to_cp(kUnknownCodePage, text), text);
    EXPECT_EQ(converter_open_count(), opens + 1);

    EXPECT_STREQ(convert_utf8_to_cp(1250, text), "\xBF\xF3\xB3w");
    EXPECT_EQ(converter_open_count(), opens + 2);
    EXPECT_STREQ(convert_utf8_to_cp(1250, "ą"), "\xB9");
    EXPECT_EQ(converter_open_count(), opens + 2);

    // The incoming direction keeps its own pair.
    char buffer[16] = "abc";
    EXPECT_EQ(convert_cp_to_utf8_in_place(kUnknownCodePage, sizeof buffer, buffer), 0);
    EXPECT_EQ(convert_cp_to_utf8_in_place(kUnknownCodePage, sizeof buffer, buffer), 0);
    EXPECT_EQ(converter_open_count(), opens + 3);
    EXPECT_STREQ(convert_utf8_to_cp(1250, "ą"), "\xB9");
    EXPECT_EQ(converter_open_count(), opens + 3);
}

TEST_F(Conversion, ResultBuffersHold1399Bytes)
{
    std::string ascii(1500, 'x');
    const char* out = convert_utf8_to_cp(1252, ascii.c_str());
    EXPECT_EQ(strlen(out), 1399u);

    // 800 letters of two UTF-8 bytes each: cut after whole letters only.
    std::string polish(800, '\xB3');
    out = convert_cp_to_utf8(1250, polish.c_str());
    ASSERT_EQ(strlen(out), 1398u);
    EXPECT_EQ(std::string(out, 4), "łł");
    EXPECT_EQ(std::string(out + 1396), "ł");
}

// ASCII texts of the Windows code pages are copied without the converter:
// the converter, made to run by one byte above 0x7F at the end, gives the
// same bytes for every ASCII character, both ways.
TEST_F(Conversion, AsciiOfTheWindowsCodePagesIsItsOwnConversion)
{
    std::string ascii;
    for (int c = 1; c < 0x80; ++c)
        ascii += static_cast<char>(c);
    for (int code_page = 1250; code_page <= 1258; ++code_page) {
        SCOPED_TRACE(code_page);
        EXPECT_EQ(std::string(convert_cp_to_utf8(code_page, ascii.c_str())), ascii);
        EXPECT_EQ(std::string(convert_utf8_to_cp(code_page, ascii.c_str())), ascii);
        std::string forced = ascii + "\xE9";  // a letter in each of the nine
        std::string in = convert_cp_to_utf8(code_page, forced.c_str());
        EXPECT_EQ(in.substr(0, ascii.size()), ascii);
        EXPECT_GT(in.size(), ascii.size());
        std::string back = convert_utf8_to_cp(code_page, in.c_str());
        EXPECT_EQ(back, forced);
    }
}

TEST_F(Conversion, InPlace)
{
    char buffer[32] = "\xA3\xF3\x64\x9F";
    EXPECT_EQ(convert_cp_to_utf8_in_place(1250, sizeof buffer, buffer), 1);
    EXPECT_STREQ(buffer, "Łódź");

    char untouched[8] = "\xB3";
    EXPECT_EQ(convert_cp_to_utf8_in_place(0, sizeof untouched, untouched), 0);
    EXPECT_STREQ(untouched, "\xB3");

    // "łód" needs 5 bytes; with room for 3 the cut keeps "ł" and never half of "ó".
    char small[4] = "\xB3\xF3\x64";
    EXPECT_EQ(convert_cp_to_utf8_in_place(1250, sizeof small, small), 1);
    EXPECT_STREQ(small, "ł");

    // A text without a terminator in its buffer is read no further than size.
    char unterminated[3] = {'a', 'b', 'c'};
    EXPECT_EQ(convert_cp_to_utf8_in_place(1252, sizeof unterminated, unterminated), 1);
    EXPECT_STREQ(unterminated, "ab");

    // At most 1000 bytes of input and of result.
    std::string big(1500, '\xE9');
    std::vector<char> large(big.begin(), big.end());
    large.push_back('\0');
    EXPECT_EQ(convert_cp_to_utf8_in_place(1252, static_cast<int>(large.size()), large.data()), 1);
    EXPECT_EQ(strlen(large.data()), 998u);
    EXPECT_EQ(std::string(large.data(), 2), "é");
}

using MapsetName = CodePageTest;

TEST_F(MapsetName, LetterWithoutFormIsRefused)
{
    const char* name = "Mapa Αθήνα";
    const char* out = "x";
    uint32_t cp = 77;
    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, name, 1250), 0);
    EXPECT_EQ(out, name);
    EXPECT_EQ(cp, 0u);

    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, "Mapa", kUnknownCodePage), 0);
}

TEST_F(MapsetName, Utf8AndEmptyNamesStayAsGiven)
{
    const char* name = "Mapa Αθήνα";
    const char* out = nullptr;
    uint32_t cp = 77;
    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, name, 65001), 1);
    EXPECT_EQ(out, name);
    EXPECT_EQ(cp, 0u);
    const char* empty = "";
    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, empty, 1250), 1);
    EXPECT_EQ(out, empty);
}

TEST_F(MapsetName, ConvertsAndCutsAtFiftyBytes)
{
    const char* out = nullptr;
    uint32_t cp = 0;
    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, "Mapa Łodzi", 1250), 1);
    EXPECT_STREQ(out, "Mapa \xA3odzi");
    EXPECT_EQ(cp, 1250u);

    std::string longer(70, 'n');
    EXPECT_EQ(convert_to_mapset_code_page(&out, &cp, longer.c_str(), 1250), 1);
    EXPECT_EQ(std::string(out), std::string(50, 'n'));
}

TEST_F(MapsetName, CodePageInForceAndTaskOptions)
{
    system_code_page = 1250;
    user_code_page = 1251;
    language_default_code_page = 1252;
    mapset_cp_type = 1;
    EXPECT_EQ(get_mapset_code_page(), 1250);
    mapset_cp_type = 2;
    EXPECT_EQ(get_mapset_code_page(), 1251);
    mapset_cp_type = 0;
    EXPECT_EQ(get_mapset_code_page(), 1252);

    TaskOptions options;
    EXPECT_EQ(set_mapset_name_option(&options, "Café", -1), 1);
    EXPECT_EQ(options.mapset_name, "Caf\xE9");
    EXPECT_EQ(options.mapset_name_result, 1252u);

    EXPECT_EQ(set_mapset_name_option(&options, "Ελλάδα", 1250), 0);
    EXPECT_EQ(options.mapset_name, "Ελλάδα");
    EXPECT_EQ(options.mapset_name_result, 0u);
}

using Locale = CodePageTest;

TEST_F(Locale, LanguageAtStart)
{
    {
        LocaleEnvironment env(nullptr, nullptr, "pl_PL.UTF-8");
        EXPECT_EQ(init_locale(), 0x15);
        EXPECT_EQ(windows_language_id, 0x0415);
        EXPECT_EQ(english_texts, 0);
        ASSERT_NE(user_locale_name, nullptr);
        EXPECT_STREQ(user_locale_name, "pl_PL");
        EXPECT_EQ(get_ansi_code_page(), 1250);
    }
    {
        LocaleEnvironment env(nullptr, "en_US.UTF-8", "pl_PL.UTF-8");
        EXPECT_EQ(init_locale(), 0x09);
        EXPECT_EQ(english_texts, 1);
    }
    {
        LocaleEnvironment env(nullptr, nullptr, nullptr);
        init_locale();
        EXPECT_EQ(user_locale_name, nullptr);
    }
}

TEST_F(Locale, SaveSwitchRestore)
{
    ASSERT_EQ(set_ctype_code_page(1250), 1);
    char* saved = save_ctype_locale();
    ASSERT_NE(saved, nullptr);
    EXPECT_STREQ(saved, ".1250");
    EXPECT_EQ(set_ctype_code_page(1252), 1);
    EXPECT_EQ(set_ctype_code_page(kUnknownCodePage), 0);
    EXPECT_EQ(set_ctype_code_page(0), 0);
    EXPECT_EQ(platform::current_ctype_code_page(), 1252);
    restore_ctype_locale(saved);
    EXPECT_EQ(platform::current_ctype_code_page(), 1250);

    ASSERT_EQ(platform::set_current_ctype_code_page(0), true);
    saved = save_ctype_locale();
    EXPECT_STREQ(saved, "C");
    set_ctype_code_page(1251);
    restore_ctype_locale(saved);
    EXPECT_EQ(platform::current_ctype_code_page(), 0);
    restore_ctype_locale(nullptr);
    EXPECT_EQ(platform::current_ctype_code_page(), 0);
}

using LabelCase = CodePageTest;

TEST_F(LabelCase, UpperAndLowerFollowTheCodePageSet)
{
    EXPECT_EQ(label_case(1, "\xB3\xF3\x64\x9F ul. 3", 1250), "\xA3\xD3\x44\x8F UL. 3");
    EXPECT_EQ(label_case(2, "\xA3\xD3\x44\x8F UL.", 1250), "\xB3\xF3\x64\x9F ul.");
    EXPECT_EQ(label_case(1, "caf\xE9 \xB3", 1252), "CAF\xC9 \xB3");
    EXPECT_EQ(label_case(2, "CAF\xC9", 1252), "caf\xE9");
    // Labels are not NUL-terminated: length bytes and no more.
    std::string text = "abcd";
    set_ctype_code_page(1252);
    EXPECT_EQ(convert_label_case(1, text.data(), 2, 1252), 1);
    EXPECT_EQ(text, "ABcd");
}

TEST_F(LabelCase, WordsStartAfterBlanksAndDashes)
{
    EXPECT_EQ(label_case(3, "NOWY s\xB9\x63z-ZDR\xD3J 3maja a1b", 1250),
              "Nowy S\xB9\x63z-Zdr\xF3j 3maja A1b");
    EXPECT_EQ(label_case(3, "\xB3\xF3\x64\x9F", 1250), "\xA3\xF3\x64\x9F");
}

TEST_F(LabelCase, DoubleByteCharactersStayWhole)
{
    // 0x83 0x41 is one katakana letter; its trail byte is an ASCII 'A'.
    EXPECT_EQ(label_case(2, "\x83\x41" "B", 932), "\x83\x41" "b");
    EXPECT_EQ(label_case(1, "a\x83\x61", 932), "A\x83\x61");
}

TEST_F(LabelCase, NoAccentsTables)
{
    int result = 0;
    EXPECT_EQ(label_case(4, "Za\xBF\xF3\xB3\xE6 g\xEA\x9C\x6C\xB9 ja\x9F\xF1 \xD7\xF7", 1250, 1250, &result),
              "Zazolc gesla jazn \xD7\xF7");
    EXPECT_EQ(result, 1);
    EXPECT_EQ(label_case(4, "\xC0 la fa\xE7\x61\x64\x65 \xDF\xFF\xD7", 1252, 1252, &result), "A la facade By\xD7");
    EXPECT_EQ(result, 1);

    // Every byte listed in the two tables, and no other, loses its accent.
    for (int code_page : {1250, 1252}) {
        std::string all;
        for (int b = 1; b < 256; ++b)
            all += static_cast<char>(b);
        std::string plain = all;
        ASSERT_EQ(convert_label_case(4, plain.data(), static_cast<int>(plain.size()), code_page), 1);
        int changed = 0;
        for (size_t i = 0; i < all.size(); ++i) {
            if (plain[i] != all[i]) {
                ++changed;
                EXPECT_GE(static_cast<unsigned char>(all[i]), 0x80);
                EXPECT_TRUE(isalpha(static_cast<unsigned char>(plain[i])));
            }
        }
        EXPECT_EQ(changed, code_page == 1250 ? 81 : 66);
    }
}

TEST_F(LabelCase, RefusedModesLeaveTheText)
{
    int result = 1;
    EXPECT_EQ(label_case(4, "\xE0\xE1", 1251, 1251, &result), "\xE0\xE1");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(label_case(5, "abc", 1252, 1252, &result), "abc");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(label_case(0, "abc", 1252, 1252, &result), "abc");
    EXPECT_EQ(result, 0);
}
