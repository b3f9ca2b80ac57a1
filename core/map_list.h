// The map list of an IMG container, its MPS records and the choice of the
// code page its texts are most likely written in.
//
// A map is a run of subfiles, in the subfile table's order, that share one
// 8-character name and have compatible kinds, with no SubfileKind twice; a
// data subfile (TYP, MDR, ...) is a map of its own. The MPS subfile (the map
// product list) holds records back to back: a letter, a u16 payload length
// n and n payload bytes. Its 'L' records are bound to the maps (by map
// number, by name, then by FAT order) and carry each map's family and
// product IDs into joined or split outputs.
//
// The MPS buffer holds mps_length bytes of records, then mps_reserve bytes
// of room: the first mps_slack of them are the bytes that follow the data
// in its last block on disk, the rest are zero. Writers that grow a record
// in place use that room.
#pragma once

#include <cstdint>

#include "core/byte_view.h"
#include "core/input_file.h"

// On-disk layout of one MPS record.
struct MpsRecord {
    static constexpr uint32_t letter = 0;
    static constexpr uint32_t payload_length = 1;  // u16 n; the record is n + 3 bytes
    static constexpr uint32_t header_size = 3;
    static constexpr uint32_t product_id = 3;  // u16 in 'F', 'P' and 'L' records
    static constexpr uint32_t family_id = 5;   // u16 in 'F', 'P' and 'L' records
    static constexpr uint32_t ids_end = 7;     // a record this long holds both IDs
    static constexpr uint32_t family_name = 7;  // 'F': NUL-terminated
    static constexpr uint32_t map_number_from_end = 8;  // 'L': u32 at the record's end - 8
};

// Room kept after the MPS data, and the most slack bytes read into it.
constexpr uint32_t mps_reserve_size = 1024;

// Code-page counting for one choice: at most 20 distinct values.
struct CodePageCount {
    static constexpr uint32_t capacity = 20;
    uint32_t count = 0;
    uint32_t values[capacity] = {};
    uint32_t counts[capacity] = {};
};

// FileKind of the maps a subfile of this kind forms.
FileKind file_kind_of_subfile_kind(uint32_t kind);

// Builds `map_block`, `maps` and `map_count` from the subfile table.
// 1 ok; 0 with "Map analyse error.\n" or on allocation failure (status 5).
int build_map_list(InputFile& file);
// Reads the container's MPS subfile into `mps_buffer`. 1 ok (also: no MPS);
// 0 on a read or allocation failure (status 6).
int czytaj_mpsr(InputFile& file);
// Builds `mps_records` and binds the 'L' records to maps. 1 ok (also: no
// records); 0 on allocation failure (status 7).
int analizuj_mpsr(InputFile& file);
// Sets the file's `code_page`: the dominant one of its maps, or a single
// file's own. Returns whether it is not 0.
int choose_file_code_page(InputFile& file);

// Counts one code page; 0 for code page 0 or a full table.
int count_code_page(CodePageCount& table, uint32_t code_page);
// The dominant code page (0 for an empty table). The preferred one wins
// unless the top one is counted at least five times as often.
uint32_t pick_dominant_code_page(const CodePageCount& table, uint32_t preferred);

// The bytes of one record in the file's MPS buffer (empty when it does not
// lie wholly inside the data).
ByteView mps_record_bytes(const InputFile& file, const MpsRecordRef& record);
// The map number of an 'L' record's bytes; 0 when the record is too short
// to hold it.
uint32_t mps_map_number(ByteView record);
