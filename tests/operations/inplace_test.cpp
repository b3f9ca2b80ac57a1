// In-place changes: the sum-keeping write step, the header fields, the mapset
// name in the header, the TRE bytes, the family/product filter and the driver.
#include "operations/inplace.h"
#include "operations/task_bridge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <span>

#include "core/img_format.h"
#include "core/product_code.h"
#include "operations/inplace_write.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

using namespace inplace_test;

namespace {

constexpr uint8_t xor_5a = 0x5A;

// A real map, and a real map stored XOR-ed, with their XOR bytes.
const std::pair<const char*, uint8_t> plain_and_xored[] = {{"single/plain/11000001.img", 0},
                                                          {"damaged/valid-xor-5a.img", xor_5a}};

class InplaceStepTest : public InplaceTest {};
class HeaderFields : public InplaceTest {};
class TreBytes : public InplaceTest {};
class ChangeFilter : public InplaceTest {};

// A builder-made container of two small subfiles, plain or XOR-ed.
ImgBuilder small_builder(uint8_t xor_byte)
{
    ImgBuilder b({.xor_byte = xor_byte});
    b.add_subfile("00000001", "TYP", typ_subfile(1252, 7, 2, 156, 700));
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    return b;
}
std::string small_container(uint8_t xor_byte) { return small_builder(xor_byte).build(); }

}  // namespace

// ---------------------------------------------------------------- the write step

TEST_F(InplaceStepTest, EveryGroupKeepsTheByteSumPlainAndXored)
{
    for (uint8_t x : {uint8_t(0), xor_5a}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b = small_builder(x);
        std::string path = write("c.img", b.build());
        size_t tre = b.layout().data_offset(1);
        size_t typ = b.layout().data_offset(0);
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        // The FAT row of the TYP subfile: the first after the header's own entries.
        uint32_t typ_slot = 0;
        const uint8_t group[5] = {1, 2, 3, 4, 250};
        {
            InplaceStep step(*file, true);
            ASSERT_EQ(step.open(), 1);
            ASSERT_EQ(step.put_at(tre + 10, group, 5), 1);
            // A header group that holds byte 0x0F carries the corrected byte itself.
            file->header_buffer[0x0A] = 0x77;
            file->header_buffer[0x0F] = 0x00;  // whatever the image says, the step sets it
            ASSERT_EQ(step.put_header(0, 80), 1);
            ASSERT_EQ(step.put_subfile(typ_slot, 0x220, group, 5), 1);  // in its second block
            ASSERT_EQ(step.finish(), 1);
        }
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        std::vector<size_t> changed = changed_offsets(before, after);
        EXPECT_TRUE(only_in(changed, {{0x0A, 0x0A}, {0x0F, 0x0F}, {tre + 10, tre + 14}, {typ + 0x220, typ + 0x224}}))
            << changed.size();
        EXPECT_EQ(after[tre + 10] ^ x, 1);
        EXPECT_EQ(after[typ + 0x224] ^ x, 250);
        EXPECT_EQ(after[0x0A] ^ x, 0x77);
        // The image follows the disk, checksum byte included.
        std::vector<uint8_t> disk(after.begin(), after.begin() + file->header_buffer.size());
        for (uint8_t& byte : disk)
            byte ^= x;
        EXPECT_EQ(file->header_buffer, disk);
        EXPECT_EQ(file->stream, nullptr);
    }
}

TEST_F(InplaceStepTest, AStepThatIsNotFinishedIsUndoneOnDiskAndInMemory)
{
    std::string path = write("c.img", small_container(xor_5a));
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    std::vector<uint8_t> image = file->header_buffer;
    uint32_t blocks = file->total_blocks;
    {
        InplaceStep step(*file, true);
        ASSERT_EQ(step.open(), 1);
        const uint8_t group[3] = {9, 9, 9};
        ASSERT_EQ(step.put_at(before.size() - 100, group, 3), 1);
        file->header_buffer[0x49] = 'Q';
        ASSERT_EQ(step.put_header(0x40, 0x20), 1);
        file->total_blocks += 3;
        ASSERT_EQ(step.extend_file(before.size() + 3 * 512), 1);
        EXPECT_EQ(file_bytes(path).size(), before.size() + 3 * 512);
    }
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(file->header_buffer, image);
    EXPECT_EQ(file->total_blocks, blocks);
    EXPECT_EQ(file->stream, nullptr);
}

