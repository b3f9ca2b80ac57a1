// Names, labels and family IDs: a subfile's new length inside its container,
// the MPS record edits, and the label case of real 1250 and 1252 maps.
#include "operations/names_labels.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/img_format.h"
#include "operations/inplace.h"
#include "operations/inplace_write.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

using namespace inplace_test;

namespace {

class GrowSubfile : public InplaceTest {
protected:
    // A subfile of blocks 512-byte blocks named DATA0001.BIN, then free FAT
    // entries, then another subfile (or none).
    std::string container(uint32_t blocks, int free_entries, bool neighbour, uint8_t xor_byte = 0)
    {
        ImgBuilder b({.xor_byte = xor_byte});
        std::string data(size_t(blocks) * 512, '\0');
        for (size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>(i * 7 + i / 512);
        b.add_subfile("DATA0001", "BIN", data);
        for (int i = 0; i < free_entries; ++i)
            b.add_free_entry();
        if (neighbour)
            b.add_subfile("NEXT0001", "BIN", std::string(600, 'n'));
        return b.build();
    }
    SubfileEntry& data_subfile(InputFile& file)
    {
        for (SubfileEntry& s : file.subfiles)
            if (memcmp(s.name, "DATA0001BIN", 11) == 0)
                return s;
        ADD_FAILURE() << "no DATA0001.BIN";
        return file.subfiles.at(0);
    }
    uint16_t block_of(const InputFile& file, const SubfileEntry& s, uint32_t entry, uint32_t slot)
    {
        uint32_t at = file.fat_slots.at(s.fat_slot + entry).entry_offset;
        return ByteView(file.header_buffer).u16(at + FatEntry::blocks + 2 * slot);
    }
    uint8_t flag_of(const InputFile& file, const SubfileEntry& s, uint32_t entry)
    {
        return file.header_buffer.at(file.fat_slots.at(s.fat_slot + entry).entry_offset);
    }
    // Writes the resized subfile's first n bytes (the pattern again, or new
    // bytes) through a step, as the callers do.
    int write_resized(InputFile& file, SubfileEntry& s, uint32_t old_length, const std::string& data, int pad)
    {
        InplaceStep step(file, true);
        if (!step.open())
            return 0;
        int done = write_resized_subfile(step, file, s, old_length, reinterpret_cast<const uint8_t*>(data.data()),
                                         static_cast<uint32_t>(data.size()), pad);
        return done && step.finish();
    }
};

class MpsEdits : public InplaceTest {
protected:
    std::string record_of(const std::string& path, char letter) { return mps_record(path, letter); }
};

class LabelSections : public InplaceTest {
protected:
    // The label section of the first map, from the file on disk.
    std::string labels(const std::string& path)
    {
        auto file = read(path);
        const LblInfo* lbl = file->maps.at(0)->lbl_info;
        EXPECT_NE(lbl, nullptr);
        ByteView h(lbl->header);
        std::vector<uint8_t> bytes(h.u32(0x19));
        EXPECT_EQ(open_input_file(*file, "rb"), 1);
        EXPECT_EQ(read_subfile_data(*file, lbl->fat_slot, h.u32(0x15), bytes.data(), h.u32(0x19)), 1);
        close_input_file(*file);
        return std::string(bytes.begin(), bytes.end());
    }
    // Offsets of the first map's label section in the file.
    std::pair<size_t, size_t> label_range(const std::string& path)
    {
        auto file = read(path);
        const LblInfo* lbl = file->maps.at(0)->lbl_info;
        ByteView h(lbl->header);
        uint32_t entry = file->fat_slots.at(lbl->fat_slot).entry_offset;
        // The real maps keep their LBL in one run of blocks.
        size_t start = size_t(ByteView(file->header_buffer).u16(entry + FatEntry::blocks)) * file->block_size;
        return {start + h.u32(0x15), start + h.u32(0x15) + h.u32(0x19) - 1};
    }
};

}  // namespace

// ---------------------------------------------------------------- a subfile's new length

TEST_F(GrowSubfile, ShrinkingToAWholeEntryKeepsItsBlockList)
{
    // 241 blocks take two entries; 240 blocks fill the first exactly.
    std::string path = write("g.img", container(241, 0, true));
    auto file = read(path);
    SubfileEntry& s = data_subfile(*file);
    std::vector<uint16_t> first_list;
    for (uint32_t j = 0; j < 240; ++j)
        first_list.push_back(block_of(*file, s, 0, j));
    int pad = 0;
    ASSERT_EQ(grow_subfile_fat(*file, s, 240 * 512, s.name, pad), 1);
    EXPECT_EQ(pad, 0);
    for (uint32_t j = 0; j < 240; ++j)
        ASSERT_EQ(block_of(*file, s, 0, j), first_list[j]) << j;
    EXPECT_EQ(flag_of(*file, s, 1), 0);
    EXPECT_EQ(block_of(*file, s, 1, 0), 0xFFFF);
    EXPECT_EQ(s.length, 240u * 512);

    // The entry given up is written back: a fresh read sees one entry.
    ASSERT_EQ(write_resized(*file, s, 241 * 512, std::string(240 * 512, 'x'), pad), 1);
    auto again = read(path);
    SubfileEntry& t = data_subfile(*again);
    EXPECT_EQ(t.length, 240u * 512);
    EXPECT_EQ(t.flags, 0);
    EXPECT_EQ(flag_of(*again, t, 1), 0);
}

TEST_F(GrowSubfile, ShrinkingBy600BytesUnsetsTheLastBlocks)
{
    std::string path = write("g.img", container(5, 0, true));
    auto file = read(path);
    SubfileEntry& s = data_subfile(*file);
    uint16_t third = block_of(*file, s, 0, 2);
    int pad = 0;
    ASSERT_EQ(grow_subfile_fat(*file, s, 5 * 512 - 600, s.name, pad), 1);
    // 1960 bytes take four blocks: the fifth is given up.
    EXPECT_EQ(block_of(*file, s, 0, 2), third);
    EXPECT_NE(block_of(*file, s, 0, 3), 0xFFFF);
    EXPECT_EQ(block_of(*file, s, 0, 4), 0xFFFF);
    std::vector<uint8_t> before = file_bytes(path);
    ASSERT_EQ(write_resized(*file, s, 5 * 512, std::string(5 * 512 - 600, 'y'), pad), 1);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(after.size(), before.size());  // the freed blocks stay in the file
    EXPECT_EQ(content_sum(after), content_sum(before));
    EXPECT_EQ(data_subfile(*read(path)).length, 5u * 512 - 600);
}

TEST_F(GrowSubfile, GrowingTakesTheFreeEntryAndNewBlocksPastTheEnd)
{
    for (uint8_t x : {uint8_t(0), uint8_t(0xA7)}) {
        SCOPED_TRACE(int(x));
        std::string path = write("g.img", container(200, 1, false, x));
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        SubfileEntry& s = data_subfile(*file);
        uint32_t blocks_before = file->total_blocks;
        int pad = 0;
        ASSERT_EQ(grow_subfile_fat(*file, s, 300 * 512 - 10, s.name, pad), 1);
        EXPECT_EQ(pad, 1);
        EXPECT_EQ(file->total_blocks, blocks_before + 100);
        EXPECT_EQ(flag_of(*file, s, 1), 1);
        EXPECT_EQ(file->header_buffer[file->fat_slots[s.fat_slot + 1].entry_offset + FatEntry::part], 1);
        EXPECT_EQ(block_of(*file, s, 0, 239), blocks_before + 39);
        EXPECT_EQ(block_of(*file, s, 1, 59), blocks_before + 99);
        EXPECT_EQ(block_of(*file, s, 1, 60), 0xFFFF);

        std::string data(300 * 512 - 10, 'z');
        ASSERT_EQ(write_resized(*file, s, 200 * 512, data, pad), 1);
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(after.size(), before.size() + 100 * 512);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        auto again = read(path);
        SubfileEntry& t = data_subfile(*again);
        EXPECT_EQ(t.length, data.size());
        EXPECT_EQ(t.flags, 0);
        EXPECT_GE(ByteView(again->header_buffer).u16(ImgHeader::total_sectors_short), again->total_blocks);
        std::vector<uint8_t> back(data.size());
        ASSERT_EQ(open_input_file(*again, "rb"), 1);
        ASSERT_EQ(read_subfile_data(*again, t.fat_slot, 0, back.data(), static_cast<uint32_t>(back.size())), 1);
        close_input_file(*again);
        EXPECT_EQ(std::string(back.begin(), back.end()), data);
    }
}

TEST_F(GrowSubfile, NoRoomChangesNothing)
{
    // The next FAT entry belongs to another subfile.
    std::string path = write("g.img", container(200, 0, true));
    auto file = read(path);
    SubfileEntry& s = data_subfile(*file);
    std::vector<uint8_t> image = file->header_buffer;
    int pad = 0;
    EXPECT_EQ(grow_subfile_fat(*file, s, 241 * 512, s.name, pad), 0);
    EXPECT_EQ(file->header_buffer, image);
    EXPECT_EQ(s.length, 200u * 512);

    // Every block number taken: the entry it had begun is put back too.
    std::string free_path = write("h.img", container(200, 1, false));
    auto second = read(free_path);
    SubfileEntry& u = data_subfile(*second);
    image = second->header_buffer;
    uint32_t blocks = second->total_blocks;
    uint64_t size = second->file_size;
    second->header_blocks = 0xFFFF;
    EXPECT_EQ(grow_subfile_fat(*second, u, 300 * 512, u.name, pad), 0);
    EXPECT_EQ(second->header_buffer, image);
    EXPECT_EQ(second->total_blocks, blocks);
    EXPECT_EQ(second->file_size, size);
    EXPECT_EQ(u.length, 200u * 512);

    // A subfile whose block list is damaged is not resized at all.
    u.flags = DAMAGE_BLOCK_PAST_END;
    second->header_blocks = 3;
    EXPECT_EQ(grow_subfile_fat(*second, u, 100, u.name, pad), 0);
    EXPECT_EQ(second->header_buffer, image);
}

// ---------------------------------------------------------------- MPS records

TEST_F(MpsEdits, AMapsetNameOfTheSameLengthMovesNothing)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    std::string old_v = record_of(path, 'V');
    ASSERT_EQ(old_v.substr(3, 11), "OSM map set");
    std::vector<uint8_t> image = file->header_buffer;
    task_options.mapset_name = "Tarnwick 01";
    ASSERT_EQ(zmien_mps(*file, true, false, false, -1, -1), 1);
    EXPECT_EQ(take_log(), "File " + path + " write mapset name [Tarnwick 01] into MPS subfile.\n");
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(content_sum(after), content_sum(before));
    std::vector<size_t> changed = changed_offsets(before, after);
    // The name's bytes and the checksum byte; the FAT stays as it was.
    EXPECT_LE(changed.size(), 12u);
    EXPECT_EQ(std::vector<uint8_t>(file->header_buffer.begin() + 16, file->header_buffer.end()),
              std::vector<uint8_t>(image.begin() + 16, image.end()));
    std::string v = record_of(path, 'V');
    EXPECT_EQ(v.size(), old_v.size());
    EXPECT_EQ(v.substr(3, 11), "Tarnwick 01");
}

