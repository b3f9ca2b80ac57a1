// Base names and the file-name character test.
#include "core/file_names.h"

#include <gtest/gtest.h>

#include <string>

TEST(FileNames, BaseNameSeparatorsInOrder)
{
    EXPECT_STREQ(path_base_name("dir/sub/map.img"), "map.img");
    // '/' is looked for first, so a later '\' stays in the name.
    EXPECT_STREQ(path_base_name("a/b\\c.img"), "b\\c.img");
    EXPECT_STREQ(path_base_name("C:\\maps\\x.img"), "x.img");
    EXPECT_STREQ(path_base_name("C:x.img"), "x.img");
    EXPECT_STREQ(path_base_name("plain.img"), "plain.img");
    EXPECT_STREQ(path_base_name("dir/"), "");
    EXPECT_STREQ(path_base_name(""), "");
    EXPECT_STREQ(path_base_name(nullptr), "");
    const char* path = "x/y.img";
    EXPECT_EQ(path_base_name(path), path + 2);  // points into the path
}

TEST(FileNames, InvalidCharacters)
{
    for (const char* bad : {"a\"b", "a*b", "a/b", "a?b", "a\\b", "\x01", "tab\there", "x\x1f"})
        EXPECT_EQ(contains_invalid_name_chars(bad), 1) << bad;
    for (const char* good : {"mapset", "a:b", "a<b>c", "x|y", "with blank", "zażółć", "", "\x7f\xff"})
        EXPECT_EQ(contains_invalid_name_chars(good), 0) << good;
    EXPECT_EQ(contains_invalid_name_chars(nullptr), 0);
}
