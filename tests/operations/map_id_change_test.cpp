// Map ID change: separate JCV files, and the map IDs of containers in every
// place that holds them.
#include "operations/map_id_change.h"

#include <gtest/gtest.h>

#include "core/img_format.h"
#include "operations/inplace.h"
#include "tests/operations/inplace_support.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"

using namespace inplace_test;

namespace {

class JcvFile : public InplaceTest {};

// A JCV file whose ID section (offset 33, record size 37, length 39) holds
// records of record_size bytes starting with the given IDs; length_field
// other than 0 overrides the section length.
std::string jcv_file(const std::vector<uint32_t>& ids, uint16_t record_size = 8, uint32_t length_field = 0)
{
    std::string bytes = jcv_subfile();
    uint32_t offset = static_cast<uint32_t>(bytes.size());
    for (uint32_t id : ids) {
        std::string record(std::max<size_t>(record_size, 4), '\x55');
        put_u32(record, 0, id);
        record.resize(record_size);
        bytes += record;
    }
    put_u32(bytes, 33, offset);
    put_u16(bytes, 37, record_size);
    put_u32(bytes, 39, length_field ? length_field : static_cast<uint32_t>(ids.size() * record_size));
    return bytes;
}

}  // namespace

TEST_F(JcvFile, EveryIdIsShiftedAndNothingElseChanges)
{
    std::string bytes = jcv_file({11000001, 11000002, 5});
    std::string path = write("a.jcv", bytes);
    auto file = read(path);
    ASSERT_EQ(file->kind, FILE_JCV);
    task_options.map_id_mode = 255;
    task_options.map_id = 10;
    task_options.verbose = 1;
    apply_file_changes(*file, nullptr);
    std::string after = read_file(path);
    size_t section = get_u32(bytes, 33);
    EXPECT_EQ(get_u32(after, section), 11000001u - 10);
    EXPECT_EQ(get_u32(after, section + 8), 11000002u - 10);
    EXPECT_EQ(get_u32(after, section + 16), uint32_t(5 - 10));  // no range check: it wraps
    std::vector<uint8_t> a(bytes.begin(), bytes.end()), b(after.begin(), after.end());
    EXPECT_TRUE(only_in(changed_offsets(a, b), {{section, section + 3}, {section + 8, section + 11},
                                                {section + 16, section + 19}}));
    EXPECT_EQ(take_log(), "Write: data file " + path +
                              ".\n  JCV 00A7D8C1 -> 00A7D8B7\n  JCV 00A7D8C2 -> 00A7D8B8\n  JCV 00000005 -> FFFFFFFB\n");
    EXPECT_EQ(file->stream, nullptr);
}

TEST_F(JcvFile, SettingIdsIsRefusedWithAWarning)
{
    std::string bytes = jcv_file({1, 2});
    std::string path = write("a.jcv", bytes);
    task_options.map_id_mode = 1;
    task_options.map_id = 100;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(read_file(path), bytes);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(),
              "\n== Warning: Changing MID in JCV file is unsupported, file " + path + ".\n== no changes made.\n\n");
}

TEST_F(JcvFile, ASectionTheFileCannotHoldIsRefusedBeforeAnyWrite)
{
    struct Case {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"section past the end", jcv_file({1, 2}, 8, 64)},
        {"record size below 4", jcv_file({1, 2}, 3)},
        {"no records", jcv_file({}, 8)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string path = write("b.jcv", c.bytes);
        auto file = read(path);
        error_count = 0;
        task_options.map_id_mode = 2;
        task_options.map_id = 1;
        apply_file_changes(*file, nullptr);
        EXPECT_EQ(read_file(path), c.bytes);
        EXPECT_EQ(take_log(), "Error changing MID in JCV, file " + path + ".\n");
        EXPECT_EQ(error_count, 1);
        EXPECT_EQ(file->stream, nullptr);
    }
}

TEST_F(JcvFile, ALastRecordTooShortForAnIdIsLeftAlone)
{
    // Records of 6 bytes over 15 bytes: two whole records and 3 bytes.
    std::string bytes = jcv_file({7, 8, 9}, 6, 15);
    std::string path = write("c.jcv", bytes);
    EXPECT_EQ(change_jcv_map_ids(*read(path), 1), 1);
    std::string after = read_file(path);
    size_t section = get_u32(bytes, 33);
    EXPECT_EQ(get_u32(after, section), 8u);
    EXPECT_EQ(get_u32(after, section + 6), 9u);
    EXPECT_EQ(after.substr(section + 12), bytes.substr(section + 12));
}

