// The subfile table of an IMG container: its subfiles found in the FAT, their
// block lists checked and their header records read, and the step that hangs
// a subfile on its map.
//
// A subfile is its first FAT entry (flag 1, part 0, size not 0) and the
// entries that continue it (same 11-byte name, parts 1, 2, ...), wherever they
// stand in the FAT. After read_subfile_table the FAT slots are sorted so that
// the entries of one subfile stand together in part order, subfiles of one
// 8-character name stand together, and each SubfileEntry knows the position
// of its first slot; every later block-list walk relies on that order.
#pragma once

#include <array>
#include <compare>
#include <cstdint>

#include "core/byte_view.h"
#include "core/img_format.h"
#include "core/input_file.h"

// Builds `subfile_index`, groups and sorts `fat_slots`, builds `subfiles`
// and runs the header readers. 1 ok; 0 failed (the caller sets status 4).
int read_subfile_table(InputFile& file);

// The order of the FAT slots; < 0, 0, > 0 as a before, equal to, after b.
// Every slot has its own entry offset, so only a slot equals itself.
int compare_fat_slots(const InputFile& file, const FatSlot& a, const FatSlot& b);
// Byte order of the first n name bytes of the FAT entries at offsets a and b
// of the header+FAT image; bytes a short view lacks count as lower than any.
int compare_entry_names(ByteView fat, uint32_t a, uint32_t b, uint32_t n);
// A first entry's full name as a sort key, with its slot row: the name's
// bytes (those a short view lacks as zeros) and then how many it has, so
// that keys order names as compare_entry_names does; the row breaks ties.
// The subfile index sorts these, each name taken out of the FAT once.
struct NameKey {
    std::array<uint8_t, FatEntry::full_name_length + 1> name;
    uint32_t row;
    bool same_name(const NameKey& other) const { return name == other.name; }
    auto operator<=>(const NameKey& other) const = default;
};
NameKey name_key(ByteView fat, uint32_t entry, uint32_t row);
// Sorts `fat_slots`; of two used copies of one part of a subfile the one at
// the higher FAT offset is kept, the other is dropped (index_row -2).
void sort_fat_slots(InputFile& file);

// Walks the subfile's FAT entries and block lists from its `fat_slot`, sets
// its damage flags (DAMAGE_*) and cuts `length` to what the blocks cover.
// 0 only for a fatal fault (a continuation entry with the wrong part number,
// or a first slot outside the FAT).
int check_subfile_blocks(InputFile& file, SubfileEntry& subfile);

// Records a subfile in its map: the first header record of each sort, the
// number and code page they carry, the DEM and NOD marks (only ever added).
void attach_subfile_to_map(MapEntry& map, SubfileEntry& subfile);

// SubfileKind of the 3 extension bytes (compared exactly, case matters);
// SUB_OTHER for any other extension.
SubfileKind subfile_kind_of_extension(const char* extension);
