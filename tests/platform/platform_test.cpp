// The Linux layer: language and code page from the environment, the
// program directory, the character tables of Windows code pages, and the
// positioned transfers on open files and new files named only when whole,
// and the large-page hint on a block of its own.
#include "platform/platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/support/locale_environment.h"
#include "tests/support/test_support.h"

TEST(PlatformLanguage, LcAllThenLcMessagesThenLang)
{
    {
        LocaleEnvironment env("pl_PL.UTF-8", "en_US.UTF-8", "en_GB.UTF-8");
        EXPECT_EQ(platform::user_language_id(), 0x0415);
        EXPECT_EQ(platform::user_locale_name(), "pl_PL");
    }
    {
        LocaleEnvironment env("en_US.UTF-8", "pl_PL.UTF-8", "pl_PL.UTF-8");
        EXPECT_EQ(platform::user_language_id(), 0x0409);
    }
    {
        LocaleEnvironment env(nullptr, "pl_PL.ISO-8859-2", "en_US.UTF-8");
        EXPECT_EQ(platform::user_language_id(), 0x0415);
        EXPECT_EQ(platform::user_locale_name(), "pl_PL");
    }
    {
        // Set but empty counts as not set.
        LocaleEnvironment env("", "", "pl");
        EXPECT_EQ(platform::user_language_id(), 0x0415);
        EXPECT_EQ(platform::user_locale_name(), "pl");
    }
    {
        LocaleEnvironment env(nullptr, nullptr, nullptr);
        EXPECT_EQ(platform::user_language_id(), 0x0409);
        EXPECT_EQ(platform::user_locale_name(), "");
        EXPECT_EQ(platform::ansi_code_page(), 1252);
    }
}

TEST(PlatformLanguage, AnsiCodePageFollowsTheLanguage)
{
    struct Case {
        const char* lang;
        int code_page;
    };
    const Case cases[] = {
        {"pl_PL.UTF-8", 1250}, {"cs_CZ", 1250},     {"ro_RO.UTF-8", 1250}, {"ru_RU.UTF-8", 1251},
        {"sr_RS@latin", 1251}, {"el_GR", 1253},     {"tr_TR.UTF-8", 1254}, {"he_IL", 1255},
        {"ar_EG", 1256},       {"lv_LV", 1257},     {"vi_VN", 1258},       {"th_TH.UTF-8", 874},
        {"ja_JP.UTF-8", 932},  {"zh_CN.UTF-8", 936}, {"ko_KR", 949},       {"zh_TW.UTF-8", 950},
        {"zh_HK.UTF-8", 1252}, {"de_DE.UTF-8", 1252}, {"C", 1252},          {"plx", 1252},
    };
    for (const Case& c : cases) {
        LocaleEnvironment env(nullptr, nullptr, c.lang);
        EXPECT_EQ(platform::ansi_code_page(), c.code_page) << c.lang;
    }
    LocaleEnvironment env("ru_RU.UTF-8", nullptr, "pl_PL.UTF-8");
    EXPECT_EQ(platform::ansi_code_page(), 1251);
}

TEST(PlatformProgram, DirectoryHoldsTheRunningBinary)
{
    std::string dir = platform::program_directory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.back(), '/');
    EXPECT_EQ(access((dir + "/unit_tests").c_str(), X_OK), 0) << dir;
    EXPECT_EQ(platform::show_banner_box(1), 0);
}

TEST(PlatformCtype, WindowsCodePageTables)
{
    const platform::CodePageCtype* cp1250 = platform::code_page_ctype(1250);
    ASSERT_NE(cp1250, nullptr);
    EXPECT_EQ(cp1250->upper[0xB3], 0xA3);  // ł -> Ł
    EXPECT_EQ(cp1250->lower[0xA3], 0xB3);
    EXPECT_EQ(cp1250->upper[0x9F], 0x8F);  // ź -> Ź
    EXPECT_TRUE(cp1250->is_alpha[0xB9]);   // ą
    EXPECT_FALSE(cp1250->is_alpha[0xD7]);  // ×
    EXPECT_EQ(cp1250->upper['q'], 'Q');
    EXPECT_TRUE(cp1250->is_digit['7']);

    const platform::CodePageCtype* cp1252 = platform::code_page_ctype(1252);
    ASSERT_NE(cp1252, nullptr);
    EXPECT_EQ(cp1252->upper[0xE9], 0xC9);  // é -> É
    EXPECT_EQ(cp1252->upper[0xFF], 0x9F);  // ÿ -> Ÿ lies outside the Latin-1 block
    EXPECT_EQ(cp1252->upper[0xDF], 0xDF);  // ß has no single upper-case letter
    EXPECT_EQ(cp1252->upper[0xB5], 0xB5);  // µ -> Greek Mu, not in 1252
    EXPECT_FALSE(cp1252->is_alpha[0xB3]);  // ³ is no letter here, unlike 1250's ł
    EXPECT_FALSE(cp1252->is_alpha[0x81]);  // no character at all

    const platform::CodePageCtype* cp1251 = platform::code_page_ctype(1251);
    ASSERT_NE(cp1251, nullptr);
    EXPECT_EQ(cp1251->upper[0xE0], 0xC0);  // а -> А

    const platform::CodePageCtype* cp932 = platform::code_page_ctype(932);
    ASSERT_NE(cp932, nullptr);
    EXPECT_TRUE(cp932->is_lead[0x83]);
    EXPECT_FALSE(cp932->is_lead['A']);
    EXPECT_FALSE(cp1250->is_lead[0x83]);
}

