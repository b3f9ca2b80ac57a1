// GMP packing.
//
// Layout of the GMP written (little-endian): u16 header length 61, "GARMIN
// GMP", 1, 0, the TRE's date, a zero u32, the offsets of the TRE, RGN, LBL,
// NET, NOD and DEM headers inside the GMP (0 for an absent part), twelve
// zero bytes, the creator "Tarnwick" and two NULs; from 71 the part headers
// in that order, then the parts' data in the same order, back to back.
#include "operations/gmp_packing.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string>

#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "operations/size_plan.h"
#include "core/task_options.h"

namespace {

// The sections whose offsets move are those of the header knowledge's
// table of the kind; limit is the longest header they describe.
struct HeaderLayout {
    const char* name;
    uint32_t limit;
    SubfileKind kind;
};

constexpr HeaderLayout tre_layout{"TRE", 211, SUB_TRE};
constexpr HeaderLayout rgn_layout{"RGN", 125, SUB_RGN};
constexpr HeaderLayout lbl_layout{"LBL", 498, SUB_LBL};
constexpr HeaderLayout net_layout{"NET", 100, SUB_NET};
constexpr HeaderLayout nod_layout{"NOD", 127, SUB_NOD};

// The longest RGN_EXT header and the length from which it holds an offset.
constexpr uint32_t rgn_ext_limit = 14;
constexpr uint32_t rgn_ext_offset_length = 10;
// DEM: header lengths known and the largest level record.
constexpr uint32_t dem_min_header = 37;
constexpr uint32_t dem_limit = 41;
constexpr uint32_t dem_max_record_size = 60;

enum Part { TRE, RGN, LBL, NET, NOD, DEM, PART_COUNT };
constexpr SubfileKind part_kinds[PART_COUNT] = {SUB_TRE, SUB_RGN, SUB_LBL, SUB_NET, SUB_NOD, SUB_DEM};
// Where the GMP header gives each part's offset.
constexpr uint32_t part_fields[PART_COUNT] = {GmpHeader::tre, GmpHeader::rgn, GmpHeader::lbl,
                                              GmpHeader::net, GmpHeader::nod, GmpHeader::dem};

struct PackPart {
    bool present = false;
    std::vector<uint8_t> bytes;  // the whole subfile
    uint32_t declared = 0;       // its declared header length
    uint32_t header = 0;         // bytes taken as its header
    uint64_t header_position = 0;
    uint64_t data_position = 0;

