// File primitives: the FAT block walk, XOR, output files, lengths, numbers,
// clamps, product codes, and the core texts of these modules.
#include "operations/task_bridge.h"
#include "core/files.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <random>

#include "core/byte_sum.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/product_code.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/core/made_files.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

namespace {

// The byte at offset p of the walked subfile.
uint8_t pattern(uint64_t p) { return static_cast<uint8_t>(p * 7 + p / 512); }

// A 250-block subfile over two FAT entries whose blocks lie in reverse order
// at the end of the file, so a walk that takes a wrong entry or block reads
// the wrong bytes. Header+FAT: 5 blocks.
made::Container walked_container()
{
    made::Container c;
    c.total_blocks = 255;
    made::Subfile s{"BIGFILE DAT", 250 * 512, {}};
    for (int i = 0; i < 250; ++i)
        s.blocks.push_back(static_cast<uint16_t>(254 - i));
    c.subfiles.push_back(s);
    return c;
}

std::vector<uint8_t> walked_bytes(uint8_t x)
{
    std::vector<uint8_t> bytes = walked_container().bytes();
    for (uint64_t p = 0; p < 250 * 512; ++p)
        bytes[(254 - p / 512) * 512 + p % 512] = pattern(p);
    made::xor_all(bytes, x);
    return bytes;
}

// Reads a made container and opens it again for the transfers.
InputFile open_made(const std::string& path, const char* mode)
{
    InputFile file;
    file.path = path;
    EXPECT_EQ(read_input_file(file), 1);
    // The reader's warnings about the damage a test made are not what the
    // transfers are tested for.
    take_log();
    EXPECT_EQ(open_input_file(file, mode), 1);
    return file;
}

class Primitives : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
    }
    void TearDown() override
    {
        clear_task_options(task_options);
        test_stop_after_polls = -1;
    }
    // Writes the walked container (XOR-ed with x) and opens it.
    InputFile open_walked(const char* mode, uint8_t x = 0)
    {
        path = dir.file("walk.img");
        made::write_bytes(path, walked_bytes(x));
        return open_made(path, mode);
    }

    ScratchDir dir;
    std::string path;
};

}  // namespace

TEST_F(Primitives, ReadAcrossTwoFatEntriesTakesTheSecondEntrysBlocks)
{
    InputFile file = open_walked("rb");
    ASSERT_EQ(file.fat_entry_count, 2u);

    // From the middle of block 238 through block 239 into block 240, which
    // the second FAT entry lists.
    uint32_t offset = 238 * 512 + 300;
    std::vector<uint8_t> got(212 + 512 + 100);
    ASSERT_EQ(read_subfile_data(file, 0, offset, got.data(), static_cast<uint32_t>(got.size())), 1);
    for (size_t i = 0; i < got.size(); ++i)
        ASSERT_EQ(got[i], pattern(offset + i)) << "byte " << i;
    close_input_file(file);
    EXPECT_EQ(take_log(), "");
}

TEST_F(Primitives, ReadEndsExactlyAtTheSubfileSize)
{
    InputFile file = open_walked("rb");
    std::vector<uint8_t> got(101);
    EXPECT_EQ(read_subfile_data(file, 0, 250 * 512 - 100, got.data(), 100), 1);
    EXPECT_EQ(got[99], pattern(250 * 512 - 1));
    EXPECT_EQ(take_log(), "");

    test_debug_mask = DBG_TWK;
    EXPECT_EQ(read_subfile_data(file, 0, 250 * 512 - 100, got.data(), 101), 0);
    EXPECT_EQ(take_log(), "Read structure error, file " + path + ".\n");
    EXPECT_NE(take_debug_log(), "");
    // An offset near 2^32 must not wrap round into range.
    EXPECT_EQ(read_subfile_data(file, 0, 0xFFFFFFF0u, got.data(), 0x20), 0);
    EXPECT_EQ(take_log(), "Read structure error, file " + path + ".\n");
    close_input_file(file);
}