TEST(PlatformCtype, CLocaleAndUnknownCodePages)
{
    const platform::CodePageCtype* c = platform::code_page_ctype(0);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->upper['a'], 'A');
    EXPECT_EQ(c->upper[0xB3], 0xB3);
    EXPECT_FALSE(c->is_alpha[0xE9]);
    EXPECT_EQ(platform::code_page_ctype(7777), nullptr);
    EXPECT_EQ(platform::code_page_ctype(-1250), nullptr);

    ASSERT_TRUE(platform::set_current_ctype_code_page(1250));
    EXPECT_FALSE(platform::set_current_ctype_code_page(7777));
    EXPECT_EQ(platform::current_ctype_code_page(), 1250);
    ASSERT_TRUE(platform::set_current_ctype_code_page(0));
    EXPECT_EQ(platform::current_ctype_code_page(), 0);
}

// Writes at explicit offsets leave the gaps between them as zeros, the file
// takes its exact length at the end (cut or lengthened), and a read past the
// end fails.
TEST(PlatformFiles, PositionedTransfersAndLength)
{
    ScratchDir dir;
    std::string in_path = dir.file("in.bin"), out_path = dir.file("out.bin");
    std::string input(300000, '\0');
    for (size_t i = 0; i < input.size(); ++i)
        input[i] = static_cast<char>(i * 7 + 3);
    write_file(in_path, input);
    FILE* in = fopen(in_path.c_str(), "rb");
    FILE* out = fopen(out_path.c_str(), "wb");
    ASSERT_TRUE(in && out);

    ASSERT_TRUE(platform::write_at(out, 10, "abc", 3));
    ASSERT_TRUE(platform::write_at(out, 70000, input.data() + 1000, 200000));
    ASSERT_TRUE(platform::write_at(out, 290000, "tail", 4));
    ASSERT_TRUE(platform::write_at(out, 5, "xy", 2));
    ASSERT_TRUE(platform::set_file_length(out, 290002));
    ASSERT_TRUE(platform::set_file_length(out, 300000));

    char head[4] = {};
    EXPECT_TRUE(platform::read_at(in, 299996, head, 4));
    EXPECT_EQ(std::string(head, 4), input.substr(299996, 4));
    EXPECT_FALSE(platform::read_at(in, 299998, head, 4));

    fclose(in);
    fclose(out);

    std::string expected(300000, '\0');
    expected.replace(5, 2, "xy");
    expected.replace(10, 3, "abc");
    expected.replace(70000, 200000, input.substr(1000, 200000));
    expected.replace(290000, 2, "ta");
    std::string written = read_file(out_path);
    ASSERT_EQ(written.size(), expected.size());
    EXPECT_TRUE(written == expected);
}

// Only regular files open, and the open of a FIFO with no writer or of a
// folder returns at once with a reason; what opens reads and writes as fopen's.
TEST(PlatformFiles, OnlyRegularFilesOpen)
{
    ScratchDir dir;
    std::string plain = dir.file("plain.bin"), fifo = dir.file("fifo.img"), link = dir.file("zero.lang");
    write_file(plain, "abcdef");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(symlink("/dev/zero", link.c_str()), 0);
    struct Case {
        std::string path;
        const char* mode;
        int error;  // 0: opens
    } cases[] = {
        {plain, "rb", 0},   {plain, "r+b", 0},       {fifo, "rb", ENODEV}, {fifo, "r+b", ENODEV},
        {link, "rb", ENODEV}, {dir.path(), "rb", EISDIR}, {dir.file("none"), "rb", ENOENT}, {plain, "wb", EINVAL},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path + " " + c.mode);
        errno = 0;
        FILE* stream = platform::open_regular_file(c.path.c_str(), c.mode);
        if (c.error) {
            EXPECT_EQ(stream, nullptr);
            EXPECT_EQ(errno, c.error);
            continue;
        }
        ASSERT_NE(stream, nullptr);
        char bytes[6] = {};
        EXPECT_EQ(fread(bytes, 1, 6, stream), 6u);
        EXPECT_EQ(std::string(bytes, 6), "abcdef");
        if (c.mode[1] == '+') {
            ASSERT_TRUE(platform::write_at(stream, 0, "X", 1));
        }
        fclose(stream);
    }
    EXPECT_EQ(read_file(plain), "Xbcdef");
}

