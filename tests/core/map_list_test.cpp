// The map list, the MPS records and their binding, the code-page choice,
// and the map lists of the real map sets of the test data.
#include "core/map_list.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/codepage.h"
#include "core/files.h"
#include "tests/core/built_inputs.h"

namespace {

constexpr uint32_t bit(SubfileKind k) { return 1u << k; }

class MapList : public BuiltInputs {
protected:
    // The map named name8 (and of kind, unless FILE_IMG), or a failure.
    const MapEntry& map_named(const InputFile& file, const char* name8, FileKind kind = FILE_IMG)
    {
        for (const MapEntry* m : file.maps)
            if (strncmp(m->name, name8, 8) == 0 && (kind == FILE_IMG || m->kind == kind))
                return *m;
        ADD_FAILURE() << "no map " << name8;
        static const MapEntry none;
        return none;
    }
    std::string names(const InputFile& file)
    {
        std::string out;
        for (const MapEntry* m : file.maps)
            out += std::string(m->name) + (m->extension[0] ? std::string(".") + m->extension : "") + " ";
        return out;
    }
    // The family and product ID of a map's bound 'L' record; 0, 0 when none.
    std::pair<uint32_t, uint32_t> ids(const InputFile& file, const MapEntry& map)
    {
        if (!map.mps_record)
            return {0, 0};
        ByteView l = mps_record_bytes(file, *map.mps_record);
        return {l.u16(MpsRecord::family_id), l.u16(MpsRecord::product_id)};
    }
};

// A map of a lone RGN subfile: no header record, so its number comes from
// its name only.
void add_rgn_map(ImgBuilder& b, const std::string& name)
{
    b.add_subfile(name, "RGN", common_header("RGN", 125, 200));
}

}  // namespace

TEST_F(MapList, SubfilesOfOneNameFormTheirMapInFatOrder)
{
    ImgBuilder b;
    b.add_subfile("23456789", "GMP",
                  gmp_subfile({.tre = TreSpec{.map_id = 23456789},
                               .lbl = LblSpec{.code_page = 1250},
                               .nod = common_header("NOD", 127)}));
    b.add_subfile("12345678", "TRE", tre_subfile({.map_id = 12345678}));
    b.add_subfile("12345678", "RGN", common_header("RGN", 125, 300));
    b.add_subfile("12345678", "LBL", lbl_subfile({.code_page = 1250}));
    b.add_subfile("12345678", "NET", common_header("NET", 100, 150));
    b.add_subfile("12345678", "NOD", common_header("NOD", 127, 160));
    b.add_subfile("12345678", "SRT", std::string(900, 'S'));
    b.add_subfile("23456789", "DEM", dem_subfile());
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    ASSERT_EQ(file.map_count, 2u);
    EXPECT_EQ(names(file), "23456789 12345678 ");

    const MapEntry& mpc = *file.maps[1];
    EXPECT_EQ(mpc.kind, FILE_MPC);
    EXPECT_EQ(mpc.subfile_count, 6u);
    EXPECT_EQ(mpc.subfile_kinds,
              bit(SUB_TRE) | bit(SUB_RGN) | bit(SUB_LBL) | bit(SUB_NET) | bit(SUB_NOD) | bit(SUB_SRT));
    uint32_t length = 0;
    for (uint32_t i = 0; i < mpc.subfile_count; ++i) {
        const SubfileEntry& s = file.subfiles[mpc.first_subfile + i];
        EXPECT_EQ(s.map, &mpc);
        length += s.length;
    }
    EXPECT_EQ(mpc.length, length);
    EXPECT_EQ(mpc.map_number, 12345678u);
    EXPECT_EQ(mpc.code_page, 1250u);
    EXPECT_EQ(mpc.has_nod, 1);
    EXPECT_EQ(mpc.has_dem, 0);
    EXPECT_NE(mpc.tre_info, nullptr);
    EXPECT_NE(mpc.lbl_info, nullptr);
    EXPECT_EQ(mpc.listed, 1);

    // The GMP and the DEM beside it: one packed map, marks from both.
    const MapEntry& nt = *file.maps[0];
    EXPECT_EQ(nt.kind, FILE_NT);
    EXPECT_EQ(nt.subfile_count, 2u);
    EXPECT_EQ(nt.subfile_kinds, bit(SUB_GMP) | bit(SUB_DEM));
    EXPECT_EQ(nt.map_number, 23456789u);
    EXPECT_EQ(nt.has_dem, 1);
    EXPECT_EQ(nt.has_nod, 1);
    EXPECT_NE(nt.gmp_info, nullptr);
    EXPECT_NE(nt.dem_info, nullptr);
    EXPECT_EQ(file.code_page, 1250u);
}

