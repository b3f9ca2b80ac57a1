// Subfile header records: real maps, TYP and TDB files, and made headers at
// the limits of each reader.
#include "core/subfile_headers.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/core/made_files.h"
#include "tests/support/host_capture.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

class HeaderRecords : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
    }
    ScratchDir dir;
};

// A container read and opened again, with rows made straight from the FAT
// entries of single-entry subfiles (the subfile table is not needed for them).
class OpenContainer {
public:
    explicit OpenContainer(const std::string& path)
    {
        file.path = path;
        EXPECT_EQ(read_input_file(file), 1);
        // The subfile table has run every reader once already; the tests
        // count only what their own calls report.
        take_log();
        warning_count = 0;
        EXPECT_EQ(open_input_file(file, "rb"), 1);
    }
    ~OpenContainer() { close_input_file(file); }

    SubfileEntry subfile(const std::string& name, SubfileKind kind)
    {
        SubfileEntry row;
        ByteView fat(file.header_buffer);
        for (uint32_t i = 0; i < file.fat_slots.size(); ++i) {
            uint32_t entry = file.fat_slots[i].entry_offset;
            if (fat.u8(entry) == 1 && fat.u8(entry + FatEntry::part) == 0 && fat.matches(entry + 1, name)) {
                row.kind = kind;
                memcpy(row.name, name.data(), 11);
                row.length = row.declared_length = fat.u32(entry + FatEntry::subfile_size);
                row.fat_slot = i;
                row.fat_entry_offset = entry;
                return row;
            }
        }
        ADD_FAILURE() << "no subfile " << name;
        return row;
    }

    InputFile file;
};

// A single file of the given kind opened on bytes, for calling one reader.
class SingleData {
public:
    SingleData(const ScratchDir& dir, SubfileKind kind, const std::vector<uint8_t>& bytes)
    {
        static int made_count = 0;
        file.path = dir.file("data" + std::to_string(++made_count) + ".bin");
        made::write_bytes(file.path, bytes);
        file.subfile_kind = kind;
        file.single_subfile.kind = kind;
        file.data_length = static_cast<uint32_t>(bytes.size());
        EXPECT_EQ(open_input_file(file, "rb"), 1);
    }
    ~SingleData() { close_input_file(file); }
    InputFile file;
};

// Reads a made single file through the whole reader.
InputFile read_single(const std::string& path, const std::vector<uint8_t>& bytes)
{
    made::write_bytes(path, bytes);
    InputFile file;
    file.path = path;
    EXPECT_EQ(read_input_file(file), 1);
    return file;
}

// A TRE header of header_length in a file of size bytes, its levels section
// at levels_offset.
std::vector<uint8_t> tre_bytes(uint16_t header_length, size_t size, uint32_t levels_offset, uint32_t levels_size)
{
    std::vector<uint8_t> bytes = made::subfile_header("TRE", header_length, size);
    ByteSpan(bytes).put_u32(0x21, levels_offset);
    ByteSpan(bytes).put_u32(0x25, levels_size);
    return bytes;
}

}  // namespace

