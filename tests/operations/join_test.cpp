// The join of real and builder-made inputs: every output reads back with
// our reader, sums to 0, holds every input subfile byte for byte, and
// carries the MPS records the inputs and options call for. Where mkgmap is
// installed it reads the outputs too.
#include "operations/join.h"

#include <gtest/gtest.h>

#include <tuple>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "core/coordinates.h"
#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/img_format.h"
#include "core/product_code.h"
#include "core/reader.h"
#include "operations/mps_builder.h"
#include "core/task_options.h"
#include "tests/operations/subfile_contents.h"
#include "tests/support/console_runner.h"
#include "tests/support/host_capture.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace {

// twk without its banner line, run in-process.
RunResult twk_args(std::vector<std::string> args)
{
    args.insert(args.begin(), "-LicenseAcknowledge");
    return run_twk_here(args);
}

class Joining : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
        capture_current_time();
        output = dir.file("joined.img");
    }
    void TearDown() override { clear_task_options(task_options); }

    void add(const std::string& path)
    {
        InputFile& file = add_input_file(inputs, path);
        ASSERT_EQ(read_input_file(file), 1) << path << "\n" << take_log();
        take_log();
    }

    // Joins the inputs read so far into `output`; log holds what it said.
    int join()
    {
        task_options.output_file = output;
        int result = join_input_maps(inputs);
        log = take_log();
        return result;
    }

    // Reads the output back and checks what every output must be: read
    // without a warning, byte sum 0, every input subfile (but the MPS and
    // those excluded) there unchanged.
    InputFile& check_output(uint32_t excluded_kinds = 0)
    {
        EXPECT_EQ(whole_file_byte_sum(output), 0u);
        int warnings = warning_count;
        joined = std::make_unique<InputFile>();
        joined->path = output;
        EXPECT_EQ(read_input_file(*joined), 1) << take_log();
        EXPECT_EQ(warning_count, warnings) << take_log();
        std::map<std::string, std::string> written = subfile_contents(*joined);
        for (auto& input : inputs) {
            if (input->kind != FILE_IMG)
                continue;  // checked by each test under the name it gets
            std::map<std::string, std::string> read = subfile_contents(*input);
            for (const SubfileEntry& s : input->subfiles) {
                if (s.kind == SUB_MPS || ((1u << s.kind) & excluded_kinds))
                    continue;
                EXPECT_TRUE(written.count(s.name) && written[s.name] == read[s.name]) << s.name;
            }
        }
        return *joined;
    }

    // The output's subfile names in FAT order.
    std::vector<std::string> fat_order()
    {
        std::vector<std::string> names;
        for (const SubfileIndexEntry& row : joined->subfile_index.rows)
            names.push_back(row.subfile->name);
        return names;
    }

    const SubfileEntry* output_subfile(const std::string& name)
    {
        for (const SubfileEntry& s : joined->subfiles)
            if (name == s.name)
                return &s;
        return nullptr;
    }

    ScratchDir dir;
    std::string output;
    std::string log;
    InputList inputs;
    std::unique_ptr<InputFile> joined;
};

}  // namespace

