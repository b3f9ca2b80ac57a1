// GMP packing: the section offset movers on header images, and whole maps
// packed by joins of builder-made containers.
#include "operations/gmp_packing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "core/files.h"
#include "core/reader.h"
#include "operations/join.h"
#include "core/task_options.h"
#include "tests/operations/subfile_contents.h"
#include "tests/support/host_capture.h"
#include "tests/support/img_builder.h"
#include "tests/support/subfile_images.h"
#include "tests/support/test_support.h"

namespace {

std::vector<uint8_t> header_image(uint16_t length, size_t size = 512)
{
    std::vector<uint8_t> h(size, 0);
    ByteSpan(h).put_u16(0, length);
    return h;
}

uint32_t u32(const std::vector<uint8_t>& h, uint32_t at) { return ByteView(h).u32(at); }

}  // namespace

TEST(GmpOffsetMovers, FieldsMoveOnlyWhenTheHeaderHoldsThem)
{
    take_log();
    std::vector<uint8_t> tre = header_image(58);
    ByteSpan t(tre);
    t.put_u32(0x21, 188);
    t.put_u32(0x29, 200);
    t.put_u32(0x31, 300);  // needs a header of 59
    ASSERT_EQ(move_tre_offsets(t, 1000), 1);
    EXPECT_EQ(u32(tre, 0x21), 1188u);
    EXPECT_EQ(u32(tre, 0x29), 1200u);
    EXPECT_EQ(u32(tre, 0x31), 300u);
    EXPECT_EQ(take_log(), "");
}

TEST(GmpOffsetMovers, ZeroOffsetsStayZero)
{
    std::vector<uint8_t> lbl = header_image(498);
    ByteSpan l(lbl);
    l.put_u32(0x15, 500);
    l.put_u32(0x1E6, 900);  // the last field, for a header of 494 or more
    ASSERT_EQ(move_lbl_offsets(l, 7), 1);
    EXPECT_EQ(u32(lbl, 0x15), 507u);
    EXPECT_EQ(u32(lbl, 0x1F), 0u);
    EXPECT_EQ(u32(lbl, 0x1E6), 907u);
}

TEST(GmpOffsetMovers, HeadersLongerThanKnownAreRefusedByName)
{
    take_log();
    struct Case {
        int (*mover)(ByteSpan, uint32_t);
        uint16_t limit;
        const char* name;
    };
    const Case cases[] = {{move_tre_offsets, 211, "TRE"}, {move_rgn_offsets, 125, "RGN"},
                          {move_lbl_offsets, 498, "LBL"}, {move_net_offsets, 100, "NET"},
                          {move_nod_offsets, 127, "NOD"}};
    for (const Case& c : cases) {
        std::vector<uint8_t> known = header_image(c.limit);
        EXPECT_EQ(c.mover(ByteSpan(known), 5), 1) << c.name;
        std::vector<uint8_t> unknown = header_image(static_cast<uint16_t>(c.limit + 1));
        ByteSpan(unknown).put_u32(0x15, 100);
        EXPECT_EQ(c.mover(ByteSpan(unknown), 5), 0) << c.name;
        EXPECT_EQ(u32(unknown, 0x15), 100u);
        EXPECT_EQ(take_log(), std::string("Unknown ") + c.name + " header format.\n");
    }
}

TEST(GmpOffsetMovers, AnOffsetThatWouldWrapLeavesTheHeaderWhole)
{
    take_log();
    std::vector<uint8_t> nod = header_image(127);
    ByteSpan n(nod);
    n.put_u32(0x15, 100);
    n.put_u32(0x3F, 0xFFFFFF00u);
    std::vector<uint8_t> before = nod;
    EXPECT_EQ(move_nod_offsets(n, 0x100), -1);
    EXPECT_EQ(nod, before);
    EXPECT_EQ(take_log(), "");
    EXPECT_EQ(move_nod_offsets(n, 0xFF), 1);
    EXPECT_EQ(u32(nod, 0x3F), 0xFFFFFFFFu);
}

