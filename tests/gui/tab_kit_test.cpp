// The tabs' shared number reader (whole text, blanks around, a sign, no
// wrap however long) and choice filler (each text shown as it reads).
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include <gtest/gtest.h>

#include "gui/tab_kit.h"

#include <climits>

#include <FL/Fl_Choice.H>

namespace {

TEST(FieldNumber, WholeDecimalTextWithBlanksAroundAndASign)
{
    const struct {
        const char* text;
        bool given, whole;
        int64_t value;
    } cases[] = {
        {"12", true, true, 12},
        {"  12\t", true, true, 12},
        {"+7", true, true, 7},
        {"-1", true, true, -1},
        {"007", true, true, 7},
        {"", false, false, 0},
        {" \t ", false, false, 0},
        {nullptr, false, false, 0},
        // Not one decimal number: refused, with what was read for its message.
        {"0x10", true, false, 0},
        {"12abc", true, false, 12},
        {"1 2", true, false, 1},
        {"-", true, false, 0},
        {"+-1", true, false, 0},
        {"- 1", true, false, 0},
        {"1.5", true, false, 1},
    };
    for (const auto& c : cases) {
        const char* shown = c.text ? c.text : "(null)";
        FieldNumber n = read_field_number(c.text);
        EXPECT_EQ(n.given, c.given) << shown;
        EXPECT_EQ(n.whole, c.whole) << shown;
        EXPECT_EQ(n.value, c.value) << shown;
    }
}

TEST(FieldNumber, ALongNumberIsRefusedNeverWrapped)
{
    for (const char* text : {"4294967297", "18446744073709551617", "99999999999999999999",
                             "99999999999999999999999999999999999999"}) {
        FieldNumber n = read_field_number(text);
        EXPECT_TRUE(n.whole) << text;
        EXPECT_FALSE(n.within(0, 99999999)) << text;
        EXPECT_FALSE(n.within(INT64_MIN, 1000000000)) << text;
        EXPECT_EQ(n.shown(), INT_MAX) << text;
    }
    FieldNumber negative = read_field_number("-99999999999999999999");
    EXPECT_FALSE(negative.within(-65535, 65535));
    EXPECT_EQ(negative.shown(), INT_MIN);
}

TEST(FieldNumber, WithinHoldsBothBoundsAndNeedsTheWholeText)
{
    EXPECT_TRUE(read_field_number("1").within(1, 65535));
    EXPECT_TRUE(read_field_number("65535").within(1, 65535));
    EXPECT_FALSE(read_field_number("0").within(1, 65535));
    EXPECT_FALSE(read_field_number("65536").within(1, 65535));
    EXPECT_FALSE(read_field_number("5x").within(0, 10));
    EXPECT_FALSE(read_field_number("").within(0, 10));
    EXPECT_EQ(read_field_number("-2147483648").shown(), INT_MIN);
    EXPECT_EQ(read_field_number("2147483647").shown(), INT_MAX);
    EXPECT_EQ(read_field_number("70000").shown(), 70000);
}

TEST(RefillChoice, ItemsShowAsTheyReadAndKeepTheChosenPlace)
{
    Fl_Choice choice(0, 0, 100, 25);
    refill_choice(&choice, {"one", "two"});
    EXPECT_EQ(choice.value(), -1);
    choice.value(1);

    // No submenu, divider, shortcut or symbol; a repeated text stays an item.
    refill_choice(&choice, {"a/b", "_c", "x&y", "a/b", "@->"});
    ASSERT_EQ(choice.size(), 6);
    const char* shown[] = {"a/b", "_c", "x&&y", "a/b", "@@->"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_STREQ(choice.menu()[i].label(), shown[i]);
        EXPECT_EQ(choice.menu()[i].flags, 0);
    }
    EXPECT_EQ(choice.value(), 1);

    choice.value(4);
    refill_choice(&choice, {"only", "two"});
    EXPECT_EQ(choice.value(), -1);
}

}  // namespace