// A step that cannot grow the file (a file-size limit fails the write as a
// full disk would) says which file and why, and leaves the file as it was.
TEST_F(InplaceStepTest, AWriteThatFailsNamesTheFileAndTheSystemsReason)
{
    std::string path = write("c.img", small_container(0));
    std::vector<uint8_t> before = file_bytes(path);
    for (const auto& [english, line] :
         {std::pair<int, std::string>{1, "Write error, file " + path + " (File too large).\n"},
          {0, "Błąd zapisu pliku " + path + " (File too large).\n"}}) {
        RunResult run = run_with_file_size_limit(before.size() + 512, [&](std::string& text) {
            english_texts = english;
            load_core_messages(nullptr, 0, 0);
            auto file = read(path);
            take_log();
            InplaceStep step(*file, true);
            int extended = step.open() ? step.extend_file(before.size() + 64 * 512) : -1;
            text = take_log();
            return extended;
        });
        EXPECT_EQ(run.exit_code, 0) << run.output;
        EXPECT_NE(run.output.find(line), std::string::npos) << run.output;
        EXPECT_EQ(file_bytes(path), before);
    }
}

TEST_F(InplaceStepTest, ADataFileIsWrittenAsItComesAndStopWaitsForTheFile)
{
    std::string path = copy("typ/west1101.typ", "w.typ");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    test_stop_after_polls = 0;  // Stop already asked for
    {
        InplaceStep step(*file, false);
        ASSERT_EQ(step.open(), 1);
        const uint8_t group[2] = {0xAA, 0xBB};
        EXPECT_EQ(step.put_at(100, group, 2), 1);
        EXPECT_EQ(step.finish(), 1);
    }
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(changed_offsets(before, after), (std::vector<size_t>{100, 101}));
    // Outside a step a Stop ends a transfer again.
    uint8_t byte = 0;
    ASSERT_EQ(open_input_file(*file, "rb"), 1);
    EXPECT_EQ(read_file_at(*file, &byte, 0, 1), 0);
    close_input_file(*file);
}

TEST_F(InplaceStepTest, AFailedReadOfTheOldBytesWritesNothing)
{
    std::string path = write("c.img", small_container(0));
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    {
        InplaceStep step(*file, true);
        ASSERT_EQ(step.open(), 1);
        const uint8_t group[4] = {1, 2, 3, 4};
        EXPECT_EQ(step.put_at(before.size() - 2, group, 4), 0);  // past the end
        EXPECT_EQ(step.put_subfile(999, 0, group, 4), 0);        // no such FAT row
    }
    EXPECT_EQ(file_bytes(path), before);
    take_log();
}

