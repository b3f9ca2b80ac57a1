// Test support: the bytes of single subfiles and MPS records.
#include "tests/support/subfile_images.h"

#include <algorithm>
#include <stdexcept>

#include "tests/support/test_support.h"

static void check_room(const std::string& bytes, size_t offset, size_t size)
{
    if (offset > bytes.size() || size > bytes.size() - offset)
        throw std::out_of_range("subfile image: field past the end");
}

static void put_le(std::string& bytes, size_t offset, uint32_t value, size_t size)
{
    check_room(bytes, offset, size);
    for (size_t i = 0; i < size; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

static uint32_t get_le(const std::string& bytes, size_t offset, size_t size)
{
    check_room(bytes, offset, size);
    uint32_t value = 0;
    for (size_t i = 0; i < size; ++i)
        value |= uint32_t(static_cast<uint8_t>(bytes[offset + i])) << (8 * i);
    return value;
}

void put_u8(std::string& bytes, size_t offset, uint32_t value) { put_le(bytes, offset, value, 1); }
void put_u16(std::string& bytes, size_t offset, uint32_t value) { put_le(bytes, offset, value, 2); }
void put_u24(std::string& bytes, size_t offset, uint32_t value) { put_le(bytes, offset, value, 3); }
void put_u32(std::string& bytes, size_t offset, uint32_t value) { put_le(bytes, offset, value, 4); }
uint32_t get_u8(const std::string& bytes, size_t offset) { return get_le(bytes, offset, 1); }
uint32_t get_u16(const std::string& bytes, size_t offset) { return get_le(bytes, offset, 2); }
uint32_t get_u32(const std::string& bytes, size_t offset) { return get_le(bytes, offset, 4); }

void put_text(std::string& bytes, size_t offset, const std::string& text)
{
    check_room(bytes, offset, text.size());
    bytes.replace(offset, text.size(), text);
}

void put_date(std::string& bytes, size_t offset, const HeaderDate& date)
{
    put_u16(bytes, offset, date.year);
    put_u8(bytes, offset + 2, date.month);
    put_u8(bytes, offset + 3, date.day);
    put_u8(bytes, offset + 4, date.hour);
    put_u8(bytes, offset + 5, date.minute);
    put_u8(bytes, offset + 6, date.second);
}

// Writes of fields that a short header does not reach are dropped, so one
// builder serves every header length.
namespace {
struct Header {
    std::string& bytes;
    size_t length;
    bool holds(size_t offset, size_t size) const { return offset + size <= length; }
    void u8(size_t offset, uint32_t v) { if (holds(offset, 1)) put_u8(bytes, offset, v); }
    void u16(size_t offset, uint32_t v) { if (holds(offset, 2)) put_u16(bytes, offset, v); }
    void u24(size_t offset, uint32_t v) { if (holds(offset, 3)) put_u24(bytes, offset, v); }
    void u32(size_t offset, uint32_t v) { if (holds(offset, 4)) put_u32(bytes, offset, v); }
};
}  // namespace

std::string common_header(const std::string& kind3, uint16_t header_length, size_t total, const HeaderDate& date)
{
    std::string bytes(std::max<size_t>(total, header_length), '\0');
    Header h{bytes, header_length};
    h.u16(0, header_length);
    if (h.holds(2, 10))
        put_text(bytes, 2, "GARMIN " + kind3.substr(0, 3));
    h.u8(0x0C, 1);
    if (h.holds(0x0E, 7))
        put_date(bytes, 0x0E, date);
    return bytes;
}

// Appends the sections after the header and pads to total bytes.
static void finish(std::string& bytes, const std::string& sections, size_t total)
{
    bytes += sections;
    if (bytes.size() < total)
        bytes.resize(total, '\0');
}

std::string tre_level(uint8_t zoom, uint8_t bits, uint16_t subdivisions, bool inherited)
{
    std::string record(4, '\0');
    put_u8(record, 0, zoom | (inherited ? 0x80 : 0));
    put_u8(record, 1, bits);
    put_u16(record, 2, subdivisions);
    return record;
}

std::string tre_subfile(const TreSpec& spec, uint32_t base)
{
    std::string bytes = common_header("TRE", spec.header_length, 0, spec.date);
    Header h{bytes, spec.header_length};
    h.u24(0x15, spec.north);
    h.u24(0x18, spec.east);
    h.u24(0x1B, spec.south);
    h.u24(0x1E, spec.west);
    uint32_t levels = base + spec.header_length;
    uint32_t after = levels + static_cast<uint32_t>(spec.levels.size());
    h.u32(0x21, levels);
    h.u32(0x25, static_cast<uint32_t>(spec.levels.size()));
    h.u32(0x29, after);  // subdivisions
    h.u32(0x31, after);  // copyright, 3-byte records
    h.u16(0x39, 3);
    h.u8(0x3F, spec.flags);
    h.u8(0x40, spec.priority);
    h.u8(0x43, spec.params[0]);
    h.u8(0x44, spec.params[1]);
    h.u8(0x45, spec.params[2]);
    for (size_t overview : {0x4A, 0x58, 0x66})
        h.u32(overview, after);
    h.u16(0x52, 2);
    h.u16(0x60, 2);
    h.u16(0x6E, 3);
    if (spec.header_length > 119)
        h.u32(0x74, spec.map_id);
    finish(bytes, spec.levels, spec.total_length);
    return bytes;
}

std::string lbl_subfile(const LblSpec& spec, uint32_t base)
{
    std::string bytes = common_header("LBL", spec.header_length, 0, spec.date);
    Header h{bytes, spec.header_length};
    std::string sort = spec.sort_description + '\0';
    uint32_t sort_offset = base + spec.header_length;
    uint32_t labels_offset = sort_offset + static_cast<uint32_t>(sort.size());
    h.u32(0x15, labels_offset);
    h.u32(0x19, static_cast<uint32_t>(spec.labels.size()));
    h.u8(0x1E, spec.label_coding);
    h.u16(0xAA, spec.code_page);
    h.u16(0xAC, spec.sort_id);
    h.u32(0xB0, sort_offset);
    h.u32(0xB4, static_cast<uint32_t>(sort.size()));
    finish(bytes, sort + spec.labels, spec.total_length);
    return bytes;
}

std::string dem_subfile(const DemSpec& spec, uint32_t base)
{
    std::string bytes = common_header("DEM", spec.header_length, 0, spec.date);
    Header h{bytes, spec.header_length};
    h.u32(0x15, 1);
    h.u16(0x19, spec.level_count);
    h.u16(0x1F, spec.record_size);
    h.u32(0x21, base + spec.header_length);
    std::string records = spec.records;
    if (records.empty()) {
        records.assign(size_t(spec.level_count) * spec.record_size, '\0');
        for (size_t i = 0; spec.record_size >= 2 && i < spec.level_count; ++i)
            put_u8(records, i * spec.record_size + 1, static_cast<uint32_t>(i));
    }
    finish(bytes, records, spec.total_length);
    return bytes;
}

std::string gmp_subfile(const GmpSpec& spec)
{
    std::string bytes = common_header("GMP", spec.header_length, 0, spec.date);
    bytes += spec.after_header;
    auto place = [&bytes, &spec](size_t field, const std::string& part) {
        if (part.empty())
            return;
        if (field + 4 <= spec.header_length)
            put_u32(bytes, field, static_cast<uint32_t>(bytes.size()));
        bytes += part;
    };
    auto here = [&bytes] { return static_cast<uint32_t>(bytes.size()); };
    if (spec.tre)
        place(0x19, tre_subfile(*spec.tre, here()));
    place(0x1D, spec.rgn);
    if (spec.lbl)
        place(0x21, lbl_subfile(*spec.lbl, here()));
    place(0x25, spec.net);
    place(0x29, spec.nod);
    if (spec.dem)
        place(0x2D, dem_subfile(*spec.dem, here()));
    if (spec.header_length > 60)
        place(0x39, spec.met);
    else if (spec.header_length >= 0x39)
        place(0x35, spec.met);
    return bytes;
}

// The kinds whose header carries a code page and nothing else the readers use.
static std::string code_page_subfile(const char* kind, size_t field, uint16_t code_page, uint16_t header_length,
                                     size_t total)
{
    std::string bytes = common_header(kind, header_length, total);
    Header{bytes, header_length}.u16(field, code_page);
    return bytes;
}

std::string typ_subfile(uint16_t code_page, uint16_t fid, uint16_t pid, uint16_t header_length, size_t total)
{
    std::string bytes = code_page_subfile("TYP", 0x15, code_page, header_length, total);
    Header h{bytes, header_length};
    h.u16(0x2F, fid);
    h.u16(0x31, pid);
    return bytes;
}

std::string trf_subfile(uint16_t code_page, uint16_t header_length, size_t total)
{
    return code_page_subfile("TRF", 0x27, code_page, header_length, total);
}

std::string mmr_subfile(uint16_t code_page, uint16_t header_length, size_t total)
{
    return code_page_subfile("MMR", 0x8C, code_page, header_length, total);
}

std::string mdr_subfile(uint16_t code_page, uint16_t header_length, size_t total)
{
    return code_page_subfile("MDR", 0x15, code_page, header_length, total);
}

std::string md2_subfile(size_t total)
{
    std::string bytes(std::max<size_t>(total, 4), '\0');
    put_u32(bytes, 0, 236);
    return bytes;
}

std::string idx_subfile(uint32_t header_length, size_t total)
{
    std::string bytes(std::max<size_t>({total, size_t{header_length}, size_t{11}}), '\0');
    put_u32(bytes, 0, header_length);
    put_text(bytes, 4, "ISM.IDX");
    return bytes;
}

std::string qsi_subfile(uint16_t fid, size_t total)
{
    std::string bytes(std::max<size_t>(total, 0x12), '\0');
    put_text(bytes, 0, "QSI");
    put_u16(bytes, 0x10, fid);
    return bytes;
}

std::string sid_subfile(size_t total)
{
    std::string bytes(std::max<size_t>(total, 10), '\0');
    put_text(bytes, 0, "GARMIN SID");
    return bytes;
}

std::string jcv_subfile(const JcvSpec& spec)
{
    std::string bytes = common_header("JCV", spec.header_length);
    if (spec.values) {
        Header h{bytes, spec.header_length};
        h.u32(0x5E, spec.header_length);
        h.u16(0x62, 8);
        std::string values(16, '\0');
        put_u32(values, 0, (*spec.values)[0]);
        put_u32(values, 4, (*spec.values)[1]);
        bytes += values;
    }
    finish(bytes, "", spec.total_length);
    return bytes;
}

std::string tdb_file(const TdbSpec& spec)
{
    std::string record(9, '\0');
    record[0] = 'P';
    put_u16(record, 3, spec.pid);
    put_u16(record, 5, spec.fid);
    put_u16(record, 7, spec.version);
    record += spec.series + '\0';
    record += std::string(2, '\0');
    put_u16(record, record.size() - 2, spec.between_texts);
    record += spec.family + '\0';
    size_t q = record.size() - 1;  // the family text's NUL
    record.resize(q + 42, '\0');
    put_u16(record, q + 31, spec.code_page);
    put_u16(record, 1, static_cast<uint32_t>(record.size() - 3));
    return record + spec.tail;
}

std::string mps_record(char letter, const std::string& payload)
{
    if (payload.size() > 0xFFFF)
        throw std::length_error("MPS record payload over 65535 bytes");
    std::string record(3, '\0');
    record[0] = letter;
    put_u16(record, 1, static_cast<uint32_t>(payload.size()));
    return record + payload;
}

static std::string ids(uint16_t pid, uint16_t fid)
{
    std::string bytes(4, '\0');
    put_u16(bytes, 0, pid);
    put_u16(bytes, 2, fid);
    return bytes;
}

static std::string u32_bytes(uint32_t value)
{
    std::string bytes(4, '\0');
    put_u32(bytes, 0, value);
    return bytes;
}

std::string mps_l_record(uint16_t pid, uint16_t fid, uint32_t map_number, const std::vector<std::string>& texts,
                         uint32_t last)
{
    std::string payload = ids(pid, fid) + u32_bytes(map_number);
    for (const std::string& text : texts)
        payload += text + '\0';
    payload += u32_bytes(map_number) + u32_bytes(last);
    return mps_record('L', payload);
}

std::string mps_f_record(uint16_t pid, uint16_t fid, const std::string& name)
{
    return mps_record('F', ids(pid, fid) + name + '\0');
}

std::string mps_p_record(uint16_t pid, uint16_t fid, const std::array<uint16_t, 3>& more)
{
    std::string payload = ids(pid, fid) + std::string(6, '\0');
    for (size_t i = 0; i < 3; ++i)
        put_u16(payload, 4 + 2 * i, more[i]);
    return mps_record('P', payload);
}

std::string mps_v_record(const std::string& name, uint8_t flag)
{
    return mps_record('V', name + '\0' + static_cast<char>(flag));
}

std::string write_single_file(const ScratchDir& dir, const std::string& name, const std::string& bytes)
{
    std::string path = dir.file(name);
    write_file(path, bytes);
    return path;
}
