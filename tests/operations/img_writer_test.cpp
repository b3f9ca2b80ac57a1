// IMG writer: the header template, the FAT entries at their limits, the
// checksum byte, FAT names from paths and the empty DEM.
#include "operations/img_writer.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

#include "core/files.h"
#include "core/img_format.h"
#include "core/product_code.h"
#include "core/task_options.h"
#include "platform/platform.h"
#include "tests/support/host_capture.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

uint32_t byte_sum(const std::string& bytes)
{
    uint32_t sum = 0;
    for (char c : bytes)
        sum += static_cast<uint8_t>(c);
    return sum & 0xFF;
}

class ImgWriting : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
        current_time = CurrentTime{2031, 2, 3, 4, 5, 6, 0};
        path = dir.file("out.img");
    }
    void TearDown() override
    {
        if (writer.stream)
            fclose(writer.stream);
        clear_task_options(task_options);
    }

    // A writer for a file of the given sizes, its header template laid out.
    void start(uint32_t block_size, uint32_t header_size, uint32_t header_area, uint64_t total_size)
    {
        OutputSizePlan plan;
        plan.chosen_block_size = block_size;
        plan.header_size = header_size;
        plan.header_area_size = header_area;
        plan.planned_total_size = total_size;
        plan.largest_subfile = 100000;
        ASSERT_EQ(init_img_writer(plan, writer), 1);
        writer.output_name = path;
        writer.stream = fopen(path.c_str(), "wb");
        ASSERT_NE(writer.stream, nullptr);
        ASSERT_EQ(init_img_header(writer), 1);
    }

    // Subfile i of a test (A RGN, B TRE, ...) written whole: length bytes
    // counting up from 11 * i + 1. Returns them, empty when it failed.
    std::vector<uint8_t> write_counted_subfile(size_t i, uint32_t length)
    {
        static const char* const names[] = {"A       RGN", "B       TRE", "C       LBL",
                                            "D       NET", "E       NOD", "F       DEM"};
        std::vector<uint8_t> bytes(length);
        std::iota(bytes.begin(), bytes.end(), static_cast<uint8_t>(11 * i + 1));
        if (i >= std::size(names) || write_whole_subfile(writer, bytes, names[i]) != 1)
            return {};
        return bytes;
    }

    std::string finish()
    {
        EXPECT_EQ(write_img_header(writer), 1);
        fclose(writer.stream);
        writer.stream = nullptr;
        return read_file(path);
    }

    ScratchDir dir;
    std::string path;
    ImgWriter writer;
};

uint32_t u16_at(const std::string& b, size_t at) { return get_u16(b, at); }

}  // namespace

