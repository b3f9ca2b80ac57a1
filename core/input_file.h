// InputFile: one input (IMG container or single subfile file) and the input list.
//
// An InputFile owns everything read from its file: the header+FAT image, the
// FAT slots, the subfile rows and their header records, the maps and the MPS
// records. The list keeps the inputs in the order they were given; a task's
// operations take the whole list. Records point at one another only inside
// one InputFile, whose tables are sized once while it is read and never grow
// afterwards, so those pointers stay valid for the InputFile's life.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "core/kinds.h"
#include "core/subfile_headers.h"

// Where reading an InputFile stopped (its `status`).
enum ReadStatus : uint32_t {
    READ_OK = 0,
    READ_OPEN_FAILED = 1,
    READ_SIZE_FAILED = 2,
    READ_HEADER_BAD = 3,
    READ_SUBFILES_BAD = 4,
    READ_MAPS_BAD = 5,
    READ_MPS_FAILED = 6,
    READ_MPS_ANALYSIS_FAILED = 7,
};

// Damage found in a subfile's FAT entries and block lists (SubfileEntry::flags).
enum : uint8_t {
    DAMAGE_FEW_ENTRIES = 0x01,     // fewer entries after the first than the length needs
    DAMAGE_BROKEN_CHAIN = 0x02,    // a continuation entry is free or has another name
    DAMAGE_BLOCK_PAST_END = 0x04,  // a block number at or past total_blocks
    DAMAGE_BLOCK_IN_HEADER = 0x08, // a block number below header_blocks
    DAMAGE_SHORTENED = 0x10,       // length cut to what the blocks cover
    DAMAGE_WRONG_PART = 0x20,      // a continuation entry with the wrong part number (fatal)
};

struct MapEntry;

// One row per FAT entry of the subfiles' FAT, in `fat_slots`. The entry itself
// stays in `header_buffer`; rows refer to it by offset, so trimming or
// sorting never leaves a row pointing at freed bytes.
struct FatSlot {
    uint32_t entry_offset = 0;  // the FatEntry's offset in header_buffer (and in the file)
    uint32_t sort_class = 0;    // 1 RGN and GMP, 2 TRE LBL NET NOD DEM SRT, 0 others and free
    int32_t group = -1;         // run of entries that belong together; -1 orphaned
    int32_t index_row = -1;     // SubfileIndexEntry row of a first entry; -1 none, -2 dropped
    uint32_t name_entry = 0;    // offset of the entry whose name stands for this slot when sorting
};

// One subfile of a container (joined from its FAT entries), or the description
// of a single-file input. It owns the header records its readers kept.
struct SubfileEntry {
    SubfileKind kind = SUB_NONE;
    char name[12] = {};  // 8 name and 3 extension characters, NUL
    uint32_t length = 0;            // usable: declared, cut to what the block lists cover
    uint32_t declared_length = 0;   // size in the first FAT entry
    uint32_t fat_slot = 0;          // row of the first entry in the sorted fat_slots
    uint32_t fat_entry_offset = 0;  // offset of the first FAT entry
    MapEntry* map = nullptr;        // the map it belongs to
    std::unique_ptr<TreInfo> tre_info;
    std::unique_ptr<LblInfo> lbl_info;
    std::unique_ptr<DemInfo> dem_info;
    std::unique_ptr<GmpInfo> gmp_info;
    std::unique_ptr<HeaderInfo> header_info;
    uint8_t bad_data = 0;  // 1: a header reader rejected its header
    uint8_t flags = 0;     // DAMAGE_* bits
    char written_name[9] = {};  // the name a renaming IMG writer entered it under

    // Drops the header records it owns.
    void release_records();
};

// One row per subfile, in FAT order of the first entries.
struct SubfileIndexEntry {
    uint32_t first_entry_offset = 0;  // offset of the subfile's first FAT entry
    uint32_t slot_position = 0;       // that entry's row in the sorted fat_slots
    SubfileEntry* subfile = nullptr;
};

// The subfile index and, beside it, the offsets of the subfiles' first FAT
// entries in ascending byte order of their 11-byte names.
struct SubfileIndex {
    std::vector<SubfileIndexEntry> rows;
    std::vector<uint32_t> sorted_names;
};

// One record of the MPS subfile, as found in `mps_buffer`.
struct MpsRecordRef {
    uint8_t letter = 0;
    uint8_t matched = 0;          // 1 once bound to a map
    uint32_t record_offset = 0;   // where the record starts in mps_buffer
    uint32_t record_length = 0;   // payload length + 3
    uint32_t code_page = 0;       // of the bound map ('L'), or the family's dominant one ('F')
};