namespace {

class MapIdChange : public InplaceTest {
protected:
    // The file position of byte offset of the subfile at row slot.
    size_t position_of(const InputFile& file, uint32_t slot, uint32_t offset)
    {
        uint32_t block = offset / file.block_size;
        uint32_t entry = file.fat_slots.at(slot + block / 240).entry_offset;
        uint16_t number = ByteView(file.header_buffer).u16(entry + FatEntry::blocks + 2 * (block % 240));
        return size_t(number) * file.block_size + offset % file.block_size;
    }
    // The map numbers of a fresh read, in map order, of the maps with a TRE.
    std::vector<uint32_t> map_numbers(const std::string& path)
    {
        std::vector<uint32_t> numbers;
        auto file = read(path);
        for (const MapEntry* map : file->maps)
            if (map->tre_info)
                numbers.push_back(map->map_number);
        return numbers;
    }
    // The IDs of the MDR subfile's map table.
    std::vector<uint32_t> mdr_ids(const std::string& path)
    {
        auto file = read(path);
        std::vector<uint32_t> ids;
        for (const SubfileEntry& s : file->subfiles) {
            if (s.kind != SUB_MDR)
                continue;
            std::string bytes = subfile_bytes(*file, s);
            ByteView v(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
            for (uint32_t at = v.u32(29); at + 4 <= v.u32(29) + v.u32(33); at += v.u16(37))
                ids.push_back(v.u32(at));
        }
        return ids;
    }
};

}  // namespace

TEST_F(MapIdChange, SettingNumbersGoesOnAcrossFilesAndReachesEveryPlace)
{
    std::string west = copy("gmapsupp/west-1101-p1.img");
    std::string central = copy("gmapsupp/central-1201-p2.img");
    std::vector<uint8_t> west_before = file_bytes(west);
    std::vector<uint8_t> central_before = file_bytes(central);
    task_options.map_id_mode = 1;
    task_options.map_id = 100;
    task_options.verbose = 1;
    auto first = read(west);
    apply_file_changes(*first, nullptr);
    apply_file_changes(*read(central), nullptr);
    EXPECT_EQ(task_options.map_id, 104u);
    EXPECT_EQ(map_numbers(west), (std::vector<uint32_t>{100, 101}));
    EXPECT_EQ(map_numbers(central), (std::vector<uint32_t>{102, 103}));
    EXPECT_EQ(content_sum(file_bytes(west)), content_sum(west_before));
    EXPECT_EQ(content_sum(file_bytes(central)), content_sum(central_before));
    std::string log = take_log();
    EXPECT_NE(log.find("Write: map file " + west + ".\n  FAT 11000001 -> 00000100\n  TRE 00A7D8C1 -> 00000064\n"
                       "  FAT 11000002 -> 00000101\n  TRE 00A7D8C2 -> 00000065\n  data MPS MAKEGMAP\n"
                       "  MPS L 00A7D8C1 -> 00000064\n  MPS L 00A7D8C2 -> 00000065\n"),
              std::string::npos)
        << log;

    auto again = read(west);
    for (const MapEntry* map : again->maps) {
        if (!map->tre_info)
            continue;
        char name[9];
        snprintf(name, sizeof name, "%08u", map->map_number);
        EXPECT_EQ(std::string(map->name, 8), name);
        EXPECT_EQ(map->tre_info->map_id, map->map_number);
        ASSERT_NE(map->mps_record, nullptr);  // bound by number again
    }
    // Only the header+FAT area, the TRE map IDs and the MPS changed.
    std::vector<std::pair<size_t, size_t>> places = {{0, again->header_length - 1}};
    for (const MapEntry* map : again->maps) {
        if (map->tre_info) {
            size_t at = position_of(*again, map->tre_info->fat_slot, 0x74);
            places.push_back({at, at + 3});
        }
        if (map->kind == FILE_MPS) {
            const SubfileEntry& s = again->subfiles[map->first_subfile];
            size_t at = position_of(*again, s.fat_slot, 0);
            places.push_back({at, at + s.length - 1});
        }
    }
    for (size_t offset : changed_offsets(west_before, file_bytes(west))) {
        bool inside = false;
        for (auto [a, b] : places)
            inside = inside || (offset >= a && offset <= b);
        EXPECT_TRUE(inside) << offset;
    }
}

TEST_F(MapIdChange, OutOfRangeNumbersAreRefusedMapByMap)
{
    std::string path = copy("gmapsupp/west-1101-p1.img");
    std::vector<uint8_t> before = file_bytes(path);
    task_options.map_id_mode = 255;
    task_options.map_id = 11000002;  // 11000001 - 11000002 wraps
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(map_numbers(path), (std::vector<uint32_t>{11000001, 11000002}));
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(warning_count, 2);
    EXPECT_EQ(take_log(),
              "\n== Warning: wrong new map ID number.\n== Current map ID 11000001 (A7D8C1), new map ID 4294967295, "
              "(FFFFFFFF),\n== no changes made.\n\n"
              "\n== Warning: wrong new map ID number.\n== Current map ID 11000002 (A7D8C2), new map ID 0, (0),\n"
              "== no changes made.\n\n");

    warning_count = 0;
    task_options.map_id_mode = 2;
    task_options.map_id = 88999999;  // 11000001 + 88999999 = 100000000
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(file_bytes(path), before);
    EXPECT_EQ(warning_count, 2);
    take_log();
}

TEST_F(MapIdChange, TheMdrMapTableFollows)
{
    std::string path = copy("gmapsupp/index-1101-p1.img");
    ASSERT_EQ(mdr_ids(path), (std::vector<uint32_t>{11000001, 11000002}));
    std::vector<uint8_t> before = file_bytes(path);
    task_options.map_id_mode = 2;
    task_options.map_id = 5;
    task_options.verbose = 1;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(mdr_ids(path), (std::vector<uint32_t>{11000006, 11000007}));
    EXPECT_EQ(map_numbers(path), (std::vector<uint32_t>{11000006, 11000007}));
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));
    std::string log = take_log();
    EXPECT_NE(log.find("  subfile 00001101MDR\n  MDR 00A7D8C1 -> 00A7D8C6\n  MDR 00A7D8C2 -> 00A7D8C7\n"),
              std::string::npos)
        << log;
}

