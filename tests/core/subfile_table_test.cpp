// The subfile table: first entries and their superseding, continuation
// entries wherever they stand, repeated parts, the damage of block lists,
// the slot order, and the real containers of the test data.
#include "core/subfile_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <random>
#include <vector>

#include "core/files.h"
#include "core/img_format.h"
#include "tests/core/built_inputs.h"

namespace {

constexpr uint32_t block = 512;
constexpr uint32_t entry_span = BLOCKS_PER_ENTRY * block;  // bytes one FAT entry lists

class SubfileTable : public BuiltInputs {
protected:
    // The row of the subfile named name11, or a failure.
    const SubfileEntry& subfile(const InputFile& file, const char* name11)
    {
        for (const SubfileEntry& s : file.subfiles)
            if (strcmp(s.name, name11) == 0)
                return s;
        ADD_FAILURE() << "no subfile " << name11;
        static const SubfileEntry none;
        return none;
    }
    // Offset of a builder row's FAT entry in the file.
    uint32_t row_offset(const ImgBuilder& b, size_t row) { return static_cast<uint32_t>(b.layout().row_offset(row)); }
    std::string wrong_fat(const char* name11)
    {
        return std::string("Wrong FAT for subfile ") + name11 + ", file " + path + ".\n";
    }
};

}  // namespace

TEST_F(SubfileTable, NoUsedEntryIsAValidEmptyContainer)
{
    ImgBuilder b;
    b.add_free_entry();
    b.add_free_entry();
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    EXPECT_EQ(file.subfile_count, 0u);
    EXPECT_TRUE(file.subfiles.empty());
    EXPECT_TRUE(file.subfile_index.rows.empty());
    EXPECT_EQ(file.map_count, 0u);
    EXPECT_EQ(file.code_page, 0u);
}

TEST_F(SubfileTable, TheLaterFirstEntryOfANameIsTheSubfile)
{
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 111}));
    int rgn = b.add_subfile("00000002", "RGN", patterned(300));
    int later = b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 222}));
    int lbl = b.add_subfile("00000003", "LBL", lbl_subfile());
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    ASSERT_EQ(file.subfile_count, 3u);
    const SubfileEntry& tre = subfile(file, "00000001TRE");
    ASSERT_NE(tre.tre_info, nullptr);
    EXPECT_EQ(tre.tre_info->map_id, 222u);
    EXPECT_EQ(tre.fat_entry_offset, row_offset(b, b.fat_row(later, 0)));

    // The superseded row went and the rows after it moved up: FAT order of
    // the first entries that count.
    const auto& rows = file.subfile_index.rows;
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].first_entry_offset, row_offset(b, b.fat_row(rgn, 0)));
    EXPECT_EQ(rows[1].first_entry_offset, row_offset(b, b.fat_row(later, 0)));
    EXPECT_EQ(rows[2].first_entry_offset, row_offset(b, b.fat_row(lbl, 0)));
    for (size_t r = 0; r < rows.size(); ++r) {
        ASSERT_NE(rows[r].subfile, nullptr);
        EXPECT_EQ(rows[r].subfile->fat_entry_offset, rows[r].first_entry_offset);
        EXPECT_EQ(rows[r].slot_position, rows[r].subfile->fat_slot);
        EXPECT_EQ(file.fat_slots[rows[r].slot_position].index_row, static_cast<int32_t>(r));
    }
    // The name list holds the winners in byte order.
    ASSERT_EQ(file.subfile_index.sorted_names.size(), 3u);
    EXPECT_EQ(file.subfile_index.sorted_names[0], rows[1].first_entry_offset);
    // The dropped entry sorts after every other slot.
    EXPECT_EQ(file.fat_slots.back().index_row, -2);
    EXPECT_EQ(file.fat_slots.back().entry_offset, row_offset(b, 0));
}

