// Test support: the bytes of single subfiles and MPS records.
//
// Each builder returns a minimal subfile that the readers accept, with the
// fields they read given as parameters, so a test states only what it
// checks. The layouts follow the subfile headers as the readers see them:
// a u16 header length, "GARMIN " and the kind, fields at fixed offsets,
// sections after the header. A field is written only when the declared
// header length covers it, so short headers stay short. Damaged variants
// are made by editing the returned bytes (put_u16 and friends below).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class ScratchDir;

// Little-endian accessors over a byte string; each throws std::out_of_range
// rather than write or read past its end.
void put_u8(std::string& bytes, size_t offset, uint32_t value);
void put_u16(std::string& bytes, size_t offset, uint32_t value);
void put_u24(std::string& bytes, size_t offset, uint32_t value);
void put_u32(std::string& bytes, size_t offset, uint32_t value);
void put_text(std::string& bytes, size_t offset, const std::string& text);
uint32_t get_u8(const std::string& bytes, size_t offset);
uint32_t get_u16(const std::string& bytes, size_t offset);
uint32_t get_u32(const std::string& bytes, size_t offset);

// The 7-byte date of IMG and subfile headers (u16 year, month 1..12, day,
// hour, minute, second). The default is the test corpus's date.
struct HeaderDate {
    uint16_t year = 2024;
    uint8_t month = 6, day = 1, hour = 12, minute = 0, second = 0;
};
void put_date(std::string& bytes, size_t offset, const HeaderDate& date);

// A subfile of total bytes (at least header_length) that holds only the
// common header: header_length, "GARMIN " + kind3, 1 at 0x0C, the date at
// 0x0E. Also the start of every builder below.
std::string common_header(const std::string& kind3, uint16_t header_length, size_t total = 0,
                          const HeaderDate& date = {});

// One 4-byte record of the TRE map-levels section.
std::string tre_level(uint8_t zoom, uint8_t bits, uint16_t subdivisions, bool inherited = false);

struct TreSpec {
    uint16_t header_length = 188;
    uint32_t map_id = 0;  // at 0x74, kept only when header_length > 119
    // The map-levels section (0x21 offset, 0x25 size), placed after the header.
    std::string levels = tre_level(3, 18, 1, true) + tre_level(2, 20, 1) + tre_level(1, 22, 1) +
                         tre_level(0, 24, 1);
    uint8_t flags = 0x0D;     // 0x3F; bit 1: transparent map
    uint8_t priority = 25;    // 0x40
    std::array<uint8_t, 3> params{1, 3, 0x11};  // 0x43..0x45
    // Bounds, 24-bit map units at 0x15, 0x18, 0x1B, 0x1E.
    uint32_t north = 0x217503, east = 0x05B976, south = 0x216C16, west = 0x05B05B;
    size_t total_length = 0;  // 0: header and levels only
    HeaderDate date{};
};
// A TRE subfile: header, then the levels section; the subdivision, copyright
// and overview sections are present but empty right after the levels. base
// is where the subfile starts inside its container (a GMP part), because
// section offsets count from the container's start.
std::string tre_subfile(const TreSpec& spec = {}, uint32_t base = 0);

struct LblSpec {
    uint16_t header_length = 196;
    uint16_t code_page = 1252;  // 0xAA
    uint16_t sort_id = 7;       // 0xAC; the readers take it as the code page when 0xAA is 0
    uint8_t label_coding = 9;   // 0x1E
    // Sort descriptor (0xB0 offset, 0xB4 length with its NUL), after the header.
    std::string sort_description = "Western European sort";
    std::string labels = std::string(1, '\0');  // label section (0x15, 0x19), after the sort descriptor
    size_t total_length = 0;
    HeaderDate date{};
};
std::string lbl_subfile(const LblSpec& spec = {}, uint32_t base = 0);

struct DemSpec {
    uint16_t header_length = 41;
    uint16_t level_count = 1;   // 0x19
    uint16_t record_size = 60;  // 0x1F
    // Level records (0x21 offset), after the header; empty: level_count
    // records of record_size zero bytes with the level number in byte 1.
    std::string records{};
    size_t total_length = 0;
    HeaderDate date{};
};
std::string dem_subfile(const DemSpec& spec = {}, uint32_t base = 0);