TEST_F(Joining, TwoSingleMaps)
{
    add(data_path("single/plain/11000001.img"));
    add(data_path("single/plain/11000002.img"));
    ASSERT_EQ(join(), 1) << log;
    EXPECT_EQ(error_count, 0);
    InputFile& out = check_output();
    EXPECT_EQ(out.subfile_count, 7u);
    EXPECT_EQ(out.map_count, 3u);
    ByteView h(out.header_buffer);
    EXPECT_TRUE(h.matches(0x49, "Tarnwick All        "));
    EXPECT_TRUE(h.matches(0x65, std::string(30, ' ')));
    ASSERT_NE(output_subfile("MAPSOURCMPS"), nullptr);
    // Inputs without MPS: an 'L' record is generated for each map, with the
    // input's own mapset name, then the 'V' record; no IDs, no 'P' or 'F'.
    std::vector<std::string> records = mps_records_of(out);
    ImgWriter names;
    names.mapset_name = "Tarnwick All";
    append_l_record(names, 0, 0, 11000001, "OSM street map");
    append_l_record(names, 0, 0, 11000002, "OSM street map");
    append_mps_record(names, 'V', std::string("Tarnwick All\0\0", 14));
    std::string expected(names.mps_buffer.begin(), names.mps_buffer.end());
    std::string all;
    for (const std::string& r : records)
        all += r;
    EXPECT_EQ(all, expected);
    for (const MapEntry* map : out.maps) {
        if (map->kind == FILE_MPC) {
            EXPECT_NE(map->mps_record, nullptr) << map->name;
        }
    }
    EXPECT_EQ(log,
              "Writing: indexes\nWriting: data MD2\nWriting: data TRF\nWriting: data TYP\nWriting: data TDB\n"
              "Writing: data MMR\nWriting: maps NT\nWriting: maps MPC\nWriting: data MPS\nWriting: header\n");
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

// mkgmap compiled the same two maps once as single IMG files and once into
// a gmapsupp: our join of the single files must hold the very subfiles of
// its gmapsupp, and an MPS that names the same maps with the same IDs.
TEST_F(Joining, SingleMapsGiveTheSubfilesOfMkgmapsOwnJoin)
{
    add(data_path("single/route1252/11000001.img"));
    add(data_path("single/route1252/11000002.img"));
    task_options.family_id = 1101;
    task_options.product_id = 1;
    task_options.id_flags = 3;
    task_options.mapset_name = "Corpus West";
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();

    InputFile theirs;
    theirs.path = data_path("gmapsupp/west-1101-p1.img");
    ASSERT_EQ(read_input_file(theirs), 1);
    std::map<std::string, std::string> ours = subfile_contents(out);
    std::map<std::string, std::string> reference = subfile_contents(theirs);
    int compared = 0;
    for (const auto& [name, bytes] : reference) {
        if (name.compare(0, 2, "11") != 0)
            continue;  // their TYP, SRT and MPS are not among our inputs
        ASSERT_TRUE(ours.count(name)) << name;
        EXPECT_EQ(ours[name], bytes) << name;
        ++compared;
    }
    EXPECT_EQ(compared, 10);

    // Map number, product and family of each 'L' record.
    auto maps_of = [](const InputFile& file) {
        std::vector<std::tuple<uint32_t, uint16_t, uint16_t>> maps;
        for (const std::string& r : records_with_letter(mps_records_of(file), 'L')) {
            ByteView v(reinterpret_cast<const uint8_t*>(r.data()), r.size());
            maps.emplace_back(v.u32(r.size() - 8), v.u16(3), v.u16(5));
        }
        return maps;
    };
    auto expected = maps_of(theirs);
    ASSERT_EQ(expected.size(), 2u);
    EXPECT_EQ(maps_of(out), expected);
}

TEST_F(Joining, GmapsuppFilesKeepTheirLRecordsAndFamilies)
{
    add(data_path("gmapsupp/west-1101-p1.img"));
    add(data_path("gmapsupp/central-1201-p2.img"));
    task_options.mapset_name = "Korpus";
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    std::vector<std::string> records = mps_records_of(out);
    // The inputs' own 'L' records, unchanged, in the order the maps went in.
    std::vector<std::string> l_in;
    for (auto& input : inputs)
        for (const std::string& r : records_with_letter(mps_records_of(*input), 'L'))
            l_in.push_back(r);
    EXPECT_EQ(records_with_letter(records, 'L'), l_in);
    // One 'V' of ours, the inputs' 'F' records, no 'P' without IDs.
    EXPECT_EQ(records_with_letter(records, 'V'), std::vector<std::string>{mps_v_record("Korpus")});
    std::vector<std::string> f_in;
    for (auto& input : inputs)
        for (const std::string& r : records_with_letter(mps_records_of(*input), 'F'))
            f_in.push_back(r);
    EXPECT_EQ(records_with_letter(records, 'F'), f_in);
    EXPECT_TRUE(records_with_letter(records, 'P').empty());
    ByteView h(out.header_buffer);
    EXPECT_TRUE(h.matches(0x49, "Korpus              "));
    // TYP before the maps, SRT in the "other" pass after them, MPS last.
    std::vector<std::string> order = fat_order();
    ASSERT_FALSE(order.empty());
    EXPECT_EQ(order.front().substr(8), "TYP");
    EXPECT_EQ(order.back(), "MAPSOURCMPS");
    EXPECT_EQ(order[order.size() - 2].substr(8), "SRT");
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

TEST_F(Joining, MixedFamiliesWithTypAndTdbInputsAndProductIds)
{
    add(data_path("gmapsupp/mixed-3families.img"));
    add(data_path("typ/west1101-fid9999.typ"));
    add(data_path("mapsource/tdb/corpwest.tdb"));
    task_options.family_id = 1101;
    task_options.product_id = 1;
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    // The data files go in under their family IDs.
    std::map<std::string, std::string> written = subfile_contents(out);
    EXPECT_EQ(written["I000270FTYP"], read_file(data_path("typ/west1101-fid9999.typ")));
    EXPECT_EQ(written["I000044DTDB"], read_file(data_path("mapsource/tdb/corpwest.tdb")));
    std::vector<std::string> records = mps_records_of(out);
    // 'P' and 'F' of ours; the input's 'F' for 1101/1 is the same product
    // and goes; its other families stay.
    std::vector<std::string> p = records_with_letter(records, 'P');
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0], mps_record('P', std::string("\x01\x00\x4D\x04\0\0\0\0\0\0", 10)));
    std::vector<std::string> f = records_with_letter(records, 'F');
    EXPECT_EQ(f.front(), mps_f_record(1, 1101, "Tarnwick All"));
    EXPECT_EQ(f.size(), records_with_letter(mps_records_of(*inputs[0]), 'F').size());
    EXPECT_EQ(records_with_letter(records, 'L').size(), 6u);
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

TEST_F(Joining, ScrambledInputsAndSubfilesOfSeveralFatEntries)
{
    add(data_path("damaged/valid-xor-5a.img"));
    add(data_path("damaged/valid-xor-a7-multipart.img"));
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    EXPECT_EQ(out.xor_mask, 0u);
    const SubfileEntry* rgn = output_subfile("14000001RGN");
    ASSERT_NE(rgn, nullptr);
    EXPECT_EQ(rgn->length, 265465u);
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

// A map subfile is checked by the first bytes its copy reads: one without
// its signature ends the join before anything of it is written, in a plain
// and in a scrambled input alike.
TEST_F(Joining, ASubfileWithoutItsSignatureEndsTheJoin)
{
    for (uint8_t x : {0x00, 0x5A}) {
        ImgBuilder b({.xor_byte = x});
        b.add_subfile("11000009", "TRE", tre_subfile({.map_id = 11000009}));
        b.add_subfile("11000009", "RGN", std::string(3000, 'x'));
        std::string bad = dir.file("bad" + std::to_string(x) + ".img");
        b.write(bad);
        inputs.clear();
        add(data_path("single/plain/11000001.img"));
        add(bad);
        EXPECT_EQ(join(), 0);
        EXPECT_NE(log.find("Read, wrong data in file " + bad + ".\n"), std::string::npos) << log;
        EXPECT_FALSE(fs::exists(output));
        reset_test_state();
    }
}

TEST_F(Joining, OtherDataAndALoneTreSubfile)
{
    task_options.other_data = 1;
    std::string notes = dir.file("notes.dat");
    write_file(notes, std::string(3000, 'n'));
    add(data_path("single/plain/11000001.img"));
    add(notes);
    add(data_path("mapsource/gmapi/CorpusWest.gmap/Product1/11000002/11000002.TRE"));
    task_options.family_id = 7;
    task_options.product_id = 8;
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    std::map<std::string, std::string> written = subfile_contents(out);
    EXPECT_EQ(written["notes   dat"], std::string(3000, 'n'));
    EXPECT_EQ(written["11000002TRE"],
              read_file(data_path("mapsource/gmapi/CorpusWest.gmap/Product1/11000002/11000002.TRE")));
    // The lone TRE gets an 'L' record with its own name and the task's IDs.
    ImgWriter names;
    names.mapset_name = "Tarnwick All";
    append_l_record(names, 8, 7, 11000002, "11000002");
    std::vector<std::string> l = records_with_letter(mps_records_of(out), 'L');
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1], std::string(names.mps_buffer.begin(), names.mps_buffer.end()));
}

