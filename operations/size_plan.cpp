// Output size planning.
//
// Two passes: the first adds up lengths and sectors, from which a block size
// is estimated; the second counts exact blocks and FAT entries at two
// candidate block sizes, because rounding every subfile up to whole blocks
// and the FAT that grows with them make the smallest file hard to predict.
#include "operations/size_plan.h"

#include <algorithm>

#include "core/host.h"
#include "core/messages.h"
#include "operations/img_writer.h"
#include "operations/mps_builder.h"

static MessageText* const size_table[] = {nullptr};

int load_messages_size(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(MessageTable(size_table, 0), group, code_page, write);
}

static uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// Calls f(length) for every subfile that the output will hold (a packed GMP
// counts once, with its overhead, which also makes its sectors those of
// (sum + 582) div 512; a map whose packing is refused counts as its parts):
// the one description of what is counted, shared by both passes.
template <class F>
static void for_each_output_subfile(const InputFile& input, const OutputSizePlan& plan, F f)
{
    if (input.kind != FILE_IMG) {
        f(uint64_t(input.data_length));
        return;
    }
    for (const SubfileEntry& s : input.subfiles) {
        if (!s.map || s.map->family_skip || s.map->kind == FILE_MPC || s.kind == SUB_MPS)
            continue;
        f(uint64_t(s.length));
    }
    for (const MapEntry* map : input.maps) {
        if (map->family_skip || map->kind != FILE_MPC)
            continue;
        bool packed = plan.nt_packing && std::find(plan.unpacked_maps.begin(), plan.unpacked_maps.end(), map) ==
                                             plan.unpacked_maps.end();
        uint64_t gmp_sum = 0;
        for (const SubfileEntry& s : map_subfiles(input, *map)) {
            uint32_t bit = 1u << s.kind;
            if (bit & plan.excluded_kinds)
                continue;
            if (packed && (bit & gmp_part_kinds))
                gmp_sum += s.length;
            else
                f(uint64_t(s.length));
        }
        if (gmp_sum > 0)
            f(gmp_sum + gmp_overhead);
    }
}

int sumuj_rozmiar(const InputFile& input, OutputSizePlan& plan)
{
    for_each_output_subfile(input, plan, [&](uint64_t length) {
        ++plan.subfile_count;
        plan.total_length += length;
        plan.blocks_a += ceil_div(length, 512);
    });
    if (input.kind != FILE_IMG) {
        ++plan.map_count;
        plan.kinds_present |= 1u << input.kind;
        plan.largest_subfile = std::max(plan.largest_subfile, input.data_length);
        return 1;
    }
    plan.mps_input_length += input.mps_length;
    plan.map_count += input.map_count;
    uint64_t missing_l_records = 0;
    for (const SubfileEntry& s : input.subfiles) {
        const MapEntry* map = s.map;
        if (!map || map->family_skip || map->kind == FILE_MPC)
            continue;
        if (map->kind == FILE_NT && !map->mps_record)
            ++missing_l_records;
        plan.largest_subfile = std::max(plan.largest_subfile, s.length);
        if (s.kind == SUB_MPS)
            plan.mps_capacity += s.length;
    }
    for (const MapEntry* map : input.maps) {
        if (map->family_skip)
            continue;
        plan.kinds_present |= 1u << map->kind;
        if (map->kind == FILE_NT && !map->mps_record)
            plan.mps_capacity += 180;
        if (map->kind != FILE_MPC)
            continue;
        if (!map->mps_record)
            ++missing_l_records;
        for (const SubfileEntry& s : map_subfiles(input, *map))
            if (!((1u << s.kind) & plan.excluded_kinds))
                plan.largest_subfile = std::max(plan.largest_subfile, s.length);
    }
    if (missing_l_records) {
        uint64_t n = input_mapset_name(input).size();
        plan.mps_capacity += missing_l_records * (n + 2 * uint64_t(plan.mapset_name_length) + 22);
    }
    debug_message(DBG_NT, "sumuj_rozmiar, blok_num %u, mapa_dlug %uk, mapa_sekt %u\n", plan.subfile_count,
                  static_cast<uint32_t>(plan.total_length / 1024), static_cast<uint32_t>(plan.blocks_a));
    return 1;
}

int dokladny_rozmiar(const InputFile& input, OutputSizePlan& plan)
{
    for_each_output_subfile(input, plan, [&](uint64_t length) {
        uint64_t n = ceil_div(length, plan.block_size_a);
        plan.blocks_a += n;
        plan.fat_entries_a += ceil_div(n, 240);
        n = ceil_div(length, plan.block_size_b);
        plan.blocks_b += n;
        plan.fat_entries_b += ceil_div(n, 240);
    });
    return 1;
}

