// Small IMG containers and single subfile files made byte by byte, for the
// cases the real test data cannot show (FAT rows at the edges, scattered
// blocks, header fields at their limits).
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/byte_view.h"
#include "tests/support/test_support.h"

namespace made {

// One subfile: its 11-byte name and size, and the file blocks that hold it in
// order (split into FAT entries of 240 blocks).
struct Subfile {
    std::string name;  // 8 + 3 characters
    uint32_t size = 0;
    std::vector<uint16_t> blocks;
};

// A container of 512-byte blocks: header, header+FAT entry at first_fat,
// `extra_header_entries` blank-named entries after it, then one FAT entry per
// 240 blocks of each subfile, then free entries up to header_fat_size.
struct Container {
    uint32_t first_fat = 0x400;
    uint8_t first_fat_byte = 2;  // header byte 0x40
    uint32_t header_fat_size = 0;  // 0: just what the entries need, in whole blocks
    uint32_t extra_header_entries = 0;
    uint32_t total_blocks = 0;  // file length in blocks
    std::vector<Subfile> subfiles;

    std::vector<uint8_t> bytes() const
    {
        uint32_t entries = 1 + extra_header_entries;
        for (const Subfile& s : subfiles)
            entries += static_cast<uint32_t>(std::max<size_t>(1, (s.blocks.size() + 239) / 240));
        uint32_t h = header_fat_size ? header_fat_size : (first_fat + entries * 512 + 511) / 512 * 512;
        std::vector<uint8_t> out(uint64_t(total_blocks) * 512, 0);
        ByteSpan b(out);
        b.put_bytes(0x10, "DSKIMG", 6);
        b.put_bytes(0x41, "GARMIN", 6);
        b.put_u8(0x40, first_fat_byte);
        b.put_u8(0x61, 9);
        b.put_u8(0x62, 0);
        uint32_t at = first_fat;
        auto entry = [&](const std::string& name, uint32_t size, uint8_t part, const uint16_t* blocks, size_t n) {
            b.put_u8(at, 1);
            b.put_bytes(at + 1, name.data(), 11);
            b.put_u32(at + 12, size);
            b.put_u8(at + 0x11, part);
            for (size_t i = 0; i < 240; ++i)
                b.put_u16(at + 0x20 + 2 * i, i < n ? blocks[i] : 0xFFFF);
            at += 512;
        };
        entry("           ", h, 0, nullptr, 0);
        b.put_u8(first_fat + 0x10, 3);
        for (uint32_t i = 0; i < extra_header_entries; ++i)
            entry("           ", 0, static_cast<uint8_t>(i + 1), nullptr, 0);
        for (const Subfile& s : subfiles) {
            size_t parts = std::max<size_t>(1, (s.blocks.size() + 239) / 240);
            for (size_t part = 0; part < parts; ++part) {
                size_t first = part * 240;
                size_t n = std::min<size_t>(240, s.blocks.size() - std::min(first, s.blocks.size()));
                entry(s.name, part == 0 ? s.size : 0, static_cast<uint8_t>(part), s.blocks.data() + first, n);
            }
        }
        return out;
    }
};

inline void xor_all(std::vector<uint8_t>& bytes, uint8_t x)
{
    for (uint8_t& c : bytes)
        c ^= x;
}

inline void write_bytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    write_file(path, std::string(bytes.begin(), bytes.end()));
}

inline std::vector<uint8_t> read_bytes(const std::string& path)
{
    std::string s = read_file(path);
    return std::vector<uint8_t>(s.begin(), s.end());
}

// A subfile header: u16 length, "GARMIN " + kind at 2, then zeros up to size.
inline std::vector<uint8_t> subfile_header(const char* kind, uint16_t header_length, size_t size)
{
    std::vector<uint8_t> out(size, 0);
    ByteSpan b(out);
    b.put_u16(0, header_length);
    b.put_bytes(2, "GARMIN ", 7);
    b.put_bytes(9, kind, 3);
    return out;
}

}  // namespace made