TEST_F(Joining, LRecordsTakeTheirNumberFromTheNameWithoutAMapId)
{
    ImgBuilder b;
    std::string tre = tre_subfile(TreSpec{.map_id = 0});
    b.add_subfile("I00001A2", "TRE", tre);
    b.add_subfile("I00001A2", "RGN", common_header("RGN", 125));
    b.add_subfile("0123456X", "TRE", tre);
    b.add_subfile("0123456X", "RGN", common_header("RGN", 125));
    std::string in = dir.file("named.img");
    b.write(in);
    add(in);
    ASSERT_EQ(join(), 1) << log;
    std::vector<std::string> l = records_with_letter(mps_records_of(check_output()), 'L');
    ASSERT_EQ(l.size(), 1u);
    EXPECT_EQ(get_u32(l[0], 7), 0x1A2u);
    EXPECT_EQ(get_u32(l[0], l[0].size() - 8), 0x1A2u);
}

TEST_F(Joining, RepeatedMapIdsAreWarnedAboutAndTheJoinGoesOn)
{
    add(data_path("single/plain/11000001.img"));
    add(data_path("single/route1252/11000001.img"));
    ASSERT_EQ(join(), 1) << log;
    EXPECT_EQ(log.find("\n== Warning: repeated map ID number.\n== Map ID 11000001 (A7D8C1)"), 0u) << log;
    // The second tile's subfiles also bear the first one's names: one more
    // warning for that pair of inputs, not one per subfile.
    EXPECT_NE(log.find("has the name of a subfile of file"), std::string::npos) << log;
    EXPECT_EQ(warning_count, 2);
    EXPECT_EQ(whole_file_byte_sum(output), 0u);
}