// Names in falling order and three copies of one name spread over the FAT,
// names that differ only in their extension or in a byte above 0x7F: the
// rows are the last copy of each full name in FAT order, the name list is
// in byte order, and every earlier copy is dropped.
TEST_F(SubfileTable, RepeatedNamesInAnyOrderKeepTheirLastCopy)
{
    ImgBuilder b;
    std::vector<int> added;
    const char* names[] = {"00000009LBL", "00000005LBL", "00000008LBL", "00000005ZZZ", "00000005LBL",
                           "0000000\xE9LBL", "00000001LBL", "00000007LBL", "00000005ZZZ", "00000005LBL",
                           "000000\xE9" "1LBL", "00000008LBL", "0000000zLBL", "00000003LBL", "00000005ZZY"};
    for (const char* name : names)
        added.push_back(b.add_subfile(std::string(name, 8), name + 8, lbl_subfile()));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");

    // The winners, worked out from the name list alone: a copy counts when no
    // later one has its name.
    std::vector<uint32_t> winners;
    std::vector<uint32_t> dropped;
    for (size_t i = 0; i < added.size(); ++i) {
        bool later = false;
        for (size_t k = i + 1; k < added.size(); ++k)
            later = later || strcmp(names[i], names[k]) == 0;
        (later ? dropped : winners).push_back(row_offset(b, b.fat_row(added[i], 0)));
    }
    const SubfileIndex& index = file.subfile_index;
    ASSERT_EQ(index.rows.size(), winners.size());
    ASSERT_EQ(file.subfile_count, winners.size());
    for (size_t r = 0; r < winners.size(); ++r) {
        EXPECT_EQ(index.rows[r].first_entry_offset, winners[r]) << r;
        ASSERT_NE(index.rows[r].subfile, nullptr);
        EXPECT_EQ(index.rows[r].subfile->fat_entry_offset, winners[r]);
        EXPECT_EQ(file.fat_slots[index.rows[r].slot_position].index_row, static_cast<int32_t>(r));
    }
    ASSERT_EQ(index.sorted_names.size(), winners.size());
    for (size_t i = 0; i + 1 < index.sorted_names.size(); ++i)
        EXPECT_LT(memcmp(file.header_buffer.data() + index.sorted_names[i] + FatEntry::name,
                         file.header_buffer.data() + index.sorted_names[i + 1] + FatEntry::name,
                         FatEntry::full_name_length),
                  0)
            << i;
    for (uint32_t entry : index.sorted_names)
        EXPECT_NE(std::find(winners.begin(), winners.end(), entry), winners.end());
    for (const FatSlot& slot : file.fat_slots) {
        bool was_dropped = std::find(dropped.begin(), dropped.end(), slot.entry_offset) != dropped.end();
        EXPECT_EQ(slot.index_row == -2, was_dropped) << slot.entry_offset;
    }
}

// The name keys sort as the names compare in the FAT: random names from a
// few byte values (blanks, zeros, bytes above 0x7F), names that differ only
// in their extension, and entries at the end of the image whose names are
// cut short, every pair compared both ways and the sorted keys against a
// stable sort by compare_entry_names.
TEST(SubfileNameKeys, OrderNamesAsTheFatComparesThem)
{
    std::mt19937 random(20261211);
    const uint8_t bytes[] = {0x00, 0x01, 0x20, '0', '1', 'A', 'Z', 0x7F, 0x80, 0xE9, 0xFF};
    auto some_byte = [&]() { return bytes[random() % std::size(bytes)]; };
    constexpr uint32_t name_bytes = FatEntry::full_name_length;
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        // Whole entries first, then a tail that cuts the last names short.
        constexpr uint32_t whole = 40;
        std::vector<uint8_t> image(whole * 16 + random() % 16);
        std::vector<uint32_t> entries;
        for (uint32_t e = 0; e < whole; ++e) {
            uint32_t at = e * 16;
            entries.push_back(at);
            uint8_t* name = image.data() + at + FatEntry::name;
            if (e > 0 && random() % 3 == 0) {
                // Another name's eight bytes with an extension of its own.
                memcpy(name, image.data() + entries[random() % e] + FatEntry::name, FatEntry::name_length);
                for (uint32_t i = FatEntry::name_length; i < name_bytes; ++i)
                    name[i] = random() % 2 ? some_byte() : name[i];
            } else {
                for (uint32_t i = 0; i < name_bytes; ++i)
                    name[i] = some_byte();
            }
        }
        for (uint32_t at = whole * 16; at < image.size(); ++at) {
            image[at] = some_byte();
            entries.push_back(at);
        }
        ByteView fat(image);
        std::vector<NameKey> keys;
        for (uint32_t row = 0; row < entries.size(); ++row)
            keys.push_back(name_key(fat, entries[row], row));
        auto sign = [](auto c) { return c < 0 ? -1 : (c > 0 ? 1 : 0); };
        for (uint32_t a = 0; a < entries.size(); ++a)
            for (uint32_t b = 0; b < entries.size(); ++b) {
                int expected = sign(compare_entry_names(fat, entries[a], entries[b], name_bytes));
                ASSERT_EQ(sign(keys[a].name <=> keys[b].name), expected) << entries[a] << " " << entries[b];
                ASSERT_EQ(keys[a].same_name(keys[b]), expected == 0);
            }
        std::vector<uint32_t> by_fat(entries.size());
        for (uint32_t row = 0; row < by_fat.size(); ++row)
            by_fat[row] = row;
        std::stable_sort(by_fat.begin(), by_fat.end(), [&](uint32_t a, uint32_t b) {
            return compare_entry_names(fat, entries[a], entries[b], name_bytes) < 0;
        });
        std::sort(keys.begin(), keys.end());
        for (size_t k = 0; k < keys.size(); ++k)
            ASSERT_EQ(keys[k].row, by_fat[k]) << k;
    }
}

