// Subfile header records and their readers.
//
// Each subfile's header is read once, while the subfile table is built or a
// single subfile file is described, into a small record that the rest of the
// system consults instead of reading the file again. Every header starts with
// a u16 header length and "GARMIN " plus the kind at offset 2. TRE and LBL
// headers without their signature are fatal; any other kind whose header is
// wrong is demoted to "other" (SUB_OTHER) with a warning.
//
// A reader takes the InputFile and a SubfileEntry, or null for a single-file
// input (then the kind is the file's subfile_kind, the length its data_length
// and the record goes to its single_subfile). Results: 1 reading may go on
// (also when nothing was kept), 0 a fatal failure (read error, a TRE or LBL
// without its signature).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/kinds.h"

struct InputFile;
struct SubfileEntry;

// A TRE subfile, or the TRE part of a GMP.
struct TreInfo {
    uint32_t fat_slot = 0;
    uint32_t subfile_length = 0;
    uint32_t tre_offset = 0;     // where the TRE header starts inside the subfile
    uint32_t header_extent = 0;  // lowest section offset (a GMP part: the bytes read)
    uint32_t levels_offset = 0;  // TRE 0x21
    uint32_t levels_size = 0;    // TRE 0x25, at most 128
    uint32_t map_id = 0;         // TRE 0x74 when the header is longer than 119
    // The header as read, at most 4096 bytes; an in-place change copies its
    // bytes in once they are on disk.
    std::vector<uint8_t> header;
    std::array<uint8_t, 128> levels{};
    uint8_t first_level_bits = 0;
    uint8_t gmp_part = 0;
    uint8_t has_dem = 0;  // of the GMP holding it
    uint8_t has_nod = 0;

    uint32_t bytes_read() const { return static_cast<uint32_t>(header.size()); }
};

// TRE header bytes that other modules read from the header image.
struct TreHeader {
    static constexpr uint32_t levels_offset = 0x21;
    static constexpr uint32_t levels_size = 0x25;
    static constexpr uint32_t flags = 0x3F;  // bit 1: transparent map
    static constexpr uint32_t draw_priority = 0x40;
    static constexpr uint32_t parameters = 0x43;  // three bytes
    static constexpr uint32_t map_id = 0x74;
};

// An LBL subfile, or the LBL part of a GMP.
struct LblInfo {
    uint32_t fat_slot = 0;
    uint32_t subfile_length = 0;
    uint32_t lbl_offset = 0;
    uint32_t sort_offset = 0;  // LBL 0xB0
    uint32_t sort_length = 0;  // LBL 0xB4
    std::array<uint32_t, 5> extra{};  // LBL 0x184, 0x188, 0x18C, 0x192, 0x196 of long headers
    uint32_t code_page = 0;
    // The first bytes of the header as read: up to and with the label
    // section's place (0x15, 0x19) and the label coding (0x1E); the reader
    // takes every other field it needs into the record.
    std::vector<uint8_t> header;
    std::string sort_descriptor;  // at most 198 bytes

    static constexpr uint32_t kept_header_bytes = 0x1F;
};

// A DEM subfile, or the DEM part of a GMP.
struct DemInfo {
    uint32_t fat_slot = 0;
    uint32_t subfile_length = 0;
    uint32_t dem_offset = 0;
    uint32_t level_records_offset = 0;  // DEM 0x21
    uint32_t level_record_size = 0;     // DEM 0x1F
    uint32_t level_count = 0;           // DEM 0x19
    std::vector<uint8_t> header;        // at most 1024 bytes
    std::vector<uint8_t> first_level_record;  // at most 100 bytes

    uint32_t bytes_read() const { return static_cast<uint32_t>(header.size()); }
};