// Many groups whose rises wrap the byte sum several times, a header group
// that takes byte 0x0F between them and groups after it: at the end the sum
// is the file's own again and byte 0x0F is the only byte outside the groups
// that changed.
TEST_F(InplaceStepTest, ManyGroupsEndWithTheByteSumOfTheFile)
{
    for (uint8_t x : {uint8_t(0), xor_5a}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b = small_builder(x);
        std::string path = write("c.img", b.build());
        size_t typ = b.layout().data_offset(0);
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        std::vector<std::pair<size_t, size_t>> places = {{0x0A, 0x0A}, {0x0F, 0x0F}};
        {
            InplaceStep step(*file, true);
            ASSERT_EQ(step.open(), 1);
            for (uint32_t g = 0; g < 40; ++g) {
                const uint8_t group[3] = {0xFF, uint8_t(g * 37), 0xFE};
                ASSERT_EQ(step.put_subfile(0, 0x100 + 8 * g, group, 3), 1) << g;
                places.push_back({typ + 0x100 + 8 * g, typ + 0x100 + 8 * g + 2});
                if (g == 25) {
                    file->header_buffer[0x0A] = 0xC3;
                    ASSERT_EQ(step.put_header(0, 16), 1);
                }
            }
            ASSERT_EQ(step.finish(), 1);
        }
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        std::vector<size_t> changed = changed_offsets(before, after);
        EXPECT_TRUE(std::find(changed.begin(), changed.end(), 0x0F) != changed.end());
        for (size_t at : changed) {
            bool inside = false;
            for (auto [first, last] : places)
                inside = inside || (at >= first && at <= last);
            EXPECT_TRUE(inside) << at;
        }
        EXPECT_EQ(after[typ + 0x100 + 8 * 39 + 1] ^ x, uint8_t(39 * 37));
        EXPECT_EQ(file->header_buffer[0x0F], after[0x0F] ^ x);
        EXPECT_EQ(file->header_buffer[0x0A], 0xC3);
    }
}

// A step that fails half-way, after groups in a subfile, in the header (byte
// 0x0F with it), FAT entries, a block list of a subfile written earlier
// changed in the image but never written, and a renamed subfile row, leaves
// the file, its checksum and the InputFile as they were.
TEST_F(InplaceStepTest, AFailureHalfWayPutsBackBytesChecksumAndImage)
{
    for (uint8_t x : {uint8_t(0), xor_5a}) {
        SCOPED_TRACE(int(x));
        std::string path = write("c.img", small_container(x));
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        std::vector<uint8_t> image = file->header_buffer;
        std::string row_name(file->subfiles.at(1).name, 11);
        uint32_t length = file->subfiles.at(1).length;
        {
            InplaceStep step(*file, true);
            ASSERT_EQ(step.open(), 1);
            const uint8_t group[4] = {0xF0, 0xF1, 0xF2, 0xF3};
            ASSERT_EQ(step.put_subfile(file->subfiles.at(0).fat_slot, 0x30, group, 4), 1);
            ASSERT_EQ(step.put_subfile(file->subfiles.at(1).fat_slot, 0x20, group, 4), 1);
            file->header_buffer[0x0B] ^= 0x55;
            ASSERT_EQ(step.put_header(0, 0x40), 1);
            // Both subfiles' FAT entries renamed and written as one run.
            for (uint32_t slot : {0u, 1u})
                memcpy(file->header_buffer.data() + file->fat_slots.at(slot).entry_offset + FatEntry::name, "ZZZZZZZZ",
                       8);
            ASSERT_EQ(step.put_fat_entries(0, 2), 1);
            ASSERT_EQ(step.put_subfile(file->subfiles.at(0).fat_slot, 0x40, group, 4), 1);
            uint32_t tre_entry = file->fat_slots.at(file->subfiles.at(1).fat_slot).entry_offset;
            memset(file->header_buffer.data() + tre_entry + FatEntry::blocks, 0xAB, 4);
            memcpy(file->subfiles.at(1).name, "RENAMED", 7);
            file->subfiles.at(1).length = 1;
            EXPECT_NE(file_bytes(path), before);
            EXPECT_EQ(step.put_subfile(999, 0, group, 4), 0);  // no such FAT row
        }
        EXPECT_EQ(file_bytes(path), before);
        EXPECT_EQ(content_sum(file_bytes(path), x), content_sum(before, x));
        EXPECT_EQ(file->header_buffer, image);
        EXPECT_EQ(std::string(file->subfiles.at(1).name, 11), row_name);
        EXPECT_EQ(file->subfiles.at(1).length, length);
        EXPECT_EQ(file->stream, nullptr);
        take_log();
    }
}

