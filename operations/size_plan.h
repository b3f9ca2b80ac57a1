// Output size planning: what the inputs will put into a new IMG file, the
// block size that keeps it within the container's limits with little waste,
// and the exact blocks and FAT entries of two candidate block sizes, of
// which the one giving the smaller file is kept.
//
// The planner reads InputFile tables only; it neither allocates nor does
// I/O. Every count is kept in 64 bits, so no sum over many inputs wraps
// before the limits below are tested.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "core/input_file.h"

// Blocks one IMG file may hold in all: the planners refuse a file that needs
// more, and the writer hands out no block number beyond it.
constexpr uint32_t img_block_limit = 65520;
// Blocks a single subfile may take at the first block size before the
// planner doubles the block size.
constexpr uint32_t subfile_block_limit = 0xEFFF;
// The largest block size an output may have.
constexpr uint32_t max_output_block_size = 0x100000;
// Outputs of this many 512-byte sectors (64 GiB) or more are refused.
constexpr uint64_t max_output_sectors = 0x8000000;
// Subfile kinds of an MPC map that go into one GMP when maps are packed:
// DEM, LBL, NET, NOD, RGN and TRE.
constexpr uint32_t gmp_part_kinds = 0x3F000;
// Bytes a packed GMP adds to the parts it holds (its header and creator).
constexpr uint32_t gmp_overhead = 71;

// A record the caller starts empty and fills as the field comments say.
struct OutputSizePlan {
    uint32_t subfile_count = 0;       // subfiles besides the MPS (a packed GMP counts one)
    uint32_t map_count = 0;           // maps of IMG inputs, plus one per single-file input
    uint64_t mps_input_length = 0;    // MPS data of the IMG inputs
    uint32_t nt_packing = 0;          // caller: MPC maps are packed into GMP subfiles
    // caller: MPC maps whose packing is refused; they go in as their parts
    std::vector<const MapEntry*> unpacked_maps;
    uint32_t mapset_name_length = 0;  // caller: at most 50; 12 without a name
    uint32_t header_size = 0;         // caller: bytes before the FAT (1024 short, else 4096)
    uint64_t mps_capacity = 0;        // estimated bytes of the output's MPS
    uint32_t kinds_present = 0;       // 1 << FileKind of the maps and single files counted
    uint32_t excluded_kinds = 0;      // caller: 1 << SubfileKind left out of MPC maps
    uint64_t total_length = 0;        // bytes of the subfiles counted
    uint32_t largest_subfile = 0;
    uint32_t block_size_a = 0;
    uint64_t fat_entries_a = 0;
    uint64_t blocks_a = 0;  // first pass: 512-byte sectors of the subfiles; then blocks at block_size_a
    uint32_t block_size_b = 0;
    uint64_t fat_entries_b = 0;
    uint64_t blocks_b = 0;
    uint32_t chosen_block_size = 0;   // result
    uint32_t header_area_size = 0;    // result: header and FAT, whole blocks
    uint64_t planned_total_size = 0;  // result
};

// The first pass over one input; 1.
int sumuj_rozmiar(const InputFile& input, OutputSizePlan& plan);
// The exact pass over one input, once both candidate block sizes are set; 1.
int dokladny_rozmiar(const InputFile& input, OutputSizePlan& plan);
// The first block size, from the first pass's sums.
uint32_t choose_block_size(const OutputSizePlan& plan, int short_header);
// Fills the three results with the candidate that gives the smaller file; 1
// when the chosen candidate stays within img_block_limit blocks.
int choose_smaller_total(OutputSizePlan& plan);

// How a whole plan ended.
enum PlanOutcome {
    PLAN_OK = 0,
    PLAN_TOO_MANY_SECTORS,  // the sector total reaches max_output_sectors
    PLAN_BLOCK_TOO_BIG,     // the first block size exceeds max_output_block_size
    PLAN_TOO_MANY_BLOCKS,   // no candidate fits img_block_limit
};

// The caller's whole sequence over inputs, after it has zeroed the plan and
// set header_size, excluded_kinds, nt_packing and mapset_name_length:
// both passes, the block-size choice (user_block_kib KiB for both candidates
// when not 0) and the final choice.
PlanOutcome plan_output_size(std::span<const InputFile* const> inputs, OutputSizePlan& plan, int short_header,
                             uint32_t user_block_kib);