TEST_F(MapIdChange, NamesTreHeadersAndIndexSubfilesOfBuiltContainers)
{
    // A map named by "I%07X", one with a 116-byte TRE header (no ID in it,
    // the number comes from the name), one with 118 bytes; an MDR whose map
    // table runs past its end, a TRF whose records end in the map ID.
    ImgBuilder b;
    b.add_subfile("I0000010", "TRE", tre_subfile({.map_id = 0x10}));
    b.add_subfile("00000020", "TRE", tre_subfile({.header_length = 116}));
    b.add_subfile("00000030", "TRE", tre_subfile({.header_length = 118}));
    std::string mdr = mdr_subfile(1252, 286, 400);
    put_u32(mdr, 29, 390);
    put_u32(mdr, 33, 20);  // past the end
    put_u16(mdr, 37, 4);
    b.add_subfile("00000000", "MDR", mdr);
    std::string trf = trf_subfile(1252, 80, 200);
    put_u32(trf, 59, 100);
    put_u16(trf, 63, 6);
    put_u32(trf, 65, 18);
    for (uint32_t i = 0; i < 3; ++i)
        put_u32(trf, 100 + 6 * i + 2, i == 0 ? 0x10 : i == 1 ? 20 : 999);
    b.add_subfile("00000000", "TRF", trf);
    std::string path = write("b.img", b.build());
    std::vector<uint8_t> before = file_bytes(path);
    task_options.map_id_mode = 2;
    task_options.map_id = 0x100;
    task_options.verbose = 1;
    auto file = read(path);
    apply_file_changes(*file, nullptr);
    std::string log = take_log();
    EXPECT_NE(log.find("  FAT I0000010 -> I0000110\n  TRE 00000010 -> 00000110\n"), std::string::npos) << log;
    EXPECT_NE(log.find("  FAT 00000020 -> 00000276\n  FAT 00000030 -> 00000286\n  TRE 0000001E -> 0000011E\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\n== Warning: unknown structure of MDR subfile.\n== Subfile 00000000MDR.\n"),
              std::string::npos);
    EXPECT_NE(log.find("  subfile 00000000TRF\n  TRF 00000010 -> 00000110\n  TRF 00000014 -> 00000114\n"),
              std::string::npos);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(content_sum(file_bytes(path)), content_sum(before));

    auto again = read(path);
    std::vector<std::string> names;
    for (const MapEntry* map : again->maps)
        names.push_back(std::string(map->name, 8));
    EXPECT_NE(std::find(names.begin(), names.end(), "I0000110"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "00000276"), names.end());
    for (const MapEntry* map : again->maps) {
        if (map->tre_info && std::string(map->name, 8) == "I0000110") {
            EXPECT_EQ(map->tre_info->map_id, 0x110u);
        }
    }
    // The MDR is left as it was.
    EXPECT_NE(read_file(path).find(mdr), std::string::npos);
}

