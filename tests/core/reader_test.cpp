// Reading inputs: every real file of the test data, the damaged variants, the
// container test at its limits and the classification of single files.
#include "core/reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/files.h"
#include "core/img_format.h"
#include "core/host.h"
#include "core/task_options.h"
#include "tests/core/built_inputs.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

class Reading : public BuiltInputs {
protected:
    int read(InputFile& file, const std::string& p) { return read_path(file, p); }
};

bool is_single_subfile_name(const fs::path& p)
{
    static const char* const extensions[] = {".TRE", ".RGN", ".LBL", ".NET", ".NOD", ".MDR", ".SRT"};
    for (const char* e : extensions)
        if (p.extension() == e)
            return true;
    return false;
}

// A copy of a real file with some bytes changed.
std::string patched_copy(const ScratchDir& dir, const std::string& source, const std::string& name,
                         const std::map<uint64_t, uint8_t>& changes)
{
    std::string bytes = read_file(data_path(source));
    for (auto [at, value] : changes)
        bytes.at(at) = static_cast<char>(value);
    std::string path = dir.file(name);
    write_file(path, bytes);
    return path;
}

}  // namespace

TEST_F(Reading, EveryRealFileReads)
{
    int files = 0;
    for (const auto& entry : fs::recursive_directory_iterator(data_path(""))) {
        const fs::path& p = entry.path();
        std::string relative = fs::relative(p, data_path("")).string();
        if (!entry.is_regular_file() || (relative.rfind("damaged/", 0) == 0 && relative.find("/valid-") == std::string::npos))
            continue;
        std::string ext = p.extension().string();
        FileKind kind;
        if (ext == ".img")
            kind = FILE_IMG;
        else if (ext == ".typ")
            kind = FILE_TYP;
        else if (ext == ".tdb")
            kind = FILE_TDB;
        else if (is_single_subfile_name(p))
            kind = FILE_OTHER;
        else
            continue;
        SCOPED_TRACE(relative);
        InputFile file;
        EXPECT_EQ(read(file, p.string()), 1);
        EXPECT_EQ(file.status, READ_OK);
        EXPECT_EQ(file.kind, kind);
        EXPECT_EQ(file.stream, nullptr);
        EXPECT_EQ(log, "");
        if (kind == FILE_IMG) {
            EXPECT_EQ(file.header_length, file.header_buffer.size());
            EXPECT_EQ(file.fat_entry_count, file.fat_slots.size());
            EXPECT_GT(file.fat_entry_count, 0u);
        }
        ++files;
    }
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(warning_count, 0);
    EXPECT_GE(files, 50);
}