TEST_F(ImgWriting, HeaderTemplateFields)
{
    start(1024, 4096, 6144, 9216);
    std::string b = finish();
    ASSERT_EQ(b.size(), 6144u);
    EXPECT_EQ(get_u8(b, 0x40), 8u);
    EXPECT_EQ(b.substr(0x10, 6), "DSKIMG");
    EXPECT_EQ(b.substr(0x41, 6), "GARMIN");
    EXPECT_EQ(b.substr(0x49, 20), std::string(20, ' '));
    EXPECT_EQ(b.substr(0x65, 30), std::string(30, ' '));
    EXPECT_EQ(get_u8(b, 0x08), 0u);
    EXPECT_EQ(get_u8(b, 0x0E), 0u);
    EXPECT_EQ(b.substr(0x30, 9), std::string(9, '\0'));
    // Date: the task's time, with month and year - 1900 again at 0x0A.
    EXPECT_EQ(u16_at(b, 0x39), 2031u);
    EXPECT_EQ(get_u8(b, 0x3B), 2u);
    EXPECT_EQ(get_u8(b, 0x3C), 3u);
    EXPECT_EQ(get_u8(b, 0x3D), 4u);
    EXPECT_EQ(get_u8(b, 0x3E), 5u);
    EXPECT_EQ(get_u8(b, 0x3F), 6u);
    EXPECT_EQ(get_u8(b, 0x0A), 2u);
    EXPECT_EQ(get_u8(b, 0x0B), 131u);
    EXPECT_EQ(get_u8(b, 0x61), 9u);
    EXPECT_EQ(get_u8(b, 0x62), 1u);
    // 9216 bytes: 16 heads, 8 sectors, 128 sectors a cylinder, one cylinder.
    EXPECT_EQ(get_u8(b, 0x17), 2u);
    EXPECT_EQ(u16_at(b, 0x18), 8u);
    EXPECT_EQ(u16_at(b, 0x1A), 16u);
    EXPECT_EQ(u16_at(b, 0x1C), 1u);
    EXPECT_EQ(u16_at(b, 0x5D), 16u);
    EXPECT_EQ(u16_at(b, 0x5F), 8u);
    EXPECT_EQ(u16_at(b, 0x63), 64u);  // 128 sectors >> 1
    EXPECT_EQ(get_u8(b, 0x1C0), 1u);
    EXPECT_EQ(get_u8(b, 0x1C3), 15u);
    EXPECT_EQ(get_u8(b, 0x1C4), 8u);
    EXPECT_EQ(get_u8(b, 0x1C5), 0u);
    EXPECT_EQ(get_u32(b, 0x1CA), 128u);
    EXPECT_EQ(get_u8(b, 0x1FE), 0x55u);
    EXPECT_EQ(get_u8(b, 0x1FF), 0xAAu);
    // The header area's own entry: six blocks, 0..5.
    EXPECT_EQ(get_u8(b, 4096), 1u);
    EXPECT_EQ(b.substr(4097, 11), std::string(11, ' '));
    EXPECT_EQ(get_u32(b, 4096 + 0x0C), 6144u);
    EXPECT_EQ(get_u8(b, 4096 + 0x10), 3u);
    EXPECT_EQ(get_u8(b, 4096 + 0x11), 0u);
    for (uint32_t i = 0; i < 240; ++i)
        EXPECT_EQ(u16_at(b, 4096 + 0x20 + 2 * i), i < 6 ? i : 0xFFFFu) << i;
    // The rest of the area is free entries: zeros.
    EXPECT_EQ(b.substr(4608), std::string(6144 - 4608, '\0'));
    EXPECT_EQ(byte_sum(b), 0u);
}

TEST_F(ImgWriting, VersionBytesAndProductCodeOnlyWhenAsked)
{
    OutputSizePlan plan;
    plan.chosen_block_size = 512;
    plan.header_size = 1024;
    plan.header_area_size = 2048;
    plan.planned_total_size = 2048;
    ASSERT_EQ(init_img_writer(plan, writer), 1);
    writer.output_name = path;
    writer.stream = fopen(path.c_str(), "wb");
    writer.header_flags = HEADER_VERSION_MAJOR | HEADER_MAPSOURCE_FLAG | HEADER_PRODUCT_CODE;
    writer.version_major = 3;
    writer.version_minor = 7;
    writer.mapsource_flag = 1;
    memcpy(writer.product_code, "TARN_01 X^  ", 12);
    ASSERT_EQ(init_img_header(writer), 1);
    std::string b = finish();
    EXPECT_EQ(get_u8(b, 0x40), 2u);  // short header: FAT at 1024
    EXPECT_EQ(get_u8(b, 1024), 1u);
    EXPECT_EQ(get_u8(b, 0x08), 3u);
    EXPECT_EQ(get_u8(b, 0x09), 0u);  // minor not asked for
    EXPECT_EQ(get_u8(b, 0x0E), 1u);
    EXPECT_EQ(unpack_product_code(std::span<const uint8_t, 9>(reinterpret_cast<const uint8_t*>(b.data()) + 0x30, 9)),
              "TARN_01 X^");
    EXPECT_EQ(get_u8(b, 0x62), 0u);  // 512-byte blocks
    EXPECT_EQ(byte_sum(b), 0u);
}

