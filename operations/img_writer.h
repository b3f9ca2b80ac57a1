// IMG writer: a new IMG container written block by block.
//
// The writer lays out the header and FAT area in memory, appends subfile
// data to the output stream one subfile after the other (each padded to a
// whole block), enters each subfile's FAT entries as it goes, gathers the MPS
// records in memory, and at the end writes header and FAT back at offset 0
// with the checksum byte that makes the byte sum of the whole file 0.
//
// Every byte that reaches the file is added to `byte_sum` as it passes. The
// output is written at explicit positions (`position`), never through the
// stream's stdio buffer, gathered in an OutputRun of core/files so that
// consecutive subfiles and the zeros of short padding go out in few large
// writes; long padding (in space reserved for the join's output, any that
// holds a whole page) is skipped and reads as zeros (the file was created
// empty, and write_img_header gives it its exact length). The
// FAT entries of subfiles are written to their place in runs as they come:
// only the header and the header area's own FAT entries wait in memory for
// the end, so the memory a join takes stays small whatever the size of its
// FAT and its inputs.
//
// The kind writers below (copy_map_subfiles, copy_input_to_img,
// copy_data_file, zapisz_mape_emdem) are shared by the join and the split's
// IMG outputs: each takes one map or one input and the writer, and leaves
// the writer on a block boundary.
//
// Lifecycle: init_img_writer from a plan -> the driver opens `stream` and
// sets the names -> init_img_header -> copies -> the MPS -> write_img_header
// -> the driver closes the stream.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/coordinates.h"
#include "core/files.h"
#include "core/input_file.h"
#include "core/messages.h"
#include "operations/size_plan.h"

extern MessageText dd_RWDIFS;
extern MessageText dd_DSFSFX;
extern MessageText dd_FileST;
extern MessageText dd_MSFSFX;
extern MessageText dd_Writin;
extern MessageText dd_WrDaMa;
extern MessageText dd_OtherT;
extern MessageText dd_WriHea;
extern MessageText dd_TFLTBK;
extern MessageText dd_TFLTBB;
extern MessageText dd_TFLTBT;
extern MessageText dd_SBUHUS;
extern MessageText dd_Indexe;
extern MessageText dd_DatTrf;
extern MessageText dd_DatTyp;
extern MessageText dd_DatTdb;
extern MessageText dd_DatMmr;
extern MessageText dd_DatMd2;
extern MessageText dd_MapsNt;
extern MessageText dd_MapMpc;
extern MessageText dd_InFiMi;
extern MessageText dd_WCTNFW;
extern MessageText dd_WNDNRF;
extern MessageText dd_WDDNRF;
extern MessageText dd_OIAIFS;

// FAT entries of subfiles written in one go.
constexpr uint32_t fat_run_entries = 64;
// Padding up to this many bytes is written as zeros rather than skipped,
// unless the file's space was reserved or its blocks are larger than this
// (then, as in reserved space, unless it holds no whole page or ends before
// the next multiple of copy_piece_limit in the file).
constexpr uint32_t zero_padding_limit = 65536;
// The file system's page: in reserved space, padding that holds a whole one
// (hole_page bytes starting on a multiple of it) is skipped, unless it ends
// before the next multiple of copy_piece_limit.
constexpr uint32_t hole_page = 4096;
// Bits of header_flags: which of the version bytes and the product code
// the header gets.
enum : uint8_t {
    HEADER_VERSION_MAJOR = 1,
    HEADER_VERSION_MINOR = 2,
    HEADER_MAPSOURCE_FLAG = 4,
    HEADER_PRODUCT_CODE = 8,
};

struct ImgWriter {
    std::string output_name;  // path of the output, for messages
    std::string mapset_name;  // written into the header and the MPS
    uint8_t rename_subfiles = 0;  // 1: subfiles are entered as new_name + their extension
    uint8_t header_flags = 0;     // HEADER_* bits
    uint8_t version_major = 0;    // header 0x08
    uint8_t version_minor = 0;    // header 0x09
    uint8_t mapsource_flag = 0;   // header 0x0E
    char product_code[12] = {};   // packed into header 0x30..0x38
    char new_name[9] = {};        // FAT name under rename_subfiles
    char new_extension[4] = {};   // extension of the subfile being entered under new_name
    const char* current_input = nullptr;  // path of the input being copied, for messages
    // FAT names entered so far and the path of the input each came from (it
    // lives as long as the input, or the writer): a second subfile of a name
    // would be hidden behind the first in the output.
    std::unordered_map<std::string, const char*> entered_names;
    // Pairs of inputs already warned about ("later\nearlier"): one warning a pair.
    std::unordered_set<std::string> warned_pairs;
    uint32_t header_size = 0;     // offset of the FAT: 1024 with the short header, else 4096
    FILE* stream = nullptr;
    uint32_t block_size = 0;      // a power of two, 512 .. 1 MiB
    uint64_t total_size = 0;      // planned size of the file (drives the disk geometry)
    bool space_reserved = false;  // the file's first total_size bytes are on the disk, reading as zeros
    uint32_t kinds_written = 0;   // 1 << FileKind of the kinds already copied
    uint32_t excluded_kinds = 0;  // 1 << SubfileKind not copied from MPC maps
    uint32_t header_area_size = 0;  // header and FAT, whole blocks
    uint32_t fat_position = 0;      // offset of the next free FAT entry
    uint32_t blocks_used = 0;       // next block number to hand out
    std::vector<uint8_t> header_buffer;  // the header and the header area's own FAT entries
    std::vector<uint8_t> fat_run;        // FAT entries not written yet, from fat_run_start
    uint32_t fat_run_start = 0;
    uint64_t mps_capacity = 0;           // planned MPS size
    std::vector<uint8_t> mps_buffer;     // the output's MPS records; grows as they come
    uint64_t bytes_written = 0;  // start of the next subfile
    uint64_t position = 0;       // where the next byte goes
    uint32_t byte_sum = 0;       // of every byte written so far
    OutputRun out;               // subfile bytes and padding gathered for writing
};