// A GMP subfile: one map's TRE, RGN, LBL, NET, NOD, DEM and MET parts.
struct GmpInfo {
    uint32_t fat_slot = 0;
    uint32_t subfile_length = 0;
    uint32_t header_length = 0;
    uint32_t tre_gap = 0;     // TRE offset - header length when positive
    uint8_t part_kind = 0;    // the part at 0x35: 1 another part, 2 a MET part
    uint8_t met_kind = 0;     // 2 MET found through 0x39, 1 through 0x35
    std::vector<uint8_t> header;  // at most 1024 bytes
    std::vector<uint8_t> met;     // the MET part or the part at 0x35, at most 1024 bytes

    uint32_t bytes_read() const { return static_cast<uint32_t>(header.size()); }
    uint32_t met_bytes_read() const { return static_cast<uint32_t>(met.size()); }
};

// Offsets of the parts in a GMP header.
struct GmpHeader {
    static constexpr uint32_t tre = 0x19;
    static constexpr uint32_t rgn = 0x1D;
    static constexpr uint32_t lbl = 0x21;
    static constexpr uint32_t net = 0x25;
    static constexpr uint32_t nod = 0x29;
    static constexpr uint32_t dem = 0x2D;
    static constexpr uint32_t mar = 0x31;
    static constexpr uint32_t further = 0x35;  // a MET part in headers of 57 to 60 bytes
    static constexpr uint32_t met = 0x39;      // headers longer than 60 bytes
};

// Fields of a DEM header and of its level records.
struct DemHeader {
    static constexpr uint32_t level_count = 0x19;     // u16
    static constexpr uint32_t record_size = 0x1F;     // u16, of one level record
    static constexpr uint32_t records_offset = 0x21;  // u32, of the first level record
    // Two u32 data offsets inside a level record.
    static constexpr uint32_t record_first = 0x20;
    static constexpr uint32_t record_second = 0x24;
};

// TYP, TDB, TRF, MMR, MD2, MDR, IDX, QSI, SID and JCV subfiles.
struct HeaderInfo {
    uint32_t fat_slot = 0;
    uint32_t subfile_length = 0;
    SubfileKind kind = SUB_NONE;
    uint32_t family_id = 0;
    uint32_t product_id = 0;
    uint32_t code_page = 0;
    std::array<uint32_t, 2> jcv_values{};
    std::vector<uint8_t> header;  // at most 1024 bytes, 2048 for MDR

    uint32_t bytes_read() const { return static_cast<uint32_t>(header.size()); }
};

// The SubfileKind and length of the subfile a reader works on: the row's, or
// (subfile null) the single-file input's subfile_kind and data_length.
SubfileKind header_subfile_kind(const InputFile& file, const SubfileEntry* subfile);
uint32_t header_subfile_length(const InputFile& file, const SubfileEntry* subfile);
// Reads n bytes at offset of a subfile through its block list, or of a
// single-file input (subfile null) from the file start.
int read_header_bytes(InputFile& file, const SubfileEntry* subfile, uint32_t offset, void* buffer, uint32_t n);

int read_gmp_header(InputFile& file, SubfileEntry* subfile);
int read_tre_header(InputFile& file, SubfileEntry* subfile);
int read_lbl_header(InputFile& file, SubfileEntry* subfile);
int read_dem_header(InputFile& file, SubfileEntry* subfile);
// Runs the reader of a TYP, TDB, TRF, MMR, MD2, MDR, IDX, QSI, SID or JCV
// subfile; other kinds read nothing.
int read_other_header(InputFile& file, SubfileEntry* subfile);
int read_typ_header(InputFile& file, SubfileEntry* subfile);
int read_tdb_header(InputFile& file, SubfileEntry* subfile);
int read_trf_header(InputFile& file, SubfileEntry* subfile);
int read_mmr_header(InputFile& file, SubfileEntry* subfile);
int read_md2_header(InputFile& file, SubfileEntry* subfile);
int read_mdr_header(InputFile& file, SubfileEntry* subfile);
int read_idx_header(InputFile& file, SubfileEntry* subfile);
int read_qsi_header(InputFile& file, SubfileEntry* subfile);
int read_sid_header(InputFile& file, SubfileEntry* subfile);
int read_jcv_header(InputFile& file, SubfileEntry* subfile);