TEST_F(Reading, DamagedFilesGiveTheirStatusAndMessage)
{
    struct Case {
        const char* name;
        int result;
        ReadStatus status;
        std::vector<std::string> messages;  // %s: the path
        int warnings;
    };
    auto wrong_fat = [](const char* subfile) {
        return std::string("Wrong FAT for subfile ") + subfile + ", file %s.\n";
    };
    const Case cases[] = {
        {"bad-block-base.img", 0, READ_HEADER_BAD, {"Wrong header (block size), file %s.\n"}, 0},
        {"bad-block-exponent.img", 0, READ_HEADER_BAD, {"Wrong header (block size), file %s.\n"}, 0},
        // The LBL's first block is sector 1 of the header (zeros): a warning
        // for the block, then its header has no signature, which is fatal.
        {"fat-block-in-header.img",
         0,
         READ_SUBFILES_BAD,
         {wrong_fat("11000001LBL"), "Bad data in LBL subfile, file %s.\n"},
         1},
        // Block 137 of 37 ends the RGN's list: 0x04, cut to one block (0x10).
        {"fat-block-past-end.img", 1, READ_OK, {wrong_fat("11000001RGN")}, 1},
        // The middle of three entries is free: 0x02, cut to the first's 240 blocks.
        {"fat-continuation-free.img", 1, READ_OK, {wrong_fat("14000001RGN")}, 1},
        // The later of two first entries of one name is the subfile.
        {"fat-duplicate-entry.img", 1, READ_OK, {}, 0},
        {"fat-repeated-name.img", 1, READ_OK, {}, 0},
        // The TRE claims 1536 bytes more than its one block: cut (0x10).
        {"fat-size-too-big.img", 1, READ_OK, {wrong_fat("11000001TRE")}, 1},
        // Two entries claim part 2: the later is kept and stands where part 1
        // belongs, which is fatal.
        {"fat-wrong-part-number.img", 0, READ_SUBFILES_BAD, {wrong_fat("14000001RGN")}, 0},
        {"first-fat-byte-zero.img", 1, READ_OK, {}, 0},
        {"garmin-zeroed.img", 0, READ_HEADER_BAD, {"Wrong header (DSKIMG GARMIN), file %s.\n"}, 0},
        {"header-fat-length-huge.img", 0, READ_HEADER_BAD, {"Wrong header (fat size), file %s.\n"}, 0},
        // A cut last record is only told when verbose.
        {"mps-last-record-cut.img", 1, READ_OK, {}, 0},
        {"sig-zeroed.img", 0, READ_HEADER_BAD, {"Wrong header (DSKIMG GARMIN), file %s.\n"}, 0},
        // Cut to 19 blocks: every subfile from block 19 on has no blocks left
        // (0x04, 0x10), in sorted order; the RGN of 11000001 (blocks 17, 18)
        // and the MPS (block 16) are whole.
        {"trunc-half.img",
         1,
         READ_OK,
         {wrong_fat("00001101SRT"), wrong_fat("11000001TRE"), wrong_fat("11000001LBL"), wrong_fat("11000001NET"),
          wrong_fat("11000001NOD"), wrong_fat("11000002RGN"), wrong_fat("11000002TRE"), wrong_fat("11000002LBL"),
          wrong_fat("11000002NET"), wrong_fat("11000002NOD"), wrong_fat("WEST1101TYP")},
         11},
        {"trunc-in-fat.img", 0, READ_HEADER_BAD, {"Wrong header (fat size), file %s.\n"}, 0},
        {"trunc-tiny.img", 0, READ_HEADER_BAD, {"Wrong header (DSKIMG GARMIN), file %s.\n"}, 0},
    };
    size_t damaged = 0;
    for (const auto& entry : fs::directory_iterator(data_path("damaged")))
        damaged += entry.path().filename().string().rfind("valid-", 0) != 0;
    EXPECT_EQ(damaged, std::size(cases)) << "a damaged file without its expected result";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string path = data_path(std::string("damaged/") + c.name);
        int errors = error_count;
        int warnings = warning_count;
        InputFile file;
        EXPECT_EQ(read(file, path), c.result);
        EXPECT_EQ(file.status, c.status);
        std::string expected;
        for (std::string line : c.messages) {
            if (size_t at = line.find("%s"); at != std::string::npos)
                line.replace(at, 2, path);
            expected += line;
        }
        EXPECT_EQ(log, expected);
        EXPECT_EQ(error_count - errors, c.result ? 0 : 1);
        EXPECT_EQ(warning_count - warnings, c.warnings);
        EXPECT_EQ(file.stream, nullptr);
    }
    // The misplaced pointer to the first FAT entry was searched for.
    InputFile file;
    ASSERT_EQ(read(file, data_path("damaged/first-fat-byte-zero.img")), 1);
    EXPECT_EQ(file.first_fat_offset, 0x400u);
}

