// Output size planning: what is counted of an input, the block-size choice
// at its limits, and the choice between the two candidates.
#include "operations/size_plan.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/img_format.h"

namespace {

constexpr uint64_t GiB = 1024ull * 1024 * 1024;

// An IMG input made of maps of given kinds, each of subfiles of given kinds
// and lengths, as the reader would leave it.
struct MadeMap {
    FileKind kind;
    std::vector<std::pair<SubfileKind, uint32_t>> subfiles;
    bool has_l_record = false;
    bool skip = false;
};

std::unique_ptr<InputFile> made_img(const std::vector<MadeMap>& maps)
{
    auto input = std::make_unique<InputFile>();
    input->kind = FILE_IMG;
    input->map_block.resize(maps.size());
    size_t subfile_total = 0;
    for (const MadeMap& m : maps)
        subfile_total += m.subfiles.size();
    input->subfiles.resize(subfile_total);
    input->mps_records.resize(maps.size());
    size_t next = 0;
    for (size_t i = 0; i < maps.size(); ++i) {
        MapEntry& map = input->map_block[i];
        map.kind = maps[i].kind;
        map.first_subfile = static_cast<uint32_t>(next);
        map.subfile_count = static_cast<uint32_t>(maps[i].subfiles.size());
        map.family_skip = maps[i].skip;
        if (maps[i].has_l_record)
            map.mps_record = &input->mps_records[i];
        for (auto [kind, length] : maps[i].subfiles) {
            SubfileEntry& s = input->subfiles[next++];
            s.kind = kind;
            s.length = length;
            s.map = &map;
            if (kind == SUB_MPS)
                input->mps_length = length;
        }
        input->maps.push_back(&map);
    }
    input->map_count = static_cast<uint32_t>(maps.size());
    input->subfile_count = static_cast<uint32_t>(subfile_total);
    return input;
}

std::unique_ptr<InputFile> made_single(FileKind kind, uint32_t length)
{
    auto input = std::make_unique<InputFile>();
    input->kind = kind;
    input->data_length = length;
    return input;
}

// An IMG input of one map of lone subfiles: count subfiles of length bytes,
// then the extra ones.
std::unique_ptr<InputFile> made_lone_subfiles(int count, uint32_t length, std::vector<uint32_t> extra = {})
{
    std::vector<MadeMap> maps(1);
    maps[0].kind = FILE_OTHER;
    for (int i = 0; i < count; ++i)
        maps[0].subfiles.push_back({SUB_OTHER, length});
    for (uint32_t e : extra)
        maps[0].subfiles.push_back({SUB_OTHER, e});
    return made_img(maps);
}

OutputSizePlan fresh_plan(uint32_t header_size = 4096)
{
    OutputSizePlan plan;
    plan.header_size = header_size;
    plan.mapset_name_length = 12;
    return plan;
}

PlanOutcome plan_of(const std::vector<const InputFile*>& inputs, OutputSizePlan& plan, int short_header = 0,
                    uint32_t user_block_kib = 0)
{
    return plan_output_size(inputs, plan, short_header, user_block_kib);
}

}  // namespace

TEST(SizePlanCounting, SingleFileCountsAsOneSubfileAndMap)
{
    auto typ = made_single(FILE_TYP, 1000);
    OutputSizePlan plan = fresh_plan();
    sumuj_rozmiar(*typ, plan);
    EXPECT_EQ(plan.subfile_count, 1u);
    EXPECT_EQ(plan.map_count, 1u);
    EXPECT_EQ(plan.kinds_present, 1u << FILE_TYP);
    EXPECT_EQ(plan.largest_subfile, 1000u);
    EXPECT_EQ(plan.total_length, 1000u);
    EXPECT_EQ(plan.blocks_a, 2u);
}

