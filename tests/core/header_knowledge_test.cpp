// Subfile header knowledge: section measures, known header lengths, traces.
#include "core/header_knowledge.h"

#include <gtest/gtest.h>

#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/core/made_files.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

namespace {

// A header image of header_length whose descriptors at the given offsets
// each point at offset first + 100 i with length i + 1.
std::vector<uint8_t> described_header(const char* kind, uint16_t header_length, std::initializer_list<uint32_t> at,
                                      uint32_t first = 1000)
{
    std::vector<uint8_t> bytes = made::subfile_header(kind, header_length, 520);
    uint32_t i = 0;
    for (uint32_t descriptor : at) {
        ByteSpan(bytes).put_u32(descriptor, first + 100 * i);
        ByteSpan(bytes).put_u32(descriptor + 4, i + 1);
        ++i;
    }
    return bytes;
}

const std::initializer_list<uint32_t> tre_descriptors = {33, 41, 49, 74, 88, 102, 124, 138, 174, 188};

class KnownLengths : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
    }
    void TearDown() override { test_debug_mask = 0; }

    // Checks a subfile of `size` bytes that starts with header, alone in a
    // made container.
    int check(const char* name, SubfileKind kind, const std::vector<uint8_t>& header, uint32_t size)
    {
        made::Container c;
        c.total_blocks = 8;
        c.subfiles.push_back({name, size, {6, 7}});
        std::vector<uint8_t> bytes = c.bytes();
        std::copy(header.begin(), header.begin() + std::min<size_t>(header.size(), 1024), bytes.begin() + 6 * 512);
        std::string path = dir.file("k.img");
        made::write_bytes(path, bytes);
        InputFile file;
        file.path = path;
        EXPECT_EQ(read_input_file(file), 1);
        EXPECT_EQ(open_input_file(file, "rb"), 1);
        SubfileEntry row;
        row.kind = kind;
        row.length = size;
        int result = check_known_header_length(file, row);
        close_input_file(file);
        return result;
    }
    ScratchDir dir;
};

}  // namespace

TEST(SectionMeasures, TreSectionsFollowTheHeaderLength)
{
    std::vector<uint8_t> h188 = described_header("TRE", 188, tre_descriptors);
    EXPECT_EQ(section_length_sum(SUB_TRE, h188), 45u);  // 1 + ... + 9: the tenth needs more than 197
    EXPECT_EQ(section_extent(SUB_TRE, h188), 1000u + 800 + 9);
    EXPECT_EQ(lowest_section_offset(SUB_TRE, h188), 1000u);
    std::vector<uint8_t> h198 = described_header("TRE", 198, tre_descriptors);
    EXPECT_EQ(section_length_sum(SUB_TRE, h198), 55u);

    // Too short for any section, or none present: 0, h, h.
    std::vector<uint8_t> h40 = described_header("TRE", 40, tre_descriptors);
    EXPECT_EQ(section_length_sum(SUB_TRE, h40), 0u);
    EXPECT_EQ(section_extent(SUB_TRE, h40), 40u);
    EXPECT_EQ(lowest_section_offset(SUB_TRE, h40), 40u);
    std::vector<uint8_t> empty = made::subfile_header("RGN", 125, 200);
    EXPECT_EQ(section_length_sum(SUB_RGN, empty), 0u);
    EXPECT_EQ(section_extent(SUB_RGN, empty), 125u);
    EXPECT_EQ(lowest_section_offset(SUB_RGN, empty), 125u);
    // A kind without a table.
    EXPECT_EQ(section_extent(SUB_DEM, h188), 188u);

    // A section offset of 0 is absent even when its length is not.
    std::vector<uint8_t> holes = described_header("NET", 90, {21, 30, 39}, 0);
    EXPECT_EQ(section_length_sum(SUB_NET, holes), 2u + 3u);
    EXPECT_EQ(lowest_section_offset(SUB_NET, holes), 100u);
}

TEST(SectionMeasures, NodCountsTheGapBeforeItsFourthSection)
{
    // Third section 100..120, fourth at 136: 16 bytes between.
    std::vector<uint8_t> nod = made::subfile_header("NOD", 127, 200);
    ByteSpan n(nod);
    n.put_u32(21, 80);
    n.put_u32(25, 10);
    n.put_u32(49, 100);
    n.put_u32(53, 20);
    n.put_u32(63, 136);
    n.put_u32(67, 30);
    EXPECT_EQ(section_length_sum(SUB_NOD, nod), 10u + 20 + 30 + 16);
    EXPECT_EQ(section_extent(SUB_NOD, nod), 166u);
    n.put_u16(0, 70);  // the fourth section is out of reach
    EXPECT_EQ(section_length_sum(SUB_NOD, nod), 30u);
    // Offsets from the file can add up past 32 bits.
    n.put_u16(0, 127);
    n.put_u32(63, 0xFFFFFFF0u);
    EXPECT_EQ(section_extent(SUB_NOD, nod), 0xFFFFFFFFu);
}