TEST_F(ImgWriting, GeometryAtItsThresholds)
{
    struct Case {
        uint64_t total;
        uint32_t heads, sectors, cylinders, last_head;
    };
    // 0xFFFFFF: 32768 sectors of 128 a cylinder; 0x1000000: 32768 of 512;
    // 0x4000000: 131072 of 8192.
    const Case cases[] = {
        {0xFFFFFF, 16, 8, 257, 15},
        {0x1000000, 16, 32, 65, 15},
        {0x4000000, 256, 32, 17, 255},
    };
    for (const Case& c : cases) {
        start(1024 * 1024, 4096, 1024 * 1024, c.total);
        std::string b = finish();
        EXPECT_EQ(u16_at(b, 0x1A), c.heads) << c.total;
        EXPECT_EQ(u16_at(b, 0x18), c.sectors) << c.total;
        EXPECT_EQ(u16_at(b, 0x1C), c.cylinders) << c.total;
        EXPECT_EQ(get_u8(b, 0x1C3), c.last_head) << c.total;
        uint32_t last = c.cylinders - 1;
        EXPECT_EQ(get_u8(b, 0x1C4), ((last & 0x300) >> 2) | c.sectors) << c.total;
        EXPECT_EQ(get_u8(b, 0x1C5), last & 0xFF) << c.total;
        uint32_t per_cylinder = c.heads * c.sectors;
        EXPECT_EQ(get_u32(b, 0x1CA), per_cylinder * c.cylinders) << c.total;
        EXPECT_EQ(get_u8(b, 0x62), 11u);  // 1 MiB blocks
        uint32_t shifted = (per_cylinder * c.cylinders >> 11) & 0xFFFF;
        EXPECT_EQ(u16_at(b, 0x63), shifted ? shifted : 0xFFFFu) << c.total;
        EXPECT_EQ(byte_sum(b), 0u);
    }
}

TEST_F(ImgWriting, SubfileOf241BlocksTakesTwoEntriesAndEmptyOneNone)
{
    start(512, 1024, 4096, 200000);
    std::vector<uint8_t> data(241 * 512 - 100);
    std::iota(data.begin(), data.end(), 7);
    ASSERT_EQ(write_whole_subfile(writer, {}, "EMPTY   TYP"), 1);
    ASSERT_EQ(write_whole_subfile(writer, data, "BIG     RGN"), 1);
    EXPECT_EQ(writer.blocks_used, 8u + 241);
    EXPECT_EQ(writer.bytes_written, (8u + 241) * 512);
    std::string b = finish();
    ASSERT_EQ(b.size(), (8u + 241) * 512);
    // The header entry, then BIG part 0 and part 1: no entry for EMPTY.
    size_t p0 = 1024 + 512, p1 = p0 + 512;
    EXPECT_EQ(b.substr(p0 + 1, 11), "BIG     RGN");
    EXPECT_EQ(get_u32(b, p0 + 0x0C), data.size());
    EXPECT_EQ(get_u8(b, p0 + 0x11), 0u);
    EXPECT_EQ(u16_at(b, p0 + 0x20), 8u);
    EXPECT_EQ(u16_at(b, p0 + 0x20 + 2 * 239), 247u);
    EXPECT_EQ(b.substr(p1 + 1, 11), "BIG     RGN");
    EXPECT_EQ(get_u32(b, p1 + 0x0C), 0u);
    EXPECT_EQ(get_u8(b, p1 + 0x11), 1u);
    EXPECT_EQ(u16_at(b, p1 + 0x20), 248u);
    for (uint32_t i = 1; i < 240; ++i)
        EXPECT_EQ(u16_at(b, p1 + 0x20 + 2 * i), 0xFFFFu);
    EXPECT_EQ(get_u8(b, p1 + 512), 0u);
    EXPECT_EQ(b.compare(8 * 512, data.size(), reinterpret_cast<const char*>(data.data()), data.size()), 0);
    EXPECT_EQ(byte_sum(b), 0u);
}

// Whether the file system of path keeps holes: a file with a hole of a
// megabyte made here must report its start as no data.
static bool keeps_holes(const std::string& path)
{
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        return false;
    bool holes = pwrite(fd, "x", 1, 1 << 20) == 1 && lseek(fd, 0, SEEK_DATA) > 0;
    close(fd);
    unlink(path.c_str());
    return holes;
}