TEST_F(MapList, SortTablesJoinMapsAndIndexesOfTheirName)
{
    ImgBuilder b;
    b.add_subfile("00000005", "SRT", std::string(900, 'S'));  // before the TRE: the map starts as SRT
    b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    b.add_subfile("00002222", "MDR", mdr_subfile());
    b.add_subfile("00002222", "SRT", std::string(900, 'S'));
    b.add_subfile("00001101", "SRT", std::string(900, 'S'));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    ASSERT_EQ(file.map_count, 3u);
    EXPECT_EQ(map_named(file, "00000005").kind, FILE_MPC);
    EXPECT_EQ(map_named(file, "00000005").subfile_count, 2u);
    EXPECT_EQ(map_named(file, "00002222").kind, FILE_IDX);
    EXPECT_EQ(map_named(file, "00002222").subfile_kinds, bit(SUB_MDR) | bit(SUB_SRT));
    EXPECT_EQ(map_named(file, "00001101").kind, FILE_SRT);
    // A sort table alone has no number, whatever its name.
    EXPECT_EQ(map_named(file, "00001101").map_number, 0u);
}

TEST_F(MapList, LoneAndRejectedSubfilesAreMapsOfTheirOwn)
{
    ImgBuilder b;
    b.add_subfile("FOO", "ABC", "abc");
    b.add_subfile("FOO", "XYZ", "xyz");
    std::string bad = typ_subfile();
    bad[9] = 'X';  // "GARMIN TYX"
    b.add_subfile("BADTYP", "TYP", bad);
    b.add_subfile("GOODTYP", "TYP", typ_subfile(1250, 77, 3));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "== Warning: Bad data in TYP subfile, file " + path + ".\n");
    EXPECT_EQ(names(file), "FOO     .ABC FOO     .XYZ BADTYP  .TYP GOODTYP  ");
    const MapEntry& abc = *file.maps[0];
    const MapEntry& xyz = *file.maps[1];
    EXPECT_EQ(abc.kind, FILE_OTHER);
    EXPECT_EQ(xyz.kind, FILE_OTHER);
    EXPECT_EQ(abc.ordinal, 0u);
    EXPECT_EQ(xyz.ordinal, 1u);
    const MapEntry& rejected = map_named(file, "BADTYP  ");
    EXPECT_EQ(rejected.kind, FILE_OTHER);
    EXPECT_EQ(rejected.bad_subfiles, 1u);
    EXPECT_EQ(rejected.ordinal, 0u);
    const MapEntry& typ = map_named(file, "GOODTYP ");
    EXPECT_EQ(typ.kind, FILE_TYP);
    EXPECT_EQ(typ.code_page, 1250u);
    ASSERT_NE(typ.header_info, nullptr);
    EXPECT_EQ(typ.header_info->family_id, 77u);
    EXPECT_EQ(file.code_page, 1250u);
}

TEST_F(MapList, MapNumbersFromNames)
{
    ImgBuilder b;
    const std::pair<const char*, uint32_t> cases[] = {
        {"00012345", 12345},     {"I00ABCDE", 0xABCDE}, {"1234567X", 0}, {"1234567 ", 0},
        {"IABCDEF0", 0},          // 180150000: above 99999999
        {"00000000", 0}, {"I12345G7", 0},
    };
    for (auto [name, number] : cases)
        add_rgn_map(b, name);
    // A TRE's map ID comes first; a TRE too short for one leaves the name.
    b.add_subfile("00000077", "TRE", tre_subfile({.map_id = 88}));
    b.add_subfile("00000099", "TRE", tre_subfile({.header_length = 116}));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    for (auto [name, number] : cases)
        EXPECT_EQ(map_named(file, name).map_number, number) << name;
    EXPECT_EQ(map_named(file, "00000077").map_number, 88u);
    EXPECT_EQ(map_named(file, "00000099").map_number, 99u);
}