    uint32_t length() const { return static_cast<uint32_t>(bytes.size()); }
    ByteSpan header_span() { return ByteSpan(bytes.data(), header); }
    // What each of its offsets moves by: its data's new place minus its old.
    uint32_t delta() const { return static_cast<uint32_t>(data_position - header); }
};

// Adds delta to the u32 at offset unless it is 0; false when it would wrap.
bool move_field(ByteSpan bytes, uint64_t offset, uint32_t delta)
{
    uint32_t value = bytes.view().u32(offset);
    if (value == 0)
        return true;
    if (uint64_t(value) + delta > UINT32_MAX)
        return false;
    bytes.put_u32(offset, value + delta);
    return true;
}

int move_fields(ByteSpan header, uint32_t delta, const HeaderLayout& layout)
{
    uint32_t length = header.view().u16(0);
    if (length > layout.limit) {
        log_message(nt_UnSHeF.text(), layout.name);
        return 0;
    }
    std::span<const SectionDescriptor> fields = section_descriptors(layout.kind);
    // Tested first, so a refused header is left as it was.
    for (const SectionDescriptor& f : fields) {
        uint32_t value = header.view().u32(f.offset);
        if (length >= f.min_length && uint64_t(value) + delta > UINT32_MAX && value != 0)
            return -1;
    }
    for (const SectionDescriptor& f : fields)
        if (length >= f.min_length)
            move_field(header, f.offset, delta);
    return 1;
}

int part_of_kind(SubfileKind kind)
{
    for (int p = 0; p < PART_COUNT; ++p)
        if (part_kinds[p] == kind)
            return p;
    return -1;
}

// Whether the bytes taken as a TRE or LBL header hold its kind's signature.
// A reader finds a part of a GMP by its header and checks these two: a
// short subfile whose first bytes are another kind's (read alone, it is too
// short to be looked into) would make the GMP one that no reader takes.
bool signed_where_read(const PackPart& part, int p)
{
    if (p != TRE && p != LBL)
        return true;
    std::string signature = std::string("GARMIN ") + get_subfile_kind_name(part_kinds[p]);
    return part.header >= 2 + signature.size() && ByteView(part.bytes).matches(2, signature);
}

// The bytes of each part taken as its header; false when a header does not
// fit its subfile, or lacks the signature a reader checks.
bool measure_headers(PackPart (&parts)[PART_COUNT], const TreInfo& tre)
{
    for (int p = 0; p < PART_COUNT; ++p) {
        PackPart& part = parts[p];
        if (!part.present)
            continue;
        ByteView bytes(part.bytes);
        part.declared = bytes.u16(0);
        uint64_t header = part.declared;
        if (p == TRE)
            header = std::max<uint64_t>(header, std::min(tre.header_extent, part.length()));
        else if (p == RGN)
            header = std::max<uint64_t>(header, bytes.u32(0x15));
        else if (p == NET && header > part.length()) {
            // A NET header longer than its subfile is cut to it.
            ByteSpan(part.bytes).put_u16(0, static_cast<uint16_t>(part.length()));
            part.declared = header = ByteView(part.bytes).u16(0);
        }
        if (header > part.length())
            return false;
        part.header = static_cast<uint32_t>(header);
        if (!signed_where_read(part, p))
            return false;
    }
    return true;
}

// Headers first, then data, each part after the previous; false when the
// GMP would outgrow a subfile's 32-bit length.
bool lay_out(PackPart (&parts)[PART_COUNT])
{
    uint64_t position = gmp_overhead;
    for (PackPart& part : parts)
        if (part.present) {
            part.header_position = position;
            position += part.header;
        }
    for (PackPart& part : parts)
        if (part.present) {
            part.data_position = position;
            position += part.length() - part.header;
        }
    return position <= UINT32_MAX;
}

// The RGN_EXT block between the RGN header and the RGN data.
PackResult move_rgn_ext(PackPart& rgn)
{
    if (rgn.header <= rgn.declared)
        return PACK_DONE;
    ByteSpan ext(rgn.bytes.data() + rgn.declared, rgn.header - rgn.declared);
    uint32_t length = ext.view().u16(0);
    if (length > rgn_ext_limit) {
        log_message(nt_UnSHeF.text(), "RGN_EXT");
        return PACK_FAILED;
    }
    if (length >= rgn_ext_offset_length && (!ext.contains(2, 4) || !move_field(ext, 2, rgn.delta())))
        return PACK_REFUSED;
    return PACK_DONE;
}

PackResult move_dem(PackPart& dem)
{
    ByteSpan bytes(dem.bytes);
    ByteView view = bytes.view();
    uint32_t record_size = view.u16(DemHeader::record_size);
    uint64_t count = view.u16(DemHeader::level_count);
    uint64_t first = view.u32(DemHeader::records_offset);
    if (dem.declared < dem_min_header || record_size > dem_max_record_size ||
        count * record_size + first > dem.length())
        return PACK_FAILED;
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t record = first + i * record_size;
        if (record_size >= DemHeader::record_first + 4 && !move_field(bytes, record + DemHeader::record_first, dem.delta()))
            return PACK_REFUSED;
        if (record_size >= DemHeader::record_second + 4 &&
            !move_field(bytes, record + DemHeader::record_second, dem.delta()))
            return PACK_REFUSED;
    }
    if (dem.declared > dem_limit) {
        log_message(nt_UnSHeF.text(), "DEM");
        return PACK_FAILED;
    }
    if (dem.declared > 36 && !move_field(dem.header_span(), DemHeader::records_offset, dem.delta()))
        return PACK_REFUSED;
    return PACK_DONE;
}

PackResult move_offsets(PackPart (&parts)[PART_COUNT])
{
    using Mover = int (*)(ByteSpan, uint32_t);
    static constexpr Mover movers[] = {move_tre_offsets, move_rgn_offsets, move_lbl_offsets, move_net_offsets,
                                       move_nod_offsets};
    for (int p = 0; p < PART_COUNT; ++p) {
        PackPart& part = parts[p];
        if (!part.present)
            continue;
        PackResult result = PACK_DONE;
        if (p == DEM) {
            result = move_dem(part);
        } else {
            int moved = movers[p](part.header_span(), part.delta());
            result = moved > 0 ? PACK_DONE : moved == 0 ? PACK_FAILED : PACK_REFUSED;
            if (result == PACK_DONE && p == RGN)
                result = move_rgn_ext(part);
        }
        if (result != PACK_DONE)
            return result;
    }
    return PACK_DONE;
}

// The 71 bytes before the first part header.
std::vector<uint8_t> gmp_header(PackPart (&parts)[PART_COUNT])
{
    std::vector<uint8_t> head(gmp_overhead, 0);
    ByteSpan g(head);
    g.put_u16(0x00, 61);
    g.put_bytes(0x02, "GARMIN GMP", 10);
    g.put_u8(0x0C, 1);
    ByteView tre(parts[TRE].bytes);
    if (tre.contains(0x0E, 7))
        g.put_bytes(0x0E, tre.data() + 0x0E, 7);
    for (int p = 0; p < PART_COUNT; ++p)
        if (parts[p].present)
            g.put_u32(part_fields[p], static_cast<uint32_t>(parts[p].header_position));
    g.put_bytes(0x3D, "Tarnwick\0\0", 10);
    return head;
}

