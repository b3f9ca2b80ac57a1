// Split outputs: the IMG files the split writes, one per map and one per
// family ID, through the join's writer and MPS builder.
//
// A per-map file holds one map's subfiles (renamed "I%07X" of its number
// for MapSource when asked) and no MPS; its block size comes from a plan of
// its own. A family mapset holds every map of one family ID with its MPS
// 'L' records, and 'V', 'P' and 'F' records for the family, planned as a
// join of the family's maps.
#pragma once

#include <cstdint>

#include "core/input_file.h"
#include "operations/img_writer.h"
#include "operations/split.h"

// The writer of an input's per-map files and its number counter for maps
// that carry no usable number (0: none).
struct SplitMapWriter {
    ImgWriter writer;
    uint32_t number_counter = 0;
};

// The size plan of one map's file. fits is false when no candidate stays
// within the writer's limits.
struct SplitMapPlan {
    uint32_t block_size = 0;
    uint64_t header_bytes = 0;  // header and FAT area, whole blocks
    uint64_t total_bytes = 0;
    uint32_t header_size = 0;   // bytes before the FAT
    bool fits = false;
};

// 1 when the split adds an empty DEM to this map (only MPC and NT maps
// without one, with levels to describe).
int gets_empty_dem(const MapEntry& map);
// The first block-size estimate of one map.
uint32_t choose_split_map_block_size(const InputFile& input, const MapEntry& map, int short_header);
// The exact plan of one map at header_size bytes before its FAT, from its
// estimate; also kept in the map's plan fields.
SplitMapPlan plan_split_map(const InputFile& input, MapEntry& map, uint32_t estimate, uint32_t header_size);

// Writes one map's own IMG file. 1 written, or the file could not be
// created (one error counted); 0 after a logged failure (not counted).
int write_split_map(InputFile& input, SplitRun& run, MapEntry& map, SplitMapWriter& split, const SplitMapPlan& plan,
                    uint32_t kind_mask);

// Writes "FAM_%04u.img" for the family of one F record row. 1 done (also
// with no member, or a file that could not be created, counted); 0 after a
// failure, counted.
int write_family_mapset(InputFile& input, SplitRun& run, const FamilyRow& row);
