// Map ID change of an IMG container and of a separate JCV file.
//
// Everything is worked out before the first byte is written: the new ID of
// each map, the index subfiles' ID tables with their records changed, the MPS
// records. An index subfile whose layout does not hold its records is left
// out with a warning at that stage, so a refusal never follows a write. The
// writes then go through one InplaceStep, the renamed FAT entries last; a
// failed write undoes them all.
#include "operations/map_id_change.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/file_names.h"
#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "operations/inplace.h"
#include "operations/inplace_write.h"
#include "core/task_options.h"

namespace {

constexpr uint32_t max_map_id = 99999999;

// One map that gets a new ID.
struct IdRow {
    uint32_t old_id;
    uint32_t family_id;
    uint32_t product_id;
    uint32_t new_id;
};

bool row_before(const IdRow& a, const IdRow& b)
{
    return a.old_id != b.old_id ? a.old_id < b.old_id : a.family_id < b.family_id;
}

// The ID table, sorted by old ID, then family ID.
struct IdTable {
    std::vector<IdRow> rows;

    const IdRow* find_exact(uint32_t old_id, uint32_t family_id) const
    {
        IdRow key{old_id, family_id, 0, 0};
        auto it = std::lower_bound(rows.begin(), rows.end(), key, row_before);
        return it != rows.end() && it->old_id == old_id && it->family_id == family_id ? &*it : nullptr;
    }
    // The row of an old ID whatever its family; repeated is set when the ID
    // stands in more than one row.
    const IdRow* find_id(uint32_t old_id, bool& repeated) const
    {
        auto it = std::lower_bound(rows.begin(), rows.end(), IdRow{old_id, 0, 0, 0}, row_before);
        repeated = false;
        if (it == rows.end() || it->old_id != old_id)
            return nullptr;
        repeated = it + 1 != rows.end() && (it + 1)->old_id == old_id;
        return &*it;
    }
};

void warn_repeated(uint32_t id)
{
    ++warning_count;
    log_message(gw_WRMINM.text(), id, id);
}

// A map that gets a new ID, and where that ID goes.
struct MapChange {
    MapEntry* map;
    TreInfo* tre;
    uint32_t new_id;
    char new_name[9];
    bool write_tre;
};

// Bytes of a subfile to be written: an index subfile's ID section, the MPS.
struct SectionChange {
    uint32_t slot;
    uint32_t offset;
    std::vector<uint8_t> bytes;
};

// The family ID an index subfile's 8-character FAT name stands for: "I" and
// hexadecimal digits, or decimal digits, the whole name and below 0x10000;
// else 0.
uint32_t family_from_name(const char* name)
{
    char text[9];
    memcpy(text, name, 8);
    text[8] = 0;
    unsigned value = 0;
    char rest = 0;
    int n = text[0] == 'I' ? sscanf(text + 1, "%x%c", &value, &rest) : sscanf(text, "%u%c", &value, &rest);
    return n == 1 && value < 0x10000 ? value : 0;
}

// Layout of an index subfile's ID section, as far as it is used.
struct IndexLayout {
    uint32_t header_bytes;
    uint32_t offset_at, length_at, size_at;
    bool exactly_four;   // records of 4 bytes only
    bool id_lookup;      // a second lookup by the ID alone
    const MessageText* unknown;
    const MessageText* line;
};

const IndexLayout* index_layout(SubfileKind kind)
{
    static const IndexLayout mdr{64, 29, 33, 37, true, true, &gw_WUSOMS, &gw_MdrXXT};
    static const IndexLayout trf{80, 59, 65, 63, false, false, &gw_WoUSOS, &gw_TrfXXT};
    static const IndexLayout md2{236, 11, 15, 19, false, true, &gw_WoUSOS, &gw_Md2XXT};
    switch (kind) {
    case SUB_MDR: return &mdr;
    case SUB_TRF: return &trf;
    case SUB_MD2: return &md2;
    default: return nullptr;
    }
}

// Works out the new ID section of one index subfile. 1 with the section in
// change when a record changed (or nothing to do), 0 on a read failure.
int plan_index_subfile(InputFile& file, const SubfileEntry& subfile, const IndexLayout& layout, const IdTable& table,
                       std::vector<SectionChange>& changes)
{
    char name[12];
    memcpy(name, subfile.name, sizeof name);
    name[11] = 0;
    auto unknown = [&]() {
        ++warning_count;
        log_message(layout.unknown->text(), name);
        return 1;
    };
    // Too short for its own header: its records cannot be found.
    if (subfile.length < layout.header_bytes)
        return unknown();
    std::vector<uint8_t> header(layout.header_bytes);
    if (!read_subfile_data(file, subfile.fat_slot, 0, header.data(), layout.header_bytes))
        return 0;
    ByteView h(header);
    uint32_t offset = h.u32(layout.offset_at);
    uint32_t length = h.u32(layout.length_at);
    uint32_t size = h.u16(layout.size_at);
    bool size_ok = layout.exactly_four ? size == 4 : size >= 4;
    if (offset == 0 || length == 0 || !size_ok || uint64_t(offset) + length > subfile.length)
        return unknown();
    SectionChange change{subfile.fat_slot, offset, {}};
    if (!reserve_bytes(change.bytes, length) ||
        !read_subfile_data(file, subfile.fat_slot, offset, change.bytes.data(), length))
        return 0;
    uint32_t family = family_from_name(subfile.name);
    if (task_options.verbose)
        log_message(gw_SubfiS.text(), name);
    ByteSpan section(change.bytes);
    bool changed = false;
    for (uint64_t at = size - 4; at + 4 <= length; at += size) {
        uint32_t id = section.view().u32(at);
        const IdRow* row = table.find_exact(id, family);
        if (!row && layout.id_lookup) {
            bool repeated = false;
            row = table.find_id(id, repeated);
            if (row && repeated) {
                warn_repeated(id);
                continue;
            }
        }
        if (!row)
            continue;
        section.put_u32(at, row->new_id);
        changed = true;
        if (task_options.verbose)
            log_message(layout.line->text(), id, row->new_id);
    }
    if (changed)
        changes.push_back(std::move(change));
    return 1;
}

// Works out the new MPS data; false when no record changes.
bool plan_mps(InputFile& file, const IdTable& table, std::vector<SectionChange>& changes)
{
    SubfileEntry* mps = find_mps_subfile(file);
    if (!mps || file.mps_records.empty() || file.mps_length == 0 || file.mps_buffer.size() < file.mps_length)
        return false;
    if (task_options.verbose)
        log_message(gw_DatMpS.text(), file.maps[file.mps_map_index]->name);
    SectionChange change{mps->fat_slot, 0,
                         std::vector<uint8_t>(file.mps_buffer.begin(), file.mps_buffer.begin() + file.mps_length)};
    bool changed = false;
    for (const MpsRecordRef& record : file.mps_records) {
        if (uint64_t(record.record_offset) + record.record_length > file.mps_length)
            continue;
        ByteSpan bytes(change.bytes.data() + record.record_offset, record.record_length);
        ByteView view = bytes.view();
        if (record.letter == 'L' && record.record_length >= 22) {
            uint32_t at = record.record_length - 8;
            uint32_t id = view.u32(at);
            const IdRow* row = table.find_exact(id, view.u16(5));
            if (!row)
                continue;
            bytes.put_u32(at, row->new_id);
            if (view.u32(7) == id)
                bytes.put_u32(7, row->new_id);
            changed = true;
            if (task_options.verbose)
                log_message("  MPS L %08X -> %08X\n", id, row->new_id);
        } else if (record.letter == 'M' && record.record_length >= 7) {
            uint32_t id = view.u32(3);
            const IdRow* row = table.find_exact(id, 0);
            if (!row)
                continue;
            bytes.put_u32(3, row->new_id);
            changed = true;
            if (task_options.verbose)
                log_message("  MPS M %08X -> %08X\n", id, row->new_id);
        }
    }
    if (changed)
        changes.push_back(std::move(change));
    return changed;
}

// The new 8-character name of a map: "%08u" when its name starts with a
// digit, else "I%07X".
void make_map_name(const MapEntry& map, uint32_t id, char out[9])
{
    if (isdigit(static_cast<unsigned char>(map.name[0])))
        snprintf(out, 9, "%08u", id);
    else
        snprintf(out, 9, "I%07X", id);
}

// Puts the new name into every FAT entry of every subfile of the map, in the
// image (undoing the step puts the image back), adds the entries' offsets to
// renamed and gives the subfile rows that name.
void rename_map_entries(InputFile& file, const MapEntry& map, const char name[9], std::vector<uint32_t>& renamed)
{
    ByteSpan fat(file.header_buffer);
    for (uint32_t i = 0; i < map.subfile_count; ++i) {
        uint64_t row = uint64_t(map.first_subfile) + i;
        if (row >= file.subfiles.size())
            break;
        SubfileEntry& subfile = file.subfiles[row];
        uint32_t entries = fat_entries_for(subfile.declared_length, file.block_size);
        for (uint32_t e = 0; e < entries && uint64_t(subfile.fat_slot) + e < file.fat_slots.size(); ++e) {
            uint32_t entry = file.fat_slots[subfile.fat_slot + e].entry_offset;
            // Only entries that still carry the subfile's name are its own (an
            // entry two subfiles share takes the name of the first renamed).
            if (!fat.view().matches(entry + FatEntry::name, std::string_view(subfile.name, 11)))
                break;
            fat.put_bytes(entry + FatEntry::name, name, FatEntry::name_length);
            renamed.push_back(entry);
        }
        memcpy(subfile.name, name, FatEntry::name_length);
    }
}

// Writes the renamed FAT entries from the image, entries that follow one
// another in one group of at most group_entries (the step holds a group's
// bytes a few times over while it writes it). 1 / 0.
int write_renamed_entries(InplaceStep& step, std::vector<uint32_t>& renamed)
{
    constexpr uint32_t group_entries = 256;
    std::sort(renamed.begin(), renamed.end());
    for (size_t i = 0; i < renamed.size();) {
        uint32_t from = renamed[i];
        uint32_t n = FatEntry::size;
        for (++i; i < renamed.size() && renamed[i] == from + n && n < group_entries * FatEntry::size; ++i)
            n += FatEntry::size;
        if (!step.put_header(from, n))
            return 0;
    }
    return 1;
}

// A map's new name must not be a name the file keeps, nor another map's new
// name: the maps would then share one set of FAT names. False, with the
// clash logged, when one is found.
bool new_names_are_free(const InputFile& file, const std::vector<MapChange>& maps)
{
    std::vector<bool> renamed(file.subfiles.size(), false);
    for (const MapChange& change : maps)
        for (uint64_t i = 0; i < change.map->subfile_count; ++i)
            if (change.map->first_subfile + i < renamed.size())
                renamed[change.map->first_subfile + i] = true;
    auto clash = [&](const MapChange& change, const std::string& other) {
        log_message(gw_MIDCla.text(), change.new_name, std::string(change.map->name, 8).c_str(), other.c_str(),
                    file.path.c_str());
        return false;
    };
    // The first row that keeps each 8-character name, and the first map that
    // takes each new name: the clash said is the one a scan in file order
    // meets first.
    std::unordered_map<std::string_view, size_t> kept;
    kept.reserve(file.subfiles.size());
    for (size_t row = 0; row < file.subfiles.size(); ++row)
        if (!renamed[row])
            kept.emplace(std::string_view(file.subfiles[row].name, 8), row);
    std::unordered_map<std::string_view, size_t> taken;
    taken.reserve(maps.size());
    for (size_t m = 0; m < maps.size(); ++m) {
        const MapChange& change = maps[m];
        std::string_view name(change.new_name, 8);
        if (auto row = kept.find(name); row != kept.end())
            return clash(change, dotted_fat_name(file.subfiles[row->second].name));
        auto [other, first] = taken.emplace(name, m);
        if (!first)
            return clash(change, dotted_fat_name(file.subfiles[maps[other->second].map->first_subfile].name));
    }
    return true;
}

// A map whose FAT entry is listed twice keeps its ID: only the copy the
// reader took would take the new name. False, with the entry logged, when
// one is found.
bool renamed_entries_are_single(const InputFile& file, const std::vector<MapChange>& maps)
{
    std::unordered_set<std::string_view> twice = names_listed_twice(file);
    if (twice.empty())
        return true;
    for (const MapChange& change : maps)
        for (uint64_t i = 0; i < change.map->subfile_count; ++i) {
            uint64_t row = change.map->first_subfile + i;
            if (row < file.subfiles.size() && twice.count(std::string_view(file.subfiles[row].name, 11))) {
                log_message(gw_MIDTwi.text(), dotted_fat_name(file.subfiles[row].name).c_str(), file.path.c_str());
                return false;
            }
        }
    return true;
}

}  // namespace