// A group over a subfile whose blocks are not in file order is written, and
// undone, where its block list put each piece, also when the list has been
// changed in the image since; the byte sum is kept either way.
TEST_F(InplaceStepTest, AGroupOverScatteredBlocksGoesBackWhereItWasWritten)
{
    for (uint8_t x : {uint8_t(0), xor_5a}) {
        for (bool finish : {true, false}) {
            SCOPED_TRACE(std::to_string(x) + (finish ? " finished" : " undone"));
            ImgBuilder b({.xor_byte = x});
            int data = b.add_subfile("00000001", "BIN", std::string(1500, 'd'));
            uint32_t first = b.layout().first_block[data];
            // Blocks first, first + 2, first + 1: three runs of the file.
            b.set_fat_block(data, 0, 1, static_cast<uint16_t>(first + 2));
            b.set_fat_block(data, 0, 2, static_cast<uint16_t>(first + 1));
            std::string path = write("s.img", b.build());
            std::vector<uint8_t> before = file_bytes(path);
            auto file = read(path);
            std::vector<uint8_t> image = file->header_buffer;
            const SubfileEntry& row = file->subfiles.at(0);
            std::vector<uint8_t> group(800);
            for (size_t i = 0; i < group.size(); ++i)
                group[i] = static_cast<uint8_t>(i * 7 + 1);
            {
                InplaceStep step(*file, true);
                ASSERT_EQ(step.open(), 1);
                ASSERT_EQ(step.put_subfile(row.fat_slot, 400, group.data(), 800), 1);
                uint32_t entry = file->fat_slots.at(row.fat_slot).entry_offset;
                memset(file->header_buffer.data() + entry + FatEntry::blocks, 0xCD, 6);
                if (finish) {
                    ASSERT_EQ(step.finish(), 1);
                }
            }
            std::vector<uint8_t> after = file_bytes(path);
            EXPECT_EQ(content_sum(after, x), content_sum(before, x));
            if (!finish) {
                EXPECT_EQ(after, before);
                EXPECT_EQ(file->header_buffer, image);
                continue;
            }
            // Subfile bytes 400..511 in block first, 512..1023 in first + 2,
            // 1024..1199 in first + 1.
            size_t a = size_t(first) * 512;
            EXPECT_TRUE(only_in(changed_offsets(before, after),
                                {{0x0F, 0x0F}, {a + 400, a + 511}, {a + 1024, a + 1535}, {a + 512, a + 687}}));
            EXPECT_EQ(after[a + 400] ^ x, group[0]);
            EXPECT_EQ(after[a + 1024] ^ x, group[112]);
            EXPECT_EQ(after[a + 512] ^ x, group[624]);
        }
    }
}

// ---------------------------------------------------------------- header fields

TEST_F(HeaderFields, DateRefreshTouchesOnlyTheDateBytesAndTheChecksum)
{
    for (auto [source, x] : plain_and_xored) {
        SCOPED_TRACE(source);
        std::string path = copy(source);
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        task_options.header_date_flags = 1;
        EXPECT_EQ(apply_file_changes(*file, nullptr), 1);
        EXPECT_EQ(take_log(), "Refresh header date, file " + path + ".\n");
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x0A, 0x0B}, {0x0F, 0x0F}, {0x39, 0x3F}}));
        auto again = read(path);
        ByteView h(again->header_buffer);
        EXPECT_EQ(h.u16(0x39), 2025);
        EXPECT_EQ(h.u8(0x3B), 3);
        EXPECT_EQ(h.u8(0x3C), 14);
        EXPECT_EQ(h.u8(0x3D), 15);
        EXPECT_EQ(h.u8(0x3E), 9);
        EXPECT_EQ(h.u8(0x3F), 26);
        EXPECT_EQ(h.u8(0x0A), 3);
        EXPECT_EQ(h.u8(0x0B), 125);
        EXPECT_EQ(error_count, 0);
    }
}