TEST_F(MpsEdits, LongerNamesGrowTheMpsAndTheMapsStayBound)
{
    for (const char* source : {"gmapsupp/west-1101-p1.img", "gmapsupp/many-60maps-3101.img"}) {
        SCOPED_TRACE(source);
        std::string path = copy(source);
        std::vector<uint8_t> before = file_bytes(path);
        auto file = read(path);
        uint32_t old_length = file->mps_length;
        std::string old_f = record_of(path, 'F');
        task_options.mapset_name = std::string(60, 'M');
        task_options.map_name = "Korpus West, Ausgabe 2025 mit langem Namen";
        ASSERT_EQ(zmien_mps(*file, true, true, false, -1, -1), 1);
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after), content_sum(before));
        auto again = read(path);
        EXPECT_EQ(again->mps_length, file->mps_length);
        EXPECT_GT(again->mps_length, old_length);
        std::string v = record_of(path, 'V');
        EXPECT_EQ(v, "V" + std::string("\x34\x00", 2) + std::string(50, 'M') + std::string(2, '\0'));
        std::string f = record_of(path, 'F');
        EXPECT_EQ(f.substr(0, 7).substr(3), old_f.substr(3, 4));  // the IDs stay
        EXPECT_EQ(f.substr(7), task_options.map_name + '\0');
        for (const MapEntry* map : again->maps) {
            if (map->kind == FILE_MPC) {
                EXPECT_NE(map->mps_record, nullptr) << map->name;
            }
        }
        take_log();
    }
}