TEST_F(HeaderRecords, TreOfRealMaps)
{
    // Levels=4 (24, 22, 20, 18 bits): four 4-byte records from the coarsest,
    // whose top one is inherited, so the first own level has 20 bits.
    const std::pair<const char*, uint32_t> maps[] = {
        {"single/plain/11000001.img", 11000001},
        {"single/route1250/12000001.img", 12000001},
    };
    for (auto [path, id] : maps) {
        SCOPED_TRACE(path);
        OpenContainer c(data_path(path));
        char name[12];
        snprintf(name, sizeof name, "%08uTRE", id);
        SubfileEntry tre = c.subfile(name, SUB_TRE);
        ASSERT_EQ(read_tre_header(c.file, &tre), 1);
        ASSERT_NE(tre.tre_info, nullptr);
        EXPECT_EQ(tre.tre_info->map_id, id);
        EXPECT_EQ(tre.tre_info->levels_size, 16u);
        EXPECT_EQ(tre.tre_info->first_level_bits, 20);
        EXPECT_EQ(tre.tre_info->levels[0], 0x83);
        EXPECT_EQ(tre.tre_info->gmp_part, 0);
        // Kept: the header and its texts, up to the first section, not
        // the whole subfile that was read.
        EXPECT_LT(tre.tre_info->header_extent, tre.length);
        EXPECT_EQ(tre.tre_info->bytes_read(), tre.tre_info->header_extent);
    }
    OpenContainer plain(data_path("single/plain/11000001.img"));
    SubfileEntry tre = plain.subfile("11000001TRE", SUB_TRE);
    ASSERT_EQ(read_tre_header(plain.file, &tre), 1);
    // The levels section at 321 comes first in this header.
    EXPECT_EQ(tre.tre_info->header_extent, 321u);
    // Other readers leave a TRE alone.
    EXPECT_EQ(read_lbl_header(plain.file, &tre), 1);
    EXPECT_EQ(read_other_header(plain.file, &tre), 1);
    EXPECT_EQ(tre.lbl_info, nullptr);
    EXPECT_EQ(tre.header_info, nullptr);
}

TEST_F(HeaderRecords, LblCodePagesOfRealMaps)
{
    const std::tuple<const char*, const char*, uint32_t> maps[] = {
        {"single/route1252/11000001.img", "11000001LBL", 1252},
        {"single/route1250/12000001.img", "12000001LBL", 1250},
        {"single/route65001/13000001.img", "13000001LBL", 65001},
    };
    for (auto [path, name, code_page] : maps) {
        SCOPED_TRACE(path);
        OpenContainer c(data_path(path));
        SubfileEntry lbl = c.subfile(name, SUB_LBL);
        ASSERT_EQ(read_lbl_header(c.file, &lbl), 1);
        ASSERT_NE(lbl.lbl_info, nullptr);
        EXPECT_EQ(lbl.lbl_info->code_page, code_page);
        EXPECT_FALSE(lbl.lbl_info->sort_descriptor.empty());
    }
    OpenContainer c(data_path("single/route1252/11000001.img"));
    SubfileEntry lbl = c.subfile("11000001LBL", SUB_LBL);
    ASSERT_EQ(read_lbl_header(c.file, &lbl), 1);
    EXPECT_EQ(lbl.lbl_info->sort_descriptor, "Western European sort");
    EXPECT_EQ(take_log(), "");
}

TEST_F(HeaderRecords, DemLevelsEndingAtTheSubfileEnd)
{
    // --dem-dists with four distances: four level records of 60 bytes that
    // end exactly where the 7929-byte subfile ends.
    OpenContainer c(data_path("single/dem/11000001.img"));
    SubfileEntry dem = c.subfile("11000001DEM", SUB_DEM);
    ASSERT_EQ(dem.length, 7929u);
    ASSERT_EQ(read_dem_header(c.file, &dem), 1);
    ASSERT_NE(dem.dem_info, nullptr);
    EXPECT_EQ(dem.dem_info->level_count, 4u);
    EXPECT_EQ(dem.dem_info->level_record_size, 60u);
    EXPECT_EQ(dem.dem_info->level_records_offset, 7929u - 240);
    EXPECT_EQ(dem.dem_info->first_level_record.size(), 60u);
}