TEST_F(Primitives, BlockWalkRefusesWhatTheFileDoesNotHold)
{
    path = dir.file("walk.img");
    std::vector<uint8_t> bytes = walked_bytes(0);
    const std::string refused = "Read structure error, file " + path + ".\n";
    std::vector<uint8_t> got(512);

    // A row past the FAT.
    made::write_bytes(path, bytes);
    InputFile file = open_made(path, "rb");
    EXPECT_EQ(read_subfile_data(file, 2, 0, got.data(), 1), 0);
    EXPECT_EQ(take_log(), refused);
    close_input_file(file);

    // The size claims a third FAT entry that the FAT does not have.
    ByteSpan(bytes).put_u32(0x600 + 12, 481 * 512);
    made::write_bytes(path, bytes);
    file = open_made(path, "rb");
    EXPECT_EQ(read_subfile_data(file, 0, 480 * 512, got.data(), 512), 0);
    EXPECT_EQ(take_log(), refused);
    close_input_file(file);

    // An unused block number inside the size, and one past the file's end.
    ByteSpan(bytes).put_u16(0x600 + 0x20 + 2 * 3, 0xFFFF);
    ByteSpan(bytes).put_u16(0x600 + 0x20 + 2 * 4, 255);
    made::write_bytes(path, bytes);
    file = open_made(path, "rb");
    EXPECT_EQ(read_subfile_data(file, 0, 3 * 512, got.data(), 1), 0);
    EXPECT_EQ(read_subfile_data(file, 0, 4 * 512, got.data(), 1), 0);
    EXPECT_EQ(take_log(), refused + refused);
    EXPECT_EQ(read_subfile_data(file, 0, 5 * 512, got.data(), 1), 1);
    close_input_file(file);
}

// Blocks whose numbers follow one another are one run of the file: read in
// one piece, and refused at the first block of the run the file lacks.
TEST_F(Primitives, AStretchOfFollowingBlocksIsOneRunCheckedAtEachBlock)
{
    path = dir.file("walk.img");
    std::vector<uint8_t> bytes = walked_bytes(0);
    // Subfile block k lies at file block 254 - k: listing blocks 0-9 as file
    // blocks 245-254 makes one stretch that holds them in reverse.
    for (uint16_t k = 0; k < 10; ++k)
        ByteSpan(bytes).put_u16(0x600 + 0x20 + 2 * k, static_cast<uint16_t>(245 + k));
    made::write_bytes(path, bytes);
    InputFile file = open_made(path, "rb");
    std::vector<uint8_t> got(10 * 512 - 300);
    ASSERT_EQ(read_subfile_data(file, 0, 300, got.data(), static_cast<uint32_t>(got.size())), 1);
    for (size_t i = 0; i < got.size(); ++i) {
        uint64_t p = 300 + i;
        ASSERT_EQ(got[i], pattern((9 - p / 512) * 512 + p % 512)) << "byte " << i;
    }
    uint32_t total = file.total_blocks;
    close_input_file(file);
    EXPECT_EQ(take_log(), "");

    // The stretch runs past the file's end at its seventh block.
    for (uint16_t k = 0; k < 10; ++k)
        ByteSpan(bytes).put_u16(0x600 + 0x20 + 2 * k, static_cast<uint16_t>(total - 6 + k));
    made::write_bytes(path, bytes);
    file = open_made(path, "rb");
    test_debug_mask = DBG_TWK;
    EXPECT_EQ(read_subfile_data(file, 0, 300, got.data(), static_cast<uint32_t>(got.size())), 0);
    EXPECT_EQ(take_log(), "Read structure error, file " + path + ".\n");
    EXPECT_NE(take_debug_log().find("bajt 3072"), std::string::npos);
    EXPECT_EQ(read_subfile_data(file, 0, 300, got.data(), 5 * 512), 1);
    close_input_file(file);
}

TEST_F(Primitives, WriteNeverLandsInTheHeaderArea)
{
    path = dir.file("walk.img");
    std::vector<uint8_t> bytes = walked_bytes(0);
    // Block 1 of the subfile lies inside the 5 header+FAT blocks.
    ByteSpan(bytes).put_u16(0x600 + 0x20 + 2, 1);
    made::write_bytes(path, bytes);
    InputFile file = open_made(path, "r+b");
    std::vector<uint8_t> data(1024, 0xEE);
    EXPECT_EQ(write_subfile_data(file, data.data(), 0, 0, 1024, 1), 0);
    close_input_file(file);
    EXPECT_EQ(take_log(), "Write structure error, file " + path + ".\n");
    // Refused before the first byte: block 0 of the subfile is untouched too.
    EXPECT_EQ(made::read_bytes(path), bytes);
}