TEST_F(MpsEdits, NewIdsGoIntoTheMatchingRecords)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.mps_id_flags = 3;
    task_options.mps_family_id = 2201;
    task_options.mps_product_id = 3;
    ASSERT_EQ(zmien_mps(*read(path), false, false, true, 1101, -1), 1);
    EXPECT_EQ(take_log(), "File " + path + " changed FID in subfile MPS.\n");
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
    auto again = read(path);
    EXPECT_EQ(zgodny_fid(*again, 2201, 3), MATCH_L_RECORD | MATCH_F_RECORD);
    EXPECT_EQ(zgodny_fid(*again, 1101, -1), MATCH_DATA);  // the TYP subfile keeps its IDs

    // No record matches: nothing to do.
    before = file_bytes(path);
    EXPECT_EQ(zmien_mps(*again, false, false, true, 4242, -1), 1);
    EXPECT_EQ(file_bytes(path), before);
}

TEST_F(MpsEdits, SeveralProductsKeepTheirNameButTakeNewIds)
{
    std::string path = copy("gmapsupp/mixed-3families.img");
    std::string old_f = record_of(path, 'F');
    task_options.map_name = "Neu";
    task_options.mps_id_flags = 1;
    task_options.mps_family_id = 1102;
    ASSERT_EQ(zmien_mps(*read(path), false, true, true, 1101, -1), 1);
    EXPECT_EQ(take_log(), "\n== Warning: multiple products in file " + path + ".\n== map name not changed.\n\n" +
                              "File " + path + " changed FID in subfile MPS.\n");
    EXPECT_EQ(warning_count, 0);
    std::string f = record_of(path, 'F');
    EXPECT_EQ(f.substr(7), old_f.substr(7));
    auto again = read(path);
    EXPECT_NE(zgodny_fid(*again, 1102, 7) & MATCH_F_RECORD, 0);
    EXPECT_EQ(zgodny_fid(*again, 1101, -1) & (MATCH_F_RECORD | MATCH_L_RECORD), 0);
}