// A GMP subfile: the header, then each part whole, in the order TRE, RGN,
// LBL, NET, NOD, DEM, MET; an absent part has offset 0. The MET offset goes
// to 0x39 when the header is longer than 60 bytes, else to 0x35 when the
// header holds it.
struct GmpSpec {
    uint16_t header_length = 61;
    std::string after_header{};  // bytes between the header and the first part
    std::optional<TreSpec> tre = TreSpec{};
    std::string rgn = common_header("RGN", 125);
    std::optional<LblSpec> lbl = LblSpec{};
    std::string net{};
    std::string nod{};
    std::optional<DemSpec> dem{};
    std::string met{};
    HeaderDate date{};
};
std::string gmp_subfile(const GmpSpec& spec = {});

// TYP: code page 0x15, family ID 0x2F, product ID 0x31.
std::string typ_subfile(uint16_t code_page = 1252, uint16_t fid = 1, uint16_t pid = 1,
                        uint16_t header_length = 156, size_t total = 0);
// TRF: code page 0x27.
std::string trf_subfile(uint16_t code_page = 1252, uint16_t header_length = 73, size_t total = 0);
// MMR: code page 0x8C.
std::string mmr_subfile(uint16_t code_page = 1252, uint16_t header_length = 150, size_t total = 0);
// MDR: code page 0x15.
std::string mdr_subfile(uint16_t code_page = 1252, uint16_t header_length = 286, size_t total = 0);
// MD2: the u32 header length 236 at 0, no signature.
std::string md2_subfile(size_t total = 236);
// IDX: u32 header length at 0, "ISM.IDX" at 4.
std::string idx_subfile(uint32_t header_length = 53, size_t total = 0);
// QSI: "QSI" at 0, family ID 0x10.
std::string qsi_subfile(uint16_t fid = 1, size_t total = 18);
// SID: "GARMIN SID" at 0 (no length before it).
std::string sid_subfile(size_t total = 42);

// JCV: the two u32 values lie at the offset held at 0x5E, which is marked
// valid by a u16 above 7 at 0x62; they go right after the header.
struct JcvSpec {
    uint16_t header_length = 108;
    std::optional<std::array<uint32_t, 2>> values = std::array<uint32_t, 2>{0, 0};
    size_t total_length = 0;
};
std::string jcv_subfile(const JcvSpec& spec = {});

// TDB: one 'P' record: u16 length of the rest, product ID, family ID,
// version, series text, a u16, family text, and from version 400 on the code
// page 31 bytes after the family text's NUL; then tail (further records).
struct TdbSpec {
    uint16_t version = 407;
    uint16_t pid = 1, fid = 1;
    std::string series = "Test Series";
    uint16_t between_texts = 100;
    std::string family = "TestFamily";
    uint16_t code_page = 1252;
    std::string tail{};
};
std::string tdb_file(const TdbSpec& spec = {});

// MPS records: letter, u16 payload length, payload.
std::string mps_record(char letter, const std::string& payload);
// 'L': product and family ID, u32 map number, the texts (each with its NUL),
// the map number again (read at the record's end - 8) and last (end - 4).
std::string mps_l_record(uint16_t pid, uint16_t fid, uint32_t map_number,
                         const std::vector<std::string>& texts, uint32_t last = 0);
// 'F': product and family ID, family name and NUL.
std::string mps_f_record(uint16_t pid, uint16_t fid, const std::string& name);
// 'P': product and family ID and three more u16.
std::string mps_p_record(uint16_t pid, uint16_t fid, const std::array<uint16_t, 3>& more = {});
// 'V': mapset name, NUL and a flag byte.
std::string mps_v_record(const std::string& name, uint8_t flag = 0);

// Writes bytes as the single file name in dir and returns its path.
std::string write_single_file(const ScratchDir& dir, const std::string& name, const std::string& bytes);