TEST_F(Reading, ScrambledContainersReadAsTheirPlainTwins)
{
    const std::pair<const char*, const char*> twins[] = {
        {"damaged/valid-xor-5a.img", "gmapsupp/west-1101-p1.img"},
        {"damaged/valid-xor-a7-multipart.img", "single/all-elements/14000001.img"},
    };
    const uint32_t masks[] = {0x5A5A5A5Au, 0xA7A7A7A7u};
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE(twins[i].first);
        InputFile scrambled, plain;
        ASSERT_EQ(read(scrambled, data_path(twins[i].first)), 1);
        ASSERT_EQ(read(plain, data_path(twins[i].second)), 1);
        EXPECT_EQ(scrambled.xor_mask, masks[i]);
        EXPECT_EQ(plain.xor_mask, 0u);
        EXPECT_EQ(scrambled.header_buffer, plain.header_buffer);
        EXPECT_EQ(scrambled.fat_offset, plain.fat_offset);
        EXPECT_EQ(scrambled.header_blocks, plain.header_blocks);
        EXPECT_EQ(scrambled.total_blocks, plain.total_blocks);
        ASSERT_EQ(scrambled.fat_slots.size(), plain.fat_slots.size());
        for (size_t s = 0; s < plain.fat_slots.size(); ++s)
            EXPECT_EQ(scrambled.fat_slots[s].entry_offset, plain.fat_slots[s].entry_offset);

        // Subfile bytes come through the XOR unchanged too.
        uint32_t size = ByteView(plain.header_buffer).u32(plain.fat_offset + FatEntry::subfile_size);
        ASSERT_GT(size, 0u);
        std::vector<uint8_t> a(size), b(size);
        ASSERT_EQ(open_input_file(scrambled, "rb"), 1);
        ASSERT_EQ(open_input_file(plain, "rb"), 1);
        ASSERT_EQ(read_subfile_data(scrambled, 0, 0, a.data(), size), 1);
        ASSERT_EQ(read_subfile_data(plain, 0, 0, b.data(), size), 1);
        EXPECT_EQ(a, b);
        EXPECT_EQ(take_log(), "");
        close_input_file(scrambled);
        close_input_file(plain);
    }
}

TEST_F(Reading, HeaderAndFatFieldsOfARealContainer)
{
    // west-1101-p1: 18944 bytes of 512-byte blocks, header+FAT 8192 bytes
    // from the first FAT entry at sector 2; 13 subfiles, one entry each.
    InputFile file;
    ASSERT_EQ(read(file, data_path("gmapsupp/west-1101-p1.img")), 1);
    EXPECT_EQ(file.file_size, 18944u);
    EXPECT_EQ(file.block_size, 512u);
    EXPECT_EQ(file.first_fat_offset, 0x400u);
    EXPECT_EQ(file.fat_offset, 0x600u);
    EXPECT_EQ(file.header_blocks, 16u);
    EXPECT_EQ(file.total_blocks, 37u);
    // mkgmap sizes the FAT exactly: the last used entry ends within a block
    // of the declared header+FAT end, so nothing is trimmed.
    EXPECT_EQ(file.header_length, 8192u);
    EXPECT_EQ(file.fat_end, 8192u);
    EXPECT_EQ(file.fat_entry_count, (8192u - 0x600) / 512);
    EXPECT_TRUE(has_blank_fat_name(ByteView(file.header_buffer), file.first_fat_offset));
    EXPECT_EQ(file.subfile_count, 13u);

    InputFile big;
    ASSERT_EQ(read(big, data_path("single/blocksize-65536/11000001.img")), 1);
    EXPECT_EQ(big.block_size, 65536u);
    EXPECT_EQ(big.total_blocks, 4u);
}

TEST_F(Reading, HeaderLengthNotEvenIsOnlyANotice)
{
    // header+FAT of 3072 bytes with 16384-byte blocks.
    std::string path = data_path("single/blocksize-16384/11000001.img");
    InputFile quiet;
    ASSERT_EQ(read(quiet, path), 1);
    EXPECT_EQ(log, "");
    task_options.verbose = 1;
    InputFile told;
    ASSERT_EQ(read(told, path), 1);
    EXPECT_EQ(log, "Header length not even, file " + path + ".\n");
    EXPECT_EQ(error_count, 0);
}

TEST_F(Reading, AnnouncedFilesAreNamed)
{
    task_options.announce_files = 1;
    InputFile file;
    std::string path = data_path("typ/west1101.typ");
    ASSERT_EQ(read(file, path), 1);
    EXPECT_EQ(log, "Reading file " + path + ".\n");
}

TEST_F(Reading, ContainerTestAndFirstFatSearch)
{
    const char* plain = "single/plain/11000001.img";
    // 'G' at 0x41 without "ARMIN" after it is no scrambled container.
    std::string path = patched_copy(dir, plain, "g.img", {{0x42, 'X'}});
    InputFile notarmin;
    EXPECT_EQ(read(notarmin, path), 0);
    EXPECT_EQ(log, "Wrong header (DSKIMG GARMIN), file " + path + ".\n");
    EXPECT_EQ(notarmin.xor_mask, 0u);

    // Byte 0x40 past the first 16 KiB, or at a subfile's entry: searched.
    for (uint8_t sector : {uint8_t(0xFF), uint8_t(3)}) {
        InputFile file;
        ASSERT_EQ(read(file, patched_copy(dir, plain, "s.img", {{0x40, sector}})), 1);
        EXPECT_EQ(file.first_fat_offset, 0x400u);
    }

    // No header+FAT entry anywhere.
    path = patched_copy(dir, plain, "nofat.img", {{0x40, 0}, {0x400, 0}});
    InputFile nofat;
    EXPECT_EQ(read(nofat, path), 0);
    EXPECT_EQ(nofat.status, READ_HEADER_BAD);
    EXPECT_EQ(log, "Wrong header (first FAT), file " + path + ".\n");
}