TEST_F(MpsEdits, NoReserveForALongerNameGivesTheWarning)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    file->mps_reserve = 2;
    task_options.mapset_name = "OSM map set+++";  // 3 bytes longer
    EXPECT_EQ(zmien_mps(*file, true, false, false, -1, -1), 1);
    EXPECT_EQ(take_log(), "== Warning: no place to insert mapset name, file " + path + ".\n");
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(file_bytes(path), before);
}

TEST_F(MpsEdits, ALongVRecordShrinksTheMpsAndGivesBlocksUp)
{
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    b.add_subfile("00000001", "LBL", lbl_subfile());
    std::string mps = mps_l_record(1, 77, 1, {"a", "b", "c"}) + mps_f_record(1, 77, "Fam") +
                      mps_v_record(std::string(1000, 'v'));
    b.add_subfile("MAKEGMAP", "MPS", mps);
    std::string path = write("v.img", b.build());
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    ASSERT_EQ(file->mps_length, mps.size());
    task_options.mapset_name = "short";
    ASSERT_EQ(zmien_mps(*file, true, false, false, -1, -1), 1);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(content_sum(after), content_sum(before));
    auto again = read(path);
    EXPECT_EQ(again->mps_length, mps.size() - 995);
    EXPECT_EQ(record_of(path, 'V'), std::string("V\x07\x00short\0\0", 10));
    EXPECT_EQ(record_of(path, 'L'), mps_l_record(1, 77, 1, {"a", "b", "c"}));
    take_log();
}

TEST_F(MpsEdits, NoMpsDataIsNotAChangeAndNotAnError)
{
    std::string path = copy("single/plain/11000001.img");
    auto file = read(path);
    task_options.map_name = "x";
    EXPECT_EQ(zmien_mps(*file, false, true, false, -1, -1), 0);
    apply_file_changes(*file, nullptr);
    EXPECT_EQ(error_count, 0);
    EXPECT_EQ(take_log(), "");
}