TEST_F(HeaderFields, GivenDateAndTimeParts)
{
    struct Case {
        uint8_t flags;
        uint16_t year;
        uint8_t year_byte;
        uint8_t hour;
    } cases[] = {{2, 2024, 124, 15}, {2, 2155, 255, 15}, {2, 2156, 255, 15}, {2 | 4, 2200, 255, 3}, {4, 1999, 125, 3}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.year);
        std::string path = copy("single/plain/11000002.img");
        auto file = read(path);
        task_options.header_date_flags = c.flags;
        task_options.header_date = {c.year, 7, 8, 3, 4, 5};
        apply_file_changes(*file, nullptr);
        auto again = read(path);
        ByteView h(again->header_buffer);
        EXPECT_EQ(h.u8(0x0B), c.year_byte);
        EXPECT_EQ(h.u16(0x39), (c.flags & 2) ? c.year : 2025);
        EXPECT_EQ(h.u8(0x3D), c.hour);
        EXPECT_EQ(h.u8(0x3F), (c.flags & 4) ? 5 : 26);
        EXPECT_EQ(h.u8(0x3C), (c.flags & 2) ? 8 : 14);
        take_log();
    }
}

TEST_F(HeaderFields, VersionAlreadyInTheHeaderWritesNothing)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");  // header 1.01
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    task_options.version_flags = 3;
    task_options.version_bytes[0] = 1;
    task_options.version_bytes[1] = 1;
    apply_file_changes(*file, nullptr);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(take_log(), "");
}

TEST_F(HeaderFields, VersionMapSourceFlagAndProductCode)
{
    std::string path = copy("single/plain/11000001.img");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    task_options.version_flags = 15;
    task_options.version_bytes[0] = 4;
    task_options.version_bytes[1] = 7;
    task_options.version_bytes[2] = 1;
    memcpy(task_options.product_code, "ABCD        ", 12);
    apply_file_changes(*file, nullptr);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(content_sum(after), content_sum(before));
    EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x08, 0x09}, {0x0E, 0x0F}, {0x30, 0x38}}));
    EXPECT_EQ(after[0x08], 4);
    EXPECT_EQ(after[0x09], 7);
    EXPECT_EQ(after[0x0E], 1);
    uint32_t abcd = 33u << 18 | 34u << 12 | 35u << 6 | 36u;
    EXPECT_EQ(ByteView(after).u24(0x36), abcd);
    EXPECT_EQ(ByteView(after).u24(0x30), 0u);
    EXPECT_EQ(ByteView(after).u24(0x33), 0u);
    EXPECT_EQ(take_log(), "Header map version 4.07, Ms 1, ABCD, file " + path + ".\n");

    // Without a product code in the header the line shows none.
    std::string other = copy("single/plain/11000002.img");
    auto second = read(other);
    task_options.version_flags = 1;
    task_options.version_bytes[0] = 9;
    apply_file_changes(*second, nullptr);
    EXPECT_EQ(take_log(), "Header map version 9.00, Ms 0, file " + other + ".\n");
}

TEST_F(HeaderFields, MapsetNameIsCutAndPaddedInBothParts)
{
    for (auto [source, x] : plain_and_xored) {
        SCOPED_TRACE(source);
        std::string path = copy(source);
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        std::string sixty;
        for (int i = 0; i < 60; ++i)
            sixty += static_cast<char>('A' + i % 26);
        task_options.mapset_name = sixty;
        EXPECT_EQ(write_mapset_name_to_header(*file), 1);
        EXPECT_EQ(take_log(), "File " + path + " write mapset name [" + sixty.substr(0, 50) + "] into header.\n");
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x0F, 0x0F}, {0x49, 0x5C}, {0x65, 0x82}}));
        auto again = read(path);
        std::string part1(again->header_buffer.begin() + 0x49, again->header_buffer.begin() + 0x5D);
        std::string part2(again->header_buffer.begin() + 0x65, again->header_buffer.begin() + 0x83);
        EXPECT_EQ(part1 + part2, sixty.substr(0, 50));

        task_options.mapset_name = "Tarnbuehl!";
        write_mapset_name_to_header(*again);
        auto third = read(path);
        std::string name(third->header_buffer.begin() + 0x49, third->header_buffer.begin() + 0x5D);
        name += std::string(third->header_buffer.begin() + 0x65, third->header_buffer.begin() + 0x83);
        EXPECT_EQ(name, "Tarnbuehl!" + std::string(40, ' '));
        EXPECT_EQ(content_sum(file_bytes(path), x), content_sum(before, x));
        take_log();
    }
}