TEST_F(SubfileTable, OfTwoCopiesOfAPartTheHigherOneIsKept)
{
    ImgBuilder b;
    int s = b.add_subfile("00000001", "RGN", patterned(entry_span + 5000));
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    size_t copy = b.add_free_entry();
    b.copy_fat_row(b.fat_row(s, 1), copy);
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    const SubfileEntry& rgn = subfile(file, "00000001RGN");
    EXPECT_EQ(rgn.flags, 0);
    EXPECT_EQ(rgn.length, entry_span + 5000);
    EXPECT_EQ(file.fat_slots[rgn.fat_slot + 1].entry_offset, row_offset(b, copy));
    EXPECT_EQ(file.fat_slots.back().entry_offset, row_offset(b, b.fat_row(s, 1)));
    EXPECT_EQ(file.fat_slots.back().index_row, -2);
}

TEST_F(SubfileTable, ContinuationEntriesJoinTheirSubfileWhereverTheyStand)
{
    const std::string data = patterned(2 * entry_span + 777);
    for (bool before : {false, true}) {
        SCOPED_TRACE(before ? "parts before the first entry" : "parts far after it");
        ImgBuilder b;
        int s = b.add_subfile("00000007", "RGN", data);
        b.add_subfile("00000005", "LBL", lbl_subfile());
        b.add_subfile("00000009", "TRE", tre_subfile({.map_id = 9}));
        if (before) {
            b.move_fat_row(b.fat_row(s, 2), 0);
            b.move_fat_row(b.fat_row(s, 1), 0);
        } else {
            b.move_fat_row(b.fat_row(s, 1), b.fat_row_count() - 1);
            b.move_fat_row(b.fat_row(s, 2), b.fat_row_count() - 1);
        }
        InputFile file;
        ASSERT_EQ(read_built(b, file), 1);
        EXPECT_EQ(log, "");
        ASSERT_EQ(file.subfile_count, 3u);
        const SubfileEntry& rgn = subfile(file, "00000007RGN");
        EXPECT_EQ(rgn.flags, 0);
        EXPECT_EQ(rgn.length, data.size());
        for (unsigned part = 0; part < 3; ++part)
            EXPECT_EQ(file.fat_slots[rgn.fat_slot + part].entry_offset, row_offset(b, b.fat_row(s, part)));

        // The bytes on both sides of each entry boundary come back in order.
        ASSERT_EQ(open_input_file(file, "rb"), 1);
        for (uint32_t at : {entry_span - 8, 2 * entry_span - 8}) {
            std::string got(16, '\0');
            ASSERT_EQ(read_subfile_data(file, rgn.fat_slot, at, got.data(), 16), 1);
            EXPECT_EQ(got, data.substr(at, 16));
        }
        close_input_file(file);
    }
}