TEST_F(Reading, FirstFatAt512IsFoundBySearch)
{
    ImgBuilder b({.first_fat_sector = 1});
    b.add_subfile("00000001", "RGN", std::string(1100, '\0'));
    b.set_header_byte(0x40, 0);
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(file.first_fat_offset, 512u);
    EXPECT_EQ(file.fat_offset, 1024u);
    EXPECT_EQ(file.fat_entry_count, 1u);
}

TEST_F(Reading, HeaderFatSizeMustLeaveRoomForAnEntry)
{
    ImgBuilder b({.header_fat_size = 0x400 + 1024});
    b.add_subfile("00000001", "RGN", std::string(100, '\0'));
    InputFile enough;
    EXPECT_EQ(read_built(b, enough), 1);
    EXPECT_EQ(enough.fat_entry_count, 1u);
    EXPECT_EQ(enough.header_blocks, 4u);

    // The size field claims only the header's own entry.
    b.edit([](const ImgLayout& l, std::string& image) { put_u32(image, l.first_fat_offset + 12, 0x400 + 512); });
    InputFile small;
    EXPECT_EQ(read_built(b, small), 0);
    EXPECT_EQ(log, "Wrong header (fat size), file " + path + ".\n");
}

TEST_F(Reading, BlankEntriesContinueTheHeaderAndFreeOnesAreTrimmed)
{
    // A blank-named entry after the header's own, then two subfiles, then
    // 30 free entries up to the header+FAT size.
    auto container = [](uint32_t header_fat_size) {
        ImgBuilder b({.header_fat_size = header_fat_size});
        size_t blank = b.add_free_entry();
        b.add_subfile("00000001", "RGN", std::string(100, '\0'));
        b.add_subfile("00000001", "TRE", std::string(100, '\0'));
        b.edit([blank](const ImgLayout& l, std::string& image) {
            put_u8(image, l.row_offset(blank), 1);
            put_text(image, l.row_offset(blank) + 1, std::string(11, ' '));
        });
        return b;
    };
    InputFile file;
    ASSERT_EQ(read_built(container(36 * 512), file), 1);
    EXPECT_EQ(file.fat_offset, 0x400u + 1024);
    EXPECT_EQ(file.header_length, 0x400u + 2048);
    EXPECT_EQ(file.fat_entry_count, 2u);
    EXPECT_EQ(file.header_blocks, 36u);
    ASSERT_EQ(file.fat_slots.size(), 2u);
    // The RGN leads its map's entries; the TRE, second in the FAT and in
    // its own run, keeps its place.
    EXPECT_EQ(file.fat_slots[1].entry_offset, 0x400u + 1536);
    EXPECT_EQ(file.fat_slots[1].name_entry, 0x400u + 1536);
    EXPECT_EQ(file.fat_slots[1].group, 2);
    EXPECT_EQ(file.fat_slots[1].index_row, 1);

    // Free entries within one block of the last used one stay.
    InputFile kept;
    ASSERT_EQ(read_built(container(0x400 + 2048 + 512), kept), 1);
    EXPECT_EQ(kept.header_length, 0x400u + 2560);
    EXPECT_EQ(kept.fat_entry_count, 3u);
}