TEST(SizePlanCounting, MpsGoesToTheCapacityAndMpcMapsMissingLRecordsEnlargeIt)
{
    auto input = made_img({
        {FILE_MPC, {{SUB_TRE, 500}, {SUB_RGN, 1500}, {SUB_LBL, 700}}},
        {FILE_MPC, {{SUB_TRE, 400}}, true},
        {FILE_MPS, {{SUB_MPS, 300}}},
    });
    OutputSizePlan plan = fresh_plan();
    sumuj_rozmiar(*input, plan);
    EXPECT_EQ(plan.subfile_count, 4u);
    EXPECT_EQ(plan.map_count, 3u);
    EXPECT_EQ(plan.mps_input_length, 300u);
    EXPECT_EQ(plan.total_length, 500u + 1500 + 700 + 400);
    EXPECT_EQ(plan.blocks_a, 1u + 3 + 2 + 1);
    EXPECT_EQ(plan.largest_subfile, 1500u);
    EXPECT_EQ(plan.kinds_present, 1u << FILE_MPC | 1u << FILE_MPS);
    // One map lacks its 'L' record: the input has no mapset name (n = 0),
    // so the record takes 2 x 12 + 22 bytes.
    EXPECT_EQ(plan.mps_capacity, 300u + 46);
}

TEST(SizePlanCounting, MissingLRecordCountsTheInputsOwnMapsetName)
{
    auto input = made_img({{FILE_MPC, {{SUB_TRE, 500}}}});
    input->header_buffer.assign(512, 0);
    ByteSpan h(input->header_buffer);
    h.put_bytes(ImgHeader::mapset_name_1, "Corpus              ", 20);
    h.put_bytes(ImgHeader::mapset_name_2, "West                          ", 30);
    OutputSizePlan plan = fresh_plan();
    sumuj_rozmiar(*input, plan);
    // "Corpus" and 14 blanks, then "West": 24 bytes once the trailing blanks go.
    EXPECT_EQ(plan.mps_capacity, 24u + 2 * 12 + 22);
}

TEST(SizePlanCounting, NtMapsWithoutLRecordAdd180AndARecordPerSubfile)
{
    auto input = made_img({{FILE_NT, {{SUB_GMP, 5000}, {SUB_DEM, 100}}}});
    OutputSizePlan plan = fresh_plan();
    sumuj_rozmiar(*input, plan);
    EXPECT_EQ(plan.subfile_count, 2u);
    EXPECT_EQ(plan.mps_capacity, 180u + 2 * 46);
}

TEST(SizePlanCounting, SkipMarkedMapsCountOnlyMpsLengthAndMapCount)
{
    auto input = made_img({
        {FILE_MPC, {{SUB_TRE, 500}, {SUB_RGN, 1500}}, false, true},
        {FILE_TYP, {{SUB_TYP, 800}}, false, true},
        {FILE_MPS, {{SUB_MPS, 300}}, false, true},
    });
    OutputSizePlan plan = fresh_plan();
    sumuj_rozmiar(*input, plan);
    EXPECT_EQ(plan.map_count, 3u);
    EXPECT_EQ(plan.mps_input_length, 300u);
    EXPECT_EQ(plan.subfile_count, 0u);
    EXPECT_EQ(plan.total_length, 0u);
    EXPECT_EQ(plan.mps_capacity, 0u);
    EXPECT_EQ(plan.kinds_present, 0u);
}

TEST(SizePlanCounting, ExcludedKindsAndPackingOfMpcMaps)
{
    auto input = made_img({{FILE_MPC, {{SUB_TRE, 500}, {SUB_RGN, 1500}, {SUB_DEM, 9000}, {SUB_SRT, 50}}}});
    OutputSizePlan plan = fresh_plan();
    plan.excluded_kinds = 1u << SUB_DEM;
    plan.nt_packing = 1;
    sumuj_rozmiar(*input, plan);
    // TRE and RGN go into one GMP (2000 + 71 bytes); the SRT stays apart.
    EXPECT_EQ(plan.subfile_count, 2u);
    EXPECT_EQ(plan.total_length, 2071u + 50);
    EXPECT_EQ(plan.blocks_a, (2000u + 582) / 512 + 1);
    EXPECT_EQ(plan.largest_subfile, 1500u);

    plan.block_size_a = 1024;
    plan.block_size_b = 2048;
    plan.blocks_a = plan.blocks_b = 0;
    dokladny_rozmiar(*input, plan);
    EXPECT_EQ(plan.blocks_a, 3u + 1);
    EXPECT_EQ(plan.blocks_b, 2u + 1);
    // The GMP's one entry and the SRT's.
    EXPECT_EQ(plan.fat_entries_a, 2u);

    // A map whose packing is refused is planned as the parts it goes in as.
    OutputSizePlan unpacked = fresh_plan();
    unpacked.excluded_kinds = 1u << SUB_DEM;
    unpacked.nt_packing = 1;
    unpacked.unpacked_maps.push_back(input->maps.at(0));
    sumuj_rozmiar(*input, unpacked);
    EXPECT_EQ(unpacked.subfile_count, 3u);
    EXPECT_EQ(unpacked.total_length, 2000u + 50);
    unpacked.block_size_a = 1024;
    unpacked.block_size_b = 2048;
    unpacked.blocks_a = unpacked.blocks_b = 0;
    dokladny_rozmiar(*input, unpacked);
    EXPECT_EQ(unpacked.blocks_a, 1u + 2 + 1);
    EXPECT_EQ(unpacked.fat_entries_a, 3u);
}