TEST_F(HeaderRecords, TypInAContainerAndItsDemotion)
{
    OpenContainer c(data_path("gmapsupp/west-1101-p1.img"));
    SubfileEntry typ = c.subfile("WEST1101TYP", SUB_TYP);
    ASSERT_EQ(read_other_header(c.file, &typ), 1);
    ASSERT_NE(typ.header_info, nullptr);
    EXPECT_EQ(typ.header_info->family_id, 1101u);
    EXPECT_EQ(typ.header_info->product_id, 1u);
    EXPECT_EQ(typ.header_info->code_page, 1252u);
    EXPECT_EQ(typ.kind, SUB_TYP);
    // The container's own fields are not a single file's.
    EXPECT_EQ(c.file.fid, 0u);

    // The same subfile with its signature broken becomes "other".
    std::vector<uint8_t> bytes = made::read_bytes(data_path("gmapsupp/west-1101-p1.img"));
    uint32_t block = ByteView(bytes).u16(typ.fat_entry_offset + FatEntry::blocks);
    bytes[block * 512 + 9] = 'X';
    std::string path = dir.file("badtyp.img");
    made::write_bytes(path, bytes);
    OpenContainer bad(path);
    SubfileEntry broken = bad.subfile("WEST1101TYP", SUB_TYP);
    ASSERT_EQ(read_other_header(bad.file, &broken), 1);
    EXPECT_EQ(broken.header_info, nullptr);
    EXPECT_EQ(broken.kind, SUB_OTHER);
    EXPECT_EQ(broken.bad_data, 1);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(), "== Warning: Bad data in TYP subfile, file " + path + ".\n");
}

TEST_F(HeaderRecords, SingleTypAndTdbFiles)
{
    const std::tuple<const char*, uint32_t, uint32_t, uint32_t> typs[] = {
        {"typ/west1101.typ", 1101, 1, 1252},
        {"typ/cent1201.typ", 1201, 2, 1250},
        {"typ/west1101-cp0.typ", 1101, 1, 0},
        {"typ/west1101-fid9999.typ", 9999, 1, 1252},
    };
    for (auto [path, fid, pid, code_page] : typs) {
        SCOPED_TRACE(path);
        InputFile file;
        file.path = data_path(path);
        ASSERT_EQ(read_input_file(file), 1);
        EXPECT_EQ(file.fid, fid);
        EXPECT_EQ(file.pid, pid);
        EXPECT_EQ(file.data_code_page, code_page);
        ASSERT_NE(file.single_subfile.header_info, nullptr);
        EXPECT_EQ(file.single_subfile.header_info->family_id, fid);
    }
    // corpwest.tdb: 'P', PID 1 at 3, FID 1101 at 5, version 407; its texts
    // "Corpus West Series" and "CorpusWest" put the code page at 71.
    InputFile tdb;
    tdb.path = data_path("mapsource/tdb/corpwest.tdb");
    ASSERT_EQ(read_input_file(tdb), 1);
    EXPECT_EQ(tdb.kind, FILE_TDB);
    EXPECT_EQ(tdb.pid, 1u);
    EXPECT_EQ(tdb.fid, 1101u);
    EXPECT_EQ(tdb.data_code_page, 1252u);
    ASSERT_NE(tdb.single_subfile.header_info, nullptr);
    EXPECT_EQ(take_log(), "");
}

TEST_F(HeaderRecords, SingleSubfileFilesOfAGmapiFolder)
{
    const std::string product = "mapsource/gmapi/CorpusWest.gmap/Product1/11000001/";
    InputFile tre;
    tre.path = data_path(product + "11000001.TRE");
    ASSERT_EQ(read_input_file(tre), 1);
    EXPECT_EQ(tre.subfile_kind, SUB_TRE);
    ASSERT_NE(tre.single_subfile.tre_info, nullptr);
    EXPECT_EQ(tre.single_subfile.tre_info->map_id, 11000001u);
    EXPECT_EQ(tre.single_subfile.tre_info->fat_slot, 0u);

    InputFile lbl;
    lbl.path = data_path(product + "11000001.LBL");
    ASSERT_EQ(read_input_file(lbl), 1);
    ASSERT_NE(lbl.single_subfile.lbl_info, nullptr);
    EXPECT_EQ(lbl.single_subfile.lbl_info->code_page, 1252u);

    InputFile mdr;
    mdr.path = data_path("mapsource/gmapi/CorpusWest.gmap/corpwest_mdr/CORPWEST.MDR");
    ASSERT_EQ(read_input_file(mdr), 1);
    ASSERT_NE(mdr.single_subfile.header_info, nullptr);
    EXPECT_EQ(mdr.single_subfile.header_info->code_page, 1252u);
    EXPECT_EQ(mdr.data_code_page, 1252u);
    EXPECT_STREQ(mdr.single_subfile.name, "CORPWESTMDR");
}