TEST_F(Reading, SingleFilesByNameAndSignature)
{
    // Upper-case extension.
    std::string typ = dir.file("WEST.TYP");
    fs::copy_file(data_path("typ/west1101.typ"), typ);
    InputFile t;
    ASSERT_EQ(read(t, typ), 1);
    EXPECT_EQ(t.kind, FILE_TYP);
    EXPECT_EQ(t.subfile_kind, SUB_TYP);
    EXPECT_EQ(t.data_length, 803u);
    EXPECT_STREQ(t.single_subfile.name, "WEST    TYP");

    // A TDB needs 'P' and 9 bytes.
    std::string tdb = dir.file("x.tdb");
    write_file(tdb, std::string("P\0\0\0\0\0\0\0\0", 9));
    InputFile d;
    ASSERT_EQ(read(d, tdb), 1);
    EXPECT_EQ(d.kind, FILE_TDB);
    write_file(tdb, std::string("P\0\0\0\0\0\0\0", 8));
    InputFile d8;
    EXPECT_EQ(read(d8, tdb), 0);
    EXPECT_EQ(log, "Wrong header (DSKIMG GARMIN), file " + tdb + ".\n");

    // An empty file is nothing at all.
    std::string empty = dir.file("empty.img");
    write_file(empty, "");
    InputFile e;
    EXPECT_EQ(read(e, empty), 0);
    EXPECT_EQ(log, "Wrong header (DSKIMG GARMIN), file " + empty + ".\n");

    // An extension rule that fails leaves the signature test of any name.
    std::string odd = dir.file("odd.typ");
    write_file(odd, common_header("TRE", 20, 40));
    InputFile o;
    ASSERT_EQ(read(o, odd), 1);
    EXPECT_EQ(o.kind, FILE_OTHER);
    EXPECT_EQ(o.subfile_kind, SUB_TRE);

    // An MD2 is told by its first word.
    std::string md2 = dir.file("a.MD2");
    std::string md2_bytes(40, '\0');
    md2_bytes[0] = static_cast<char>(236);
    write_file(md2, md2_bytes);
    InputFile m;
    ASSERT_EQ(read(m, md2), 1);
    EXPECT_EQ(m.kind, FILE_MD2);
    EXPECT_EQ(m.subfile_kind, SUB_MD2);
    EXPECT_EQ(m.single_subfile.header_info, nullptr);
}

TEST_F(Reading, SingleSubfileNamesFromTheFileName)
{
    std::string ten = dir.file("ABCDEFGHIJ.TRE");
    write_file(ten, common_header("TRE", 20, 64));
    InputFile a;
    ASSERT_EQ(read(a, ten), 1);
    EXPECT_STREQ(a.single_subfile.name, "ABCDEFGHTRE");
    EXPECT_EQ(a.single_subfile.kind, SUB_TRE);
    EXPECT_EQ(a.single_subfile.length, 64u);

    std::string five = dir.file("ABCDE.x.bin");
    write_file(five, common_header("NOD", 20, 64));
    InputFile b;
    ASSERT_EQ(read(b, five), 1);
    EXPECT_STREQ(b.single_subfile.name, "ABCDE   NOD");
}

TEST_F(Reading, OtherDataAndTheShortestPaths)
{
    std::string mdx = data_path("mapsource/tdb/corpwest.mdx");
    InputFile refused;
    EXPECT_EQ(read(refused, mdx), 0);
    EXPECT_EQ(log, "Wrong header (DSKIMG GARMIN), file " + mdx + ".\n");

    task_options.other_data = 1;
    InputFile raw;
    ASSERT_EQ(read(raw, mdx), 1);
    EXPECT_EQ(raw.kind, FILE_OTHER);
    EXPECT_EQ(raw.subfile_kind, SUB_NONE);
    EXPECT_EQ(raw.data_length, 38u);

    // A path of three characters is never a single file.
    std::string cwd = fs::current_path();
    fs::current_path(dir.path());
    write_file("a.b", "some raw bytes, more than nine");
    InputFile shortest;
    int result = read(shortest, "a.b");
    fs::current_path(cwd);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(log, "Wrong header (DSKIMG GARMIN), file a.b.\n");
}

TEST_F(Reading, OpenFailureIsStatusOne)
{
    InputFile file;
    std::string path = dir.file("none.img");
    EXPECT_EQ(read(file, path), 0);
    EXPECT_EQ(file.status, READ_OPEN_FAILED);
    EXPECT_EQ(log, "Open error, file " + path + " (No such file or directory).\n");
    EXPECT_EQ(error_count, 1);
}