TEST_F(HeaderFields, AStepThatCannotOpenItsFileLeavesTheImageForTheNextStep)
{
    std::string path = copy("single/plain/11000001.img");
    std::string away = path + ".away";
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    const std::vector<uint8_t> image = file->header_buffer;

    // Version 7.7 refused (the file can't be opened), then a mapset name
    // that is written: the version bytes stay as they were.
    ASSERT_EQ(rename(path.c_str(), away.c_str()), 0);
    task_options.version_flags = 3;
    task_options.version_bytes[0] = 7;
    task_options.version_bytes[1] = 7;
    EXPECT_EQ(change_header_fields(*file), 0);
    EXPECT_EQ(file->header_buffer, image);
    ASSERT_EQ(rename(away.c_str(), path.c_str()), 0);
    clear_task_options(task_options);
    task_options.mapset_name = "Named";
    EXPECT_EQ(write_mapset_name_to_header(*file), 1);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(after[ImgHeader::version_major], before[ImgHeader::version_major]);
    EXPECT_EQ(after[ImgHeader::version_minor], before[ImgHeader::version_minor]);
    EXPECT_EQ(content_sum(after), content_sum(before));

    // The other way round: a refused name, then the date that is written
    // (its header bytes reach into the name's first part).
    const std::vector<uint8_t> named = file->header_buffer;
    ASSERT_EQ(rename(path.c_str(), away.c_str()), 0);
    task_options.mapset_name = "Refused name";
    EXPECT_EQ(write_mapset_name_to_header(*file), 0);
    EXPECT_EQ(file->header_buffer, named);
    ASSERT_EQ(rename(away.c_str(), path.c_str()), 0);
    clear_task_options(task_options);
    task_options.header_date_flags = 1;
    EXPECT_EQ(change_header_fields(*file), 1);
    EXPECT_EQ(read(path)->header_buffer[ImgHeader::mapset_name_1], 'N');
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
    take_log();
}

// ---------------------------------------------------------------- TRE bytes of a lone TRE file

TEST_F(TreBytes, ALoneTreFileGetsItsBytesWithoutAChecksum)
{
    std::string path = copy("mapsource/gmapi/CorpusWest.gmap/Product1/11000001/11000001.TRE");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    ASSERT_EQ(file->subfile_kind, SUB_TRE);
    task_options.priority = 30;
    task_options.transparency = 1;
    task_options.tre_param_flags = 7;
    task_options.tre_params[0] = 5;
    task_options.tre_params[1] = 6;
    task_options.tre_params[2] = 7;
    task_options.verbose = 1;
    apply_file_changes(*file, nullptr);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x3F, 0x45}}));
    EXPECT_EQ(after[0x40], 30);
    EXPECT_EQ(after[0x3F], before[0x3F] | 2);
    EXPECT_EQ(after[0x43], 5);
    EXPECT_EQ(after[0x45], 7);
    char line[200];
    snprintf(line, sizeof line, "  Map %s priority 30 T, TRE parameters 5 6 7 %u\n", path.c_str(), after[0x3F]);
    EXPECT_EQ(take_log(), "Write: data file " + path + ".\n" + line);

    // t4 replaces the whole flags byte before "not transparent" clears bit 1.
    task_options = TaskOptions{};
    task_options.tre_param_flags = 8;
    task_options.tre_params[3] = 0x0F;
    task_options.transparency = 255;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(file_bytes(path)[0x3F], 0x0D);
    EXPECT_EQ(file_bytes(path)[0x40], 30);
}

