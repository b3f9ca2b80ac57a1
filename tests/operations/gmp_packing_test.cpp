// GMP packing: the section offset movers on header images. Whole maps are
// packed in the join tests, on real and builder-made inputs.
#include "operations/gmp_packing.h"

#include <gtest/gtest.h>

#include "operations/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/subfile_images.h"

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
