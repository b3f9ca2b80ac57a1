// Test support: synthetic IMG containers, sound or damaged.
#include "tests/support/img_builder.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/test_support.h"

static uint64_t ceil_div(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// FAT entries that list this many blocks; even an empty subfile has its entry.
static unsigned entries_for_blocks(uint64_t blocks)
{
    return blocks == 0 ? 1 : static_cast<unsigned>(ceil_div(blocks, BLOCKS_PER_ENTRY));
}

std::string fat_name(const std::string& name8, const std::string& ext3)
{
    std::string name = name8.substr(0, 8);
    name.resize(8, ' ');
    std::string ext = ext3.substr(0, 3);
    ext.resize(3, ' ');
    return name + ext;
}

size_t ImgLayout::row_offset(size_t row) const
{
    if (row >= rows.size())
        throw std::out_of_range("IMG layout: no such FAT row");
    return first_fat_offset + size_t(FAT_ENTRY_SIZE) * (header_entries + row);
}

size_t ImgLayout::entry_offset(int subfile, unsigned part) const
{
    for (size_t row = 0; row < rows.size(); ++row)
        if (rows[row].subfile == subfile && rows[row].part == part)
            return row_offset(row);
    throw std::out_of_range("IMG layout: no such subfile part");
}

uint64_t ImgLayout::data_offset(int subfile) const
{
    return uint64_t(first_block.at(static_cast<size_t>(subfile))) * block_size;
}

int ImgBuilder::add_subfile(const std::string& name8, const std::string& ext3, const std::string& bytes)
{
    if (spec.block_size == 0)
        throw std::invalid_argument("IMG builder: block size 0");
    int id = static_cast<int>(subfiles_.size());
    unsigned parts = entries_for_blocks(ceil_div(bytes.size(), spec.block_size));
    subfiles_.push_back({fat_name(name8, ext3), bytes, parts});
    for (unsigned part = 0; part < parts; ++part)
        rows_.push_back({id, part});
    return id;
}

size_t ImgBuilder::add_free_entry()
{
    rows_.push_back({-1, 0});
    return rows_.size() - 1;
}

const ImgBuilder::Subfile& ImgBuilder::subfile(int id) const
{
    if (id < 0 || static_cast<size_t>(id) >= subfiles_.size())
        throw std::out_of_range("IMG builder: no such subfile");
    return subfiles_[static_cast<size_t>(id)];
}

unsigned ImgBuilder::part_count(int id) const { return subfile(id).parts; }

size_t ImgBuilder::fat_row(int id, unsigned part) const
{
    for (size_t row = 0; row < rows_.size(); ++row)
        if (rows_[row].subfile == id && rows_[row].part == part)
            return row;
    throw std::out_of_range("IMG builder: no such subfile part");
}

void ImgBuilder::move_fat_row(size_t from, size_t to)
{
    if (from >= rows_.size() || to >= rows_.size())
        throw std::out_of_range("IMG builder: no such FAT row");
    FatRow row = rows_[from];
    rows_.erase(rows_.begin() + static_cast<std::ptrdiff_t>(from));
    rows_.insert(rows_.begin() + static_cast<std::ptrdiff_t>(to), row);
}

void ImgBuilder::edit(std::function<void(const ImgLayout&, std::string&)> change)
{
    edits_.push_back(std::move(change));
}

void ImgBuilder::set_header_byte(size_t offset, uint8_t value)
{
    edit([=](const ImgLayout&, std::string& image) { put_u8(image, offset, value); });
}

void ImgBuilder::set_fat_flag(int id, unsigned part, uint8_t flag)
{
    edit([=](const ImgLayout& l, std::string& image) { put_u8(image, l.entry_offset(id, part), flag); });
}

void ImgBuilder::set_fat_part_number(int id, unsigned part, uint8_t number)
{
    edit([=](const ImgLayout& l, std::string& image) { put_u8(image, l.entry_offset(id, part) + 0x11, number); });
}

void ImgBuilder::set_fat_size(int id, uint32_t size)
{
    edit([=](const ImgLayout& l, std::string& image) { put_u32(image, l.entry_offset(id, 0) + 0x0C, size); });
}

void ImgBuilder::set_fat_name(int id, unsigned part, const std::string& name8, const std::string& ext3)
{
    std::string name = fat_name(name8, ext3);
    edit([=](const ImgLayout& l, std::string& image) { put_text(image, l.entry_offset(id, part) + 1, name); });
}

void ImgBuilder::set_fat_block(int id, unsigned part, unsigned slot, uint16_t block)
{
    if (slot >= BLOCKS_PER_ENTRY)
        throw std::out_of_range("IMG builder: block slot past 240");
    edit([=](const ImgLayout& l, std::string& image) {
        put_u16(image, l.entry_offset(id, part) + 0x20 + 2 * slot, block);
    });
}

void ImgBuilder::copy_fat_row(size_t from, size_t to)
{
    edit([=](const ImgLayout& l, std::string& image) {
        image.replace(l.row_offset(to), FAT_ENTRY_SIZE, image.substr(l.row_offset(from), FAT_ENTRY_SIZE));
    });
}

ImgLayout ImgBuilder::layout() const
{
    const uint32_t block = spec.block_size;
    if (block == 0)
        throw std::invalid_argument("IMG builder: block size 0");
    if (spec.first_fat_sector == 0 || spec.first_fat_sector > 255)
        throw std::invalid_argument("IMG builder: first FAT sector must be 1..255");
    for (const Subfile& s : subfiles_)
        if (s.parts != entries_for_blocks(ceil_div(s.bytes.size(), block)))
            throw std::logic_error("IMG builder: block size changed after subfiles were added");

    ImgLayout l;
    l.block_size = block;
    l.first_fat_offset = spec.first_fat_sector * 512;
    l.rows = rows_;
    uint64_t fat_end = 0;
    uint64_t size = spec.header_fat_size;
    if (size != 0) {
        l.header_entries = entries_for_blocks(ceil_div(size, block));
        fat_end = l.first_fat_offset + uint64_t(FAT_ENTRY_SIZE) * (l.header_entries + rows_.size());
        if (fat_end > size)
            throw std::invalid_argument("IMG builder: the header+FAT size does not hold the FAT");
    } else {
        // The header's own entries depend on the size they describe.
        l.header_entries = 1;
        for (;;) {
            fat_end = l.first_fat_offset + uint64_t(FAT_ENTRY_SIZE) * (l.header_entries + rows_.size());
            size = ceil_div(fat_end, block) * block;
            unsigned needed = entries_for_blocks(size / block);
            if (needed == l.header_entries)
                break;
            l.header_entries = needed;
        }
    }
    if (size > 0xFFFFFFFFu)
        throw std::invalid_argument("IMG builder: header+FAT area over 4 GiB");
    l.header_fat_size = static_cast<uint32_t>(size);
    uint64_t next = ceil_div(size, block);
    l.header_blocks = static_cast<uint32_t>(next);
    for (const Subfile& s : subfiles_) {
        uint64_t count = ceil_div(s.bytes.size(), block);
        l.first_block.push_back(static_cast<uint32_t>(next));
        l.block_count.push_back(static_cast<uint32_t>(count));
        next += count;
    }
    // Block numbers are u16 and 0xFFFF marks an unused slot.
    if (next > 0xFFFF)
        throw std::invalid_argument("IMG builder: more blocks than a FAT can number");
    l.total_blocks = static_cast<uint32_t>(next);
    l.file_size = next * block;
    return l;
}

// The exponent byte as the join writer computes it.
static uint8_t block_exponent(uint32_t block_size)
{
    uint32_t sectors = block_size / 512;
    if (sectors <= 1 || sectors > 2048)
        return 0;
    uint8_t e = 0;
    while ((1u << e) < sectors)
        ++e;
    return e;
}

static void put_padded(std::string& image, size_t offset, const std::string& text, size_t width)
{
    if (text.size() > width)
        throw std::invalid_argument("IMG builder: mapset name part too long");
    put_text(image, offset, text + std::string(width - text.size(), ' '));
}

static void write_header(const ImgSpec& spec, const ImgLayout& l, std::string& image)
{
    put_u8(image, 0x08, spec.version_major);
    put_u8(image, 0x09, spec.version_minor);
    put_u8(image, 0x0A, spec.created.month);
    put_u8(image, 0x0B, std::min(spec.created.year >= 1900 ? spec.created.year - 1900 : 0, 255));
    put_u8(image, 0x0E, spec.mapsource_flag);
    std::string signature = spec.signature.substr(0, 6);
    signature.resize(6, '\0');
    put_text(image, 0x10, signature);
    put_text(image, 0x30, std::string(spec.product_code.begin(), spec.product_code.end()));
    put_date(image, 0x39, spec.created);
    put_u8(image, 0x40, spec.first_fat_sector);
    put_text(image, 0x41, "GARMIN");
    put_padded(image, 0x49, spec.mapset_name_1, 20);
    put_padded(image, 0x65, spec.mapset_name_2, 30);
    uint8_t e = block_exponent(spec.block_size);
    put_u8(image, 0x61, 9);
    put_u8(image, 0x62, e);

    // Disk geometry from the file size, as the join writer lays it out.
    uint64_t s = l.file_size;
    uint32_t heads = 16, sectors = 32, per_cylinder = 512, last_head = 15;
    if (s >= 0x4000000) {
        heads = 256;
        per_cylinder = 8192;
        last_head = 255;
    } else if (s <= 0xFFFFFF) {
        sectors = 8;
        per_cylinder = 128;
    }
    uint64_t last_cylinder = ((s + 511) >> 9) / per_cylinder;
    uint64_t total_sectors = per_cylinder * (last_cylinder + 1);
    put_u8(image, 0x17, 2);
    put_u16(image, 0x18, sectors);
    put_u16(image, 0x1A, heads);
    put_u16(image, 0x1C, static_cast<uint32_t>(last_cylinder + 1));
    put_u16(image, 0x5D, heads);
    put_u16(image, 0x5F, sectors);
    uint32_t shifted = static_cast<uint32_t>((total_sectors >> e) & 0xFFFF);
    put_u16(image, 0x63, shifted == 0 ? 0xFFFF : shifted);
    put_u8(image, 0x1C0, 1);
    put_u8(image, 0x1C3, last_head);
    put_u8(image, 0x1C4, static_cast<uint32_t>(((last_cylinder & 0x300) >> 2) | sectors));
    put_u8(image, 0x1C5, static_cast<uint32_t>(last_cylinder & 0xFF));
    put_u32(image, 0x1CA, static_cast<uint32_t>(total_sectors));
    put_u8(image, 0x1FE, 0x55);
    put_u8(image, 0x1FF, 0xAA);
}

// One FAT entry: in use, its name, the size in part 0, its block numbers.
static void write_entry(std::string& image, size_t offset, const std::string& name11, uint32_t size, unsigned part,
                        uint32_t first_block, uint32_t blocks)
{
    put_u8(image, offset, 1);
    put_text(image, offset + 1, name11);
    put_u32(image, offset + 0x0C, part == 0 ? size : 0);
    put_u8(image, offset + 0x11, part);
    for (unsigned slot = 0; slot < BLOCKS_PER_ENTRY; ++slot)
        put_u16(image, offset + 0x20 + 2 * slot, slot < blocks ? first_block + slot : 0xFFFF);
}

// Blocks listed by one part of a run of count blocks.
static uint32_t blocks_of_part(uint32_t count, unsigned part)
{
    uint64_t before = uint64_t(part) * BLOCKS_PER_ENTRY;
    return count > before ? static_cast<uint32_t>(std::min<uint64_t>(count - before, BLOCKS_PER_ENTRY)) : 0;
}

std::string ImgBuilder::image() const
{
    ImgLayout l = layout();
    std::string image(l.file_size, '\0');
    write_header(spec, l, image);

    const std::string blank(11, ' ');
    for (unsigned k = 0; k < l.header_entries; ++k) {
        size_t offset = l.first_fat_offset + size_t(FAT_ENTRY_SIZE) * k;
        write_entry(image, offset, blank, l.header_fat_size, k, k * BLOCKS_PER_ENTRY,
                    blocks_of_part(l.header_blocks, k));
        if (k == 0)
            put_u8(image, offset + 0x10, 3);
    }
    for (size_t row = 0; row < l.rows.size(); ++row) {
        const FatRow& r = l.rows[row];
        if (r.subfile < 0)
            continue;
        const Subfile& s = subfile(r.subfile);
        size_t id = static_cast<size_t>(r.subfile);
        write_entry(image, l.row_offset(row), s.name11, static_cast<uint32_t>(s.bytes.size()), r.part,
                    l.first_block[id] + r.part * BLOCKS_PER_ENTRY, blocks_of_part(l.block_count[id], r.part));
    }
    for (size_t id = 0; id < subfiles_.size(); ++id)
        image.replace(l.data_offset(static_cast<int>(id)), subfiles_[id].bytes.size(), subfiles_[id].bytes);

    for (const auto& change : edits_)
        change(l, image);

    if (spec.checksum_zero) {
        // The sum is over the bytes as stored, so the XOR byte takes part.
        uint8_t sum = 0;
        for (size_t i = 0; i < image.size(); ++i)
            if (i != 0x0F)
                sum = static_cast<uint8_t>(sum + (static_cast<uint8_t>(image[i]) ^ spec.xor_byte));
        put_u8(image, 0x0F, static_cast<uint8_t>(-sum) ^ spec.xor_byte);
    }
    return image;
}

std::string ImgBuilder::build_plain() const { return image(); }

std::string ImgBuilder::build() const
{
    std::string bytes = image();
    if (spec.xor_byte != 0)
        for (char& c : bytes)
            c = static_cast<char>(static_cast<uint8_t>(c) ^ spec.xor_byte);
    return bytes;
}

void ImgBuilder::write(const std::string& path) const { write_file(path, build()); }