TEST_F(MapList, UnknownHeaderLengthsAreMarkedOnlyForNtFormat)
{
    ImgBuilder b;
    b.add_subfile("00000001", "RGN", common_header("RGN", 126, 300));  // the first length not known
    b.add_subfile("00000002", "RGN", common_header("RGN", 125, 300));
    for (uint8_t nt : {0, 1}) {
        task_options.nt_format = nt;
        InputFile file;
        ASSERT_EQ(read_built(b, file), 1);
        EXPECT_EQ(map_named(file, "00000001").header_unknown, nt);
        EXPECT_EQ(map_named(file, "00000002").header_unknown, 0);
    }
}

TEST_F(MapList, LRecordsBindByNumberByNameThenByOrder)
{
    ImgBuilder b;
    b.add_subfile("00000010", "TRE", tre_subfile({.map_id = 10}));
    b.add_subfile("00000010", "LBL", lbl_subfile({.code_page = 1250}));
    b.add_subfile("00000020", "TRE", tre_subfile({.map_id = 555}));
    add_rgn_map(b, "IABCDEF0");
    b.add_subfile("MAPDDDDD", "TRE", tre_subfile({.header_length = 116}));
    add_rgn_map(b, "I1ABCDEF");
    b.add_subfile("MAKEGMAP", "MPS",
                  mps_l_record(1, 5, 10, {"a"}) + mps_l_record(2, 5, 20, {"b"}) + mps_l_record(3, 5, 777, {"d"}) +
                      mps_l_record(4, 5, 0xABCDEF0, {"c"}) + mps_l_record(6, 5, 0x1ABCDEF0, {"e"}));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    ASSERT_EQ(file.mps_record_count, 5u);
    const auto& records = file.mps_records;

    const MapEntry& by_number = map_named(file, "00000010");
    EXPECT_EQ(by_number.mps_record, &records[0]);
    EXPECT_EQ(records[0].code_page, 1250u);
    // Its name is the L record's number; its own number stays.
    const MapEntry& by_name = map_named(file, "00000020");
    EXPECT_EQ(by_name.mps_record, &records[1]);
    EXPECT_EQ(by_name.map_number, 555u);
    // A number of seven hexadecimal digits finds its "I" name and is taken.
    const MapEntry& by_i_name = map_named(file, "IABCDEF0");
    EXPECT_EQ(by_i_name.mps_record, &records[3]);
    EXPECT_EQ(by_i_name.map_number, 0xABCDEF0u);
    // The third TRE in the FAT takes the third L record.
    const MapEntry& by_order = map_named(file, "MAPDDDDD");
    EXPECT_EQ(by_order.mps_record, &records[2]);
    EXPECT_EQ(by_order.map_number, 777u);
    // Eight hexadecimal digits have no "I" name: "I1ABCDEF" is not it.
    EXPECT_EQ(map_named(file, "I1ABCDEF").mps_record, nullptr);
    EXPECT_EQ(records[4].matched, 0);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(records[i].matched, 1) << i;
    EXPECT_EQ(ids(file, by_order), std::make_pair(5u, 3u));
}