TEST_F(Reading, StopAfterTheSizeOrTheHeader)
{
    std::string path = data_path("single/plain/11000001.img");
    test_stop_after_polls = 0;
    InputFile size;
    EXPECT_EQ(read(size, path), 0);
    EXPECT_EQ(size.status, READ_SIZE_FAILED);
    test_stop_after_polls = 1;
    InputFile header;
    EXPECT_EQ(read(header, path), 0);
    EXPECT_EQ(header.status, READ_HEADER_BAD);
    test_stop_after_polls = -1;
    EXPECT_EQ(log, "");
}

TEST_F(Reading, SingleFileOf4GiBIsRefused)
{
    std::string path = dir.file("huge.TRE");
    write_file(path, common_header("TRE", 20, 64));
    fs::resize_file(path, uint64_t(1) << 32);
    InputFile file;
    EXPECT_EQ(read(file, path), 0);
    EXPECT_EQ(file.status, READ_HEADER_BAD);
    EXPECT_EQ(log, "File too big (4 GiB or more), file " + path + ".\n");
    EXPECT_EQ(error_count, 1);
}

TEST_F(Reading, ABlockClaimedByTwoSubfilesIsDamage)
{
    ImgBuilder b;
    int tre = b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    int lbl = b.add_subfile("00000005", "LBL", lbl_subfile());
    uint32_t shared = b.layout().first_block[tre];
    b.set_fat_block(lbl, 0, 0, static_cast<uint16_t>(shared));
    InputFile file;
    EXPECT_EQ(read_built(b, file), 0);
    EXPECT_EQ(file.status, READ_SUBFILES_BAD);
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(log, "Block " + std::to_string(shared) +
                       " claimed by subfiles 00000005.TRE and 00000005.LBL, file damaged, file " + path + ".\n");

    // A subfile that lists one block twice.
    ImgBuilder twice;
    int rgn = twice.add_subfile("00000005", "RGN", std::string(1500, 'r'));
    twice.set_fat_block(rgn, 0, 1, static_cast<uint16_t>(twice.layout().first_block[rgn]));
    InputFile again;
    EXPECT_EQ(read_built(twice, again, "twice.img"), 0);
    EXPECT_NE(log.find("claimed by subfiles 00000005.RGN and 00000005.RGN"), std::string::npos) << log;
}

// A subfile whose blocks are one stretch is claimed as one piece: a stretch
// that runs into another subfile's half-way, or that starts in the header
// area, must still be found block by block.
TEST_F(Reading, SharedBlocksInsideAStretchAreFoundAtTheFirstOne)
{
    ImgBuilder b;
    int rgn = b.add_subfile("00000005", "RGN", std::string(10 * 512, 'r'));
    int lbl = b.add_subfile("00000005", "LBL", std::string(10 * 512, 'l'));
    uint32_t rgn_first = b.layout().first_block[rgn];
    for (uint32_t k = 0; k < 10; ++k)
        b.set_fat_block(lbl, 0, k, static_cast<uint16_t>(rgn_first + 5 + k));
    InputFile file;
    EXPECT_EQ(read_built(b, file), 0);
    EXPECT_EQ(file.status, READ_SUBFILES_BAD);
    EXPECT_EQ(log, "Block " + std::to_string(rgn_first + 5) +
                       " claimed by subfiles 00000005.RGN and 00000005.LBL, file damaged, file " + path + ".\n");

    // The same stretch moved down into the header area: those blocks are the
    // area's damage (a warning), the rest are claimed, and nothing is shared.
    ImgBuilder low;
    int low_rgn = low.add_subfile("00000005", "RGN", std::string(4 * 512, 'r'));
    uint32_t low_first = low.layout().first_block[low_rgn];
    ASSERT_GE(low_first, 2u);
    for (uint32_t k = 0; k < 4; ++k)
        low.set_fat_block(low_rgn, 0, k, static_cast<uint16_t>(low_first - 2 + k));
    InputFile lowered;
    log.clear();
    EXPECT_EQ(read_built(low, lowered, "low.img"), 1) << log;
    EXPECT_EQ(log.find("claimed"), std::string::npos) << log;
    ASSERT_EQ(lowered.subfiles.size(), 1u);
    EXPECT_EQ(lowered.subfiles[0].flags, DAMAGE_BLOCK_IN_HEADER);
}