// Padding up to zero_padding_limit is written as zeros, longer padding is
// skipped over; with blocks larger than that limit, shorter padding is
// skipped too where it holds a whole page and reaches the next multiple of
// copy_piece_limit.
// Either way it must read back as zeros, the data beside it must be whole,
// and a file that ends in padding keeps its full length. Where the file
// system keeps holes, written padding is data and skipped padding is not.
TEST_F(ImgWriting, PaddingWrittenOrSkippedReadsAsZerosAndTheFileKeepsItsLength)
{
    const bool holes = keeps_holes(dir.file("probe"));
    struct Case {
        uint32_t block;
        bool written[6];
    };
    // Subfile i starts at block i + 1. With 128 KiB blocks the first ends in
    // the second half of a copy_piece_limit stretch, the second in the first half.
    const Case cases[] = {
        {32768u, {true, true, true, true, true, true}},
        {2 * zero_padding_limit, {false, true, false, false, true, false}},
        {4 * zero_padding_limit, {false, false, false, false, true, false}},
    };
    static_assert(4 * zero_padding_limit == copy_piece_limit);
    for (const Case& c : cases) {
        const uint32_t block = c.block;
        SCOPED_TRACE(block);
        writer = ImgWriter{};
        start(block, 1024, block, 8ull * block);
        // Padding of two pages, of a byte short of two (a whole page in it),
        // of half a block and a byte, of all but a byte, of 100 bytes, and
        // again of half a block and a byte: where that last padding is
        // skipped, nothing written reaches the end of the file.
        const uint32_t lengths[] = {block - 8192, block - 8191, block / 2 - 1, 1, block - 100, block / 2 - 1};
        std::vector<std::vector<uint8_t>> data;
        for (size_t i = 0; i < 6; ++i) {
            data.push_back(write_counted_subfile(i, lengths[i]));
            ASSERT_EQ(data[i].size(), lengths[i]);
            uint64_t at = (i + 1ull) * block;
            EXPECT_EQ(writer.out.start + writer.out.used, at + (c.written[i] ? block : lengths[i])) << i;
        }
        EXPECT_EQ(writer.bytes_written, 7ull * block);
        std::string b = finish();
        ASSERT_EQ(b.size(), 7ull * block);
        int fd = open(path.c_str(), O_RDONLY);
        ASSERT_GE(fd, 0);
        for (size_t i = 0; i < 6; ++i) {
            SCOPED_TRACE(i);
            size_t at = (i + 1) * block;
            EXPECT_EQ(b.compare(at, lengths[i], reinterpret_cast<const char*>(data[i].data()), lengths[i]), 0);
            EXPECT_EQ(b.substr(at + lengths[i], block - lengths[i]), std::string(block - lengths[i], '\0'));
            // The last page of the padding: data only where the padding was
            // written or holds no whole page.
            off_t page = static_cast<off_t>(at + block - 4096);
            if (holes) {
                EXPECT_EQ(lseek(fd, page, SEEK_DATA) == page, c.written[i]);
            }
        }
        close(fd);
        EXPECT_EQ(byte_sum(b), 0u);
    }
}

