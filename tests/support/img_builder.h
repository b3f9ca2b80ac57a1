// Test support: synthetic IMG containers, sound or damaged.
//
// A test describes the container (block size, XOR byte, header fields,
// subfiles in FAT order, free entries, continuation entries moved elsewhere
// in the FAT) and gets its bytes. The layout is the container's own: a
// 512-byte header, the FAT from the first-FAT sector on, 512-byte entries of
// up to 240 block numbers (the first entries describing the header+FAT area
// itself), then each subfile's data in whole blocks, in the order the
// subfiles were added. Damaged variants come from edits of the laid-out
// image (any header byte, any FAT field), applied in order before the XOR.
//
//   ImgBuilder b({.block_size = 1024, .xor_byte = 0x5A});
//   int tre = b.add_subfile("12345678", "TRE", tre_subfile({.map_id = 12345678}));
//   b.set_fat_block(tre, 0, 0, 1);   // a block inside the header area
//   b.write(dir.file("bad.img"));
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tests/support/subfile_images.h"

constexpr uint32_t FAT_ENTRY_SIZE = 512;
constexpr uint32_t BLOCKS_PER_ENTRY = 240;

struct ImgSpec {
    // Bytes per block. Not a power of two only for damage cases: the layout
    // uses it as given, while the exponent byte 0x62 holds the smallest e with
    // 2^e >= block_size / 512 (0 above 1 MiB), as the join writer stores it.
    uint32_t block_size = 512;
    uint8_t xor_byte = 0;  // every byte of the file is stored XOR-ed with it
    std::string signature = "DSKIMG";  // 6 bytes at 0x10
    uint8_t version_major = 0;         // 0x08
    uint8_t version_minor = 0;         // 0x09
    uint8_t mapsource_flag = 0;        // 0x0E
    HeaderDate created{};                // 0x39..0x3F; also 0x0A (month) and 0x0B (year - 1900)
    std::array<uint8_t, 9> product_code{};  // 0x30..0x38, packed
    std::string mapset_name_1{};  // 0x49, 20 bytes, blank padded
    std::string mapset_name_2{};  // 0x65, 30 bytes, blank padded
    uint32_t first_fat_sector = 2;  // 0x40; the FAT starts at sector * 512
    // Bytes of the header+FAT area; 0: the least that holds the FAT, in
    // whole blocks. A given size must hold the FAT but need not be whole blocks.
    uint32_t header_fat_size = 0;
    bool checksum_zero = false;  // byte 0x0F makes the byte sum of the stored file 0
};

// One FAT row after the header's own entries: a part of a subfile, or free.
struct FatRow {
    int subfile = -1;  // -1: a free entry
    unsigned part = 0;
};

// Where the layout put everything; offsets are file offsets.
struct ImgLayout {
    uint32_t block_size = 0;
    uint32_t first_fat_offset = 0;
    uint32_t header_fat_size = 0;
    uint32_t header_blocks = 0;   // blocks of the header+FAT area
    uint32_t header_entries = 0;  // FAT entries that describe that area
    uint32_t total_blocks = 0;
    uint64_t file_size = 0;
    std::vector<FatRow> rows;            // in FAT order
    std::vector<uint32_t> first_block;   // per subfile
    std::vector<uint32_t> block_count;   // per subfile

    // Offset of the FAT entry of a row, of a subfile's part, of a subfile's data.
    size_t row_offset(size_t row) const;
    size_t entry_offset(int subfile, unsigned part) const;
    uint64_t data_offset(int subfile) const;
};

class ImgBuilder {
public:
    ImgSpec spec;

    ImgBuilder() = default;
    explicit ImgBuilder(const ImgSpec& s) : spec(s) {}

    // Adds a subfile and its FAT entries (ceil(blocks / 240), at least one,
    // parts 0, 1, ...) at the end of the FAT; returns its number (0, 1, ...).
    int add_subfile(const std::string& name8, const std::string& ext3, const std::string& bytes);
    // Adds a free (all zero) FAT entry at the end of the FAT; returns its row.
    size_t add_free_entry();
    // Row of a subfile's part, number of rows, number of parts of a subfile.
    size_t fat_row(int subfile, unsigned part) const;
    size_t fat_row_count() const { return rows_.size(); }
    unsigned part_count(int subfile) const;
    // Moves the row at from so that it becomes row to (the others close up).
    void move_fat_row(size_t from, size_t to);

    // Edits of the laid-out, un-XOR-ed image, applied in order. The named
    // ones find their entry when the file is built, so rows may move after.
    void edit(std::function<void(const ImgLayout&, std::string& image)> change);
    void set_header_byte(size_t offset, uint8_t value);
    void set_fat_flag(int subfile, unsigned part, uint8_t flag);
    void set_fat_part_number(int subfile, unsigned part, uint8_t number);
    void set_fat_size(int subfile, uint32_t size);
    void set_fat_name(int subfile, unsigned part, const std::string& name8, const std::string& ext3);
    void set_fat_block(int subfile, unsigned part, unsigned slot, uint16_t block);
    // Overwrites the entry of row to with a copy of the entry of row from;
    // rows are counted as they stand when the file is built.
    void copy_fat_row(size_t from, size_t to);
    void set_checksum_zero() { spec.checksum_zero = true; }

    ImgLayout layout() const;
    // The whole file as stored (XOR-ed when the file has an XOR byte), or its plain twin.
    std::string build() const;
    std::string build_plain() const;
    void write(const std::string& path) const;

private:
    struct Subfile {
        std::string name11;
        std::string bytes;
        unsigned parts;
    };
    std::vector<Subfile> subfiles_;
    std::vector<FatRow> rows_;
    std::vector<std::function<void(const ImgLayout&, std::string&)>> edits_;

    const Subfile& subfile(int id) const;
    std::string image() const;
};

// The 11 name bytes of a FAT entry: name8 and ext3, each blank padded.
std::string fat_name(const std::string& name8, const std::string& ext3);