TEST_F(Primitives, ScrambledWriteWithPaddingReadsBackAsZeros)
{
    InputFile file = open_walked("r+b", 0x5A);
    ASSERT_EQ(file.xor_mask, 0x5A5A5A5Au);

    std::vector<uint8_t> data(700);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 13 + 1);
    const std::vector<uint8_t> original = data;
    ASSERT_EQ(write_subfile_data(file, data.data(), 0, 0, 700, 1), 1);
    EXPECT_EQ(data, original);

    // On disk: the data XOR-ed in blocks 254 and 253, then 0x5A filler to the
    // end of block 253; the block after it keeps its old bytes.
    fflush(file.stream);
    std::vector<uint8_t> disk = made::read_bytes(path);
    for (size_t i = 0; i < 512; ++i)
        ASSERT_EQ(disk[254 * 512 + i], data[i] ^ 0x5A);
    for (size_t i = 0; i < 188; ++i)
        ASSERT_EQ(disk[253 * 512 + i], data[512 + i] ^ 0x5A);
    for (size_t i = 188; i < 512; ++i)
        ASSERT_EQ(disk[253 * 512 + i], 0x5A) << i;
    EXPECT_EQ(disk[252 * 512], pattern(1024) ^ 0x5A);

    std::vector<uint8_t> back(1024);
    ASSERT_EQ(read_subfile_data(file, 0, 0, back.data(), 1024), 1);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
    for (size_t i = 700; i < 1024; ++i)
        ASSERT_EQ(back[i], 0) << i;
    close_input_file(file);
    EXPECT_EQ(take_log(), "");
}

// A copy gathered for an output is cut where the gathered bytes fill the
// buffer: its bytes and their sum come through whole wherever it starts,
// and the bytes a subfile must begin with are looked for in its first piece
// even when only three bytes of the buffer are left when it starts.
TEST_F(Primitives, GatheredCopiesComeThroughWholeAcrossWriteBoundaries)
{
    InputFile file = open_walked("rb", 0x3C);
    const uint32_t length = 250 * 512;
    uint32_t expected_sum = 0;
    for (uint32_t p = 0; p < length; ++p)
        expected_sum += pattern(p);
    const char head[] = {static_cast<char>(pattern(2)), static_cast<char>(pattern(3)),
                         static_cast<char>(pattern(4)), static_cast<char>(pattern(5))};
    const ExpectedBytes signature{2, 4, head};
    const char wrong[] = "XXXX";

    std::string out_path = dir.file("gathered.bin");
    FILE* out = fopen(out_path.c_str(), "w+b");
    ASSERT_NE(out, nullptr);
    OutputRun run{out, out_path.c_str()};
    // Zeros gathered to three bytes short of a full buffer; a copy after
    // them, one right after it (across the end of the next buffer), and one
    // that starts a run of its own.
    ASSERT_EQ(put_output_bytes(run, 0, nullptr, copy_piece_limit - 3), 1);
    const uint64_t starts[] = {copy_piece_limit - 3, copy_piece_limit - 3 + length, 3ull * copy_piece_limit};
    for (uint64_t start : starts) {
        uint32_t sum = 5;
        ASSERT_EQ(copy_subfile_data(file, 0, length, run, start, signature, sum), 1) << start;
        EXPECT_EQ(sum, 5 + expected_sum) << start;
    }
    uint32_t unused = 0;
    EXPECT_EQ(copy_subfile_data(file, 0, length, run, 4ull * copy_piece_limit - 3, {2, 4, wrong}, unused), -1);
    ASSERT_EQ(flush_output_run(run), 1);
    fflush(out);
    std::vector<uint8_t> disk = made::read_bytes(out_path);
    fclose(out);
    ASSERT_EQ(disk.size(), 3ull * copy_piece_limit + length);
    for (uint64_t p = 0; p < copy_piece_limit - 3; ++p)
        ASSERT_EQ(disk[p], 0) << p;
    for (uint64_t start : starts)
        for (uint32_t p = 0; p < length; ++p)
            ASSERT_EQ(disk[start + p], pattern(p)) << start << " + " << p;
    close_input_file(file);
    EXPECT_EQ(take_log(), "");
}