// In reserved space, padding is skipped when it holds a whole page and
// reaches the next multiple of copy_piece_limit, and written otherwise (the bytes gathered
// for writing end after the data or after the padding); either way the file reads the same byte for byte:
// zeros between the subfiles, its exact length at the end, a zero byte sum.
// Blocks larger than the zero padding limit are never reserved.
TEST_F(ImgWriting, PaddingInReservedSpaceIsSkippedByWholePagesAndReadsAsZeros)
{
    for (uint32_t block : {2048u, 32768u}) {
        SCOPED_TRACE(block);
        writer = ImgWriter{};
        // 2 KiB blocks hold no whole page of padding. With 32 KiB blocks the
        // third subfile ends a block before a multiple of copy_piece_limit.
        const bool small = block < 2 * hole_page;
        const uint32_t area = small ? 8192u : copy_piece_limit - 3 * block;
        start(block, 1024, area, area + 8ull * block);
        reserve_output_space(writer);
        if (!writer.space_reserved)
            GTEST_SKIP() << "the file system reserves no space";
        // Padding of 100 and of a byte short of a page (written), of a page
        // (skipped: it reaches the next multiple), of a page and 4095 bytes
        // and of half a block (whole pages in them, but they end before the
        // next multiple, and are written).
        const uint32_t lengths[] = {block - 100, small ? block / 4 : block - (hole_page - 1),
                                    small ? 5 : block - hole_page, small ? 7 : block - (2 * hole_page - 1),
                                    block / 2 - 1};
        const bool skipped[] = {false, false, !small, false, false};
        std::vector<std::vector<uint8_t>> data;
        for (size_t i = 0; i < 5; ++i) {
            data.push_back(write_counted_subfile(i, lengths[i]));
            ASSERT_EQ(data[i].size(), lengths[i]);
            uint64_t at = area + i * block;
            EXPECT_EQ(writer.out.start + writer.out.used, at + (skipped[i] ? lengths[i] : block)) << i;
        }
        std::string b = finish();
        ASSERT_EQ(b.size(), area + 5ull * block);  // cut back from the reserved size
        for (size_t i = 0; i < 5; ++i) {
            SCOPED_TRACE(i);
            size_t at = area + i * block;
            EXPECT_EQ(b.compare(at, lengths[i], reinterpret_cast<const char*>(data[i].data()), lengths[i]), 0);
            EXPECT_EQ(b.substr(at + lengths[i], block - lengths[i]), std::string(block - lengths[i], '\0'));
        }
        EXPECT_EQ(byte_sum(b), 0u);
    }
    writer = ImgWriter{};
    start(4 * zero_padding_limit, 1024, 4 * zero_padding_limit, 8ull * 4 * zero_padding_limit);
    reserve_output_space(writer);
    EXPECT_FALSE(writer.space_reserved);
}

// Only the header and the header area's own entries wait in memory: later
// entries are written in runs as they come. Every entry must land at its
// place, in order, whether it went out in a full run or in the last one, and
// the entries never used read as zeros.
TEST_F(ImgWriting, FatEntriesWrittenInRunsLandInOrderAfterTheHeaderAreasOwn)
{
    const uint32_t header_blocks = 300;  // two entries of the header area's own
    start(512, 1024, header_blocks * 512, 400000);
    EXPECT_EQ(writer.header_buffer.size(), 1024u + 2 * 512);
    const int subfiles = 2 * static_cast<int>(fat_run_entries) + 7;
    for (int i = 0; i < subfiles; ++i) {
        std::vector<uint8_t> data(100 + i, static_cast<uint8_t>(i));
        char name[12];
        snprintf(name, sizeof name, "%08dRGN", i);
        ASSERT_EQ(write_whole_subfile(writer, data, name), 1);
    }
    std::string b = finish();
    ASSERT_EQ(b.size(), (header_blocks + subfiles) * 512u);
    EXPECT_EQ(byte_sum(b), 0u);
    // The header area's own entries: blocks 0..239, then 240..299.
    EXPECT_EQ(get_u8(b, 1024 + 0x10), 3u);
    EXPECT_EQ(u16_at(b, 1024 + 0x20 + 2 * 239), 239u);
    EXPECT_EQ(get_u8(b, 1536 + 0x11), 1u);
    EXPECT_EQ(u16_at(b, 1536 + 0x20), 240u);
    EXPECT_EQ(u16_at(b, 1536 + 0x20 + 2 * 59), 299u);
    EXPECT_EQ(u16_at(b, 1536 + 0x20 + 2 * 60), 0xFFFFu);
    for (int i = 0; i < subfiles; ++i) {
        size_t entry = 2048 + 512 * static_cast<size_t>(i);
        char name[12];
        snprintf(name, sizeof name, "%08dRGN", i);
        ASSERT_EQ(b.substr(entry + 1, 11), name) << i;
        EXPECT_EQ(get_u32(b, entry + 0x0C), 100u + i) << i;
        EXPECT_EQ(u16_at(b, entry + 0x20), header_blocks + i) << i;
        EXPECT_EQ(u16_at(b, entry + 0x22), 0xFFFFu) << i;
        EXPECT_EQ(get_u8(b, (header_blocks + i) * 512u + 99 + i), static_cast<uint8_t>(i)) << i;
    }
    size_t unused = 2048 + 512 * static_cast<size_t>(subfiles);
    EXPECT_EQ(b.substr(unused, header_blocks * 512 - unused), std::string(header_blocks * 512 - unused, '\0'));
}