TEST(SizePlanBlockSize, SmallInputsStartAt1024)
{
    auto typ = made_single(FILE_TYP, 1000);
    OutputSizePlan plan = fresh_plan();
    ASSERT_EQ(plan_of({typ.get()}, plan), PLAN_OK);
    EXPECT_EQ(plan.block_size_a, 1024u);
    EXPECT_EQ(plan.block_size_b, 2048u);
    // a: 4096 + 2 FAT entries + 511 + 1024 gives 6 header blocks, 2 data
    // blocks (the TYP and the MPS); b: 3 and 2, but 16 sectors < 20.
    EXPECT_EQ(plan.chosen_block_size, 1024u);
    EXPECT_EQ(plan.header_area_size, 6144u);
    EXPECT_EQ(plan.planned_total_size, 8192u);
}

TEST(SizePlanBlockSize, ManySmallSubfilesDoubleOnceEvenWithTheShortHeader)
{
    OutputSizePlan plan = fresh_plan(1024);
    plan.subfile_count = 70000;
    plan.total_length = 70000ull * 512;
    plan.blocks_a = 70000;
    plan.largest_subfile = 512;
    EXPECT_EQ(choose_block_size(plan, 1), 2048u);
    plan.subfile_count = 100;
    plan.total_length = 100ull * 512;
    plan.blocks_a = 100;
    EXPECT_EQ(choose_block_size(plan, 1), 1024u);
}

TEST(SizePlanBlockSize, ALongSubfileForcesOneDoubling)
{
    OutputSizePlan plan = fresh_plan(1024);
    plan.subfile_count = 1;
    plan.total_length = 0xEFFFull * 1024;
    plan.largest_subfile = 0xEFFF * 1024;
    plan.blocks_a = plan.total_length / 512;
    EXPECT_EQ(choose_block_size(plan, 1), 1024u);
    plan.total_length = plan.largest_subfile = 0xF000 * 1024;
    plan.blocks_a = plan.total_length / 512;
    EXPECT_EQ(choose_block_size(plan, 1), 2048u);
}

TEST(SizePlanBlockSize, LargeInputsIgnoreTheShortHeaderAndSearchNoFurther)
{
    OutputSizePlan plan = fresh_plan(1024);
    plan.subfile_count = 3;
    plan.total_length = 3 * GiB;
    plan.largest_subfile = 1 << 30;
    plan.blocks_a = plan.total_length / 512;
    // 6291456 sectors: k = 97, p = 128, 64 KiB blocks, above 32767 so final.
    EXPECT_EQ(choose_block_size(plan, 1), 65536u);
    EXPECT_EQ(choose_block_size(plan, 0), 65536u);
}

TEST(SizePlanBlockSize, OneMebibyteGivesCandidatesHalfAndWhole)
{
    auto input = made_lone_subfiles(20, 0x80000000u);
    OutputSizePlan plan = fresh_plan();
    ASSERT_EQ(plan_of({input.get()}, plan), PLAN_OK);
    EXPECT_EQ(plan.block_size_a, 0x80000u);
    EXPECT_EQ(plan.block_size_b, 0x100000u);
    // 81920 blocks of 512 KiB are too many; 40960 of 1 MiB are not.
    EXPECT_EQ(plan.chosen_block_size, 0x100000u);
}