// Appends the packed map and enters it; nothing is held back in a buffer
// of its own, each piece goes out as it stands.
PackResult write_gmp(PackPart (&parts)[PART_COUNT], const char* tre_name, ImgWriter& writer)
{
    std::vector<uint8_t> head = gmp_header(parts);
    uint64_t total = head.size();
    for (PackPart& part : parts)
        total += part.bytes.size();
    debug_message(DBG_NT, "dopisz_mape_ntk, dlugosc poz %u\n", static_cast<uint32_t>(total));
    if (!write_output_bytes(writer, head.data(), head.size()))
        return PACK_FAILED;
    for (PackPart& part : parts)
        if (part.present && !write_output_bytes(writer, part.bytes.data(), part.header))
            return PACK_FAILED;
    for (PackPart& part : parts)
        if (part.present && !write_output_bytes(writer, part.bytes.data() + part.header, part.length() - part.header))
            return PACK_FAILED;
    if (!pad_to_block(writer, total))
        return PACK_FAILED;
    std::string name = fat_entry_name(writer, tre_name, "GMP");
    return add_fat_entries(writer, total, name.c_str()) ? PACK_DONE : PACK_FAILED;
}

}  // namespace

int move_tre_offsets(ByteSpan header, uint32_t delta) { return move_fields(header, delta, tre_layout); }
int move_rgn_offsets(ByteSpan header, uint32_t delta) { return move_fields(header, delta, rgn_layout); }
int move_lbl_offsets(ByteSpan header, uint32_t delta) { return move_fields(header, delta, lbl_layout); }
int move_net_offsets(ByteSpan header, uint32_t delta) { return move_fields(header, delta, net_layout); }
int move_nod_offsets(ByteSpan header, uint32_t delta) { return move_fields(header, delta, nod_layout); }

namespace {

// Reads the map's parts and moves their offsets in memory: everything the
// packing does short of writing.
PackResult prepare_parts(InputFile& input, MapEntry& map, uint32_t kind_mask, PackPart (&parts)[PART_COUNT],
                         char (&tre_name)[9])
{
    bool taken[PART_COUNT] = {};
    for (SubfileEntry& subfile : map_subfiles(input, map)) {
        int p = part_of_kind(subfile.kind);
        if (p < 0 || !((1u << subfile.kind) & kind_mask))
            continue;
        if (taken[p]) {
            debug_message(DBG_NT, "Compression, multiple subfile in map, file %s\n", input.path.c_str());
            return PACK_FAILED;
        }
        if (!reserve_bytes(parts[p].bytes, subfile.length))
            return PACK_FAILED;
        if (subfile.length && !read_subfile_data(input, subfile.fat_slot, 0, parts[p].bytes.data(), subfile.length))
            return PACK_FAILED;
        taken[p] = true;
        // An empty subfile (a damaged FAT cuts a length to 0) has no header:
        // an offset to it would point at the next part's bytes, which a
        // reader takes for its header. It is left out, its offset 0. A TRE
        // is kept, so that the map without it fails below.
        parts[p].present = subfile.length != 0 || p == TRE;
        if (p == TRE)
            memcpy(tre_name, subfile.name, 8);
    }
    if (!parts[DEM].present && task_options.add_empty_dem) {
        parts[DEM].bytes = build_empty_dem_for_map(map);
        parts[DEM].present = !parts[DEM].bytes.empty();
    }
    if (!parts[TRE].present) {
        debug_message(DBG_NT, "Compression, missing TRE subfile\n");
        return PACK_FAILED;
    }
    if (!map.tre_info)
        return PACK_FAILED;
    if (!measure_headers(parts, *map.tre_info) || !lay_out(parts))
        return PACK_REFUSED;
    return move_offsets(parts);
}

}  // namespace

PackResult dopisz_mape_ntk(InputFile& input, MapEntry& map, ImgWriter& writer, uint32_t kind_mask)
{
    PackPart parts[PART_COUNT];
    char tre_name[9] = {};
    PackResult prepared = prepare_parts(input, map, kind_mask, parts, tre_name);
    if (prepared != PACK_DONE)
        return prepared;
    return write_gmp(parts, tre_name, writer);
}

int find_unpacked_maps(InputList& inputs, uint32_t kind_mask, std::vector<const MapEntry*>& unpacked)
{
    unpacked.clear();
    for (auto& input : inputs) {
        if (input->kind != FILE_IMG)
            continue;
        bool has_mpc = false;
        for (const MapEntry* map : input->maps)
            has_mpc = has_mpc || (map->kind == FILE_MPC && !map->family_skip);
        if (!has_mpc)
            continue;
        if (!open_input_file(*input, "rb"))
            return 0;
        for (MapEntry* map : input->maps) {
            if (map->kind != FILE_MPC || map->family_skip)
                continue;
            PackPart parts[PART_COUNT];
            char tre_name[9] = {};
            PackResult result = prepare_parts(*input, *map, kind_mask, parts, tre_name);
            if (result == PACK_FAILED) {
                log_message(dd_WCTNFW.text(), map->name);
                close_input_file(*input);
                return 0;
            }
            if (result == PACK_REFUSED)
                unpacked.push_back(map);
        }
        close_input_file(*input);
    }
    return 1;
}