// Maps that share a number, or the names a number may have, stand in FAT
// order apart from their name order; the records come in yet another order.
// Each record takes the first map of its number (or name) in map order that
// is still free, whichever of its two names that map has.
TEST_F(MapList, RepeatedNumbersAndNamesBindInMapOrderWhateverTheRecordOrder)
{
    ImgBuilder b;
    b.add_subfile("00000003", "TRE", tre_subfile({.map_id = 7}));
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 9}));
    b.add_subfile("00000002", "TRE", tre_subfile({.map_id = 7}));
    b.add_subfile("00000004", "TRE", tre_subfile({.map_id = 9}));
    // Numbers of no record: these bind by their names only.
    b.add_subfile("I0000050", "TRE", tre_subfile({.map_id = 901}));
    b.add_subfile("00000096", "TRE", tre_subfile({.map_id = 902}));
    b.add_subfile("00000080", "TRE", tre_subfile({.map_id = 903}));
    b.add_subfile("I0000060", "TRE", tre_subfile({.map_id = 904}));
    // The product ID tells the records apart.
    b.add_subfile("MAKEGMAP", "MPS",
                  mps_l_record(1, 5, 9, {"a"}) + mps_l_record(2, 5, 7, {"b"}) + mps_l_record(3, 5, 0x50, {"c"}) +
                      mps_l_record(4, 5, 7, {"d"}) + mps_l_record(5, 5, 96, {"e"}) + mps_l_record(6, 5, 9, {"f"}) +
                      mps_l_record(7, 5, 0x50, {"g"}) + mps_l_record(8, 5, 0x60, {"h"}) + mps_l_record(9, 5, 7, {"i"}));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "");
    ASSERT_EQ(file.mps_record_count, 9u);
    // The map list is in FAT order, not in name order.
    EXPECT_EQ(names(file), "00000003 00000001 00000002 00000004 I0000050 00000096 00000080 I0000060 MAKEGMAP ");

    auto product = [&](const char* name) { return ids(file, map_named(file, name)).second; };
    EXPECT_EQ(product("00000003"), 2u);
    EXPECT_EQ(product("00000001"), 1u);
    EXPECT_EQ(product("00000002"), 4u);
    EXPECT_EQ(product("00000004"), 6u);
    // 0x50 is "I0000050" or "00000080": the first in map order goes first.
    EXPECT_EQ(product("I0000050"), 3u);
    EXPECT_EQ(product("00000080"), 7u);
    // 96 is "I0000060" or "00000096": here the decimal name comes first.
    EXPECT_EQ(product("00000096"), 5u);
    EXPECT_EQ(product("I0000060"), 8u);
    EXPECT_EQ(map_named(file, "I0000050").map_number, 901u);
    // A third map of number 7 there is not; by order the record finds every
    // TRE's map already bound.
    EXPECT_EQ(file.mps_records[8].matched, 0);
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(file.mps_records[i].matched, 1) << i;
}

TEST_F(MapList, FamilyRecordsTakeTheDominantCodePageOfTheirMaps)
{
    ImgBuilder b;
    const std::tuple<const char*, uint32_t, uint16_t> maps[] = {
        {"00000001", 1250, 1}, {"00000002", 1250, 1}, {"00000003", 1252, 2}};
    std::string mps;
    for (auto [name, code_page, pid] : maps) {
        uint32_t number = static_cast<uint32_t>(std::stoul(name));
        b.add_subfile(name, "TRE", tre_subfile({.map_id = number}));
        b.add_subfile(name, "LBL", lbl_subfile({.code_page = static_cast<uint16_t>(code_page)}));
        mps += mps_l_record(pid, 5, number, {"x"});
    }
    mps += mps_f_record(0, 5, "any product") + mps_f_record(2, 5, "product 2") + mps_f_record(1, 9, "none") +
           mps_v_record("set");
    b.add_subfile("MAKEGMAP", "MPS", mps);
    for (uint32_t preferred : {0u, 1252u}) {
        SCOPED_TRACE(preferred);
        task_options.code_page = preferred;
        InputFile file;
        ASSERT_EQ(read_built(b, file), 1);
        ASSERT_EQ(file.mps_record_count, 7u);
        // 1250 twice and 1252 once: 1252 is preferred unless the top
        // value has five times its count.
        EXPECT_EQ(file.mps_records[3].code_page, preferred ? 1252u : 1250u);
        EXPECT_EQ(file.mps_records[4].code_page, 1252u);
        EXPECT_EQ(file.mps_records[5].code_page, 0u);
        EXPECT_EQ(file.code_page, preferred ? 1252u : 1250u);
    }
}