// Bytes that follow one another are gathered and written together: when the
// next ones do not fit, the gathered ones go out whole first; when they do
// not follow, likewise. Everything lands at its place.
TEST_F(Primitives, GatheredRunsGoOutWholeWhenTheNextBytesDoNotFitOrFollow)
{
    std::string out_path = dir.file("pieces.bin");
    FILE* out = fopen(out_path.c_str(), "w+b");
    ASSERT_NE(out, nullptr);
    std::vector<uint8_t> bytes(3 * copy_piece_limit);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 13 + i / 251);
    OutputRun run{out, out_path.c_str()};
    const uint64_t first = 10, second = 100000;
    ASSERT_EQ(put_output_bytes(run, first, bytes.data(), second), 1);
    EXPECT_EQ(run.start, first);
    EXPECT_EQ(run.used, second);
    EXPECT_EQ(std::filesystem::file_size(out_path), 0u);
    // 300,000 more follow: the buffer is filled and written, the rest waits.
    ASSERT_EQ(put_output_bytes(run, first + second, bytes.data() + second, 300000), 1);
    EXPECT_EQ(std::filesystem::file_size(out_path), first + copy_piece_limit);
    EXPECT_EQ(run.start, first + copy_piece_limit);
    EXPECT_EQ(run.start + run.used, first + second + 300000);
    // A run elsewhere: the gathered bytes go out whole first.
    const uint64_t elsewhere = 5 * copy_piece_limit + 7;
    ASSERT_EQ(put_output_bytes(run, elsewhere, bytes.data(), 1000), 1);
    EXPECT_EQ(std::filesystem::file_size(out_path), first + second + 300000);
    EXPECT_EQ(run.start, elsewhere);
    EXPECT_EQ(run.used, 1000u);
    ASSERT_EQ(flush_output_run(run), 1);
    EXPECT_EQ(run.file_end, elsewhere + 1000);
    fclose(out);
    std::vector<uint8_t> disk = made::read_bytes(out_path);
    ASSERT_EQ(disk.size(), elsewhere + 1000);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + second + 300000, disk.begin() + first));
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.begin() + 1000, disk.begin() + elsewhere));
    EXPECT_EQ(take_log(), "");
}

TEST_F(Primitives, PositionedTransfersCarryTheXor)
{
    InputFile file = open_walked("r+b", 0xA7);

    const uint8_t data[5] = {1, 2, 3, 4, 5};
    ASSERT_EQ(write_file_at(file, data, 254 * 512 + 3, 5), 1);
    uint8_t back[5] = {};
    ASSERT_EQ(read_file_at(file, back, 254 * 512 + 3, 5), 1);
    EXPECT_EQ(0, memcmp(back, data, 5));
    close_input_file(file);
    std::vector<uint8_t> disk = made::read_bytes(path);
    EXPECT_EQ(disk[254 * 512 + 3], 1 ^ 0xA7);
    EXPECT_EQ(take_log(), "");
}

TEST_F(Primitives, StopTurnsTransfersIntoSilentFailures)
{
    InputFile file = open_walked("rb");
    uint8_t byte = 0;
    test_stop_after_polls = 0;
    EXPECT_EQ(read_subfile_data(file, 0, 0, &byte, 1), 0);
    EXPECT_EQ(read_file_at(file, &byte, 0, 1), 0);
    EXPECT_EQ(create_output_file(dir.file("a").c_str(), 0), nullptr);
    EXPECT_EQ(create_output_file_at(dir.file("b").c_str(), 0), nullptr);
    close_input_file(file);
    EXPECT_EQ(take_log(), "");
    EXPECT_FALSE(std::filesystem::exists(dir.file("b")));
}