// One map of a container's map list: a run of subfiles with one 8-character
// name and compatible kinds, or one data subfile.
struct MapEntry {
    FileKind kind = FILE_IMG;
    uint32_t map_number = 0;
    uint32_t code_page = 0;
    uint32_t ordinal = 0;  // 0, 1, ... among neighbouring maps of one name and kind
    char name[12] = {};
    char extension[4] = {};  // of a lone subfile (FILE_OTHER)

    // Filled by the split and the writers for their output maps.
    std::string output_file_name;
    uint32_t output_number = 0;
    char new_subfile_name[9] = {};
    std::string description;
    uint32_t plan_block_size = 0;
    uint32_t plan_header_bytes = 0;
    uint32_t plan_total_bytes = 0;
    uint8_t family_skip = 0;
    uint8_t family_used = 0;
    uint8_t outside_area = 0;
    uint32_t dem_length = 0;

    uint32_t first_subfile = 0;
    uint32_t subfile_count = 0;
    uint32_t subfile_kinds = 0;  // OR of 1 << SubfileKind
    uint32_t length = 0;         // sum of the subfiles' usable lengths
    MpsRecordRef* mps_record = nullptr;
    // The first record of each sort among its subfiles; owned by the subfiles.
    const TreInfo* tre_info = nullptr;
    const LblInfo* lbl_info = nullptr;
    const GmpInfo* gmp_info = nullptr;
    const DemInfo* dem_info = nullptr;
    const HeaderInfo* header_info = nullptr;
    uint32_t bad_subfiles = 0;
    uint8_t has_dem = 0;
    uint8_t has_nod = 0;
    uint8_t listed = 0;
    uint8_t header_unknown = 0;
    uint32_t damage_flags = 0;
};

// A member that counts the records holding it, copies included: the task
// bridge's memory trace shows how many input files are alive, so a task that
// keeps its files beyond its end shows at once.
struct LiveInputCount {
    static inline uint32_t alive = 0;
    LiveInputCount() { ++alive; }
    LiveInputCount(const LiveInputCount&) { ++alive; }
    LiveInputCount& operator=(const LiveInputCount&) = default;
    ~LiveInputCount() { --alive; }
};

struct InputFile {
    LiveInputCount counted;
    FILE* stream = nullptr;  // open only while the file is read or changed
    bool read_only = false;  // stream was opened for reading only
    ReadStatus status = READ_OK;
    uint32_t damage_flags = 0;  // OR of its subfiles' flags
    std::string path;
    uint64_t file_size = 0;  // all ones when the position could not be taken
    uint32_t xor_mask = 0;   // the XOR byte in all four bytes; 0 plain
    uint32_t block_size = 0;
    uint32_t header_length = 0;          // bytes of header+FAT kept in header_buffer
    std::vector<uint8_t> header_buffer;  // header+FAT with the XOR undone
    uint32_t code_page = 0;              // dominant code page of its texts
    uint32_t previous_code_page = 0;     // last one announced to the Files list
    uint32_t first_fat_offset = 0;       // the header+FAT entry
    uint32_t fat_offset = 0;             // first FAT entry of a subfile
    uint32_t fat_end = 0;                // = header_length
    uint32_t fat_entry_count = 0;        // (fat_end - fat_offset) / 512 = fat_slots.size()
    uint32_t header_blocks = 0;          // ceil(header+FAT size / block size)
    uint32_t total_blocks = 0;           // ceil(file size / block size)
    std::vector<FatSlot> fat_slots;
    uint32_t subfile_count = 0;  // = subfiles.size()
    std::vector<SubfileEntry> subfiles;
    SubfileIndex subfile_index;

    uint32_t map_count = 0;  // = maps.size()
    std::vector<MapEntry> map_block;
    std::vector<MapEntry*> maps;  // map order; into map_block

    uint32_t is_marine = 0;  // the MPS subfile is BLUCHART
    uint32_t mps_length = 0;
    uint32_t mps_map_index = 0;
    uint32_t mps_reserve = 0;
    uint32_t mps_slack = 0;
    std::vector<uint8_t> mps_buffer;
    uint32_t mps_record_count = 0;  // = mps_records.size()
    std::vector<MpsRecordRef> mps_records;

    uint32_t data_length = 0;  // content length of a single-file input
    FileKind kind = FILE_IMG;
    uint32_t fid = 0;  // family and product ID of a single TYP, TDB or QSI file
    uint32_t pid = 0;
    uint32_t data_code_page = 0;  // from a single file's header
    std::string base_name;        // set by the split
    SubfileKind subfile_kind = SUB_NONE;
    SubfileEntry single_subfile;  // describes a single-file input
};

using InputList = std::vector<std::unique_ptr<InputFile>>;

// Appends a new, empty InputFile for path and returns it.
InputFile& add_input_file(InputList& list, const std::string& path);