// Whole maps packed by a join, from builder-made containers.
namespace {

struct Sub {
    std::string name8, ext3, bytes;
};

// An RGN of a 29-byte header whose data starts right after it, or after
// an RGN_EXT block of ext_length bytes whose offset field holds ext_offset.
std::string rgn_subfile(uint32_t ext_length = 0, uint32_t ext_offset = 0)
{
    std::string rgn = common_header("RGN", 29, 29 + ext_length + 64);
    put_u32(rgn, 0x15, 29 + ext_length);
    put_u32(rgn, 0x19, 64);
    if (ext_length) {
        put_u16(rgn, 29, ext_length);
        put_u32(rgn, 31, ext_offset);
    }
    for (size_t i = 29 + ext_length; i < rgn.size(); ++i)
        rgn[i] = static_cast<char>(i * 7);
    return rgn;
}

class Packing : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
        task_options.nt_format = 1;
        capture_current_time();
    }
    void TearDown() override { clear_task_options(task_options); }

    // Builds a container of the subfiles (damaged as asked), reads it (with
    // the packing option set, as the console does) and joins it; log holds
    // what the join said.
    int join(const std::vector<Sub>& subs, const std::function<void(ImgBuilder&)>& damage = {})
    {
        ImgBuilder b;
        for (const Sub& s : subs)
            b.add_subfile(s.name8, s.ext3, s.bytes);
        if (damage)
            damage(b);
        std::string in = dir.file("in.img");
        b.write(in);
        inputs.clear();
        InputFile& file = add_input_file(inputs, in);
        EXPECT_EQ(read_input_file(file), 1) << take_log();
        take_log();
        task_options.output_file = dir.file("out.img");
        int result = join_input_maps(inputs);
        log = take_log();
        return result;
    }

    // The output's subfiles by name.
    std::map<std::string, std::string> written()
    {
        InputFile out;
        out.path = dir.file("out.img");
        EXPECT_EQ(read_input_file(out), 1) << take_log();
        return subfile_contents(out);
    }

    ScratchDir dir;
    InputList inputs;
    std::string log;
};

}  // namespace

TEST_F(Packing, TreRgnLblOnlyLeaveTheOtherFieldsZeroAndOtherKindsOut)
{
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    std::string rgn = rgn_subfile(14, 50);
    std::string lbl = lbl_subfile();
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn}, {"12345678", "LBL", lbl},
                    {"12345678", "SRT", common_header("SRT", 29, 40)}}),
              1)
        << log;
    std::map<std::string, std::string> out = written();
    EXPECT_FALSE(out.count("12345678SRT"));
    ASSERT_TRUE(out.count("12345678GMP"));
    const std::string& gmp = out["12345678GMP"];
    ASSERT_EQ(gmp.size(), 71 + tre.size() + rgn.size() + lbl.size());
    EXPECT_EQ(gmp.substr(0x0E, 7), tre.substr(0x0E, 7));
    uint32_t tre_at = get_u32(gmp, 0x19), rgn_at = get_u32(gmp, 0x1D), lbl_at = get_u32(gmp, 0x21);
    EXPECT_EQ(tre_at, 71u);
    EXPECT_EQ(rgn_at, 71u + 188);
    EXPECT_EQ(lbl_at, 71u + 188 + 43);
    EXPECT_EQ(get_u32(gmp, 0x25), 0u);
    EXPECT_EQ(get_u32(gmp, 0x29), 0u);
    EXPECT_EQ(get_u32(gmp, 0x2D), 0u);
    // Data in the order of the headers, right after them.
    uint32_t tre_data = lbl_at + 196;
    uint32_t rgn_data = tre_data + static_cast<uint32_t>(tre.size()) - 188;
    uint32_t lbl_data = rgn_data + 64;
    EXPECT_EQ(gmp.substr(tre_data, tre.size() - 188), tre.substr(188));
    EXPECT_EQ(gmp.substr(rgn_data, 64), rgn.substr(43));
    EXPECT_EQ(gmp.substr(lbl_data), lbl.substr(196));
    // Every present offset moved by its part's delta; absent ones stay 0.
    EXPECT_EQ(get_u32(gmp, tre_at + 0x21), get_u32(tre, 0x21) - 188 + tre_data);
    EXPECT_EQ(get_u32(gmp, tre_at + 0x7C), 0u);
    EXPECT_EQ(get_u32(gmp, rgn_at + 0x15), rgn_data);
    EXPECT_EQ(get_u32(gmp, rgn_at + 29 + 2), 50 - 43 + rgn_data);  // the RGN_EXT offset
    EXPECT_EQ(get_u32(gmp, lbl_at + 0xB0), get_u32(lbl, 0xB0) - 196 + lbl_data);
}

TEST_F(Packing, AnEmptyPartIsLeftOut)
{
    // An LBL whose first block number is unused is read with length 0 (a
    // warning): it has no header, and an offset to it would point at the
    // next bytes. Its field stays 0 and the packed map reads back.
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    std::string rgn = rgn_subfile();
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn}, {"12345678", "LBL", lbl_subfile()}},
                   [](ImgBuilder& b) { b.set_fat_block(2, 0, 0, 0xFFFF); }),
              1)
        << log;
    std::map<std::string, std::string> out = written();
    const std::string& gmp = out["12345678GMP"];
    ASSERT_EQ(gmp.size(), 71 + tre.size() + rgn.size());
    EXPECT_EQ(get_u32(gmp, 0x1D), 71u + 188);
    EXPECT_EQ(get_u32(gmp, 0x21), 0u);
}