TEST_F(HeaderRecords, TreLimits)
{
    // 119 bytes hold no record; 120 with a header of 116 and the levels
    // inside keep one without a map ID.
    std::vector<uint8_t> small = tre_bytes(116, 119, 0, 0);
    InputFile a = read_single(dir.file("a.tre"), small);
    EXPECT_EQ(a.single_subfile.tre_info, nullptr);

    std::vector<uint8_t> bytes = tre_bytes(116, 120, 116, 4);
    bytes[116] = 0x01;
    bytes[117] = 22;
    InputFile b = read_single(dir.file("b.tre"), bytes);
    ASSERT_NE(b.single_subfile.tre_info, nullptr);
    EXPECT_EQ(b.single_subfile.tre_info->map_id, 0u);
    EXPECT_EQ(b.single_subfile.tre_info->first_level_bits, 22);

    // A header of 120 carries the map ID; levels above 128 bytes drop the record.
    bytes = tre_bytes(120, 400, 200, 128);
    ByteSpan(bytes).put_u32(0x74, 12345678);
    InputFile c = read_single(dir.file("c.tre"), bytes);
    ASSERT_NE(c.single_subfile.tre_info, nullptr);
    EXPECT_EQ(c.single_subfile.tre_info->map_id, 12345678u);
    ByteSpan(bytes).put_u32(0x25, 132);
    InputFile d = read_single(dir.file("d.tre"), bytes);
    EXPECT_EQ(d.single_subfile.tre_info, nullptr);
    // A levels section that would end past the subfile, also through wrap-round.
    ByteSpan(bytes).put_u32(0x21, 0xFFFFFFF0u);
    ByteSpan(bytes).put_u32(0x25, 0x20);
    InputFile e = read_single(dir.file("e.tre"), bytes);
    EXPECT_EQ(e.single_subfile.tre_info, nullptr);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(error_count, 0);
}

TEST_F(HeaderRecords, GmpPartsAndMarks)
{
    // GMP header of 61 bytes; TRE part at 61 up to the RGN offset 181.
    std::vector<uint8_t> gmp = made::subfile_header("GMP", 61, 400);
    ByteSpan g(gmp);
    g.put_u32(GmpHeader::tre, 61);
    g.put_u32(GmpHeader::rgn, 181);
    g.put_u32(GmpHeader::nod, 300);
    std::vector<uint8_t> tre = tre_bytes(116, 120, 0, 0);
    g.put_bytes(61, tre.data(), tre.size());
    g.put_u32(GmpHeader::met, 320);
    g.put_bytes(322, "GARMIN MET", 10);
    InputFile file = read_single(dir.file("m.gmp"), gmp);
    ASSERT_NE(file.single_subfile.gmp_info, nullptr);
    ASSERT_NE(file.single_subfile.tre_info, nullptr);
    const TreInfo& info = *file.single_subfile.tre_info;
    EXPECT_EQ(info.gmp_part, 1);
    EXPECT_EQ(info.has_nod, 1);
    EXPECT_EQ(info.has_dem, 0);
    EXPECT_EQ(info.tre_offset, 61u);
    EXPECT_EQ(info.header_extent, 120u);
    EXPECT_EQ(file.single_subfile.gmp_info->met_kind, 2);
    EXPECT_EQ(file.single_subfile.gmp_info->met_bytes_read(), 80u);

    // No TRE offset: no TRE record.
    g.put_u32(GmpHeader::tre, 0);
    InputFile none = read_single(dir.file("n.gmp"), gmp);
    EXPECT_EQ(none.single_subfile.tre_info, nullptr);
    EXPECT_NE(none.single_subfile.gmp_info, nullptr);

    // A 57-byte header looks at 0x35: a MET there, or some other part.
    g.put_u16(0, 57);
    g.put_u32(GmpHeader::further, 320);
    InputFile met = read_single(dir.file("f.gmp"), gmp);
    EXPECT_EQ(met.single_subfile.gmp_info->part_kind, 2);
    EXPECT_EQ(met.single_subfile.gmp_info->met_kind, 1);
    g.put_u8(322, 'X');
    InputFile other = read_single(dir.file("o.gmp"), gmp);
    EXPECT_EQ(other.single_subfile.gmp_info->part_kind, 1);
    EXPECT_EQ(other.single_subfile.gmp_info->met_kind, 0);
    EXPECT_EQ(error_count, 0);

    // A TRE part without its signature is bad data: the read counts an error.
    g.put_u32(GmpHeader::tre, 61);
    g.put_u8(61 + 9, 'X');
    std::string path = dir.file("bad.gmp");
    InputFile bad = read_single(path, gmp);
    EXPECT_EQ(take_log(), "Bad data in TRE subfile, file " + path + ".\n");
    EXPECT_EQ(error_count, 1);
}

