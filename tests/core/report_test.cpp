// The information report: synthetic files for every branch the real test
// data cannot reach, and the sign rule of TRE bounds it shares with the
// writers. The real files are checked against golden reports in
// report_golden_test.cpp.
#include "operations/task_bridge.h"
#include "core/report.h"

#include <gtest/gtest.h>

#include <string>

#include "core/coordinates.h"
#include "core/host.h"
#include "core/messages.h"
#include "core/product_code.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

class InfoReport : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
        english_texts = 1;
        load_core_messages(nullptr, 0, 0);
        take_log();
    }
    void TearDown() override
    {
        clear_task_options(task_options);
        test_stop_after_polls = -1;
        english_texts = 1;
        load_core_messages(nullptr, 0, 0);
    }

    // Reads path and returns the report's log; result gets print_info_report's value.
    // stop_after: the polls answered before Stop is requested (-1: never).
    std::string report(const std::string& path, bool verbose = false, int* result = nullptr, int stop_after = -1)
    {
        task_options.verbose = verbose;
        input = std::make_unique<InputFile>();
        input->path = path;
        read_input_file(*input);
        take_log();
        test_stop_after_polls = stop_after;
        int r = print_info_report(*input);
        test_stop_after_polls = -1;
        if (result)
            *result = r;
        else
            EXPECT_EQ(r, 1);
        return take_log();
    }

    // The report of a single file of these bytes, by name.
    std::string single(const std::string& name, const std::string& bytes, bool verbose = true)
    {
        return report(write_single_file(dir, name, bytes), verbose);
    }

    ScratchDir dir;
    std::unique_ptr<InputFile> input;
};

// A TRE whose texts lie between the header and the levels section.
std::string tre_with_texts(const TreSpec& spec, const std::string& texts)
{
    // Built as if it started texts.size() bytes later, so its section
    // offsets already point past the texts inserted after the header.
    std::string bytes = tre_subfile(spec, static_cast<uint32_t>(texts.size()));
    bytes.insert(spec.header_length, texts);
    return bytes;
}

// "\nData KIND:  length N" as the data line starts.
std::string data_line(const char* kind, size_t length)
{
    char text[64];
    snprintf(text, sizeof text, "\nData %s:  length %6zu", kind, length);
    return text;
}

std::array<uint8_t, 9> packed_product_code(const char (&code)[13])
{
    std::array<uint8_t, 9> bytes{};
    pack_product_code(std::span<const char, 12>(code, 12), bytes);
    return bytes;
}

}  // namespace

TEST_F(InfoReport, FileThatFailedToOpen)
{
    std::string path = dir.file("missing.img");
    EXPECT_EQ(report(path), "\n\nFile:\t\t" + path + ", length 0\nFile format errors (1)\n\n\n");
    EXPECT_EQ(input->status, READ_OPEN_FAILED);
}