TEST_F(Packing, AnUnknownTreHeaderFailsTheJoin)
{
    std::string tre = tre_subfile(TreSpec{.header_length = 212, .map_id = 12345678});
    EXPECT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn_subfile()}}), 0);
    EXPECT_EQ(log.find("Unknown TRE header format.\nConversion to NT format wasn't done, map 12345678.\n\n"),
              log.find("Unknown"))
        << log;
    EXPECT_NE(log.find("Unknown"), std::string::npos) << log;
    EXPECT_EQ(error_count, 1);
}

TEST_F(Packing, RemovedDemIsReplacedByAnEmptyOneWhenAsked)
{
    task_options.remove_dem = 1;
    task_options.add_empty_dem = 1;
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    std::string dem = dem_subfile(DemSpec{.level_count = 2});
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn_subfile()}, {"12345678", "DEM", dem}}), 1)
        << log;
    std::string gmp = written()["12345678GMP"];
    uint32_t dem_at = get_u32(gmp, 0x2D);
    ASSERT_NE(dem_at, 0u);
    // The TRE's three levels below the inherited one make the empty DEM.
    EXPECT_EQ(get_u16(gmp, dem_at + 0x19), 3u);
    EXPECT_EQ(gmp.size(), 71 + tre.size() + 93 + 64 * 3 + 37);
    uint32_t dem_data = static_cast<uint32_t>(gmp.size()) - (64 * 3);
    EXPECT_EQ(get_u32(gmp, dem_at + 0x21), 37 + 12 - 37 + dem_data);
    // Level records: their two offsets moved as well.
    uint32_t first_record = get_u32(gmp, dem_at + 0x21);
    EXPECT_EQ(get_u32(gmp, first_record + 0x20), 37 - 37 + dem_data);
    EXPECT_EQ(get_u32(gmp, first_record + 60 + 0x24), 41 + 4 - 37 + dem_data);
}

TEST_F(Packing, HeadersThatDontFitTheirSubfilesLeaveTheMapUnpacked)
{
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    std::string lbl = lbl_subfile(LblSpec{.header_length = 400});
    lbl.resize(300);
    std::string rgn = rgn_subfile();
    task_options.verbose = 1;
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn}, {"12345678", "LBL", lbl}}), 1) << log;
    EXPECT_NE(log.find("Conversion to NT format wasn't done, map 12345678.\n\n"), std::string::npos) << log;
    EXPECT_EQ(error_count, 0);
    // Not what was asked for: a warning. The plan is of the file written,
    // three subfiles of their own rather than one GMP.
    EXPECT_EQ(warning_count, 1);
    std::string planned = "Size: block ";
    size_t at = log.find(planned);
    ASSERT_NE(at, std::string::npos) << log;
    std::string sizes = log.substr(at + planned.size());
    std::string file_size = sizes.substr(sizes.find(", file ") + 7);
    EXPECT_EQ(file_size.substr(0, file_size.find('\n')),
              std::to_string(std::filesystem::file_size(dir.file("out.img"))));
    std::map<std::string, std::string> out = written();
    EXPECT_FALSE(out.count("12345678GMP"));
    EXPECT_EQ(out["12345678TRE"], tre);
    EXPECT_EQ(out["12345678RGN"], rgn);
    EXPECT_EQ(out["12345678LBL"], lbl);
}

TEST_F(Packing, AnLblWithoutItsSignatureLeavesTheMapUnpacked)
{
    // An LBL too short for its header to be looked into, holding a NET
    // header: packed, a reader would check it and refuse the GMP. The map
    // keeps its subfiles, and the output reads back.
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    std::string rgn = rgn_subfile();
    std::string lbl = common_header("NET", 55, 115);
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn}, {"12345678", "LBL", lbl}}), 1) << log;
    EXPECT_NE(log.find("Conversion to NT format wasn't done, map 12345678.\n\n"), std::string::npos) << log;
    std::map<std::string, std::string> out = written();
    EXPECT_FALSE(out.count("12345678GMP"));
    EXPECT_EQ(out["12345678LBL"], lbl);
    EXPECT_EQ(out["12345678TRE"], tre);
}

TEST_F(Packing, OffsetsThatWouldWrapLeaveTheMapUnpacked)
{
    std::string tre = tre_subfile(TreSpec{.map_id = 12345678});
    put_u32(tre, 0x7C, 0xFFFFFFF0u);
    ASSERT_EQ(join({{"12345678", "TRE", tre}, {"12345678", "RGN", rgn_subfile()}}), 1) << log;
    EXPECT_NE(log.find("Conversion to NT format wasn't done, map 12345678.\n\n"), std::string::npos) << log;
    std::map<std::string, std::string> out = written();
    EXPECT_FALSE(out.count("12345678GMP"));
    EXPECT_EQ(out["12345678TRE"], tre);
}