int change_map_ids(InputFile& file, uint8_t mode, uint32_t& map_id)
{
    if (file.kind != FILE_IMG || file.maps.empty())
        return 1;
    const TaskOptions& o = task_options;
    uint32_t f = (o.id_flags & 1) ? o.family_id : 0;
    bool verbose = o.verbose;

    const uint32_t first_id = map_id;
    IdTable table;
    std::vector<MapChange> maps;
    for (MapEntry* map : file.maps) {
        TreInfo* tre = map->tre_info ? owned_tre_info(file, *map) : nullptr;
        if (map->map_number == 0 || !tre)
            continue;
        uint32_t fid = 0, pid = 0;
        get_map_family_product(file, *map, fid, pid);
        if (o.id_flags && f && fid != f)
            continue;
        uint32_t old_id = map->map_number;
        uint32_t new_id = mode == 2 ? old_id + map_id : mode == 255 ? old_id - map_id : map_id++;
        if (new_id < 1 || new_id > max_map_id) {
            ++warning_count;
            log_message(gw_WWNMIN.text(), old_id, old_id, new_id, new_id);
            continue;
        }
        table.rows.push_back({old_id, fid, pid, new_id});
        MapChange change{map, tre, new_id, {}, false};
        make_map_name(*map, new_id, change.new_name);
        if (verbose)
            log_message(gw_FatSST.text(), map->name, change.new_name);
        uint32_t header_length = ByteView(tre->header).u16(0);
        if (header_length > 116 && verbose)
            log_message(gw_TreXXT.text(), old_id, new_id);
        change.write_tre = header_length >= 120 && tre->header.size() >= TreHeader::map_id + 4;
        maps.push_back(change);
    }
    if (table.rows.empty())
        return 1;
    std::stable_sort(table.rows.begin(), table.rows.end(), row_before);
    for (size_t i = 1; i < table.rows.size(); ++i)
        if (table.rows[i].old_id == table.rows[i - 1].old_id)
            warn_repeated(table.rows[i].old_id);

    if (!new_names_are_free(file, maps) || !renamed_entries_are_single(file, maps)) {
        // The refused file's maps keep their IDs, so theirs go to the next file.
        map_id = first_id;
        return 0;
    }

    InplaceStep step(file, true);
    if (!step.open())
        return 0;
    std::vector<SectionChange> sections;
    for (const SubfileEntry& subfile : file.subfiles) {
        const IndexLayout* layout = index_layout(subfile.kind);
        if (layout && !plan_index_subfile(file, subfile, *layout, table, sections))
            return 0;
    }
    bool mps_changed = plan_mps(file, table, sections);

    for (const MapChange& change : maps) {
        if (!change.write_tre)
            continue;
        uint8_t id[4];
        ByteSpan(id, 4).put_u32(0, change.new_id);
        if (!step.put_subfile(change.tre->fat_slot, change.tre->tre_offset + TreHeader::map_id, id, 4))
            return 0;
    }
    for (const SectionChange& section : sections)
        if (!step.put_subfile(section.slot, section.offset, section.bytes.data(),
                              static_cast<uint32_t>(section.bytes.size())))
            return 0;
    std::vector<uint32_t> renamed;
    for (const MapChange& change : maps)
        rename_map_entries(file, *change.map, change.new_name, renamed);
    if (!write_renamed_entries(step, renamed) || !step.finish())
        return 0;

    // On disk now: the records follow.
    for (const MapChange& change : maps) {
        memcpy(change.map->name, change.new_name, 8);
        change.map->map_number = change.new_id;
        if (change.write_tre) {
            ByteSpan(change.tre->header).put_u32(TreHeader::map_id, change.new_id);
            change.tre->map_id = change.new_id;
        }
    }
    if (mps_changed)
        std::copy(sections.back().bytes.begin(), sections.back().bytes.end(), file.mps_buffer.begin());
    return 1;
}