TEST_F(InfoReport, HeaderLines)
{
    // Year 118 with month 0: years since 1900 and a 0-based month.
    ImgSpec spec{.xor_byte = 0x3C, .version_major = 2, .version_minor = 5, .mapsource_flag = 1,
                 .created = {118, 0, 15, 13, 14, 15}, .product_code = packed_product_code("TARN_01     "),
                 .mapset_name_1 = "Corpus", .mapset_name_2 = "West  "};
    ImgBuilder b(spec);
    b.add_subfile("WEST1101", "TYP", typ_subfile(1252, 1101, 1));
    b.write(dir.file("h.img"));
    std::string log = report(dir.file("h.img"));
    // The 20-byte first part keeps its blanks; only the trailing ones go.
    EXPECT_NE(log.find("\nHeader:   \t15.01.2018 13:14:15, DSKIMG, XOR 3C, V 2.05, Ms 1, TARN_01\n"
                       "Mapset:   \tCorpus" +
                       std::string(14, ' ') + "West\n"),
              std::string::npos)
        << log;

    // A full year stays as it is; a product code of blanks prints nothing.
    ImgBuilder plain({.signature = "DSDIMG", .created = {2024, 6, 1, 12, 0, 0}});
    plain.add_subfile("WEST1101", "TYP", typ_subfile());
    plain.write(dir.file("p.img"));
    log = report(dir.file("p.img"));
    EXPECT_NE(log.find("\nHeader:   \t01.06.2024 12:00:00, DSDIMG, XOR 00, V 0.00, Ms 0\nMapset:   \t\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("fat:"), std::string::npos);

    // Numbers wider than their places print whole, as printf would: a year
    // below 256 with month 255 gives month 256; a year of five digits.
    ImgBuilder wide({.created = {255, 255, 255, 7, 99, 100}});
    wide.add_subfile("WEST1101", "TYP", typ_subfile());
    wide.write(dir.file("w1.img"));
    log = report(dir.file("w1.img"));
    EXPECT_NE(log.find("\nHeader:   \t255.256.2155 07:99:100, "), std::string::npos) << log;
    ImgBuilder wider({.created = {65535, 9, 0, 0, 5, 0}});
    wider.add_subfile("WEST1101", "TYP", typ_subfile());
    wider.write(dir.file("w2.img"));
    log = report(dir.file("w2.img"));
    EXPECT_NE(log.find("\nHeader:   \t00.09.65535 00:05:00, "), std::string::npos) << log;

    // Verbose: the FAT geometry.
    ImgLayout layout = plain.layout();
    char fat[128];
    snprintf(fat, sizeof fat, "fat:\t\t%Xh - %Xh - %Xh, block 512\n", layout.first_fat_offset,
             layout.first_fat_offset + 512 * layout.header_entries, layout.header_fat_size);
    log = report(dir.file("p.img"), true);
    EXPECT_NE(log.find(fat), std::string::npos) << log;
}

TEST_F(InfoReport, SingleTypFile)
{
    std::string path = write_single_file(dir, "west.typ", typ_subfile(1250, 1101, 7, 156, 300));
    EXPECT_EQ(report(path), "\n\nFile:\t\t" + path +
                                ", length 300\n\nData TYP:  length    300, PID 7, FID 1101, name west.typ\n\n\n");
    EXPECT_EQ(report(path, true), "\n\nFile:\t\t" + path +
                                      ", length 300\n\nData TYP:  length    300, PID 7, FID 1101, name west.typ"
                                      "\n\tdate 01.06.2024 12:00:00\n\tCP 1250, PID 7, FID 1101\n\n\n");
}

TEST_F(InfoReport, SingleTreDetails)
{
    TreSpec spec{.header_length = 256,
                 .map_id = 0x00ABCDEF,
                 .levels = tre_level(3, 18, 1, true) + tre_level(1, 22, 2),
                 .flags = 0x0F,
                 .priority = 31,
                 .params = {1, 4, 0x17},
                 // The edges of the sign rule: 0x800000 is +180 degrees as a
                 // north or east value and -180 degrees as a south or west value.
                 .north = 0x800000,
                 .east = 0x800001,
                 .south = 0x800000,
                 .west = 0x7FFFFF};
    // Runs end at a NUL or a line feed; a control character shows as '.';
    // a run longer than 198 bytes goes on in the next line.
    std::string long_run(250, 'x');
    std::string texts = std::string("First line\nSecond\x1b[31m red\0\0", 28) + long_run + '\0';
    std::string bytes = tre_with_texts(spec, texts);
    put_u32(bytes, 0xF1, 1);
    put_u32(bytes, 0xF5, 2);
    std::string log = single("00ABCDEF.TRE", bytes);
    EXPECT_NE(log.find(data_line("TRE", bytes.size()) + ", name 00ABCDEF.TRE"
                       "\n\tmap abcdef (11259375)"
                       "\n\tdate 01.06.2024 12:00:00"
                       "\n\tpriority 31, parameters 1 4 23 15, transparent, signed"
                       "\n\tlevels [18,22], zoom [83,1]"
                       "\n\tN: 180.000000, S: -180.000000, W: 179.999979, E: -179.999979"
                       "\n\tFirst line\n\tSecond.[31m red\n\t" +
                       std::string(198, 'x') + "\n\t" + std::string(52, 'x') + "\n\n\n"),
              std::string::npos)
        << log;

    // Without the two u32 after 0xF0 the map is not signed; a header of 119
    // bytes or less has no map ID line.
    put_u32(bytes, 0xF5, 0);
    log = single("00ABCDEF.TRE", bytes);
    EXPECT_NE(log.find("parameters 1 4 23 15, transparent\n"), std::string::npos) << log;
    spec.header_length = 116;
    spec.flags = 0x0D;
    log = single("short.TRE", tre_with_texts(spec, ""));
    EXPECT_NE(log.find("name short.TRE\n\tdate 01.06.2024 12:00:00\n\tpriority 31, parameters 1 4 23 13\n"),
              std::string::npos)
        << log;
}

TEST_F(InfoReport, SingleGmpDetails)
{
    GmpSpec spec{.after_header = std::string("Tarnwick\0\0", 10),
                 .lbl = LblSpec{.code_page = 1250, .sort_description = "Central European"},
                 .nod = common_header("NOD", 63),
                 .dem = DemSpec{.header_length = 48, .level_count = 2}};
    std::string bytes = gmp_subfile(spec);
    // The first DEM level record: west at 0x28, north at 0x2C, 2^32 units = 360 degrees.
    uint32_t dem = get_u32(bytes, 0x2D);
    uint32_t record = get_u32(bytes, dem + 0x21);
    put_u32(bytes, record + 0x28, 0xC0000000u);  // -90 degrees
    put_u32(bytes, record + 0x2C, 0x20000000u);  // 45 degrees
    std::string log = single("12345678.GMP", bytes);
    EXPECT_NE(log.find(", name 12345678.GMP"
                       "\n\tGMP: TRE RGN LBL NOD DEM"
                       "\n\tGMP: date 01.06.2024 12:00:00"
                       "\n\tmap 0 (0)"
                       "\n\tTRE: date 01.06.2024 12:00:00"
                       "\n\tpriority 25, parameters 1 3 17 13"
                       "\n\tlevels [18,20,22,24], zoom [83,2,1,0]"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\n\tCP 1250, Central European"
                       "\n\tDEM layers: 2, N: 45.000000, W: -90.000000"
                       "\n\tTarnwick 1.0\n\n\n"),
              std::string::npos)
        << log;
}

TEST_F(InfoReport, SingleDataFiles)
{
    std::string mmr = mmr_subfile(1252, 150, 200);
    put_text(mmr, 0x15, std::string("Marine\x01map", 10));
    put_u32(mmr, 0x28, 0x12345);
    std::string md2 = md2_subfile(236);
    put_date(md2, 4, {2023, 12, 24, 18, 30, 5});
    put_text(md2, 0x15, "Index two");
    std::string idx = idx_subfile(53, 60);
    put_date(idx, 0x0B, {2022, 2, 3, 4, 5, 6});
    std::string jcv = jcv_subfile({.values = std::array<uint32_t, 2>{640, 480}});
    put_text(jcv, 0x15, "Junction 1");

    struct Case {
        const char* name;
        std::string bytes;
        std::string details;  // what follows the data line's name
    } cases[] = {
        {"a.trf", trf_subfile(1250, 73, 100), "\n\tdate 01.06.2024 12:00:00, CP 1250"},
        {"b.mdr", mdr_subfile(1257, 286, 300), "\n\tdate 01.06.2024 12:00:00, CP 1257"},
        {"c.mmr", mmr, "\n\tmap 12345 (74565)\n\tCP 1252, Marine map"},
        {"d.mmr", mmr_subfile(1252, 150, 200), "\n\tCP 1252"},
        {"e.md2", md2, "\n\tdate 24.12.2023 18:30:05\n\tIndex two"},
        {"f.idx", idx, "\n\tdate 03.02.2022 04:05:06"},
        {"g.qsi", qsi_subfile(4711, 30), "\n\tFID 4711"},
        {"h.jcv", jcv, "\n\tdate 01.06.2024 12:00:00\n\tJunction 1\n\tpicture size 640*480"},
        {"i.jcv", jcv_subfile({.values = std::array<uint32_t, 2>{640, 0}}), "\n\tdate 01.06.2024 12:00:00"},
        {"j.sid", sid_subfile(60), ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string log = single(c.name, c.bytes);
        std::string name = std::string(", name ") + c.name;
        size_t at = log.find(name);
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(log.substr(at + name.size()), c.details + "\n\n\n");
    }
}

TEST_F(InfoReport, TdbTexts)
{
    // The second text shows unless it is the first again, case ignored.
    // Before version 400 a TDB has no code page.
    std::string tdb = tdb_file({.version = 312, .pid = 2, .fid = 77, .series = "Corpus\x02Series",
                                .family = "Corpus family"});
    std::string log = single("x.tdb", tdb);
    EXPECT_NE(log.find(data_line("TDB", tdb.size()) + ", PID 2, FID 77, name x.tdb\n\tCP    0, PID 2, FID 77\n\tCorpus.Series (3.12)"
                       "\n\tCorpus family\n\n\n"),
              std::string::npos)
        << log;
    log = single("y.tdb", tdb_file({.version = 400, .series = "Same", .family = "SAME"}));
    EXPECT_NE(log.find(", name y.tdb\n\tCP 1252, PID 1, FID 1\n\tSame (4.00)\n\n\n"), std::string::npos) << log;
    log = single("z.tdb", tdb_file({.version = 0, .series = "One", .family = "Two"}));
    EXPECT_NE(log.find(", name z.tdb\n\tCP    0, PID 1, FID 1\n\tOne\n\tTwo\n\n\n"), std::string::npos) << log;
}

TEST_F(InfoReport, StopRequests)
{
    std::string path = write_single_file(dir, "west.typ", typ_subfile());
    int result = 0;
    EXPECT_EQ(report(path, true, &result, 0), "");
    EXPECT_EQ(result, -1);

    // A stop after the data line keeps what was printed, without the closing lines.
    std::string whole = report(path, true);
    EXPECT_EQ(report(path, true, &result, 1), whole.substr(0, whole.size() - 2));
    EXPECT_EQ(result, -1);

    // A stop after the header block of a container.
    ImgBuilder b;
    b.add_subfile("WEST1101", "TYP", typ_subfile());
    b.write(dir.file("c.img"));
    std::string log = report(dir.file("c.img"), true, &result, 1);
    EXPECT_EQ(result, -1);
    std::string end = "sub-files " + std::to_string(input->subfile_count) + "\n";
    ASSERT_GT(log.size(), end.size());
    EXPECT_EQ(log.substr(log.size() - end.size()), end) << log;
}

TEST_F(InfoReport, PolishTexts)
{
    english_texts = 0;
    load_core_messages(nullptr, 0, 0);
    std::string path = write_single_file(dir, "west.typ", typ_subfile(1250, 1101, 7, 156, 300));
    EXPECT_EQ(report(path, true), "\n\nPlik:\t\t" + path +
                                      ", długość 300\n\nDane TYP:  długość    300, PID 7, FID 1101, nazwa west.typ"
                                      "\n\tdata 01.06.2024 12:00:00\n\tCP 1250, PID 7, FID 1101\n\n\n");
}

TEST(FileKindNames, EveryKind)
{
    const char* expected[] = {" - ", "TRF", "TYP", "TDB", "MMR", "MD2", " ??", "SRT", "IDX",
                              "ISM", "QSI", "SID", "MPC", "MPS", "NT ", "JCV", " ? "};
    for (uint32_t kind = 0; kind < 17; ++kind)
        EXPECT_STREQ(get_file_kind_name(kind), expected[kind]) << kind;
    EXPECT_STREQ(get_file_kind_name(17), " ??");
    EXPECT_STREQ(get_file_kind_name(0xFFFFFFFFu), " ??");
}

TEST(TreBoundsSign, UpperAndLowerEdges)
{
    EXPECT_EQ(upper_edge_units(0x7FFFFF), 0x7FFFFF);
    EXPECT_EQ(upper_edge_units(0x800000), 0x800000);
    EXPECT_EQ(upper_edge_units(0x800001), -0x7FFFFF);
    EXPECT_EQ(upper_edge_units(0xFFFFFF), -1);
    EXPECT_EQ(lower_edge_units(0x7FFFFF), 0x7FFFFF);
    EXPECT_EQ(lower_edge_units(0x800000), -0x800000);
    EXPECT_EQ(lower_edge_units(0xFFFFFF), -1);
    EXPECT_DOUBLE_EQ(map_units_to_degrees(0x800000), 180.0);
    EXPECT_DOUBLE_EQ(map_units_to_degrees(-0x400000), -90.0);

    std::string header = tre_subfile({.north = 0x217503, .east = 0xFFFFFF, .south = 0x800000, .west = 0x05B05B});
    TreBounds b = read_tre_bounds(ByteView(reinterpret_cast<const uint8_t*>(header.data()), header.size()));
    EXPECT_EQ(b.north, 0x217503);
    EXPECT_EQ(b.east, -1);
    EXPECT_EQ(b.south, -0x800000);
    EXPECT_EQ(b.west, 0x05B05B);
    // A header too short for the bounds reads as zeros.
    TreBounds none = read_tre_bounds(ByteView(reinterpret_cast<const uint8_t*>(header.data()), 0x1D));
    EXPECT_EQ(none.south, 0);
    EXPECT_EQ(none.west, 0);
    EXPECT_EQ(none.north, 0x217503);
}

// ---------------------------------------------------------------- containers

namespace {

// " %9u%3u" of a map's length and subfile count, as the map table prints them.
std::string length_and_count(size_t length, unsigned count)
{
    char text[32];
    snprintf(text, sizeof text, " %9zu%3u", length, count);
    return text;
}

// A payload of the given u16 values, then the bytes of more.
std::string u16_payload(std::initializer_list<uint16_t> values, const std::string& more = "")
{
    std::string bytes(2 * values.size(), '\0');
    size_t at = 0;
    for (uint16_t v : values)
        put_u16(bytes, 2 * at++, v);
    return bytes + more;
}

// Inserts text before the end of the line that holds marker.
void insert_at_line_end(std::string& text, const std::string& marker, const std::string& more)
{
    size_t at = text.find(marker);
    ASSERT_NE(at, std::string::npos) << marker;
    text.insert(text.find('\n', at), more);
}

}  // namespace

TEST_F(InfoReport, MapTable)
{
    TreSpec tre{.header_length = 256, .map_id = 12345678, .flags = 0x0F, .priority = 31};
    std::string tre_bytes = tre_subfile(tre);
    put_u32(tre_bytes, 0xF1, 1);
    put_u32(tre_bytes, 0xF5, 1);
    std::string rgn = common_header("RGN", 125);
    std::string lbl = lbl_subfile({.code_page = 1250});
    std::string typ = typ_subfile(1252, 1101, 1);
    std::string gmp = gmp_subfile({.tre = TreSpec{.map_id = 22222222}});
    std::string lone(40, 'x');
    // Texts in code page 1250: "Mapa Łódź", "Rodzina Środek".
    std::string mps = mps_l_record(3, 1301, 12345678, {"Series", "Mapa \xA3\xF3\x64\x9F", "Area"}) +
                      mps_l_record(3, 1302, 22222222, {"Same", "Gmp map", "Same"}) +
                      mps_f_record(3, 1301, "Rodzina \x8Crodek") + mps_v_record("Zestaw", 1);
    ImgBuilder b;
    b.add_subfile("12345678", "TRE", tre_bytes);
    b.add_subfile("12345678", "RGN", rgn);
    b.add_subfile("12345678", "LBL", lbl);
    b.add_subfile("WEST1101", "TYP", typ);
    b.add_subfile("22222222", "GMP", gmp);
    b.add_subfile("LONE", "ABC", lone);
    b.add_subfile("MAKEGMAP", "MPS", mps);
    b.write(dir.file("maps.img"));

    // Code page, priority, T(ransparent) and S(igned), IDs from the data
    // header or the 'L' record, the map name; each line ends after its last
    // column that has something to show.
    std::string table = "\nMap              length s-f  CP    prio  PID   FID  name\n"
                        " 12345678 MPC" +
                        length_and_count(tre_bytes.size() + rgn.size() + lbl.size(), 3) +
                        "  1250  31  TS   3  1301  Mapa Łódź\n"
                        " WEST1101 TYP" +
                        length_and_count(typ.size(), 1) +
                        "  1252           1  1101\n"
                        " 22222222 NT " +
                        length_and_count(gmp.size(), 1) +
                        "  1252  25       3  1302  Gmp map\n"
                        " LONE      ? " +
                        length_and_count(lone.size(), 1) +
                        "\n"
                        " MAKEGMAP MPS" +
                        length_and_count(mps.size(), 1) + "\n";
    std::string log = report(dir.file("maps.img"));
    EXPECT_NE(log.find(table + "\nData MPS\n F: PID 3, FID 1301, Rodzina Środek\n V: Zestaw (1)\n\n\n"),
              std::string::npos)
        << log;

    // Verbose: the third and the first text of each 'L' record, the first
    // only when it is not the third again.
    insert_at_line_end(table, "Mapa Łódź", "  >Area  >Series");
    insert_at_line_end(table, "Gmp map", "  >Same");
    log = report(dir.file("maps.img"), true);
    EXPECT_NE(log.find(table + "\nData MPS\n"
                               " L: PID 3, FID 1301, map BC614E, (12345678 0),  Mapa Łódź  >Area  >Series\n"
                               " L: PID 3, FID 1302, map 153158E, (22222222 0),  Gmp map  >Same\n"
                               " F: PID 3, FID 1301, Rodzina Środek\n V: Zestaw (1)\n\n\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("maps:\t\t5, sub-files 7\n"), std::string::npos) << log;
}

TEST_F(InfoReport, MpsRecordLetters)
{
    std::string mps =
        mps_record('D', "ab") + mps_record('D', u16_payload({0x1234, 0}, std::string("\x02\x05\0\0", 4))) +
        mps_record('F', "ab") + mps_record('F', u16_payload({9, 8})) +
        mps_f_record(9, 8, "Famille \xE9t\xE9") +  // code page 1252: "Famille été"
        mps_record('L', "ab") + mps_record('L', u16_payload({4, 5})) +
        mps_l_record(4, 5, 0xABC, {"One", "Two", "Three"}, 0x77) + mps_record('M', "ab") +
        mps_record('M', u16_payload({0xBCDE, 0xA})) +
        mps_record('M', u16_payload({0xBCDE, 0xA, 0x77, 0}, "\x01\x07")) + mps_record('P', "ab") +
        mps_record('P', u16_payload({1, 2})) + mps_p_record(1, 2, {0xA, 0xB, 0xC}) + mps_v_record("Zestaw", 1) +
        mps_record('V', "Name") + mps_record('V', "") + mps_record('X', "a") + mps_record('\x07', "");
    ImgBuilder b;
    b.add_subfile("WEST1101", "TYP", typ_subfile(1252, 1101, 1));
    b.add_subfile("MAKEGMAP", "MPS", mps);
    b.write(dir.file("mps.img"));

    // Without verbose only the named 'F' and 'V' records show.
    std::string log = report(dir.file("mps.img"));
    EXPECT_NE(log.find("\nData MPS\n F: PID 9, FID 8, Famille été\n V: Zestaw (1)\n V: Name\n\n\n"),
              std::string::npos)
        << log;

    log = report(dir.file("mps.img"), true);
    EXPECT_NE(log.find("\nData MPS\n"
                       " D: len. 5\n"
                       " D: levels [2 - 5], (1234)\n"
                       " F: len. 5\n"
                       " F: PID 9, FID 8\n"
                       " F: PID 9, FID 8, Famille été\n"
                       " L: len. 5\n"
                       " L: PID 4, FID 5\n"
                       " L: PID 4, FID 5, map ABC, (2748 77),  Two  >Three  >One\n"
                       " M: len. 5\n"
                       " M: map ABCDE\n"
                       " M: map ABCDE, levels [1 - 7], (0077)\n"
                       " P: len. 5\n"
                       " P: PID 1, FID 2\n"
                       " P: PID 1, FID 2, (A B C)\n"
                       " V: Zestaw (1)\n"
                       " V: Name\n"
                       " V: len. 3\n"
                       " X: len. 4\n"
                       " .: len. 3\n\n\n"),
              std::string::npos)
        << log;
}

TEST_F(InfoReport, SubfileTable)
{
    std::string tre = tre_subfile({.map_id = 12345678});
    std::string lbl = lbl_subfile({.code_page = 1250, .sort_description = "Central European"});
    std::string gmp = gmp_subfile({.after_header = std::string("Tarnwick\0\0", 10)});
    std::string typ = typ_subfile(1252, 1101, 1);
    ImgBuilder b;
    int t = b.add_subfile("12345678", "TRE", tre);
    b.add_subfile("12345678", "LBL", lbl);
    b.add_subfile("22222222", "GMP", gmp);
    int y = b.add_subfile("WEST1101", "TYP", typ);
    // One block of the TYP past the end of the file: the row shows " ???".
    b.set_fat_block(y, 0, 1, 999);
    ImgLayout layout = b.layout();
    b.write(dir.file("sub.img"));

    std::string log = report(dir.file("sub.img"), true);
    char row[64];
    snprintf(row, sizeof row, " 12345678 TRE %6zXh %9zu\n\tmap bc614e (12345678)\n", layout.entry_offset(t, 0),
             tre.size());
    EXPECT_NE(log.find("\nFile format errors (0)\n"), std::string::npos) << log;
    EXPECT_NE(log.find(std::string("\nSub-file         fat     length\n") + row), std::string::npos) << log;
    EXPECT_NE(log.find("\n\tCP 1250, Central European\n 22222222 GMP"), std::string::npos) << log;
    EXPECT_NE(log.find("\n\tGMP: TRE RGN LBL\n\tGMP: date 01.06.2024 12:00:00\n\tmap 0 (0)\n\tTRE: date"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("\n\tCP 1252, Western European sort\n\tTarnwick 1.0\n WEST1101 TYP"), std::string::npos)
        << log;
    snprintf(row, sizeof row, " WEST1101 TYP %6zXh %9zu ???\n", layout.entry_offset(y, 0), typ.size());
    EXPECT_NE(log.find(row), std::string::npos) << log;
}

TEST_F(InfoReport, RowWithoutSubfile)
{
    // The subfile table never leaves a row without its subfile for a file
    // it read; the report still shows one rather than fail.
    InputFile file;
    file.path = "made.img";
    file.subfile_count = 1;
    file.subfile_index.rows.push_back({0x600, 0, nullptr});
    task_options.verbose = 1;
    EXPECT_EQ(print_info_report(file), 1);
    EXPECT_NE(take_log().find("\nSub-file         fat     length\n ???             600h\n"), std::string::npos);
}

TEST_F(InfoReport, StopEveryFiftySubfileRows)
{
    ImgBuilder b;
    for (int i = 0; i < 120; ++i) {
        char name[9];
        snprintf(name, sizeof name, "%08d", i);
        b.add_subfile(name, "ABC", "x");
    }
    b.write(dir.file("many.img"));
    // Polls: the start, the header block, after rows 49 and 99: the fourth stops.
    int result = 0;
    std::string log = report(dir.file("many.img"), true, &result, 3);
    EXPECT_EQ(result, -1);
    size_t rows = 0;
    for (size_t at = log.find(" ABC "); at != std::string::npos; at = log.find(" ABC ", at + 1))
        ++rows;
    EXPECT_EQ(rows, 100u);
    EXPECT_EQ(log.find("\nMap "), std::string::npos);
}

TEST_F(InfoReport, XorTwinReadsLikeItsPlainFile)
{
    for (bool verbose : {false, true}) {
        std::string plain = report(data_path("gmapsupp/west-1101-p1.img"), verbose);
        std::string scrambled = report(data_path("damaged/valid-xor-5a.img"), verbose);
        size_t at = scrambled.find(", XOR 5A,");
        ASSERT_NE(at, std::string::npos) << scrambled;
        scrambled.replace(at, 9, ", XOR 00,");
        std::string path = data_path("damaged/valid-xor-5a.img");
        scrambled.replace(scrambled.find(path), path.size(), data_path("gmapsupp/west-1101-p1.img"));
        EXPECT_EQ(scrambled, plain);
    }
}

TEST_F(InfoReport, DamagedFilesShowWhatWasRead)
{
    struct Case {
        const char* file;
        const char* errors;  // the format-errors line, or null
    } cases[] = {
        {"damaged/trunc-tiny.img", "File format errors (3)\n"},
        {"damaged/bad-block-base.img", "File format errors (3)\n"},
        {"damaged/header-fat-length-huge.img", "File format errors (3)\n"},
        {"damaged/fat-wrong-part-number.img", "File format errors (4)\n"},
        // Damage flags alone: read, but not sound.
        {"damaged/fat-block-past-end.img", "File format errors (0)\n"},
        {"damaged/fat-size-too-big.img", "File format errors (0)\n"},
        {"damaged/mps-last-record-cut.img", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        std::string log = report(data_path(c.file), true);
        if (c.errors)
            EXPECT_NE(log.find(c.errors), std::string::npos) << log;
        else
            EXPECT_EQ(log.find("File format errors"), std::string::npos) << log;
        EXPECT_EQ(log.substr(log.size() - 2), "\n\n");
    }
    // A subfile whose FAT is damaged is marked in the subfile table.
    std::string log = report(data_path("damaged/fat-block-past-end.img"), true);
    EXPECT_NE(log.find(" 11000001 RGN    800h"), std::string::npos) << log;
    EXPECT_NE(log.find(" ???\n"), std::string::npos) << log;
}