// ---------------------------------------------------------------- the filter and the driver

TEST_F(ChangeFilter, DataFilesMatchByTheirOwnIds)
{
    auto typ = read(copy("typ/west1101.typ"));
    EXPECT_EQ(zgodny_fid(*typ, -1, -1), MATCH_ALL);
    EXPECT_EQ(zgodny_fid(*typ, 1101, -1), MATCH_DATA);
    EXPECT_EQ(zgodny_fid(*typ, 1101, 1), MATCH_DATA);
    EXPECT_EQ(zgodny_fid(*typ, -1, 2), 0);
    EXPECT_EQ(zgodny_fid(*typ, 9999, 1), 0);

    test_debug_mask = DBG_WRITE;
    zgodny_fid(*typ, 1101, 1);
    EXPECT_EQ(take_debug_log(), "zgodny_fid: zgodne dane, FID 1101 PID 1\n");
}

TEST_F(ChangeFilter, AMismatchLeavesTheFileAndCountsNothing)
{
    std::string path = copy("typ/west1101.typ");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.id_flags = 1;
    task_options.family_id = 4242;
    task_options.typ_fix_flags = 4;
    task_options.typ_code_page = 1250;
    EXPECT_EQ(apply_file_changes(*read(path), nullptr), 1);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(take_log(), "Write, FID mismatch, map skiped " + path + ".\n");
    EXPECT_EQ(warning_count + error_count, 0);
}

TEST_F(ChangeFilter, MapIdChangeOfSeparateIndexFilesIsRefusedWithAWarning)
{
    std::string mdr = copy("mapsource/gmapi/CorpusWest.gmap/corpwest_mdr/CORPWEST.MDR");
    std::vector<uint8_t> before = file_bytes(mdr);
    task_options.map_id_mode = 2;
    task_options.map_id = 5;
    apply_file_changes(*read(mdr), nullptr);
    EXPECT_EQ(file_bytes(mdr), before);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(), "\n== Warning: changing MID in MDR subfile is unsupported, file " + mdr +
                              ".\n== no changes made.\n\n");
}

TEST_F(ChangeFilter, MessagesLoadInBothLanguages)
{
    english_texts = 0;
    load_messages_gw(nullptr, 0, 0);
    EXPECT_STREQ(gw_WTFWNR.text(), "\n== Ostrzeżenie: plik TYP nie został zastąpiony.\n\n");
    english_texts = 1;
    load_messages_gw(nullptr, 0, 0);
    EXPECT_STREQ(gw_WTFWNR.text(), "\n== Warning: typ file was not replaced.\n\n");
    for (const MessageText* m : {&gw_WWNMIN, &gw_HMVUUU, &gw_MSPUCR, &gw_TCFSFU, &gw_FSWMNS, &gw_NoTreH})
        EXPECT_EQ(conversions_match(m->english, m->polish), 1) << m->key;
}

// ---------------------------------------------------------------- containers

namespace {

class ContainerChanges : public InplaceTest {};

}  // namespace

TEST_F(ContainerChanges, TheFilterReadsTypRecordsAndMpsRecords)
{
    auto west = read(copy("gmapsupp/west-1101-p1.img"));
    EXPECT_EQ(zgodny_fid(*west, 1101, -1), MATCH_DATA | MATCH_L_RECORD | MATCH_F_RECORD);
    EXPECT_EQ(zgodny_fid(*west, 1101, 1), MATCH_DATA | MATCH_L_RECORD | MATCH_F_RECORD);
    EXPECT_EQ(zgodny_fid(*west, -1, 2), 0);
    auto mixed = read(copy("gmapsupp/mixed-3families.img"));
    EXPECT_EQ(zgodny_fid(*mixed, 1201, 2), MATCH_DATA | MATCH_L_RECORD | MATCH_F_RECORD);
    // Family 1101 product 7 has maps but no TYP.
    EXPECT_EQ(zgodny_fid(*mixed, 1101, 7), MATCH_L_RECORD | MATCH_F_RECORD);
    auto single = read(copy("single/plain/11000001.img"));
    EXPECT_EQ(zgodny_fid(*single, 1101, -1), 0);
    EXPECT_EQ(zgodny_fid(*single, -1, -1), MATCH_ALL);

    test_debug_mask = DBG_WRITE;
    zgodny_fid(*west, 1101, -1);
    EXPECT_EQ(take_debug_log(), "zgodny_fid: zgodny rekord F, FID 1101 PID 1\nzgodny_fid: zgodne mapy 15, FID 1101 PID -1\n");
}