TEST_F(SubfileTable, FatalFatDamageFailsTheFile)
{
    // A continuation entry numbered 2 where 1 belongs; a block inside the
    // header area in a subfile whose blank name passes for part of it.
    ImgBuilder wrong_part;
    int s = wrong_part.add_subfile("00000001", "RGN", patterned(entry_span + 10));
    wrong_part.set_fat_part_number(s, 1, 2);
    ImgBuilder blank_name;
    blank_name.add_subfile("00000001", "RGN", patterned(700));
    int blank = blank_name.add_subfile("", "", patterned(700));
    blank_name.set_fat_block(blank, 0, 1, 2);
    const std::pair<const ImgBuilder*, const char*> cases[] = {{&wrong_part, "00000001RGN"},
                                                               {&blank_name, "           "}};
    for (auto [builder, name] : cases) {
        SCOPED_TRACE(name);
        error_count = warning_count = 0;
        InputFile file;
        EXPECT_EQ(read_built(*builder, file), 0);
        EXPECT_EQ(file.status, READ_SUBFILES_BAD);
        EXPECT_EQ(log, wrong_fat(name));
        EXPECT_EQ(error_count, 1);
        EXPECT_EQ(warning_count, 0);
    }
    InputFile file;
    read_built(wrong_part, file);
    ASSERT_EQ(file.subfile_count, 1u);
    EXPECT_EQ(file.subfiles[0].flags & DAMAGE_WRONG_PART, DAMAGE_WRONG_PART);
}

TEST_F(SubfileTable, AFreedContinuationCutsTheSubfileToWhatPrecedesIt)
{
    // Freed by its flag alone, or wiped whole: either way the subfile ends
    // at its first entry's blocks, and the part after the gap is not taken
    // for a part out of order.
    for (bool wiped : {false, true}) {
        SCOPED_TRACE(wiped ? "wiped entry" : "flag 0");
        ImgBuilder b;
        int s = b.add_subfile("00000001", "RGN", patterned(2 * entry_span + 100));
        b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
        if (wiped)
            b.edit([s](const ImgLayout& l, std::string& image) {
                image.replace(l.entry_offset(s, 1), FAT_ENTRY_SIZE, std::string(FAT_ENTRY_SIZE, '\0'));
            });
        else
            b.set_fat_flag(s, 1, 0);
        InputFile file;
        warning_count = 0;
        ASSERT_EQ(read_built(b, file), 1);
        EXPECT_EQ(log, wrong_fat("00000001RGN"));
        EXPECT_EQ(warning_count, 1);
        const SubfileEntry& rgn = subfile(file, "00000001RGN");
        EXPECT_EQ(rgn.flags, DAMAGE_BROKEN_CHAIN | DAMAGE_SHORTENED);
        EXPECT_EQ(rgn.length, entry_span);
        EXPECT_EQ(rgn.declared_length, 2 * entry_span + 100);
        EXPECT_EQ(file.damage_flags, uint32_t(DAMAGE_BROKEN_CHAIN | DAMAGE_SHORTENED));
        EXPECT_EQ(subfile(file, "00000001TRE").flags, 0);
    }
}

TEST_F(SubfileTable, BlockListsEndAtTheFirstUnusableNumber)
{
    struct Case {
        const char* what;
        unsigned part, slot;
        uint16_t number;
        uint8_t flags;
        uint32_t length;  // 0: the declared length
    };
    const uint32_t size = entry_span + 50 * block;
    const Case cases[] = {
        // 0xFFFF in the middle of the first entry: the second entry's blocks
        // cannot be reached by position, so they do not count either.
        {"unused mid-list", 0, 100, 0xFFFF, DAMAGE_SHORTENED, 100 * block},
        {"past the end", 0, 5, 60000, DAMAGE_BLOCK_PAST_END | DAMAGE_SHORTENED, 5 * block},
        {"past the end in part 1", 1, 3, 60000, DAMAGE_BLOCK_PAST_END | DAMAGE_SHORTENED, entry_span + 3 * block},
        {"inside the header", 0, 7, 1, DAMAGE_BLOCK_IN_HEADER, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImgBuilder b;
        int s = b.add_subfile("00000001", "RGN", patterned(size));
        b.set_fat_block(s, c.part, c.slot, c.number);
        InputFile file;
        ASSERT_EQ(read_built(b, file), 1);
        EXPECT_EQ(log, wrong_fat("00000001RGN"));
        ASSERT_EQ(file.subfile_count, 1u);
        EXPECT_EQ(file.subfiles[0].flags, c.flags);
        EXPECT_EQ(file.subfiles[0].length, c.length ? c.length : size);
        EXPECT_EQ(file.damage_flags, c.flags);
    }
}

TEST_F(SubfileTable, TooFewEntriesForTheDeclaredSize)
{
    // The subfile sorts last, so no slot at all follows it.
    ImgBuilder b;
    int s = b.add_subfile("00000009", "RGN", patterned(3 * block));
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    b.set_fat_size(s, entry_span + block);  // needs a second entry the FAT lacks
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, wrong_fat("00000009RGN"));
    const SubfileEntry& rgn = subfile(file, "00000009RGN");
    EXPECT_EQ(rgn.flags, DAMAGE_FEW_ENTRIES | DAMAGE_SHORTENED);
    EXPECT_EQ(rgn.length, 3 * block);
}