// Space reserved for a new file reads as zeros around what is written into
// it, and the file is cut back to the length it is given at the end.
TEST(PlatformFiles, ReservedSpaceReadsAsZerosAndIsCutToTheLengthGiven)
{
    ScratchDir dir;
    std::string path = dir.file("reserved.bin");
    FILE* out = fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    EXPECT_FALSE(platform::reserve_file_space(out, 0));
    if (!platform::reserve_file_space(out, 200000)) {
        fclose(out);
        GTEST_SKIP() << "the file system reserves no space";
    }
    ASSERT_TRUE(platform::write_at(out, 100000, "abc", 3));
    ASSERT_TRUE(platform::set_file_length(out, 150000));
    fclose(out);
    std::string expected(150000, '\0');
    expected.replace(100000, 3, "abc");
    EXPECT_TRUE(read_file(path) == expected);
}

namespace {

// The mappings of the process, from /proc/self/smaps.
struct Mapping {
    uintptr_t begin = 0;
    uintptr_t end = 0;
    bool heap = false;
    bool large_pages = false;  // offered for large pages
};

std::vector<Mapping> process_mappings()
{
    std::vector<Mapping> mappings;
    std::ifstream smaps("/proc/self/smaps");
    for (std::string line; std::getline(smaps, line);) {
        unsigned long long begin = 0, end = 0;
        // A mapping's first line starts with its range; its facts follow.
        if (sscanf(line.c_str(), "%llx-%llx ", &begin, &end) == 2)
            mappings.push_back({begin, end, line.find("[heap]") != std::string::npos, false});
        else if (!mappings.empty() && line.rfind("VmFlags:", 0) == 0)
            mappings.back().large_pages = line.find(" hg") != std::string::npos;
    }
    return mappings;
}

// The mapping that holds address at, or null.
const Mapping* mapping_holding(const std::vector<Mapping>& mappings, uintptr_t at)
{
    auto holder = std::find_if(mappings.begin(), mappings.end(),
                               [at](const Mapping& m) { return at >= m.begin && at < m.end; });
    return holder == mappings.end() ? nullptr : &*holder;
}

}  // namespace

// Only the whole large pages inside the range are offered: the bytes before
// the first 2 MiB boundary, which may belong to a neighbour, are left alone.
TEST(PlatformMemory, OfferedRangeKeepsToItsWholeLargePages)
{
    constexpr uintptr_t large_page = uintptr_t(2) << 20;
    std::vector<char> block;
    block.reserve(size_t(40) << 20);  // above the allocator's thresholds: pages of its own
    uintptr_t begin = reinterpret_cast<uintptr_t>(block.data()) + 4096;
    platform::offer_large_pages(reinterpret_cast<void*>(begin), size_t(36) << 20);
    uintptr_t first = (begin + large_page - 1) & ~(large_page - 1);
    std::vector<Mapping> mappings = process_mappings();
    const Mapping* inside = mapping_holding(mappings, first);
    ASSERT_NE(inside, nullptr);
    EXPECT_TRUE(inside->large_pages);
    EXPECT_EQ(inside->begin, first);
    const Mapping* before = mapping_holding(mappings, first - 1);
    ASSERT_NE(before, nullptr);
    EXPECT_FALSE(before->large_pages);
}

namespace {

// The names in a folder, sorted.
std::vector<std::string> folder_names(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

// A new output shows under no name while it is written, takes its name in
// one step, never over a file that appeared meanwhile unless replacing, and
// gets the mode any new file gets.
TEST(PlatformFiles, NewFilesAreNamedOnlyWhenWhole)
{
    ScratchDir dir;
    std::string path = dir.file("out.img");
    std::string temporary;
    FILE* stream = platform::create_temporary_beside(path, temporary);
    ASSERT_NE(stream, nullptr);
    ASSERT_TRUE(platform::write_at(stream, 0, "whole", 5));
    if (temporary.empty()) {
        EXPECT_TRUE(folder_names(dir.path()).empty());
    }
    EXPECT_EQ(platform::path_kind(path), platform::PathKind::none);
    EXPECT_EQ(platform::move_file_into_place(stream, temporary, path, false), platform::MoveResult::moved);
    fclose(stream);
    EXPECT_EQ(read_file(path), "whole");
    EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"out.img"});
    struct stat status {};
    ASSERT_EQ(stat(path.c_str(), &status), 0);
    mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(status.st_mode & 0777, 0666 & ~mask);

    // A second one finds the name taken, and leaves nothing behind; forced,
    // it replaces the file.
    for (bool replace : {false, true}) {
        stream = platform::create_temporary_beside(path, temporary);
        ASSERT_NE(stream, nullptr);
        ASSERT_TRUE(platform::write_at(stream, 0, "second", 6));
        EXPECT_EQ(platform::move_file_into_place(stream, temporary, path, replace),
                  replace ? platform::MoveResult::moved : platform::MoveResult::target_exists);
        fclose(stream);
        if (!temporary.empty() && !replace)
            platform::remove_file(temporary);
        EXPECT_EQ(read_file(path), replace ? "second" : "whole");
        EXPECT_EQ(folder_names(dir.path()), std::vector<std::string>{"out.img"});
    }
    EXPECT_EQ(platform::path_kind(dir.path()), platform::PathKind::directory);
    EXPECT_EQ(platform::path_kind(path), platform::PathKind::other);
    EXPECT_EQ(platform::path_kind(path + "/below"), platform::PathKind::none);
}
