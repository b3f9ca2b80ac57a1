// Files that people edit, looked at before anything reads them: only a
// regular file within the limit is read, and one set aside never replaces
// another.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "tests/support/test_support.h"

TEST(PlatformSmallFiles, OnlyARegularFileWithinTheLimitIsRead)
{
    ScratchDir dir;
    write_file(dir.file("small.lang"), "Program:Tarnwick\n");
    write_file(dir.file("limit.lang"), std::string(100, 'x'));
    write_file(dir.file("over.lang"), std::string(101, 'x'));
    write_file(dir.file("empty.lang"), "");
    ASSERT_EQ(mkfifo(dir.file("fifo.lang").c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", dir.file("zero.lang").c_str()), 0);
    ASSERT_EQ(symlink("small.lang", dir.file("link.lang").c_str()), 0);
    ASSERT_EQ(mkdir(dir.file("folder.lang").c_str(), 0700), 0);
    using R = platform::SmallFileRead;
    struct Case {
        const char* name;
        R result;
        std::string bytes;
    } cases[] = {
        {"small.lang", R::read, "Program:Tarnwick\n"},
        {"link.lang", R::read, "Program:Tarnwick\n"},
        {"limit.lang", R::read, std::string(100, 'x')},
        {"empty.lang", R::read, ""},
        {"over.lang", R::too_large, ""},
        {"fifo.lang", R::not_regular, ""},
        {"zero.lang", R::not_regular, ""},
        {"folder.lang", R::folder, ""},
        {"none.lang", R::missing, ""},
        {"small.lang/x", R::missing, ""},
    };
    for (const Case& c : cases) {
        std::string bytes = "left over";
        EXPECT_EQ(platform::read_small_file(dir.file(c.name).c_str(), 100, bytes), c.result) << c.name;
        EXPECT_EQ(bytes, c.bytes) << c.name;
    }
}

TEST(PlatformSmallFiles, ASetAsideFileNeverReplacesAnother)
{
    ScratchDir dir;
    std::string path = dir.file("Tarnwick.ini");
    write_file(dir.file("Tarnwick.ini.too-large"), "older");
    write_file(dir.file("Tarnwick.ini.too-large.1"), "oldest");
    for (const char* content : {"first", "second"}) {
        write_file(path, content);
        std::string aside = platform::set_file_aside(path, ".too-large");
        ASSERT_FALSE(aside.empty()) << content;
        EXPECT_EQ(read_file(aside), content);
        EXPECT_FALSE(std::filesystem::exists(path));
    }
    EXPECT_EQ(read_file(dir.file("Tarnwick.ini.too-large")), "older");
    EXPECT_EQ(read_file(dir.file("Tarnwick.ini.too-large.1")), "oldest");
    EXPECT_EQ(read_file(dir.file("Tarnwick.ini.too-large.2")), "first");
    EXPECT_EQ(read_file(dir.file("Tarnwick.ini.too-large.3")), "second");
    EXPECT_EQ(platform::set_file_aside(path, ".too-large"), "");  // nothing left to set aside
}
