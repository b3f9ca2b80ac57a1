// The child-process runner of the external compilers, where the window's
// tests cannot reach: long lines, a descendant that keeps the pipe, and the
// PATH look-up. Output, status, arguments and Stop are tested through the
// compile step.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "tests/support/test_support.h"

namespace {

struct ChildRun {
    bool started = false;
    std::string error;
    std::vector<std::string> lines;
    int status = -1;
    bool read_failed = false;
};

ChildRun run(const std::vector<std::string>& argv)
{
    ChildRun r;
    platform::ChildProcess child;
    r.started = child.start(argv, r.error);
    if (!r.started)
        return r;
    while (child.poll(50, r.lines)) {
    }
    r.status = child.status();
    r.read_failed = child.read_failed();
    return r;
}

std::string joined(const std::vector<std::string>& lines)
{
    std::string all;
    for (const std::string& l : lines)
        all += l;
    return all;
}

}  // namespace

TEST(ChildProcess, LongLinesComeInBoundedPiecesWithNothingLost)
{
    // 10000 bytes of two-byte characters with no line end: the pieces
    // never split a character.
    ChildRun r = run({"sh", "-c", "i=0; while [ $i -lt 5000 ]; do printf '\\303\\263'; i=$((i+1)); done"});
    ASSERT_TRUE(r.started) << r.error;
    ASSERT_GT(r.lines.size(), 2u);
    for (const std::string& piece : r.lines) {
        EXPECT_LE(piece.size(), platform::ChildProcess::max_line);
        EXPECT_EQ(piece.size() % 2, 0u);
    }
    EXPECT_EQ(joined(r.lines).size(), 10000u);
}

TEST(ChildProcess, AChildThatKeepsThePipeThroughADescendantStillEnds)
{
    // The background sleep holds the pipe open for seconds after sh exits.
    auto begin = std::chrono::steady_clock::now();
    ChildRun r = run({"sh", "-c", "sleep 5 & echo done"});
    ASSERT_TRUE(r.started);
    EXPECT_EQ(r.lines, std::vector<std::string>{"done\n"});
    EXPECT_EQ(r.status, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

TEST(FindProgramInPath, SearchesEachDirectoryAndTakesOnlyRunnableFiles)
{
    ScratchDir dir;
    write_file(dir.file("plain"), "not a program");
    write_file(dir.file("tool"), "#!/bin/sh\n");
    std::filesystem::permissions(dir.file("tool"), std::filesystem::perms::owner_all);
    std::filesystem::create_directory(dir.file("folder"));

    const char* old = getenv("PATH");
    std::string kept = old ? old : "";
    setenv("PATH", ("/nonexistent::" + dir.path()).c_str(), 1);
    EXPECT_EQ(platform::find_program_in_path("tool"), dir.file("tool"));
    EXPECT_EQ(platform::find_program_in_path("plain"), "");
    EXPECT_EQ(platform::find_program_in_path("folder"), "");
    EXPECT_EQ(platform::find_program_in_path("sh"), "");
    setenv("PATH", kept.c_str(), 1);

    EXPECT_EQ(platform::find_program_in_path(dir.file("tool")), dir.file("tool"));
    EXPECT_EQ(platform::find_program_in_path(""), "");
    EXPECT_NE(platform::find_program_in_path("sh"), "");
}