// ---------------------------------------------------------------- label case

TEST_F(LabelSections, EveryModeOnRealCodePage1252Labels)
{
    struct Case {
        int mode;
        const char* cafe;
        const char* street;
        const char* church;
    } cases[] = {
        {1, "CAF\xC9 M\xDCLLER", "HAUPTSTRA\xDF" "E", "RUE DE L'\xC9GLISE"},  // sharp s has no capital in 1252
        {2, "caf\xE9 m\xFCller", "hauptstra\xDF" "e", "rue de l'\xE9glise"},
        {3, "Caf\xE9 M\xFCller", "Hauptstra\xDF" "e", "Rue De L'\xC9glise"},
        {4, "Cafe Muller", "HauptstraBe", "Rue de l'Eglise"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string path = copy("single/route1252/11000001.img");
        std::vector<uint8_t> before = file_bytes(path);
        auto [first, last] = label_range(path);
        std::string old_labels = labels(path);
        ASSERT_NE(old_labels.find("Caf\xE9 M\xFCller"), std::string::npos);
        ASSERT_NE(old_labels.find("Rue de l'\xC9glise"), std::string::npos);
        EXPECT_EQ(change_label_case(*read(path), c.mode), 1);
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after), content_sum(before));
        EXPECT_TRUE(only_in(changed_offsets(before, after), {{0x0F, 0x0F}, {first, last}}));
        std::string now = labels(path);
        EXPECT_EQ(now.size(), old_labels.size());
        EXPECT_NE(now.find(c.cafe), std::string::npos);
        EXPECT_NE(now.find(c.street), std::string::npos);
        EXPECT_NE(now.find(c.church), std::string::npos);
    }
}

TEST_F(LabelSections, AccentsOfCodePage1250AndOneMapOfSeveral)
{
    std::string path = copy("single/route1250/12000001.img");
    ASSERT_NE(labels(path).find("\xA3\xB9kowo"), std::string::npos);  // Łąkowo
    task_options.verbose = 1;
    EXPECT_EQ(change_label_case(*read(path), 4), 1);
    std::string now = labels(path);
    EXPECT_NE(now.find("Lakowo"), std::string::npos);
    EXPECT_NE(now.find("Koscio"), std::string::npos);
    auto file = read(path);
    EXPECT_EQ(take_log(), std::string("  Map ") + file->maps[0]->name + " labels modified.\n");
}

TEST_F(LabelSections, MapsThatCannotBeConvertedAreNamedAndSkipped)
{
    // 6-bit labels.
    std::string six = copy("single/ascii6/11000001.img");
    std::vector<uint8_t> before = file_bytes(six);
    EXPECT_EQ(change_label_case(*read(six), 1), 1);
    EXPECT_EQ(file_bytes(six), before);
    EXPECT_EQ(take_log(), "  Map 11000001 label format not supported.\n");

    // A code page without character tables, then a map that converts.
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    b.add_subfile("00000001", "LBL", lbl_subfile({.code_page = 9999, .labels = std::string("abc\0", 4)}));
    b.add_subfile("00000002", "TRE", tre_subfile({.map_id = 2}));
    b.add_subfile("00000002", "LBL", lbl_subfile({.code_page = 1252, .labels = std::string("\0abc\xE9\0", 6)}));
    b.add_subfile("00000003", "TRE", tre_subfile({.map_id = 3}));
    b.add_subfile("00000003", "LBL", lbl_subfile({.code_page = 1251, .labels = std::string("abc\0", 4)}));
    std::string path = write("m.img", b.build());
    before = file_bytes(path);
    EXPECT_EQ(change_label_case(*read(path), 1), 1);
    EXPECT_EQ(take_log(), "  Map 00000001 codepage not supported.\n");
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(content_sum(after), content_sum(before));
    std::string text(after.begin(), after.end());
    EXPECT_NE(text.find(std::string("\0ABC\xC9\0", 6)), std::string::npos);
    EXPECT_NE(text.find(std::string("abc\0", 4)), std::string::npos);

    // No accent table for 1251: the change ends on that map with an error,
    // the maps before it keep their new labels.
    before = after;
    EXPECT_EQ(change_label_case(*read(path), 4), 0);
    EXPECT_EQ(take_log(), "  Map 00000001 codepage not supported.\n  Map 00000003 label modification error.\n");
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
}