TEST_F(SubfileTable, FreeAndOrphanedEntriesSortWithoutHarm)
{
    ImgBuilder b;
    size_t leading = b.add_free_entry();  // before any run: no name but its own
    int orphan = b.add_subfile("00000004", "RGN", patterned(entry_span + 10));
    b.add_subfile("00000003", "TRE", tre_subfile({.map_id = 3}));
    b.add_free_entry();
    // The orphan's first entry takes another name: its part 1 then belongs
    // to no subfile at all.
    b.set_fat_name(orphan, 0, "00000002", "RGN");
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, wrong_fat("00000002RGN"));
    ASSERT_EQ(file.subfile_count, 2u);
    EXPECT_EQ(subfile(file, "00000002RGN").flags, DAMAGE_BROKEN_CHAIN | DAMAGE_SHORTENED);
    EXPECT_EQ(subfile(file, "00000002RGN").length, entry_span);
    EXPECT_EQ(subfile(file, "00000003TRE").flags, 0);
    for (const FatSlot& slot : file.fat_slots) {
        if (slot.entry_offset == row_offset(b, leading)) {
            EXPECT_EQ(slot.group, 0);
            EXPECT_EQ(slot.name_entry, slot.entry_offset);
        }
        if (slot.entry_offset == row_offset(b, b.fat_row(orphan, 1))) {
            EXPECT_EQ(slot.group, -1);
        }
    }
}

TEST_F(SubfileTable, SlotsSortByNameThenRgnFirstThenFatOrder)
{
    ImgBuilder b;
    b.add_subfile("00000002", "TRE", tre_subfile({.map_id = 2}));
    b.add_subfile("00000001", "LBL", lbl_subfile());
    b.add_subfile("TYPNAME", "TYP", typ_subfile());
    b.add_subfile("00000001", "RGN", patterned(100));
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    const char* const sorted[] = {"00000001RGN", "00000001LBL", "00000001TRE", "00000002TRE", "TYPNAME TYP"};
    ASSERT_EQ(file.subfile_count, 5u);
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_STREQ(file.subfiles[i].name, sorted[i]);
        EXPECT_EQ(file.fat_slots[file.subfiles[i].fat_slot].entry_offset, file.subfiles[i].fat_entry_offset);
    }
    const char* const fat_order[] = {"00000002TRE", "00000001LBL", "TYPNAME TYP", "00000001RGN", "00000001TRE"};
    for (size_t r = 0; r < 5; ++r)
        EXPECT_STREQ(file.subfile_index.rows[r].subfile->name, fat_order[r]);
    EXPECT_EQ(subfile(file, "00000001TRE").kind, SUB_TRE);
    EXPECT_EQ(subfile(file, "TYPNAME TYP").kind, SUB_TYP);
}

TEST(SubfileKinds, ExtensionsAreComparedExactly)
{
    const std::pair<const char*, SubfileKind> kinds[] = {
        {"RGN", SUB_RGN}, {"LBL", SUB_LBL}, {"TRE", SUB_TRE}, {"NET", SUB_NET}, {"NOD", SUB_NOD},
        {"SRT", SUB_SRT}, {"GMP", SUB_GMP}, {"MDR", SUB_MDR}, {"MPS", SUB_MPS}, {"TYP", SUB_TYP},
        {"TDB", SUB_TDB}, {"DEM", SUB_DEM}, {"TRF", SUB_TRF}, {"MMR", SUB_MMR}, {"MD2", SUB_MD2},
        {"IDX", SUB_IDX}, {"QSI", SUB_QSI}, {"SID", SUB_SID}, {"JCV", SUB_JCV}, {"tre", SUB_OTHER},
        {"TR ", SUB_OTHER}, {"ABC", SUB_OTHER},
    };
    for (auto [ext, kind] : kinds)
        EXPECT_EQ(subfile_kind_of_extension(ext), kind) << ext;
}