TEST_F(KnownLengths, LimitsByKind)
{
    EXPECT_EQ(check("00000001RGN", SUB_RGN, made::subfile_header("RGN", 125, 200), 200), 1);
    EXPECT_EQ(check("00000001RGN", SUB_RGN, made::subfile_header("RGN", 126, 200), 200), 0);
    EXPECT_EQ(check("00000001NET", SUB_NET, made::subfile_header("NET", 100, 200), 200), 1);
    EXPECT_EQ(check("00000001NET", SUB_NET, made::subfile_header("NET", 101, 200), 200), 0);
    EXPECT_EQ(check("00000001DEM", SUB_DEM, made::subfile_header("DEM", 41, 200), 200), 1);
    EXPECT_EQ(check("00000001DEM", SUB_DEM, made::subfile_header("DEM", 42, 200), 200), 0);
    // Kinds that are not checked pass without being read.
    SubfileEntry srt;
    srt.kind = SUB_SRT;
    InputFile none;
    EXPECT_EQ(check_known_header_length(none, srt), 1);
    EXPECT_EQ(take_log(), "");
}

TEST_F(KnownLengths, TraceOnlyWhenTheWholeHeaderWasRead)
{
    test_debug_mask = DBG_NT;
    // 300 bytes of a TRE that claims a 400-byte header: unknown, no trace.
    EXPECT_EQ(check("00000001TRE", SUB_TRE, made::subfile_header("TRE", 400, 300), 300), 0);
    EXPECT_EQ(take_debug_log(), "");
    // A whole LBL header of 196 bytes in a 600-byte subfile, no sections.
    EXPECT_EQ(check("00000001LBL", SUB_LBL, made::subfile_header("LBL", 196, 600), 600), 1);
    EXPECT_EQ(take_debug_log(), "LBL dlug 600, zakr 196, diff 404 (dlen 196, xlen 0)\n");
    test_debug_mask = 0;
    EXPECT_EQ(check("00000001LBL", SUB_LBL, made::subfile_header("LBL", 196, 600), 600), 1);
    EXPECT_EQ(take_debug_log(), "");
}

TEST_F(KnownLengths, EveryMapSubfileOfTheTestDataIsKnown)
{
    for (const char* path : {"single/route1252/11000001.img", "single/dem/11000001.img"}) {
        InputFile file;
        file.path = data_path(path);
        ASSERT_EQ(read_input_file(file), 1);
        ASSERT_EQ(open_input_file(file, "rb"), 1);
        ByteView fat(file.header_buffer);
        int checked = 0;
        for (uint32_t i = 0; i < file.fat_slots.size(); ++i) {
            uint32_t entry = file.fat_slots[i].entry_offset;
            static const std::pair<const char*, SubfileKind> kinds[] = {
                {"TRE", SUB_TRE}, {"RGN", SUB_RGN}, {"LBL", SUB_LBL},
                {"NET", SUB_NET}, {"NOD", SUB_NOD}, {"DEM", SUB_DEM}};
            for (auto [extension, kind] : kinds) {
                if (!fat.matches(entry + FatEntry::extension, extension))
                    continue;
                SubfileEntry row;
                row.kind = kind;
                row.length = fat.u32(entry + FatEntry::subfile_size);
                row.fat_slot = i;
                EXPECT_EQ(check_known_header_length(file, row), 1) << path << " " << extension;
                ++checked;
            }
        }
        close_input_file(file);
        EXPECT_GE(checked, 4) << path;
    }
    EXPECT_EQ(take_log(), "");
}

TEST_F(KnownLengths, DumpsOnlyUnderTheirCategory)
{
    InputFile mdr;
    mdr.path = data_path("mapsource/gmapi/CorpusWest.gmap/corpwest_mdr/CORPWEST.MDR");
    ASSERT_EQ(read_input_file(mdr), 1);
    EXPECT_EQ(take_debug_log(), "");

    test_debug_mask = DBG_MDR;
    ASSERT_EQ(open_input_file(mdr, "rb"), 1);
    EXPECT_EQ(dump_mdr_header(mdr, nullptr), 1);
    EXPECT_EQ(dump_gmp_header(mdr, nullptr), 1);
    close_input_file(mdr);
    std::string trace = take_debug_log();
    // Header length 568: descriptors up to number 40 (at 554) are covered.
    EXPECT_EQ(trace.rfind("\nMDR header len 568 (struct 708)\nM001  1D  ", 0), 0u) << trace;
    EXPECT_NE(trace.find("\nM040 22A  "), std::string::npos);
    EXPECT_EQ(trace.find("\nM041 "), std::string::npos);

    // A GMP with one TRE part: its line and the closing sum.
    std::vector<uint8_t> gmp = made::subfile_header("GMP", 61, 400);
    ByteSpan(gmp).put_u32(0x19, 61);
    std::vector<uint8_t> tre = described_header("TRE", 120, tre_descriptors, 200);
    ByteSpan(gmp).put_bytes(61, tre.data(), 120);
    std::string path = dir.file("x.gmp");
    made::write_bytes(path, gmp);
    test_debug_mask = DBG_NT;
    InputFile packed;
    packed.path = path;
    ASSERT_EQ(read_input_file(packed), 1);
    EXPECT_EQ(take_debug_log(), "GMP-TRE dlug 21, max 2c2, min c8, zakr 506\nGMP 202/400, TRE 141\n");
}