TEST_F(MpsEdits, GrowingPastTheLastBlockLengthensTheFile)
{
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    std::string records = mps_l_record(1, 77, 1, {"a", "b", "c"}) + mps_f_record(1, 77, "Fam");
    // A 'V' record that ends the MPS exactly at a block end.
    std::string mps = records + mps_v_record(std::string(512 - records.size() - 5, 'v'));
    ASSERT_EQ(mps.size(), 512u);
    b.add_subfile("MAKEGMAP", "MPS", mps);
    b.add_free_entry();
    std::string path = write("g.img", b.build());
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    task_options.map_name = std::string(40, 'F');
    ASSERT_EQ(zmien_mps(*file, false, true, false, -1, -1), 1);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(after.size(), before.size() + 512);
    EXPECT_EQ(content_sum(after), content_sum(before));
    auto again = read(path);
    EXPECT_EQ(again->mps_length, 512u + 37);
    EXPECT_EQ(record_of(path, 'F').substr(7), std::string(40, 'F') + '\0');
    EXPECT_EQ(record_of(path, 'V'), mps.substr(records.size()));
    EXPECT_GE(ByteView(again->header_buffer).u16(ImgHeader::total_sectors_short), again->total_blocks);
    take_log();
}

TEST_F(MpsEdits, NoRoomToGrowStillWritesTheIds)
{
    ImgBuilder b({.xor_byte = 0x3C});
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    std::string records = mps_l_record(1, 77, 1, {"a", "b", "c"}) + mps_f_record(1, 77, "Fam");
    std::string mps = records + mps_v_record(std::string(512 - records.size() - 5, 'v'));
    b.add_subfile("MAKEGMAP", "MPS", mps);
    b.add_free_entry();
    std::string path = write("g.img", b.build());
    std::vector<uint8_t> before = file_bytes(path);
    auto file = read(path);
    std::vector<uint8_t> image = file->header_buffer;
    // A block list the reader found damaged is never resized.
    for (SubfileEntry& s : file->subfiles)
        if (s.kind == SUB_MPS)
            s.flags = DAMAGE_SHORTENED;
    task_options.mapset_name = std::string(600 - records.size(), 'w');
    task_options.mps_id_flags = 1;
    task_options.mps_family_id = 78;
    ASSERT_EQ(zmien_mps(*file, true, false, true, -1, -1), 1);
    EXPECT_EQ(take_log(), "== Warning: no place to insert mapset name, file " + path +
                              ".\nFile " + path + " changed FID in subfile MPS.\n");
    EXPECT_EQ(warning_count, 1);
    std::vector<uint8_t> after = file_bytes(path);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(content_sum(after, 0x3C), content_sum(before, 0x3C));
    EXPECT_EQ(file->mps_length, 512u);
    // The FAT is as it was, byte 0x0F aside.
    image[0x0F] = file->header_buffer[0x0F];
    EXPECT_EQ(file->header_buffer, image);
    EXPECT_EQ(record_of(path, 'V'), mps.substr(records.size()));
    EXPECT_EQ(get_u16(record_of(path, 'F'), 5), 78u);
}

TEST_F(MpsEdits, XoredContainerTakesNamesAndIds)
{
    std::string path = copy("damaged/valid-xor-5a.img");  // the west map set, XOR 0x5A
    std::vector<uint8_t> before = file_bytes(path);
    task_options.mapset_name = "Korpus West XOR";
    task_options.map_name = "West";
    task_options.mps_id_flags = 2;
    task_options.mps_product_id = 9;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(error_count, 0) << take_log();
    take_log();
    EXPECT_EQ(content_sum(file_bytes(path), 0x5A), content_sum(before, 0x5A));
    EXPECT_EQ(record_of(path, 'V').substr(3), std::string("Korpus West XOR\0\0", 17));
    EXPECT_EQ(record_of(path, 'F').substr(3, 2), std::string("\x09\x00", 2));
    EXPECT_EQ(record_of(path, 'F').substr(7), std::string("West\0", 5));
}