// The estimate of the blocks a file of the plan takes at block size b: its
// data with half a block lost a subfile, its MPS, its header and FAT.
static uint64_t estimate_blocks(const OutputSizePlan& plan, uint64_t b)
{
    uint64_t n = plan.subfile_count;
    uint64_t l = plan.total_length;
    uint64_t data = (l + b - 1 + n * b / 2) / b;
    uint64_t mps = (plan.mps_capacity + b - 1) / b;
    uint64_t fat_entries = (l / b + 120 * n + 239) / 240;
    uint64_t header = (plan.header_size + b - 1 + 512 * fat_entries) / b;
    return data + mps + header;
}

// The file size in sectors at block size b.
static uint64_t estimate_sectors(const OutputSizePlan& plan, uint64_t b) { return b / 512 * estimate_blocks(plan, b); }

uint32_t choose_block_size(const OutputSizePlan& plan, int short_header)
{
    uint64_t k = (plan.blocks_a + 65534) / 65535;
    uint64_t b = 1024;
    if (k >= 3) {
        uint64_t p = 2;
        while (k > p)
            p *= 2;
        b = 512 * p;
        // Files this large need the long header's room for FAT entries.
        short_header = 0;
    }
    if (estimate_blocks(plan, b) > img_block_limit)
        b *= 2;
    if (plan.largest_subfile / b > subfile_block_limit)
        b *= 2;
    if (b > 32767 || short_header)
        return static_cast<uint32_t>(b);
    while (b <= 32767 && estimate_sectors(plan, 2 * b) <= estimate_sectors(plan, b))
        b *= 2;
    return static_cast<uint32_t>(b);
}

// Blocks of the header area for a candidate of block size b with f FAT
// entries: the header, the entries and one more entry for the area itself,
// and when the area needs more than one entry, room for those too.
static uint64_t header_area_blocks(const OutputSizePlan& plan, uint64_t b, uint64_t f)
{
    uint64_t h = plan.header_size + 512 * f + 511 + b;
    uint64_t n = h / b;
    if (n > 240)
        n = (h + 512 * ceil_div(n, 240)) / b;
    return n;
}

int choose_smaller_total(OutputSizePlan& plan)
{
    uint64_t header_a = header_area_blocks(plan, plan.block_size_a, plan.fat_entries_a);
    uint64_t header_b = header_area_blocks(plan, plan.block_size_b, plan.fat_entries_b);
    uint64_t total_a = plan.blocks_a + header_a;
    uint64_t total_b = plan.blocks_b + header_b;
    bool take_a = total_a <= img_block_limit &&
                  plan.block_size_a / 512 * total_a <= plan.block_size_b / 512 * total_b;
    uint64_t block = take_a ? plan.block_size_a : plan.block_size_b;
    uint64_t header = take_a ? header_a : header_b;
    uint64_t total = take_a ? total_a : total_b;
    plan.chosen_block_size = static_cast<uint32_t>(block);
    // A header area beyond 32 bits belongs to a total far beyond the limit,
    // which is refused below; the cut only keeps the field defined.
    plan.header_area_size = static_cast<uint32_t>(std::min<uint64_t>(header * block, UINT32_MAX));
    plan.planned_total_size = total * block;
    return total <= img_block_limit ? 1 : 0;
}

// Blocks and FAT entries of an MPS of the plan's capacity at block size b.
static void count_mps(const OutputSizePlan& plan, uint64_t b, uint64_t& blocks, uint64_t& fat_entries)
{
    blocks = std::max<uint64_t>(1, ceil_div(plan.mps_capacity, b));
    fat_entries = ceil_div(blocks, 240);
}

PlanOutcome plan_output_size(std::span<const InputFile* const> inputs, OutputSizePlan& plan, int short_header,
                             uint32_t user_block_kib)
{
    for (const InputFile* input : inputs)
        sumuj_rozmiar(*input, plan);
    if (plan.blocks_a >= max_output_sectors)
        return PLAN_TOO_MANY_SECTORS;
    uint32_t b = choose_block_size(plan, short_header);
    if (b > max_output_block_size)
        return PLAN_BLOCK_TOO_BIG;
    if (user_block_kib) {
        plan.block_size_a = plan.block_size_b = user_block_kib * 1024;
    } else if (b == max_output_block_size) {
        plan.block_size_a = max_output_block_size / 2;
        plan.block_size_b = max_output_block_size;
    } else {
        plan.block_size_a = b;
        plan.block_size_b = 2 * b;
    }
    count_mps(plan, plan.block_size_a, plan.blocks_a, plan.fat_entries_a);
    count_mps(plan, plan.block_size_b, plan.blocks_b, plan.fat_entries_b);
    for (const InputFile* input : inputs)
        dokladny_rozmiar(*input, plan);
    return choose_smaller_total(plan) ? PLAN_OK : PLAN_TOO_MANY_BLOCKS;
}