TEST_F(Joining, WithoutMpsSubfilesGoInInputOrder)
{
    add(data_path("single/plain/11000001.img"));
    add(data_path("typ/west1101.typ"));
    task_options.no_mps = 1;
    ASSERT_EQ(join(), 1) << log;
    check_output();
    std::vector<std::string> order = fat_order();
    EXPECT_EQ(order, (std::vector<std::string>{"11000001RGN", "11000001TRE", "11000001LBL", "I000044DTYP"}));
    EXPECT_EQ(log, "Writing: other\nWriting: header\n");
    EXPECT_TRUE(joined->mps_records.empty());
}

TEST_F(Joining, RemovingDemAndNodLeavesThemOut)
{
    add(data_path("gmapsupp/dem-1401-p1.img"));
    add(data_path("single/route1250/12000001.img"));
    task_options.remove_dem = task_options.remove_nod = 1;
    ASSERT_EQ(join(), 1) << log;
    check_output(1u << SUB_DEM | 1u << SUB_NOD);
    for (const SubfileEntry& s : joined->subfiles) {
        EXPECT_NE(s.kind, SUB_DEM) << s.name;
        EXPECT_NE(s.kind, SUB_NOD) << s.name;
    }
    EXPECT_NE(output_subfile("12000001NET"), nullptr);
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

TEST_F(Joining, UserBlockSize)
{
    add(data_path("single/plain/11000001.img"));
    add(data_path("single/plain/11000002.img"));
    task_options.block_size = 4;
    task_options.verbose = 1;
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    EXPECT_EQ(out.block_size, 4096u);
    EXPECT_EQ(fs::file_size(output) % 4096, 0u);
    EXPECT_NE(log.find("Size: block 4096, header 8192, file "), std::string::npos) << log;
    EXPECT_NE(log.find("map  11000001,  file      2000h,  fat  1200h,  sub-files  3\n"), std::string::npos) << log;
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

TEST_F(Joining, MpsSubfileNames)
{
    add(data_path("single/plain/11000001.img"));
    task_options.mps_name = 2;
    ASSERT_EQ(join(), 1) << log;
    check_output();
    EXPECT_NE(output_subfile("BLUCHARTMPS"), nullptr);
    // A marine input makes the default name BLUCHART; -n overrides it.
    inputs.clear();
    add(output);
    output = dir.file("second.img");
    task_options.mps_name = 0;
    ASSERT_EQ(join(), 1) << log;
    check_output();
    EXPECT_NE(output_subfile("BLUCHARTMPS"), nullptr);
    output = dir.file("third.img");
    task_options.mps_name = 1;
    ASSERT_EQ(join(), 1) << log;
    check_output();
    EXPECT_NE(output_subfile("MAPSOURCMPS"), nullptr);
}

TEST_F(Joining, LongMapsetNameIsCutAt50)
{
    add(data_path("single/plain/11000001.img"));
    task_options.mapset_name = std::string(20, 'a') + std::string(30, 'b') + "cut";
    ASSERT_EQ(join(), 1) << log;
    InputFile& out = check_output();
    ByteView h(out.header_buffer);
    EXPECT_TRUE(h.matches(0x49, std::string(20, 'a')));
    EXPECT_TRUE(h.matches(0x65, std::string(30, 'b')));
    EXPECT_EQ(records_with_letter(mps_records_of(out), 'V')[0],
              mps_v_record(std::string(20, 'a') + std::string(30, 'b')));
}

TEST_F(Joining, NoInputsNoOutput)
{
    EXPECT_EQ(join(), 0);
    EXPECT_EQ(log, "Input files missing.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(Joining, TooManyBlocksForTheUserBlockSize)
{
    // A sparse raw file that needs 70000 blocks of 1 KiB but takes no room.
    task_options.other_data = 1;
    std::string big = dir.file("big.dat");
    {
        FILE* f = fopen(big.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(ftruncate(fileno(f), 70000 * 1024), 0);
        fclose(f);
    }
    add(big);
    task_options.block_size = 1;
    EXPECT_EQ(join(), 0);
    EXPECT_EQ(log, "Total file length too big.\n");
    EXPECT_EQ(error_count, 1);
    EXPECT_FALSE(fs::exists(output));
}

TEST_F(Joining, PackedMapsHoldEveryPartWithItsOffsetsMoved)
{
    add(data_path("single/route1252/11000001.img"));
    add(data_path("single/plain/11000002.img"));
    task_options.nt_format = 1;
    ASSERT_EQ(join(), 1) << log;
    EXPECT_EQ(whole_file_byte_sum(output), 0u);
    joined = std::make_unique<InputFile>();
    joined->path = output;
    ASSERT_EQ(read_input_file(*joined), 1) << take_log();
    std::map<std::string, std::string> written = subfile_contents(*joined);
    ASSERT_TRUE(written.count("11000001GMP"));
    ASSERT_TRUE(written.count("11000002GMP"));
    EXPECT_FALSE(written.count("11000001TRE"));
    const std::string& gmp = written["11000001GMP"];
    std::map<std::string, std::string> parts = subfile_contents(*inputs[0]);
    EXPECT_EQ(get_u16(gmp, 0), 61u);
    EXPECT_EQ(gmp.substr(2, 10), "GARMIN GMP");
    EXPECT_EQ(gmp.substr(0x3D, 10), std::string("Tarnwick\0\0", 10));
    EXPECT_EQ(get_u32(gmp, 0x19), 71u);
    EXPECT_EQ(get_u32(gmp, 0x2D), 0u);  // no DEM
    // Each part: its header at the offset in the GMP header, its data right
    // where its moved first section offset says.
    const char* kinds[] = {"TRE", "RGN", "LBL", "NET", "NOD"};
    size_t total = 71;
    for (int p = 0; p < 5; ++p) {
        const std::string& part = parts[std::string("11000001") + kinds[p]];
        ASSERT_FALSE(part.empty()) << kinds[p];
        total += part.size();
        uint32_t at = get_u32(gmp, 0x19 + 4 * p);
        uint32_t header = get_u16(part, 0);
        EXPECT_EQ(gmp.substr(at + 2, 10), part.substr(2, 10)) << kinds[p];
        if (p == 3 || p == 4 || p == 2) {
            // NET, NOD and LBL: the first section right after the header.
            uint32_t old = get_u32(part, 0x15);
            uint32_t moved = get_u32(gmp, at + 0x15);
            ASSERT_GE(old, header) << kinds[p];
            EXPECT_EQ(gmp.substr(moved, part.size() - old), part.substr(old)) << kinds[p];
        }
    }
    EXPECT_EQ(gmp.size(), total);
    const MapEntry* map = nullptr;
    for (const MapEntry* m : joined->maps)
        if (std::string(m->name) == "11000001")
            map = m;
    ASSERT_NE(map, nullptr);
    EXPECT_EQ(map->kind, FILE_NT);
    EXPECT_EQ(map->map_number, 11000001u);
    EXPECT_EQ(map->has_nod, 1);
    if (have_mkgmap())
        expect_mkgmap_reads(output);
}

// Packing moves every section of every part: each section the unpacked
// header names must stand, byte for byte and with its length, where the
// packed header's descriptor now points; and the header records read back
// from the GMP carry the values of the unpacked map's records.
TEST_F(Joining, PackedPartsKeepEverySectionAndTheirRecords)
{
    add(data_path("single/dem/11000001.img"));
    add(data_path("single/route1252/11000002.img"));
    task_options.nt_format = 1;
    ASSERT_EQ(join(), 1) << log;
    joined = std::make_unique<InputFile>();
    joined->path = output;
    ASSERT_EQ(read_input_file(*joined), 1) << take_log();
    std::map<std::string, std::string> written = subfile_contents(*joined);

    const char* kinds[] = {"TRE", "RGN", "LBL", "NET", "NOD", "DEM"};
    const SubfileKind sub_kinds[] = {SUB_TRE, SUB_RGN, SUB_LBL, SUB_NET, SUB_NOD, SUB_DEM};
    int sections_checked = 0;
    for (auto& input : inputs) {
        const MapEntry* before = input->maps.at(0);
        std::string name(before->name, 8);
        const std::string& gmp = written[name + "GMP"];
        ASSERT_FALSE(gmp.empty()) << name;
        std::map<std::string, std::string> parts = subfile_contents(*input);
        for (int p = 0; p < 6; ++p) {
            const std::string& part = parts[name + kinds[p]];
            uint32_t at = get_u32(gmp, 0x19 + 4 * p);
            if (part.empty()) {
                EXPECT_EQ(at, 0u) << name << kinds[p];
                continue;
            }
            ASSERT_NE(at, 0u) << name << kinds[p];
            ByteView old_header(reinterpret_cast<const uint8_t*>(part.data()), part.size());
            for (const HeaderSection& section : present_sections(sub_kinds[p], old_header)) {
                uint32_t moved = get_u32(gmp, at + section.descriptor);
                EXPECT_EQ(get_u32(gmp, at + section.descriptor + 4), section.length) << name << kinds[p];
                EXPECT_EQ(gmp.substr(moved, section.length), part.substr(section.offset, section.length))
                    << name << kinds[p] << " section at " << section.descriptor;
                ++sections_checked;
            }
        }

        const MapEntry* after = nullptr;
        for (const MapEntry* m : joined->maps)
            if (name == std::string(m->name, 8))
                after = m;
        ASSERT_NE(after, nullptr) << name;
        EXPECT_EQ(after->kind, FILE_NT);
        ASSERT_TRUE(before->tre_info && after->tre_info) << name;
        EXPECT_EQ(after->tre_info->map_id, before->tre_info->map_id);
        EXPECT_EQ(after->tre_info->levels_size, before->tre_info->levels_size);
        EXPECT_EQ(after->tre_info->levels, before->tre_info->levels);
        EXPECT_EQ(after->tre_info->first_level_bits, before->tre_info->first_level_bits);
        EXPECT_EQ(read_tre_bounds(ByteView(after->tre_info->header)).north,
                  read_tre_bounds(ByteView(before->tre_info->header)).north);
        ASSERT_TRUE(before->lbl_info && after->lbl_info) << name;
        EXPECT_EQ(after->lbl_info->code_page, before->lbl_info->code_page);
        EXPECT_EQ(after->lbl_info->sort_descriptor, before->lbl_info->sort_descriptor);
        EXPECT_EQ(after->has_dem, before->has_dem);
        EXPECT_EQ(after->has_nod, before->has_nod);
        if (before->dem_info) {
            ASSERT_TRUE(after->dem_info) << name;
            EXPECT_EQ(after->dem_info->level_count, before->dem_info->level_count);
            EXPECT_EQ(after->dem_info->level_record_size, before->dem_info->level_record_size);
            // The level record but its two data offsets, which moved.
            std::vector<uint8_t> a = after->dem_info->first_level_record, b = before->dem_info->first_level_record;
            ASSERT_EQ(a.size(), b.size());
            for (size_t i = 0x20; i < 0x28 && i < a.size(); ++i)
                a[i] = b[i] = 0;
            EXPECT_EQ(a, b);
        }
    }
    EXPECT_GT(sections_checked, 20);
}

TEST_F(Joining, DemAndNodOfNtMapsStayWithAWarning)
{
    add(data_path("single/dem/11000001.img"));
    add(data_path("single/route1252/11000002.img"));
    task_options.nt_format = 1;
    ASSERT_EQ(join(), 1) << log;
    inputs.clear();
    add(output);
    output = dir.file("second.img");
    task_options.nt_format = 0;
    task_options.remove_dem = task_options.remove_nod = 1;
    ASSERT_EQ(join(), 1) << log;
    EXPECT_NE(log.find("==Warning: DEM data not removed from NT map 11000001.\n"), std::string::npos) << log;
    EXPECT_NE(log.find("==Warning: NOD data not removed from NT map 11000002.\n"), std::string::npos) << log;
    EXPECT_EQ(warning_count, 2);
    check_output();
}

// twk -j: every option of the command reaches the join.
class ConsoleJoin : public ::testing::Test {
protected:
    // Reads a file twk wrote.
    std::unique_ptr<InputFile> read_output(const std::string& path)
    {
        auto file = std::make_unique<InputFile>();
        file->path = path;
        EXPECT_EQ(read_input_file(*file), 1) << take_log();
        take_log();
        return file;
    }
    ScratchDir dir;
};

TEST_F(ConsoleJoin, HeaderMpsAndDataOptions)
{
    std::string out = dir.file("out.img");
    std::string notes = dir.file("notes.dat");
    write_file(notes, "some other data");
    RunResult run = twk_args({"-j", "-v", "-h", "-b", "8", "-c", "2.5,1,TWK", "-f", "1101,3", "-m", "Console", "-l",
                              "-a", "-o", out, data_path("gmapsupp/west-1101-p1.img"), notes});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    EXPECT_NE(run.output.find("Size: block 8192, header 16384, file "), std::string::npos) << run.output;
    auto file = read_output(out);
    ByteView h(file->header_buffer);
    EXPECT_EQ(h.u8(0x40), 2u);  // short header
    EXPECT_EQ(file->block_size, 8192u);
    EXPECT_EQ(h.u8(0x08), 2u);
    EXPECT_EQ(h.u8(0x09), 5u);
    EXPECT_EQ(h.u8(0x0E), 1u);
    EXPECT_EQ(unpack_product_code(std::span<const uint8_t, 9>(file->header_buffer.data() + 0x30, 9)), "TWK");
    EXPECT_TRUE(h.matches(0x49, "Console "));
    bool bluechart = false, notes_found = false;
    for (const SubfileEntry& s : file->subfiles) {
        bluechart |= std::string(s.name) == "BLUCHARTMPS";
        notes_found |= std::string(s.name) == "notes   dat";
    }
    EXPECT_TRUE(bluechart);
    EXPECT_TRUE(notes_found);
    std::vector<std::string> p = records_with_letter(mps_records_of(*file), 'P');
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0], mps_record('P', std::string("\x03\x00\x4D\x04\0\0\0\0\0\0", 10)));
    EXPECT_EQ(records_with_letter(mps_records_of(*file), 'V')[0], mps_v_record("Console"));
}

// A join that runs out of room (a file-size limit fails its writes as a full
// disk would) keeps the file it was to replace and leaves nothing beside it.
TEST_F(ConsoleJoin, FailedJoinKeepsTheFileItWasToReplace)
{
    std::string existing = dir.file("existing.img");
    std::string old(5000, 'o');
    write_file(existing, old);
    RunResult run = run_with_file_size_limit(64 * 1024, [&](std::string& text) {
        // A process of its own: a forked copy of this one would lack its threads.
        RunResult join = run_twk({"-LicenseAcknowledge", "-j", "-o", existing, data_path("gmapsupp/many-60maps-3101.img")});
        text = join.output;
        return join.exit_code;
    });
    EXPECT_EQ(run.exit_code, 4) << run.output;
    EXPECT_NE(run.output.find("Output file " + existing + " was not written.\n"), std::string::npos) << run.output;
    EXPECT_EQ(read_file(existing), old);
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"existing.img"});
}

TEST_F(ConsoleJoin, PackingRemovalAndNoMps)
{
    std::string packed = dir.file("packed.img");
    RunResult run = twk_args({"-j", "-i", "-q", "-z", "-n", "-o", packed, data_path("single/route1252/11000001.img")});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    auto file = read_output(packed);
    std::vector<std::string> names;
    for (const SubfileEntry& s : file->subfiles)
        names.push_back(s.name);
    EXPECT_EQ(names, (std::vector<std::string>{"11000001GMP", "MAPSOURCMPS"}));
    ASSERT_FALSE(file->maps.empty());
    EXPECT_EQ(file->maps[0]->has_nod, 0);

    std::string plain = dir.file("plain.img");
    run = twk_args({"-j", "-x", "-o", plain, data_path("single/plain/11000001.img")});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    file = read_output(plain);
    EXPECT_EQ(file->subfile_count, 3u);
    EXPECT_TRUE(file->mps_records.empty());
}

TEST_F(ConsoleJoin, TheMapsetNameGoesIntoTheCodePageOfTheMaps)
{
    std::string central = data_path("gmapsupp/central-1201-p2.img");  // code page 1250
    std::string out = dir.file("out.img");
    RunResult run = twk_args({"-j", "-m", "Zestaw Łódź", "-o", out, central});
    ASSERT_EQ(run.exit_code, 0) << run.output;
    const std::string in_1250 = "Zestaw \xA3\xF3" "d\x9F";
    auto file = read_output(out);
    EXPECT_TRUE(ByteView(file->header_buffer).matches(0x49, in_1250 + " "));
    EXPECT_EQ(records_with_letter(mps_records_of(*file), 'V').at(0), mps_v_record(in_1250));
    run = twk_args({"-i", out});
    EXPECT_NE(run.output.find("Zestaw Łódź\n"), std::string::npos) << run.output;

    // A name that has no form in the maps' code page writes nothing.
    std::string greek = dir.file("greek.img");
    run = twk_args({"-j", "-m", "Δέλτα", "-o", greek, central});
    EXPECT_EQ(run.exit_code, 1);
    EXPECT_EQ(run.output, "Mapset name characters don't match code page 1250, file " + greek + ".\n");
    EXPECT_FALSE(fs::exists(greek));
}

TEST_F(ConsoleJoin, AnOutputThatIsAnInputIsRefused)
{
    std::string a = dir.file("a.img");
    fs::copy_file(data_path("single/plain/11000001.img"), a);
    std::string before = read_file(a);
    RunResult run = twk_args({"-j", "-o", a, a, data_path("single/plain/11000002.img")});
    EXPECT_EQ(run.exit_code, 4);
    EXPECT_NE(run.output.find("Output file is also an input file, file " + a + ".\n"), std::string::npos)
        << run.output;
    EXPECT_EQ(read_file(a), before);
    // Another name of the same file is the same file.
    ASSERT_EQ(link(a.c_str(), dir.file("alias.img").c_str()), 0);
    run = twk_args({"-j", "-o", dir.file("alias.img"), a});
    EXPECT_EQ(run.exit_code, 4) << run.output;
    EXPECT_EQ(read_file(a), before);
}

// A join into a folder that is missing or no folder is one line naming the
// folder and why, before anything is read or written.
TEST_F(ConsoleJoin, AnOutputFolderThatCannotBeUsedIsOneLine)
{
    std::string blocker = dir.file("blocker");
    write_file(blocker, "x");
    struct Case {
        std::string output, folder, reason;
    } cases[] = {
        {dir.file("missing/dir/out.img"), dir.file("missing/dir"), "No such file or directory"},
        {blocker + "/out.img", blocker, "Not a directory"},
    };
    for (const Case& c : cases) {
        RunResult run = twk_args({"-j", "-o", c.output, data_path("single/plain/11000001.img")});
        EXPECT_EQ(run.exit_code, 4);
        EXPECT_EQ(run.output, "Output directory " + c.folder + " cannot be used (" + c.reason + ").\n");
    }
    // Through a link, the folder of its target.
    fs::create_symlink("missing/out.img", dir.file("link.img"));
    RunResult run = twk_args({"-j", "-o", dir.file("link.img"), data_path("single/plain/11000001.img")});
    EXPECT_EQ(run.output, "Output directory " + dir.file("missing") + " cannot be used (No such file or directory).\n");
    EXPECT_TRUE(fs::is_symlink(dir.file("link.img")));
}

// Two inputs that bring subfiles of one name (a TYP file of one family in
// two folders, one map tile twice) would leave the second hidden behind the
// first in the joined file: the join says so, naming both inputs.
TEST_F(ConsoleJoin, SubfilesOfOneNameFromTwoInputsAreWarnedAbout)
{
    std::filesystem::create_directories(dir.file("a"));
    std::filesystem::create_directories(dir.file("b"));
    std::string typ_a = dir.file("a/west1101.typ"), typ_b = dir.file("b/west1101.typ");
    write_file(typ_a, read_file(data_path("typ/west1101.typ")));
    write_file(typ_b, read_file(data_path("typ/west1101.typ")));
    std::string map = data_path("single/plain/11000001.img");

    RunResult clean = run_twk_here({"-LicenseAcknowledge", "-j", "-o", dir.file("clean.img"), map, typ_a});
    EXPECT_EQ(clean.exit_code, 0) << clean.output;
    EXPECT_EQ(clean.output.find("has the name of a subfile"), std::string::npos) << clean.output;

    RunResult twice = run_twk_here({"-LicenseAcknowledge", "-j", "-o", dir.file("twice.img"), map, typ_a, typ_b});
    EXPECT_EQ(twice.exit_code, 0) << twice.output;
    EXPECT_NE(twice.output.find("of file " + typ_b + " has the name of a subfile of file " + typ_a),
              std::string::npos)
        << twice.output;
    EXPECT_NE(twice.output.find("There were warnings"), std::string::npos) << twice.output;

    RunResult tile = run_twk_here({"-LicenseAcknowledge", "-j", "-o", dir.file("tile.img"), map, map}, "pl_PL.UTF-8");
    EXPECT_NE(tile.output.find("ma nazwę podpliku z pliku " + map), std::string::npos) << tile.output;
}