TEST_F(Primitives, OutputFilesGoInsideTheOutputDirectory)
{
    std::filesystem::create_directory(dir.file("out:"));
    task_options.output_path = dir.file("out:");
    FILE* f = create_output_file("a.img", 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(finish_output_file(f, 1), 1);
    EXPECT_TRUE(std::filesystem::exists(dir.file("out:/a.img")));

    task_options.output_path = dir.path() + "/";
    f = create_output_file("b.img", 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(finish_output_file(f, 1), 1);
    EXPECT_TRUE(std::filesystem::exists(dir.file("b.img")));

    EXPECT_EQ(create_output_file("b.img", 0), nullptr);
    EXPECT_EQ(take_log(), "Output file already exist, file " + dir.file("b.img") + ".\n");
    f = create_output_file("b.img", 1);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(finish_output_file(f, 1), 1);

    EXPECT_EQ(create_output_file_at(dir.file("nodir/c.img").c_str(), 0), nullptr);
    EXPECT_EQ(take_log(),
              "Create output file error, file " + dir.file("nodir/c.img") + " (No such file or directory).\n");
    EXPECT_EQ(check_file_exists(dir.file("b.img").c_str()), 1);
    EXPECT_EQ(check_file_exists(dir.file("c.img").c_str()), 0);
}

// An output that replaces a file keeps that file's permission bits; one
// named by a link (or a chain of them, relative or not) is written into the
// file the links name, which need not exist yet, and the links stay. Links
// that never end make nothing.
TEST_F(Primitives, ReplacedOutputsKeepTheirModeAndLinksTakeTheirTargets)
{
    namespace fs = std::filesystem;
    fs::create_directory(dir.file("sub"));
    write_file(dir.file("sub/target.img"), "old");
    ASSERT_EQ(chmod(dir.file("sub/target.img").c_str(), 0604), 0);
    fs::create_symlink("sub/target.img", dir.file("link.img"));
    fs::create_symlink(dir.file("link.img"), dir.file("chain.img"));
    fs::create_symlink("sub/new.img", dir.file("dangling.img"));
    fs::create_symlink("loop.img", dir.file("loop.img"));
    for (mode_t mode : {0600, 0640, 0755}) {
        write_file(dir.file("plain.img"), "old");
        ASSERT_EQ(chmod(dir.file("plain.img").c_str(), mode), 0);
        FILE* f = create_output_file_at(dir.file("plain.img").c_str(), 1);
        ASSERT_NE(f, nullptr);
        fputs("new", f);
        ASSERT_EQ(finish_output_file(f, 1), 1);
        struct stat status {};
        ASSERT_EQ(stat(dir.file("plain.img").c_str(), &status), 0);
        EXPECT_EQ(status.st_mode & 07777, mode);
        EXPECT_EQ(read_file(dir.file("plain.img")), "new");
    }
    struct Case {
        const char* link;
        const char* target;
    } cases[] = {{"link.img", "sub/target.img"}, {"chain.img", "sub/target.img"}, {"dangling.img", "sub/new.img"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.link);
        std::string content = std::string("by ") + c.link;
        FILE* f = create_output_file_at(dir.file(c.link).c_str(), 1);
        ASSERT_NE(f, nullptr);
        fputs(content.c_str(), f);
        ASSERT_EQ(finish_output_file(f, 1), 1);
        EXPECT_TRUE(fs::is_symlink(dir.file(c.link)));
        EXPECT_EQ(read_file(dir.file(c.target)), content);
    }
    struct stat status {};
    ASSERT_EQ(stat(dir.file("sub/target.img").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0604u);
    EXPECT_EQ(take_log(), "");

    EXPECT_EQ(create_output_file_at(dir.file("loop.img").c_str(), 1), nullptr);
    EXPECT_EQ(take_log(), "Create output file error, file " + dir.file("loop.img") +
                              " (Too many levels of symbolic links).\n");
    EXPECT_TRUE(fs::is_symlink(dir.file("loop.img")));
}

TEST_F(Primitives, OpenErrorNamesTheFileAndWhy)
{
    InputFile file;
    file.path = dir.file("missing.img");
    EXPECT_EQ(open_input_file(file, "rb"), 0);
    EXPECT_EQ(file.stream, nullptr);
    EXPECT_EQ(take_log(), "Open error, file " + file.path + " (No such file or directory).\n");
    // Without a reason known, the plain text.
    report_open_error("x.img", 0);
    EXPECT_EQ(take_log(), "Open error, file x.img.\n");
}

TEST_F(Primitives, FillBytesAndXorTouchExactlyTheirBytes)
{
    std::string path = dir.file("fill");
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(write_fill_bytes(f, 40000, 0x5A), 1);
    EXPECT_EQ(write_fill_bytes(f, 0, 1), 1);
    EXPECT_EQ(write_fill_bytes(f, -5, 1), 1);
    fclose(f);
    std::string content = read_file(path);
    EXPECT_EQ(content, std::string(40000, '\x5A'));

    uint8_t bytes[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    xor_buffer(bytes, 5, 0x44332211);
    const uint8_t expected[8] = {0x11, 0x22, 0x33, 0x44, 0x11, 0, 0, 0};
    EXPECT_EQ(0, memcmp(bytes, expected, 8));
}

TEST_F(Primitives, CountedMemory)
{
    uint32_t allocated = allocation_count, freed = free_count;
    void* block = allocate_memory(100);
    ASSERT_NE(block, nullptr);
    free_memory(block);
    free_memory(nullptr);
    EXPECT_EQ(allocation_count - allocated, 1u);
    EXPECT_EQ(free_count - freed, 1u);
    EXPECT_EQ(allocate_memory(-1), nullptr);
    EXPECT_EQ(take_log(), "Out of memory.\n");
    EXPECT_EQ(allocation_count - allocated, 1u);
}

// A table sized again starts from value-initialised rows whatever it held,
// also when it is large enough to be offered for large pages first.
TEST_F(Primitives, SizedTablesAreZeroFilledSmallAndLarge)
{
    for (size_t n : {size_t(4096), platform::large_block_size + 12345}) {
        std::vector<uint8_t> bytes(64, 0xAB);
        ASSERT_TRUE(reserve_bytes(bytes, n));
        ASSERT_EQ(bytes.size(), n);
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) << n;
        std::fill(bytes.begin(), bytes.end(), 0xCD);
        ASSERT_TRUE(reserve_bytes(bytes, n / 2));
        EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; })) << n;
    }
    struct Row {
        uint32_t a = 7;
        uint64_t b = 0;
    };
    std::vector<Row> rows(3, Row{1, 2});
    size_t many = platform::large_block_size / sizeof(Row) + 1;
    ASSERT_TRUE(resize_rows(rows, many));
    EXPECT_TRUE(std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.a == 7 && r.b == 0; }));
}