TEST_F(MapList, CutAndOverlongRecords)
{
    const std::string l = mps_l_record(1, 5, 1, {"x"});
    const std::string f = mps_f_record(1, 5, "family");
    const std::string v = mps_v_record("set");
    struct Case {
        const char* what;
        std::string mps;
        uint32_t declared;  // 0: its own size
        uint32_t records;
        const char* verbose_message;
    };
    std::string overlong = l;
    put_u16(overlong, 1, 5000);
    const Case cases[] = {
        {"whole", l + f + v, 0, 3, ""},
        {"last record cut", l + f + v, static_cast<uint32_t>((l + f + v).size() - 2), 2,
         "Wrong MPS records size, file %s.\n"},
        {"first record too long", overlong + f, 0, 0, "No MPS records, file %s.\n"},
        {"less than a record header", "L\x01", 0, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ImgBuilder b;
        b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
        int mps = b.add_subfile("MAKEGMAP", "MPS", c.mps);
        if (c.declared)
            b.set_fat_size(mps, c.declared);
        for (uint8_t verbose : {0, 1}) {
            task_options.verbose = verbose;
            InputFile file;
            ASSERT_EQ(read_built(b, file), 1);
            EXPECT_EQ(file.status, READ_OK);
            EXPECT_EQ(file.mps_record_count, c.records);
            EXPECT_EQ(file.mps_records.size(), c.records);
            std::string expected = verbose ? c.verbose_message : "";
            if (size_t at = expected.find("%s"); at != std::string::npos)
                expected.replace(at, 2, path);
            EXPECT_EQ(log, expected);
        }
    }
}

TEST(MpsRecords, MapNumberLiesInsideTheRecord)
{
    std::string l = mps_l_record(1, 2, 12345678, {"a", "b"});
    ByteView whole(reinterpret_cast<const uint8_t*>(l.data()), l.size());
    EXPECT_EQ(mps_map_number(whole), 12345678u);
    // A record shorter than the field has no number, and nothing before it is read.
    EXPECT_EQ(mps_map_number(whole.sub(0, 7)), 0u);
    EXPECT_EQ(mps_map_number(whole.sub(0, 8)), whole.u32(0));
}

TEST_F(MapList, TheMpsBufferHoldsDataSlackAndZeroedRoom)
{
    const std::string records = mps_l_record(1, 5, 1, {"x"}) + mps_v_record("set");
    const uint32_t n = static_cast<uint32_t>(records.size());
    const std::string tail = patterned(512 - n, 3);
    for (uint8_t x : {0, 0x5A}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b({.xor_byte = x});
        b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
        int mps = b.add_subfile("MAKEGMAP", "MPS", records);
        // What stands after the data in its last block comes along.
        b.edit([&](const ImgLayout& l, std::string& image) {
            image.replace(l.data_offset(mps) + n, tail.size(), tail);
        });
        InputFile file;
        ASSERT_EQ(read_built(b, file), 1);
        EXPECT_EQ(file.mps_length, n);
        EXPECT_EQ(file.mps_reserve, 1024u);
        EXPECT_EQ(file.mps_slack, 512 - n);
        EXPECT_EQ(file.mps_map_index, 1u);
        ASSERT_EQ(file.mps_buffer.size(), n + 1024u);
        EXPECT_EQ(std::string(file.mps_buffer.begin(), file.mps_buffer.begin() + n), records);
        EXPECT_EQ(std::string(file.mps_buffer.begin() + n, file.mps_buffer.begin() + 512), tail);
        EXPECT_EQ(std::string(file.mps_buffer.begin() + 512, file.mps_buffer.end()), std::string(n + 512, '\0'));
    }

    // A file that ends inside that block gives what it has.
    ImgBuilder b;
    b.add_subfile("00000001", "TRE", tre_subfile({.map_id = 1}));
    int mps = b.add_subfile("MAKEGMAP", "MPS", records);
    std::string bytes = b.build();
    bytes.resize(b.layout().data_offset(mps) + n + 100);
    path = dir.file("cut.img");
    write_file(path, bytes);
    InputFile cut;
    ASSERT_EQ(read_path(cut, path), 1);
    EXPECT_EQ(log, "");
    EXPECT_EQ(cut.mps_slack, 100u);
    EXPECT_EQ(cut.mps_record_count, 2u);

    // At most 1024 slack bytes, however large the block.
    ImgBuilder big({.block_size = 4096});
    big.add_subfile("MAKEGMAP", "MPS", records);
    InputFile wide;
    ASSERT_EQ(read_built(big, wide), 1);
    EXPECT_EQ(wide.mps_slack, 1024u);
    EXPECT_EQ(wide.mps_buffer.size(), n + 1024u);
}

TEST_F(MapList, OneMpsIsReadAndAMarineOneIsTold)
{
    ImgBuilder b;
    b.add_subfile("bluchart", "MPS", mps_v_record("sea"));
    b.add_subfile("OTHERSET", "MPS", mps_v_record("land"));
    InputFile file;
    ASSERT_EQ(read_built(b, file), 1);
    EXPECT_EQ(log, "Multiple data MPS, ignored.\n");
    EXPECT_EQ(file.is_marine, 1u);
    EXPECT_EQ(file.mps_map_index, 0u);
    EXPECT_EQ(file.mps_length, mps_v_record("sea").size());
}

TEST(CodePages, CountingAndChoosing)
{
    auto table = [](std::initializer_list<std::pair<uint32_t, int>> counts) {
        CodePageCount t;
        for (auto [code_page, n] : counts)
            for (int i = 0; i < n; ++i)
                count_code_page(t, code_page);
        return t;
    };
    EXPECT_EQ(pick_dominant_code_page(table({{1250, 3}, {1252, 1}}), 1252), 1252u);
    EXPECT_EQ(pick_dominant_code_page(table({{1250, 5}, {1252, 1}}), 1252), 1250u);
    EXPECT_EQ(pick_dominant_code_page(table({{1250, 3}, {1252, 1}}), 0), 1250u);
    EXPECT_EQ(pick_dominant_code_page(table({{1250, 3}, {1252, 1}}), 1257), 1250u);
    EXPECT_EQ(pick_dominant_code_page(table({{1252, 2}, {1250, 2}}), 0), 1252u);  // ties: the first counted
    EXPECT_EQ(pick_dominant_code_page(table({{1250, 2}, {1252, 2}}), 0), 1250u);
    EXPECT_EQ(pick_dominant_code_page(CodePageCount{}, 1252), 0u);

    CodePageCount t;
    EXPECT_EQ(count_code_page(t, 0), 0);
    for (uint32_t i = 0; i < 20; ++i)
        EXPECT_EQ(count_code_page(t, 1000 + i), 1);
    EXPECT_EQ(count_code_page(t, 2000), 0);
    EXPECT_EQ(count_code_page(t, 1005), 1);
    EXPECT_EQ(t.count, 20u);
    EXPECT_EQ(t.counts[5], 2u);
}

TEST_F(MapList, ASingleFileTakesItsOwnCodePage)
{
    InputFile single;
    single.kind = FILE_TYP;
    single.data_code_page = 1250;
    EXPECT_EQ(choose_file_code_page(single), 1);
    EXPECT_EQ(single.code_page, 1250u);
    InputFile empty;
    EXPECT_EQ(choose_file_code_page(empty), 0);
    EXPECT_EQ(empty.code_page, 0u);
}

TEST_F(MapList, ANewCodePageIsAnnouncedToTheFilesList)
{
    language_default_code_page = 1252;
    std::string central = data_path("gmapsupp/central-1201-p2.img");
    InputFile file;
    ASSERT_EQ(read_path(file, central), 1);
    EXPECT_EQ(take_refreshed_rows(), central + " 1250\n");
    EXPECT_EQ(file.previous_code_page, 1250u);
    // The language's own code page needs no new row, but is remembered.
    InputFile west;
    ASSERT_EQ(read_path(west, data_path("gmapsupp/west-1101-p1.img")), 1);
    EXPECT_EQ(take_refreshed_rows(), "");
    EXPECT_EQ(west.previous_code_page, 1252u);
}

TEST_F(MapList, RealMapSets)
{
    struct Numbered {
        uint32_t number, fid, pid, code_page;
    };
    struct Case {
        const char* file;
        const char* maps;  // names in map order
        std::vector<Numbered> numbered;
        uint32_t code_page;
        uint32_t records;
    };
    const Case cases[] = {
        {"west-1101-p1.img", "MAKEGMAP 11000001 11000002 WEST1101 00001101 ",
         {{11000001, 1101, 1, 1252}, {11000002, 1101, 1, 1252}}, 1252, 4},
        {"central-1201-p2.img", "MAKEGMAP 12000001 12000002 CENT1201 00001201 ",
         {{12000001, 1201, 2, 1250}, {12000002, 1201, 2, 1250}}, 1250, 4},
        {"unicode-1301-p3.img", "MAKEGMAP 13000001 00001301 ", {{13000001, 1301, 3, 65001}}, 65001, 3},
        {"index-1101-p1.img", "MAKEGMAP 00001101 11000001 11000002 WEST1101 ",
         {{11000001, 1101, 1, 1252}, {11000002, 1101, 1, 1252}}, 1252, 4},
        {"dem-1401-p1.img", "MAKEGMAP 11000001 11000002 00001401 ",
         {{11000001, 1401, 1, 1252}, {11000002, 1401, 1, 1252}}, 1252, 4},
        {"mixed-3families.img",
         "MAKEGMAP 11000001 11000002 12000001 12000002 13000001 13000002 CENT1201 WEST1101 00001101 00001201 "
         "00001301 ",
         {{11000001, 1101, 1, 1252},
          {11000002, 1101, 1, 1252},
          {13000002, 1101, 7, 1252},
          {12000001, 1201, 2, 1250},
          {12000002, 1201, 2, 1250},
          {13000001, 1301, 3, 65001}},
         1252, 11},
        {"from-img-index-6324.img", "MAKEGMAP 00006324 11000001 11000002 14000001 15000001 ",
         {{11000001, 6324, 1, 1252}, {11000002, 6324, 1, 1252}, {14000001, 6324, 1, 1252}, {15000001, 6324, 1, 1252}},
         1252, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        InputFile file;
        ASSERT_EQ(read_path(file, data_path(std::string("gmapsupp/") + c.file)), 1);
        EXPECT_EQ(log, "");
        EXPECT_EQ(names(file), c.maps);
        EXPECT_EQ(file.code_page, c.code_page);
        EXPECT_EQ(file.mps_record_count, c.records);
        for (const Numbered& n : c.numbered) {
            char name[9];
            snprintf(name, sizeof name, "%08u", n.number);
            const MapEntry& map = map_named(file, name, FILE_MPC);
            ASSERT_NE(map.mps_record, nullptr) << name;
            EXPECT_EQ(map.map_number, n.number);
            EXPECT_EQ(map.code_page, n.code_page) << name;
            EXPECT_EQ(ids(file, map), std::make_pair(n.fid, n.pid)) << name;
            EXPECT_EQ(map.mps_record->code_page, n.code_page);
            EXPECT_EQ(map.subfile_kinds & (bit(SUB_TRE) | bit(SUB_RGN) | bit(SUB_LBL)),
                      bit(SUB_TRE) | bit(SUB_RGN) | bit(SUB_LBL));
        }
        // Every 'F' record has the code page of its family's maps.
        for (const MpsRecordRef& r : file.mps_records) {
            if (r.letter != 'F')
                continue;
            ByteView f = mps_record_bytes(file, r);
            for (const Numbered& n : c.numbered)
                if (n.fid == f.u16(MpsRecord::family_id) && n.pid == f.u16(MpsRecord::product_id)) {
                    EXPECT_EQ(r.code_page, n.code_page);
                }
        }
        EXPECT_EQ(map_named(file, "MAKEGMAP").kind, FILE_MPS);
    }

    InputFile index;
    ASSERT_EQ(read_path(index, data_path("gmapsupp/index-1101-p1.img")), 1);
    EXPECT_EQ(map_named(index, "00001101").kind, FILE_IDX);
    EXPECT_EQ(map_named(index, "00001101").subfile_kinds, bit(SUB_MDR) | bit(SUB_SRT));
    EXPECT_EQ(map_named(index, "WEST1101").kind, FILE_TYP);
    EXPECT_EQ(map_named(index, "WEST1101").header_info->family_id, 1101u);

    InputFile dem;
    ASSERT_EQ(read_path(dem, data_path("gmapsupp/dem-1401-p1.img")), 1);
    for (const char* name : {"11000001", "11000002"}) {
        EXPECT_EQ(map_named(dem, name).has_dem, 1);
        EXPECT_TRUE(map_named(dem, name).subfile_kinds & bit(SUB_DEM));
        EXPECT_NE(map_named(dem, name).dem_info, nullptr);
    }
    EXPECT_EQ(map_named(dem, "00001401").kind, FILE_SRT);

    // Sixty maps at block size 1024, their MPS over four blocks.
    InputFile many;
    ASSERT_EQ(read_path(many, data_path("gmapsupp/many-60maps-3101.img")), 1);
    ASSERT_EQ(many.map_count, 62u);
    EXPECT_EQ(many.block_size, 1024u);
    EXPECT_GT(many.mps_length, 3 * 1024u);
    EXPECT_EQ(many.mps_slack, 1024 - many.mps_length % 1024);
    EXPECT_EQ(many.mps_record_count, 62u);
    for (uint32_t i = 1; i <= 60; ++i) {
        char name[9];
        snprintf(name, sizeof name, "%08u", 31000000 + i);
        const MapEntry& map = map_named(many, name, FILE_MPC);
        EXPECT_EQ(map.map_number, 31000000 + i);
        EXPECT_EQ(ids(many, map), std::make_pair(3101u, 1u)) << name;
    }
    EXPECT_EQ(many.code_page, 1252u);
}