TEST_F(MapIdChange, XoredContainerAndAnMdrTooShortForItsHeader)
{
    std::string xored = copy("damaged/valid-xor-5a.img");
    std::vector<uint8_t> before = file_bytes(xored);
    task_options.map_id_mode = 1;
    task_options.map_id = 7;
    apply_file_changes(*read(xored), nullptr);
    EXPECT_EQ(map_numbers(xored), (std::vector<uint32_t>{7, 8}));
    EXPECT_EQ(content_sum(file_bytes(xored), 0x5A), content_sum(before, 0x5A));

    // An MDR of 40 bytes cannot hold the header that locates its map table:
    // it is left alone with a warning, and nothing is read past its end.
    ImgBuilder b;
    b.add_subfile("00000005", "TRE", tre_subfile({.map_id = 5}));
    b.add_subfile("00000000", "MDR", mdr_subfile(1252, 286, 286).substr(0, 40));
    std::string path = write("b.img", b.build());
    task_options.map_id_mode = 2;
    task_options.map_id = 1;
    apply_file_changes(*read(path), nullptr);
    EXPECT_EQ(take_log(), "\n== Warning: unknown structure of MDR subfile.\n== Subfile 00000000MDR.\n");
    EXPECT_EQ(map_numbers(path), (std::vector<uint32_t>{6}));
    EXPECT_EQ(error_count, 0);
}

// Forty maps: every FAT entry renamed in runs, forty TRE groups; the byte
// sum stays the file's own, plain and XOR-ed, and the file reads back with
// the new numbers.
TEST_F(MapIdChange, ManyMapsKeepTheByteSum)
{
    for (uint8_t x : {uint8_t(0), uint8_t(0x5A)}) {
        SCOPED_TRACE(int(x));
        ImgBuilder b({.xor_byte = x});
        std::vector<uint32_t> shifted;
        for (uint32_t m = 0; m < 40; ++m) {
            char name[9];
            snprintf(name, sizeof name, "%08u", 30000001 + m);
            b.add_subfile(name, "TRE", tre_subfile({.map_id = 30000001 + m}));
            shifted.push_back(30000001 + m + 77);
        }
        std::string path = write("many.img", b.build());
        std::vector<uint8_t> before = file_bytes(path);
        task_options.map_id_mode = 2;
        task_options.map_id = 77;
        apply_file_changes(*read(path), nullptr);
        EXPECT_EQ(error_count, 0);
        std::vector<uint8_t> after = file_bytes(path);
        EXPECT_EQ(content_sum(after, x), content_sum(before, x));
        EXPECT_NE(after[ImgHeader::checksum], before[ImgHeader::checksum]);
        EXPECT_EQ(map_numbers(path), shifted);
        take_log();
    }
}

// Changes refused before any write: the file stays as it was, and the next
// file still gets the numbers the refused one had.
TEST_F(MapIdChange, ClashingOrTwiceListedNamesRefuseTheFileBeforeAnyWrite)
{
    struct Case {
        const char* file;
        uint8_t mode;
        uint32_t id;
        std::string log;  // what the log starts with; the file name follows
    };
    const Case cases[] = {
        // 11000001 -> 1101 would make the sort-order subfile 00001101.SRT a
        // part of the map.
        {"gmapsupp/west-1101-p1.img", 1, 1101,
         "Error: new name 00001101 of map 11000001 clashes with subfile 00001101.SRT, map IDs not changed, file "},
        // 11000002 -> 1101 would be the name of the index subfile 00001101.MDR.
        {"gmapsupp/index-1101-p1.img", 2, uint32_t(1101 - 11000002),
         "Error: new name 00001101 of map 11000002 clashes with subfile 00001101.MDR, map IDs not changed, file "},
        // An earlier first entry of 11000001.TRE that a later one supersedes:
        // renamed with the map, the later one would leave the earlier a map
        // of its own under the old ID again.
        {"damaged/fat-repeated-name.img", 2, 4,
         "Error: FAT entry of subfile 11000001.TRE is listed twice, map IDs not changed, file "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string path = copy(c.file);
        std::vector<uint8_t> before = file_bytes(path);
        error_count = 0;
        task_options.map_id_mode = c.mode;
        task_options.map_id = c.id;
        apply_file_changes(*read(path), nullptr);
        EXPECT_EQ(file_bytes(path), before);
        EXPECT_EQ(error_count, 1);
        EXPECT_EQ(task_options.map_id, c.id);
        EXPECT_EQ(take_log(), c.log + path + ".\n");
    }
}