TEST(AttachToMap, MarksAreOnlyEverAdded)
{
    MapEntry map;
    SubfileEntry dem;
    dem.kind = SUB_DEM;
    attach_subfile_to_map(map, dem);
    EXPECT_EQ(map.has_dem, 1);
    EXPECT_EQ(dem.map, &map);

    // A TRE without the GMP's marks leaves the DEM mark standing.
    SubfileEntry tre;
    tre.kind = SUB_TRE;
    tre.tre_info = std::make_unique<TreInfo>();
    tre.tre_info->map_id = 4242;
    attach_subfile_to_map(map, tre);
    EXPECT_EQ(map.has_dem, 1);
    EXPECT_EQ(map.has_nod, 0);
    EXPECT_EQ(map.map_number, 4242u);
    EXPECT_EQ(map.tre_info, tre.tre_info.get());

    // Only the first record of a sort counts; the LBL gives the code page.
    SubfileEntry second;
    second.kind = SUB_TRE;
    second.tre_info = std::make_unique<TreInfo>();
    second.tre_info->map_id = 1;
    second.tre_info->has_nod = 1;
    second.lbl_info = std::make_unique<LblInfo>();
    second.lbl_info->code_page = 1250;
    second.bad_data = 1;
    attach_subfile_to_map(map, second);
    EXPECT_EQ(map.map_number, 4242u);
    EXPECT_EQ(map.has_nod, 0);
    EXPECT_EQ(map.code_page, 1250u);
    EXPECT_EQ(map.bad_subfiles, 1u);

    SubfileEntry nod;
    nod.kind = SUB_NOD;
    attach_subfile_to_map(map, nod);
    EXPECT_EQ(map.has_nod, 1);
}

TEST_F(SubfileTable, RealContainers)
{
    // west-1101-p1: 13 subfiles of one entry each, in name order.
    InputFile west;
    ASSERT_EQ(read_path(west, data_path("gmapsupp/west-1101-p1.img")), 1);
    const char* const names[] = {"00001101SRT", "11000001RGN", "11000001TRE", "11000001LBL", "11000001NET",
                                 "11000001NOD", "11000002RGN", "11000002TRE", "11000002LBL", "11000002NET",
                                 "11000002NOD", "MAKEGMAPMPS", "WEST1101TYP"};
    ASSERT_EQ(west.subfile_count, 13u);
    for (size_t i = 0; i < 13; ++i) {
        EXPECT_STREQ(west.subfiles[i].name, names[i]);
        EXPECT_EQ(west.subfiles[i].length, west.subfiles[i].declared_length);
    }
    EXPECT_EQ(west.subfile_index.rows[0].subfile->kind, SUB_MPS);

    // The RGN of all-elements spans three entries; its scrambled twin reads
    // the same.
    for (const char* p : {"single/all-elements/14000001.img", "damaged/valid-xor-a7-multipart.img"}) {
        SCOPED_TRACE(p);
        InputFile all;
        ASSERT_EQ(read_path(all, data_path(p)), 1);
        EXPECT_EQ(log, "");
        ASSERT_EQ(all.subfile_count, 3u);
        EXPECT_STREQ(all.subfiles[0].name, "14000001RGN");
        EXPECT_EQ(all.subfiles[0].length, 265465u);
        EXPECT_EQ(all.subfiles[0].flags, 0);
        EXPECT_EQ(all.damage_flags, 0u);
    }

    InputFile many;
    ASSERT_EQ(read_path(many, data_path("gmapsupp/many-60maps-3101.img")), 1);
    EXPECT_EQ(many.subfile_count, 302u);
    EXPECT_EQ(many.damage_flags, 0u);
    EXPECT_EQ(warning_count, 0);
}