TEST(SizePlanOutcome, SectorTotalAtTheLimitIsRefused)
{
    auto input = made_lone_subfiles(32, 0x80000000u);
    OutputSizePlan plan = fresh_plan();
    EXPECT_EQ(plan_of({input.get()}, plan), PLAN_TOO_MANY_SECTORS);
    EXPECT_EQ(plan.blocks_a, max_output_sectors);
}

TEST(SizePlanOutcome, FirstBlockSizeAbove1MiBIsRefusedEvenWithAUserBlockSize)
{
    auto input = made_lone_subfiles(31, 0x80000000u, {0x80000000u - 0x80000});
    OutputSizePlan plan = fresh_plan();
    EXPECT_EQ(plan_of({input.get()}, plan, 0, 1024), PLAN_BLOCK_TOO_BIG);
}

TEST(SizePlanOutcome, UserBlockSizeMakesBothCandidatesEqual)
{
    auto typ = made_single(FILE_TYP, 100000);
    OutputSizePlan plan = fresh_plan();
    ASSERT_EQ(plan_of({typ.get()}, plan, 0, 16), PLAN_OK);
    EXPECT_EQ(plan.block_size_a, 16384u);
    EXPECT_EQ(plan.block_size_b, 16384u);
    EXPECT_EQ(plan.chosen_block_size, 16384u);
    // 7 TYP blocks, 1 MPS block, one header block.
    EXPECT_EQ(plan.planned_total_size, 9u * 16384);
    plan = fresh_plan();
    ASSERT_EQ(plan_of({typ.get()}, plan, 0, 1024), PLAN_OK);
    EXPECT_EQ(plan.chosen_block_size, 0x100000u);
    EXPECT_EQ(plan.planned_total_size, 3u * 0x100000);
}

TEST(SizePlanOutcome, UserBlockSizeNeedingMoreBlocksThanTheLimitIsRefused)
{
    auto fits = made_single(FILE_OTHER, 65000 * 1024u);
    OutputSizePlan plan = fresh_plan();
    EXPECT_EQ(plan_of({fits.get()}, plan, 0, 1), PLAN_OK);
    auto too_big = made_single(FILE_OTHER, img_block_limit * 1024u);
    plan = fresh_plan();
    EXPECT_EQ(plan_of({too_big.get()}, plan, 0, 1), PLAN_TOO_MANY_BLOCKS);
}

TEST(SizePlanTotal, HeaderAreaOfMoreThan240BlocksGetsItsOwnEntries)
{
    OutputSizePlan plan = fresh_plan();
    plan.block_size_a = plan.block_size_b = 512;
    plan.fat_entries_a = plan.fat_entries_b = 300;
    plan.blocks_a = plan.blocks_b = 1000;
    ASSERT_EQ(choose_smaller_total(plan), 1);
    // h = 4096 + 300 x 512 + 511 + 512 = 158719: 309 blocks, then two more
    // entries' room: (158719 + 1024) div 512 = 311.
    EXPECT_EQ(plan.header_area_size, 311u * 512);
    EXPECT_EQ(plan.planned_total_size, 1311u * 512);
}

TEST(SizePlanTotal, TheSmallerFileWinsAndTheLimitDecides)
{
    OutputSizePlan plan = fresh_plan();
    plan.block_size_a = 1024;
    plan.block_size_b = 2048;
    plan.fat_entries_a = plan.fat_entries_b = 1;
    plan.blocks_a = 1000;
    plan.blocks_b = 400;
    ASSERT_EQ(choose_smaller_total(plan), 1);
    EXPECT_EQ(plan.chosen_block_size, 2048u);  // 2 x 1005 > 4 x 403
    plan.blocks_b = 600;
    ASSERT_EQ(choose_smaller_total(plan), 1);
    EXPECT_EQ(plan.chosen_block_size, 1024u);
    plan.blocks_a = img_block_limit;
    plan.blocks_b = img_block_limit;
    EXPECT_EQ(choose_smaller_total(plan), 0);
    EXPECT_EQ(plan.chosen_block_size, 2048u);
}