// Takes the sizes from the plan and allocates the header; 0 after "Out of
// memory.". The writer is reset first.
int init_img_writer(const OutputSizePlan& plan, ImgWriter& writer);
// Header template and the header area's own FAT entries; the stream must be
// open. 0 after a seek error.
int init_img_header(ImgWriter& writer);
// Enters one subfile of size bytes at the next blocks under name11 (8 name
// and 3 extension characters, blank padded). A subfile of length 0 gets no
// entry. A FAT that would not fit, a block count past img_block_limit or
// more parts than a FAT entry can number logs "Write structure error" with
// the output name and gives 0, changing nothing; a failed write of a run of
// entries gives 0 after "Write error".
int add_fat_entries(ImgWriter& writer, uint64_t size, const char* name11);
// Writes n bytes of a subfile at the current end and adds them to the byte
// sum; 0 after "Write error".
int write_output_bytes(ImgWriter& writer, const void* bytes, size_t n);
// After length bytes of a subfile were written: the next subfile starts at
// the next block boundary; bytes_written and position advance by both. The
// padding reads as zeros: up to zero_padding_limit bytes it is written (so
// the file's data stays in one stretch and goes out in few writes), longer
// padding is skipped and left a hole. In reserved space padding is written
// only when it holds no whole hole_page or ends before the next multiple of
// copy_piece_limit in the file. 0 after "Write error".
int pad_to_block(ImgWriter& writer, uint64_t length);
// Reserves the planned size of a new output on the disk when its blocks are
// no larger than zero_padding_limit, so that its padding need not be written
// and takes no more room than written zeros would. Without the reservation
// (a file system that cannot, or too little room) the padding is written as
// before.
void reserve_output_space(ImgWriter& writer);
// Writes bytes as one whole subfile (data, padding, FAT entries); 0 after
// its message.
int write_whole_subfile(ImgWriter& writer, const std::vector<uint8_t>& bytes, const char* name11);
// The finish: the last FAT entries written, the checksum byte set, the
// header written at offset 0 and the file given its length where its last
// write did not end there (unused FAT entries and skipped padding were never
// written and read as zeros).
int write_img_header(ImgWriter& writer);

// The subfiles of a map, cut to the input's table so a damaged map record
// can never index past it.
std::span<SubfileEntry> map_subfiles(InputFile& input, const MapEntry& map);
std::span<const SubfileEntry> map_subfiles(const InputFile& input, const MapEntry& map);
// The 11-character FAT name a subfile is entered under: its own 8-character
// name, or with rename_subfiles the writer's new_name (which also becomes
// new_extension's owner), and the extension.
std::string fat_entry_name(ImgWriter& writer, const char* own_name8, const char* extension3);

// Copies the subfiles of one map whose SubfileKind bit is in kind_mask (an
// MPC map is packed into one GMP when the task asks for it).
int copy_map_subfiles(InputFile& input, MapEntry& map, ImgWriter& writer, uint32_t kind_mask);
// Copies a single-file input whole as one subfile named name11.
int copy_data_file(InputFile& input, const char* name11, ImgWriter& writer);
// Copies every map of an IMG input, or the data file, whose FileKind bit is
// in file_kind_mask, adding the maps' MPS 'L' records. Opens and closes the
// input's stream.
int copy_input_to_img(InputFile& input, uint32_t file_kind_mask, ImgWriter& writer);
// An 11-character FAT name and NUL from the input's path; extension: a text
// not starting with a blank or NUL, else the path's own. Always 1.
int make_fat_name_from_path(const InputFile& input, char out12[12], const char* extension);

// TRE bounds of a map's header, signed map units.
inline TreBounds tre_bounds(const TreInfo& tre) { return read_tre_bounds(ByteView(tre.header)); }
// Levels an empty DEM gets for a map: its TRE level records counted from the
// last one backwards while the top bit of their first byte is clear.
uint32_t count_dem_levels(const TreInfo& tre);
uint32_t empty_dem_size(uint32_t levels);
// An empty DEM subfile for the TRE's bounds, levels and date.
std::vector<uint8_t> build_empty_dem(const TreInfo& tre, uint32_t levels);
// The same for a map with TRE information; empty when it has no levels.
std::vector<uint8_t> build_empty_dem_for_map(const MapEntry& map);
// Writes an empty DEM subfile for an MPC or NT map without one; 1 also when
// the map gets none (no TRE information, no levels).
int zapisz_mape_emdem(InputFile& input, MapEntry& map, ImgWriter& writer);