TEST_F(Primitives, ReleasingAnInputTwiceIsHarmless)
{
    InputList list;
    InputFile& file = add_input_file(list, data_path("gmapsupp/west-1101-p1.img"));
    ASSERT_EQ(read_input_file(file), 1);
    ASSERT_FALSE(file.header_buffer.empty());
    free_input_file(file);
    free_input_file(file);
    EXPECT_TRUE(file.header_buffer.empty());
    EXPECT_TRUE(file.fat_slots.empty());
    EXPECT_EQ(file.fat_entry_count, 0u);
    uint8_t byte;
    ASSERT_EQ(open_input_file(file, "rb"), 1);
    EXPECT_EQ(read_subfile_data(file, 0, 0, &byte, 1), 0);
    close_input_file(file);
    take_log();
    EXPECT_EQ(free_input_file_list(list), 1);
    EXPECT_TRUE(list.empty());
}

TEST(TextHelpers, TerminatedAndBoundedLengths)
{
    const char text[] = {'a', 'b', 0, 'c'};
    EXPECT_EQ(get_terminated_length(text, 0, 2), -1);
    EXPECT_EQ(get_terminated_length(text, 0, 3), 2);
    EXPECT_EQ(get_terminated_length(text, 2, 2), -1);
    EXPECT_EQ(get_terminated_length(text, 3, 4), -1);
    EXPECT_EQ(get_bounded_length(text, 0, 2), 2);
    EXPECT_EQ(get_bounded_length(text, 0, 4), 2);
    EXPECT_EQ(get_bounded_length(text, 3, 4), 1);
    EXPECT_EQ(get_bounded_length(text, 3, 1), -2);
}

