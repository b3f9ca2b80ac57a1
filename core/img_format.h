// On-disk layout of the IMG container: the 512-byte header and the 512-byte
// FAT entries.
//
// The offsets are the file's; every field is reached through ByteView and
// ByteSpan (core/byte_view.h), never by overlaying a struct, so a damaged or
// short header can only yield zeros, not a read past the buffer.
#pragma once

#include <cstdint>

#include "core/byte_view.h"

// The IMG header at file offset 0. Every byte of the file, this one's byte 0
// included, may be stored XOR-ed with the XOR byte.
struct ImgHeader {
    static constexpr uint32_t size = 512;
    static constexpr uint32_t xor_byte = 0x00;
    static constexpr uint32_t version_major = 0x08;
    static constexpr uint32_t version_minor = 0x09;
    static constexpr uint32_t update_month = 0x0A;
    static constexpr uint32_t update_year = 0x0B;  // year - 1900
    static constexpr uint32_t mapsource_flag = 0x0E;
    static constexpr uint32_t checksum = 0x0F;
    static constexpr uint32_t signature = 0x10;  // "DSKIMG" ("DSDIMG" accepted)
    static constexpr uint32_t signature_length = 6;
    static constexpr uint32_t disk_mark = 0x17;  // 2
    static constexpr uint32_t sectors_per_track = 0x18;
    static constexpr uint32_t heads = 0x1A;
    static constexpr uint32_t cylinders = 0x1C;
    static constexpr uint32_t product_code = 0x30;  // 9 bytes, 12 packed characters
    static constexpr uint32_t product_code_length = 9;
    static constexpr uint32_t date = 0x39;  // u16 year, month, day, hour, minute, second
    static constexpr uint32_t date_length = 7;
    static constexpr uint32_t first_fat = 0x40;  // in 512-byte sectors
    static constexpr uint32_t garmin = 0x41;     // "GARMIN"
    static constexpr uint32_t garmin_length = 6;
    static constexpr uint32_t mapset_name_1 = 0x49;
    static constexpr uint32_t mapset_name_1_length = 20;
    static constexpr uint32_t heads_2 = 0x5D;
    static constexpr uint32_t sectors_2 = 0x5F;
    static constexpr uint32_t block_base = 0x61;      // 9: a block is 2^(9 + e) bytes
    static constexpr uint32_t block_exponent = 0x62;  // e, 0..11
    static constexpr uint32_t total_sectors_short = 0x63;
    static constexpr uint32_t mapset_name_2 = 0x65;
    static constexpr uint32_t mapset_name_2_length = 30;
    static constexpr uint32_t partition_first_head = 0x1C0;
    static constexpr uint32_t partition_last_head = 0x1C3;
    static constexpr uint32_t partition_sectors = 0x1C4;
    static constexpr uint32_t partition_last_cylinder = 0x1C5;
    static constexpr uint32_t partition_total_sectors = 0x1CA;
    static constexpr uint32_t boot_mark = 0x1FE;  // 0x55, 0xAA

    static constexpr uint8_t block_base_value = 9;
    static constexpr uint8_t max_block_exponent = 11;
    static constexpr uint32_t sector_size = 512;
};

// One FAT entry. A subfile of n bytes needs ceil(ceil(n / block size) / 240)
// entries with one name and part numbers 0, 1, 2, ...; the first entry of the
// FAT (flag 1, blank name, mark 3) describes the header+FAT area itself.
struct FatEntry {
    static constexpr uint32_t size = 512;
    static constexpr uint32_t flag = 0x00;  // 1 in use, 0 free
    static constexpr uint32_t name = 0x01;
    static constexpr uint32_t name_length = 8;
    static constexpr uint32_t extension = 0x09;
    static constexpr uint32_t extension_length = 3;
    static constexpr uint32_t full_name_length = 11;  // name and extension
    static constexpr uint32_t subfile_size = 0x0C;   // meaningful in part 0 only
    static constexpr uint32_t header_mark = 0x10;    // 3 in the header+FAT entry
    static constexpr uint32_t part = 0x11;
    static constexpr uint32_t blocks = 0x20;
    static constexpr uint32_t block_count = 240;
    static constexpr uint16_t unused_block = 0xFFFF;
};

// True when the entry starts with flag 1 and 11 blanks: the header+FAT entry.
inline bool is_header_fat_entry(ByteView bytes, uint64_t entry)
{
    return bytes.u8(entry + FatEntry::flag) == 1 && bytes.matches(entry + FatEntry::name, "           ");
}

// True when the entry's 11 name and extension bytes are blanks.
inline bool has_blank_fat_name(ByteView bytes, uint64_t entry)
{
    return bytes.matches(entry + FatEntry::name, "           ");
}