TEST_F(ContainerChanges, TreBytesOfTheMapsThatPassTheFilter)
{
    std::string path = copy("gmapsupp/mixed-3families.img");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.id_flags = 1;
    task_options.family_id = 1201;
    task_options.priority = 7;
    task_options.verbose = 1;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(take_log(), "Write: map file " + path + ".\n  Map 12000001 priority  7 N\n  Map 12000002 priority  7 N\n");
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
    auto file = read(path);
    for (const MapEntry* map : file->maps) {
        if (!map->tre_info)
            continue;
        bool family = std::string(map->name, 2) == "12";
        EXPECT_EQ(map->tre_info->header[0x40], family ? 7 : 25) << map->name;
    }
}

// The TRE images take the new bytes only once the step is on disk: a step
// that fails at a later map leaves every map's image as the file has it.
TEST_F(ContainerChanges, AnUndoneTreChangeLeavesTheTreImagesAsTheFileHasThem)
{
    std::string path = copy("gmapsupp/mixed-3families.img");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.priority = 7;
    auto file = read(path);
    std::vector<TreInfo*> tres;
    for (SubfileEntry& row : file->subfiles)
        if (row.tre_info)
            tres.push_back(row.tre_info.get());
    ASSERT_GE(tres.size(), 2u);
    tres.back()->fat_slot = 999;  // the last map's TRE cannot be written
    EXPECT_EQ(change_tre_bytes(*file), 0);
    take_log();
    EXPECT_EQ(file_bytes(path), before);
    for (const TreInfo* tre : tres)
        EXPECT_EQ(tre->header[TreHeader::draw_priority], 25);
}

TEST_F(ContainerChanges, EveryStepKeepsAZeroByteSumAndStopWaits)
{
    std::string path = copy("damaged/valid-checksum-zero.img");
    ASSERT_EQ(content_sum(file_bytes(path)), 0);
    TaskOptions& o = task_options;
    o.header_date_flags = 1;
    o.version_flags = 3;
    o.version_bytes[0] = 2;
    o.mapset_name = "Zero sum";
    o.map_name = "Family zero";
    o.priority = 12;
    o.tre_param_flags = 15;
    o.tre_params[3] = 0x0B;
    o.map_id_mode = 2;
    o.map_id = 10;
    o.label_case = 3;
    auto file = read(path);
    test_stop_after_polls = 0;  // a Stop asked for before the file: seen only after it
    apply_file_changes(*file, nullptr);
    EXPECT_EQ(poll_stop_request(), 1);
    test_stop_after_polls = -1;
    EXPECT_EQ(error_count, 0) << take_log();
    take_log();
    EXPECT_EQ(content_sum(file_bytes(path)), 0);
    auto again = read(path);
    EXPECT_EQ(again->header_buffer[8], 2);
    EXPECT_EQ(std::string(again->header_buffer.begin() + 0x49, again->header_buffer.begin() + 0x51), "Zero sum");
    for (const MapEntry* map : again->maps) {
        if (map->tre_info) {
            EXPECT_EQ(map->tre_info->header[0x40], 12);
            EXPECT_EQ(map->tre_info->header[0x3F], 0x0B);
        }
    }
}