TEST(TextHelpers, NumbersAndKindNames)
{
    EXPECT_STREQ(format_u64_hex(31), "       1f");
    EXPECT_STREQ(format_u64_hex(0x123456789abull), "123456789ab");
    EXPECT_STREQ(format_u64_decimal(0), "0");
    EXPECT_STREQ(format_u64_decimal(UINT64_MAX), "18446744073709551615");
    EXPECT_STREQ(get_subfile_kind_name(0), " - ");
    EXPECT_STREQ(get_subfile_kind_name(1), " ??");
    EXPECT_STREQ(get_subfile_kind_name(11), "SRT");
    EXPECT_STREQ(get_subfile_kind_name(17), "TRE");
    EXPECT_STREQ(get_subfile_kind_name(21), " ? ");
    EXPECT_STREQ(get_subfile_kind_name(22), " ??");
    EXPECT_EQ(sum_bytes("\xFF\xFF\x02", 3), 0x200u);
    EXPECT_EQ(sum_bytes("", 0), 0u);
}

namespace {

// One way of the byte sum, and whether this processor can run it.
struct SumWay {
    const char* name;
    uint32_t (*sum)(const uint8_t*, size_t);
    bool usable;
};
void PrintTo(const SumWay& way, std::ostream* out) { *out << way.name; }

uint32_t chosen_sum(const uint8_t* bytes, size_t n) { return sum_bytes(bytes, n); }

class ByteSumWays : public ::testing::TestWithParam<SumWay> {};

}  // namespace

// Every way of the byte sum, not only the one this processor takes, equals a
// plain loop: every length up to 300 at every alignment within 64 bytes,
// long buffers around the steps of 128 and 1024 bytes, and runs of 0xFF long
// enough to fill every lane.
TEST_P(ByteSumWays, EqualAPlainLoop)
{
    const SumWay& way = GetParam();
    if (!way.usable)
        GTEST_SKIP() << "this processor has no AVX2";
    std::vector<uint8_t> bytes(300000);
    std::mt19937 random(20261212);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(random());
    std::fill(bytes.begin() + 1000, bytes.begin() + 3100, 0xFF);
    std::fill(bytes.begin() + 12000, bytes.begin() + 250000, 0xFF);
    auto plain = [&](size_t start, size_t n) {
        uint32_t sum = 0;
        for (size_t i = 0; i < n; ++i)
            sum += bytes[start + i];
        return sum;
    };
    for (size_t start = 0; start < 64; ++start)
        for (size_t n = 0; n <= 300; ++n)
            ASSERT_EQ(way.sum(bytes.data() + start, n), plain(start, n)) << start << " " << n;
    for (size_t start : {0, 1, 7, 16, 31, 33, 1000, 11999})
        for (size_t n : {1023, 1024, 1025, 1151, 2049, 4993, 11000, 39990, 240000, 287000}) {
            ASSERT_LE(start + n, bytes.size());
            EXPECT_EQ(way.sum(bytes.data() + start, n), plain(start, n)) << start << " " << n;
        }
}

INSTANTIATE_TEST_SUITE_P(Each, ByteSumWays,
                         ::testing::Values(SumWay{"words", sum_bytes_words, true},
                                           SumWay{"sse2", sum_bytes_sse2, true},
                                           SumWay{"avx2", sum_bytes_avx2, sum_bytes_avx2_usable()},
                                           SumWay{"chosen", chosen_sum, true}),
                         [](const ::testing::TestParamInfo<SumWay>& info) { return std::string(info.param.name); });

TEST(TextHelpers, CurrentTimeInTheHeaderDateLayout)
{
    CurrentTime saved = current_time;
    current_time = CurrentTime{2024, 6, 1, 12, 30, 59, 0};
    uint8_t bytes[9] = {};
    EXPECT_TRUE(store_current_time(ByteSpan(bytes, 9), 2));
    const uint8_t expected[9] = {0, 0, 0xE8, 0x07, 6, 1, 12, 30, 59};
    EXPECT_EQ(0, memcmp(bytes, expected, 9));
    EXPECT_FALSE(store_current_time(ByteSpan(bytes, 9), 3));
    current_time = saved;
}