int change_jcv_map_ids(InputFile& file, int32_t delta)
{
    const char* path = file.path.c_str();
    if (delta == 0) {
        ++warning_count;
        log_message(gw_WCMIJF.text(), path);
        return 1;
    }
    InplaceStep step(file, false);
    if (!step.open())
        return 0;
    uint8_t header[108];
    if (!read_file_at(file, header, 0, sizeof header))
        return 0;
    ByteView h(header, sizeof header);
    int32_t offset = static_cast<int32_t>(h.u32(33));
    int32_t length = static_cast<int32_t>(h.u32(39));
    uint32_t size = h.u16(37);
    // The section must lie inside the file, or its records are not there.
    if (offset < 1 || length < 1 || size < 4 || uint64_t(offset) + uint64_t(length) > file.data_length) {
        log_message(gw_ECMIJF.text(), path);
        return 0;
    }
    std::vector<uint8_t> section;
    if (!reserve_bytes(section, static_cast<uint32_t>(length))) {
        log_message(gw_ECMIJF.text(), path);
        return 0;
    }
    if (!read_file_at(file, section.data(), static_cast<uint32_t>(offset), static_cast<uint32_t>(length)))
        return 0;
    ByteSpan records(section);
    for (uint64_t at = 0; at + 4 <= uint32_t(length); at += size) {
        uint32_t id = records.view().u32(at);
        uint32_t new_id = id + static_cast<uint32_t>(delta);
        records.put_u32(at, new_id);
        if (task_options.verbose)
            log_message(gw_JcvXXT.text(), id, new_id);
    }
    if (!step.put_at(static_cast<uint32_t>(offset), section.data(), static_cast<uint32_t>(length)))
        return 0;
    return step.finish();
}