namespace {

// A GMP with LBL, NET and DEM parts besides its TRE and RGN.
std::string gmp_with_every_reader_part()
{
    GmpSpec spec;
    spec.net = common_header("NET", 100);
    spec.dem = DemSpec{};
    return gmp_subfile(spec);
}

std::vector<uint8_t> as_vector(const std::string& bytes) { return std::vector<uint8_t>(bytes.begin(), bytes.end()); }

}  // namespace

TEST_F(HeaderRecords, GmpPartsThatEndWhereTheyStartAreEmpty)
{
    // No record for either, and the next part's header is no bad TRE or LBL.
    std::string empty = gmp_with_every_reader_part();
    put_u32(empty, GmpHeader::tre, get_u32(empty, GmpHeader::rgn));
    put_u32(empty, GmpHeader::lbl, get_u32(empty, GmpHeader::net));
    InputFile file = read_single(dir.file("empty.gmp"), as_vector(empty));
    EXPECT_EQ(file.single_subfile.tre_info, nullptr);
    EXPECT_EQ(file.single_subfile.lbl_info, nullptr);
    EXPECT_NE(file.single_subfile.dem_info, nullptr);
    EXPECT_NE(file.single_subfile.gmp_info, nullptr);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(error_count, 0);
}

TEST_F(HeaderRecords, EveryReaderOfASingleGmpRunsAfterOneFailed)
{
    // A TRE part without its signature fails the file, but the LBL and DEM
    // parts behind it are still read.
    std::string bad = gmp_with_every_reader_part();
    put_u8(bad, get_u32(bad, GmpHeader::tre) + 9, 'X');
    std::string path = dir.file("bad.gmp");
    InputFile read = read_single(path, as_vector(bad));
    EXPECT_EQ(take_log(), "Bad data in TRE subfile, file " + path + ".\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_EQ(read.single_subfile.tre_info, nullptr);
    ASSERT_NE(read.single_subfile.lbl_info, nullptr);
    EXPECT_EQ(read.single_subfile.lbl_info->code_page, 1252u);
    EXPECT_NE(read.single_subfile.dem_info, nullptr);
}

TEST_F(HeaderRecords, LblAndDemLimits)
{
    std::vector<uint8_t> lbl = made::subfile_header("LBL", 196, 300);
    ByteSpan(lbl).put_u16(0xAC, 1250);
    InputFile a = read_single(dir.file("a.lbl"), lbl);
    ASSERT_NE(a.single_subfile.lbl_info, nullptr);
    EXPECT_EQ(a.single_subfile.lbl_info->code_page, 1250u);
    ByteSpan(lbl).put_u32(0xB0, 50);
    ByteSpan(lbl).put_u32(0xB4, 199);
    InputFile b = read_single(dir.file("b.lbl"), lbl);
    EXPECT_EQ(b.single_subfile.lbl_info, nullptr);

    // Level records that would end past the subfile: the record stays,
    // without them.
    std::vector<uint8_t> dem = made::subfile_header("DEM", 41, 200);
    ByteSpan(dem).put_u16(0x19, 2);
    ByteSpan(dem).put_u16(0x1F, 60);
    ByteSpan(dem).put_u32(0x21, 81);
    InputFile c = read_single(dir.file("c.dem"), dem);
    ASSERT_NE(c.single_subfile.dem_info, nullptr);
    EXPECT_EQ(c.single_subfile.dem_info->level_count, 0u);
    EXPECT_TRUE(c.single_subfile.dem_info->first_level_record.empty());
    ByteSpan(dem).put_u32(0x21, 80);
    InputFile d = read_single(dir.file("d.dem"), dem);
    EXPECT_EQ(d.single_subfile.dem_info->level_count, 2u);
    EXPECT_EQ(take_log(), "");
}

TEST_F(HeaderRecords, TypLengthsAndSignature)
{
    std::vector<uint8_t> short_typ = made::subfile_header("TYP", 91, 90);
    SingleData a(dir, SUB_TYP, short_typ);
    EXPECT_EQ(read_typ_header(a.file, nullptr), 1);
    EXPECT_EQ(a.file.single_subfile.header_info, nullptr);
    EXPECT_EQ(a.file.subfile_kind, SUB_TYP);

    std::vector<uint8_t> unsigned_typ(200, 0);
    SingleData b(dir, SUB_TYP, unsigned_typ);
    EXPECT_EQ(read_typ_header(b.file, nullptr), 1);
    EXPECT_EQ(b.file.subfile_kind, SUB_OTHER);
    EXPECT_EQ(b.file.single_subfile.kind, SUB_OTHER);
    EXPECT_EQ(b.file.single_subfile.bad_data, 1);
    EXPECT_EQ(warning_count, 1);
    EXPECT_EQ(take_log(), "== Warning: Bad data in TYP subfile, file " + b.file.path + ".\n");

    // Signed but with a short header length: dropped without a word.
    std::vector<uint8_t> short_header = made::subfile_header("TYP", 90, 200);
    SingleData c(dir, SUB_TYP, short_header);
    EXPECT_EQ(read_typ_header(c.file, nullptr), 1);
    EXPECT_EQ(c.file.single_subfile.header_info, nullptr);
    EXPECT_EQ(c.file.subfile_kind, SUB_TYP);
    EXPECT_EQ(take_log(), "");
}

TEST_F(HeaderRecords, TdbVersionsAndRecordEnd)
{
    // Version 399: no code page.
    std::vector<uint8_t> tdb(60, 0);
    ByteSpan t(tdb);
    t.put_u8(0, 'P');
    t.put_u16(1, 37);
    t.put_u16(3, 2);
    t.put_u16(5, 1201);
    t.put_u16(7, 399);
    InputFile old = read_single(dir.file("old.tdb"), tdb);
    EXPECT_EQ(old.fid, 1201u);
    EXPECT_EQ(old.pid, 2u);
    EXPECT_EQ(old.data_code_page, 0u);
    ASSERT_NE(old.single_subfile.header_info, nullptr);

    // Version 400 needs its record to reach 34 bytes past the second text:
    // texts "A" (9, NUL at 10), two bytes, "B" (13, NUL at 14).
    t.put_u16(7, 400);
    t.put_bytes(9, "A\0xxB\0", 6);
    t.put_u16(14 + 31, 1250);
    t.put_u16(1, 14 + 34 - 3);
    InputFile good = read_single(dir.file("good.tdb"), tdb);
    EXPECT_EQ(good.data_code_page, 1250u);
    EXPECT_EQ(good.subfile_kind, SUB_TDB);
    t.put_u16(1, 14 + 33 - 3);
    std::string path = dir.file("bad.tdb");
    InputFile bad = read_single(path, tdb);
    EXPECT_EQ(bad.subfile_kind, SUB_OTHER);
    EXPECT_EQ(take_log(), "== Warning: Bad data in TDB subfile, file " + path + ".\n");
    // A record length past the bytes there.
    t.put_u16(1, 60);
    InputFile past = read_single(path, tdb);
    EXPECT_EQ(past.subfile_kind, SUB_OTHER);
    EXPECT_EQ(warning_count, 2);
}

TEST_F(HeaderRecords, OtherKindsWarnByName)
{
    struct Case {
        SubfileKind kind;
        size_t size;
        uint32_t signature_at;
        const char* signature;
        const char* name;  // in the warning
    };
    const Case cases[] = {
        {SUB_TRF, 73, 2, "GARMIN TRF", "TRF"}, {SUB_MMR, 150, 2, "GARMIN MMR", "MMR"},
        {SUB_IDX, 33, 4, "ISM.IDX", "ISM"},    {SUB_QSI, 18, 0, "QSI", "QSI"},
        {SUB_SID, 42, 0, "GARMIN SID", "SID"}, {SUB_JCV, 108, 2, "GARMIN JCV", "JCV"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes(c.size, 0);
        SingleData bad(dir, c.kind, bytes);
        EXPECT_EQ(read_other_header(bad.file, nullptr), 1);
        EXPECT_EQ(bad.file.subfile_kind, SUB_OTHER);
        EXPECT_EQ(take_log(), std::string("== Warning: Bad data in ") + c.name + " subfile, file " + bad.file.path + ".\n");

        // Signed, with the header length at its minimum.
        ByteSpan(bytes).put_bytes(c.signature_at, c.signature, strlen(c.signature));
        if (c.signature_at == 2)
            ByteSpan(bytes).put_u16(0, static_cast<uint16_t>(c.size));
        if (c.kind == SUB_IDX)
            ByteSpan(bytes).put_u32(0, 33);
        SingleData good(dir, c.kind, bytes);
        EXPECT_EQ(read_other_header(good.file, nullptr), 1);
        EXPECT_EQ(good.file.subfile_kind, c.kind);
        EXPECT_NE(good.file.single_subfile.header_info, nullptr);
        EXPECT_EQ(take_log(), "");
    }
    EXPECT_EQ(warning_count, 6);
}

TEST_F(HeaderRecords, JcvPointerIsCheckedIn64Bits)
{
    std::vector<uint8_t> jcv = made::subfile_header("JCV", 108, 200);
    ByteSpan j(jcv);
    j.put_u16(0x62, 8);
    j.put_u32(0x5E, 100);
    j.put_u32(100, 7);
    j.put_u32(104, 9);
    SingleData good(dir, SUB_JCV, jcv);
    ASSERT_EQ(read_jcv_header(good.file, nullptr), 1);
    ASSERT_NE(good.file.single_subfile.header_info, nullptr);
    EXPECT_EQ(good.file.single_subfile.header_info->jcv_values[0], 7u);
    EXPECT_EQ(good.file.single_subfile.header_info->jcv_values[1], 9u);

    j.put_u32(0x5E, 0xFFFFFFFCu);
    SingleData wrapped(dir, SUB_JCV, jcv);
    ASSERT_EQ(read_jcv_header(wrapped.file, nullptr), 1);
    ASSERT_NE(wrapped.file.single_subfile.header_info, nullptr);
    EXPECT_EQ(wrapped.file.single_subfile.header_info->jcv_values[0], 0u);
}

TEST_F(HeaderRecords, ReadErrorInsideASingleFileFailsTheReader)
{
    // A file shorter than the length it was described with.
    SingleData data(dir, SUB_TRE, tre_bytes(116, 64, 0, 0));
    data.file.data_length = 4000;
    EXPECT_EQ(read_tre_header(data.file, nullptr), 0);
    EXPECT_EQ(take_log(), "Read error, file " + data.file.path + ".\n");
    EXPECT_EQ(data.file.single_subfile.tre_info, nullptr);
}