TEST(CoordinateClamps, LimitsAndEdges)
{
    const double u = 360.0 / 16777216.0;  // 24 bits
    const double k = 45.0 / 4194304.0;
    double v = -180.0;
    clamp_longitude_up(v, 24);
    EXPECT_DOUBLE_EQ(v, 180.0 - u - k);
    // At 24 bits half a unit is exactly the margin: a west edge at +180
    // lands on the limit and stays; one unit coarser it is past the limit
    // and becomes the western one.
    v = 180.0;
    clamp_longitude_down(v, 24);
    EXPECT_EQ(v, 180.0 - k);
    v = 180.0;
    clamp_longitude_down(v, 23);
    EXPECT_DOUBLE_EQ(v, -(180.0 - 2 * u + k));
    v = 10.0;
    clamp_latitude_up(v, 24);
    EXPECT_DOUBLE_EQ(v, 10.0 + u / 2);
    v = 10.0;
    clamp_longitude_down(v, 24);
    EXPECT_DOUBLE_EQ(v, 10.0 - u / 2);
    v = 95.0;
    clamp_latitude(v, 24);
    EXPECT_DOUBLE_EQ(v, 90.0 - u - k);
    v = -95.0;
    clamp_latitude_down(v, 24);
    EXPECT_DOUBLE_EQ(v, -(90.0 - u - k));
    v = -181.0;
    clamp_longitude(v, 24);
    EXPECT_DOUBLE_EQ(v, -(180.0 - u - k));
    // Coarse maps have wide units.
    v = 89.0;
    clamp_latitude(v, 8);
    EXPECT_DOUBLE_EQ(v, 90.0 - 360.0 / 256 - k);
}

TEST(ProductCode, PacksSixBitsPerCharacter)
{
    const char code[12] = {'A', 'B', 'C', 'D', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};
    uint8_t bytes[9];
    pack_product_code(std::span<const char, 12>(code, 12), std::span<uint8_t, 9>(bytes, 9));
    uint32_t v = 33u << 18 | 34u << 12 | 35u << 6 | 36u;
    const uint8_t expected[9] = {0, 0, 0, 0, 0, 0, uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16)};
    EXPECT_EQ(0, memcmp(bytes, expected, 9));
    EXPECT_EQ(unpack_product_code(std::span<const uint8_t, 9>(bytes, 9)), "ABCD");

    const char full[12] = {'T', 'A', 'R', 'N', '_', '0', '1', ' ', 'X', '^', ' ', ' '};
    pack_product_code(std::span<const char, 12>(full, 12), std::span<uint8_t, 9>(bytes, 9));
    EXPECT_EQ(unpack_product_code(std::span<const uint8_t, 9>(bytes, 9)), "TARN_01 X^");

    const uint8_t blank[9] = {};
    EXPECT_EQ(unpack_product_code(std::span<const uint8_t, 9>(blank, 9)), "");
}

TEST(CoreMessages, PolishTwinsTakeTheSameArguments)
{
    const MessageText* const texts[] = {
        &fn_OuOfMe, &fn_WrErFS, &fn_WrErFR, &fn_ReErFS, &fn_SeErFS, &fn_OpErFS, &fn_OpErFR, &fn_NoReFi,
        &fn_OFAEFS, &fn_COFEFS, &fn_COFEFR, &fn_ODCBUS, &fn_OFNWFS, &fn_ReSEFS, &fn_WrSEFS, &od_ReaFiS,
        &od_WHDGFS, &od_WHBSFS, &od_WHFFFS, &od_HLNEFS, &od_WHFSFS, &od_BDITSF, &od_BDILSF, &od_WFFSSF,
        &od_BDIYSF, &od_BDIBSF, &od_BDIRSF, &od_BDISSF, &od_MaAnEr, &od_MuDaMI, &od_NoMRFS, &od_WMRSDS,
        &od_FiTBFS, &nt_UnSHeF};
    for (const MessageText* m : texts)
        EXPECT_EQ(conversions_match(m->english, m->polish), 1) << m->key;

    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    EXPECT_STREQ(fn_WrErFS.text(), "Błąd zapisu pliku %s.\n");
    EXPECT_STREQ(fn_WrErFR.text(), "Błąd zapisu pliku %s (%s).\n");
    EXPECT_STREQ(fn_COFEFR.text(), "Błąd tworzenia pliku wyjściowego %s (%s).\n");
    english_texts = 1;
    load_core_messages(nullptr, 0, 0);
    EXPECT_STREQ(fn_WrErFS.text(), "Write error, file %s.\n");
}