TEST_F(ImgWriting, AFatThatWouldNotFitIsRefusedWithAMessage)
{
    start(512, 1024, 2048, 100000);
    uint32_t position = writer.fat_position, blocks = writer.blocks_used;
    // Room for one more entry only: 241 blocks need two.
    EXPECT_EQ(add_fat_entries(writer, 241 * 512, "BIG     RGN"), 0);
    EXPECT_EQ(take_log(), "Write structure error, file " + path + ".\n");
    EXPECT_EQ(writer.fat_position, position);
    EXPECT_EQ(writer.blocks_used, blocks);
    EXPECT_EQ(add_fat_entries(writer, 240 * 512, "FITS    RGN"), 1);
}

TEST_F(ImgWriting, NoBlockNumberPastTheLimitAndNoPartNumberPast255)
{
    start(512, 1024, 512 * 1024, 100000);
    uint64_t room = uint64_t(img_block_limit - writer.blocks_used) * 512;
    EXPECT_EQ(add_fat_entries(writer, room + 1, "BIG     RGN"), 0);
    EXPECT_EQ(take_log(), "Write structure error, file " + path + ".\n");
    // 257 entries would number their parts 0..256.
    EXPECT_EQ(add_fat_entries(writer, 256ull * 240 * 512 + 1, "BIG     RGN"), 0);
    EXPECT_EQ(add_fat_entries(writer, 256ull * 240 * 512, "BIG     RGN"), 1);
    EXPECT_EQ(writer.blocks_used, 1024u + 256 * 240);
}

TEST(FatNameFromPath, NameAndExtensionFromTheLastComponent)
{
    auto name = [](const char* path, const char* extension) {
        InputFile input;
        input.path = path;
        char out[12];
        EXPECT_EQ(make_fat_name_from_path(input, out, extension), 1);
        return std::string(out);
    };
    EXPECT_EQ(name("/maps/west1101.typ", ""), "west1101typ");
    EXPECT_EQ(name("/maps/west1101.typ", nullptr), "west1101typ");
    EXPECT_EQ(name("C:\\maps\\routable.mmr", "MMR"), "routableMMR");
    EXPECT_EQ(name("verylongname.bin", " ??"), "verylongbin");
    EXPECT_EQ(name("a.b.c", ""), "a       c  ");
    EXPECT_EQ(name("noext", ""), "noext      ");
    EXPECT_EQ(name("ends.", ""), "ends       ");
    EXPECT_EQ(name("/maps/dir/", "TYP"), "        TYP");
    // A '.' in a directory never gives the extension.
    EXPECT_EQ(name("/maps/v1.2/tile", ""), "tile       ");
}

TEST(EmptyDem, LevelsCountFromTheLastWhileTheTopBitIsClear)
{
    TreInfo tre;
    auto set_levels = [&](std::initializer_list<uint8_t> first_bytes) {
        tre.levels.fill(0);
        uint32_t i = 0;
        for (uint8_t b : first_bytes)
            tre.levels[4 * i++] = b;
        tre.levels_size = 4 * i;
    };
    set_levels({0x83, 0x02, 0x01, 0x00});
    EXPECT_EQ(count_dem_levels(tre), 3u);
    set_levels({0x02, 0x81, 0x00});
    EXPECT_EQ(count_dem_levels(tre), 1u);
    set_levels({0x01, 0x80});
    EXPECT_EQ(count_dem_levels(tre), 0u);
    tre.levels_size = 3;
    EXPECT_EQ(count_dem_levels(tre), 0u);
}

TEST(EmptyDem, BoundsSignRule)
{
    TreInfo tre;
    tre.header.assign(0x21, 0);
    ByteSpan h(tre.header);
    h.put_u24(0x15, 0x800000);  // north: still positive
    h.put_u24(0x18, 0x800001);  // east: negative
    h.put_u24(0x1B, 0x800000);  // south: negative
    h.put_u24(0x1E, 0x7FFFFF);  // west: positive
    TreBounds b = tre_bounds(tre);
    EXPECT_EQ(b.north, 0x800000);
    EXPECT_EQ(b.east, 0x800001 - 0x1000000);
    EXPECT_EQ(b.south, -0x800000);
    EXPECT_EQ(b.west, 0x7FFFFF);
}

TEST(EmptyDem, LayoutOfTwoLevels)
{
    std::string tre_bytes = tre_subfile(TreSpec{.levels = tre_level(3, 18, 1, true) + tre_level(1, 22, 1) +
                                                          tre_level(0, 24, 1)});
    TreInfo tre;
    tre.header.assign(tre_bytes.begin(), tre_bytes.begin() + 188);
    tre.levels_size = 12;
    memcpy(tre.levels.data(), tre_bytes.data() + get_u32(tre_bytes, 0x21), 12);
    ASSERT_EQ(count_dem_levels(tre), 2u);
    std::vector<uint8_t> dem = build_empty_dem(tre, 2);
    ASSERT_EQ(dem.size(), empty_dem_size(2));
    ASSERT_EQ(dem.size(), 165u);
    std::string d(dem.begin(), dem.end());
    EXPECT_EQ(get_u16(d, 0), 37u);
    EXPECT_EQ(d.substr(2, 10), "GARMIN DEM");
    EXPECT_EQ(get_u8(d, 0x0C), 1u);
    EXPECT_EQ(d.substr(0x0E, 7), tre_bytes.substr(0x0E, 7));
    EXPECT_EQ(get_u32(d, 0x15), 1u);
    EXPECT_EQ(get_u16(d, 0x19), 2u);
    EXPECT_EQ(get_u16(d, 0x1F), 60u);
    EXPECT_EQ(get_u32(d, 0x21), 45u);
    EXPECT_EQ(get_u32(d, 37), 0x02000000u);
    EXPECT_EQ(get_u32(d, 41), 0x02000000u);
    TreSpec spec;
    int32_t north = static_cast<int32_t>(spec.north), south = static_cast<int32_t>(spec.south);
    int32_t east = static_cast<int32_t>(spec.east), west = static_cast<int32_t>(spec.west);
    for (uint32_t i = 0; i < 2; ++i) {
        size_t r = 45 + 60 * i;
        EXPECT_EQ(get_u8(d, r), 0u);
        EXPECT_EQ(get_u8(d, r + 1), i);
        EXPECT_EQ(get_u32(d, r + 0x02), 64u);
        EXPECT_EQ(get_u32(d, r + 0x0E), 2u);
        EXPECT_EQ(get_u16(d, r + 0x1C), 16u);
        EXPECT_EQ(get_u16(d, r + 0x1E), 4u);
        EXPECT_EQ(get_u32(d, r + 0x20), 37 + 4 * i);
        EXPECT_EQ(get_u32(d, r + 0x24), 41 + 4 * i);
        EXPECT_EQ(get_u32(d, r + 0x28), static_cast<uint32_t>(west) << 8);
        EXPECT_EQ(get_u32(d, r + 0x2C), static_cast<uint32_t>(north) << 8);
        EXPECT_EQ(get_u32(d, r + 0x30), static_cast<uint32_t>((north + 2 - south) / 3) << 8);
        EXPECT_EQ(get_u32(d, r + 0x34), static_cast<uint32_t>((east + 2 - west) / 3) << 8);
        EXPECT_EQ(get_u32(d, r + 0x38), 0u);
    }
}
