// The map list of an IMG container, its MPS records and its code page.
//
// Maps are grouped in one pass over the sorted subfiles (counted first, so
// the map table is sized once and the subfiles' map pointers stay valid),
// then listed in FAT order of their subfiles' first entries, which is the
// order the joins and the report follow. Every record of the MPS is read
// through a view bounded by the record itself.
#include "core/map_list.h"

#include <strings.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_map>
#include <vector>

#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/reader.h"
#include "core/subfile_table.h"
#include "core/task_options.h"

FileKind file_kind_of_subfile_kind(uint32_t kind)
{
    switch (kind) {
    case SUB_TYP:
        return FILE_TYP;
    case SUB_TDB:
        return FILE_TDB;
    case SUB_TRF:
        return FILE_TRF;
    case SUB_MMR:
        return FILE_MMR;
    case SUB_MD2:
        return FILE_MD2;
    case SUB_MDR:
        return FILE_IDX;
    case SUB_IDX:
        return FILE_ISM;
    case SUB_QSI:
        return FILE_QSI;
    case SUB_SID:
        return FILE_SID;
    case SUB_SRT:
        return FILE_SRT;
    case SUB_DEM:
    case SUB_LBL:
    case SUB_NET:
    case SUB_NOD:
    case SUB_RGN:
    case SUB_TRE:
        return FILE_MPC;
    case SUB_GMP:
        return FILE_NT;
    case SUB_MPS:
        return FILE_MPS;
    case SUB_JCV:
        return FILE_JCV;
    default:
        return FILE_OTHER;
    }
}

// ---------------------------------------------------------------- map list

namespace {

constexpr uint32_t name_length = 8;

// The map being gathered while the subfiles are walked.
struct OpenMap {
    bool open = false;
    const char* name = nullptr;       // the subfile name that started it (8 characters used)
    const char* extension = nullptr;  // of a lone subfile
    FileKind kind = FILE_IMG;
    uint32_t kinds = 0;  // 1 << SubfileKind of its subfiles
};

uint32_t kind_bit(uint32_t kind) { return kind < 32 ? 1u << kind : 0; }

bool is_map_data_kind(FileKind kind) { return kind == FILE_IDX || kind == FILE_MPC || kind == FILE_NT; }

// An SRT subfile goes with the map, index or packed map of its name, and a
// packed map takes a DEM subfile beside its GMP.
bool kinds_compatible(const OpenMap& map, FileKind kind, uint32_t subfile_kind, const char* extension)
{
    if (kind == map.kind)
        return kind != FILE_OTHER || memcmp(extension, map.extension, 3) == 0;
    return (map.kind == FILE_SRT && is_map_data_kind(kind)) || (kind == FILE_SRT && is_map_data_kind(map.kind)) ||
           (map.kind == FILE_NT && subfile_kind == SUB_DEM);
}

bool joins_map(const OpenMap& map, const SubfileEntry& subfile, FileKind kind)
{
    return map.open && !(map.kinds & kind_bit(subfile.kind)) &&
           kinds_compatible(map, kind, subfile.kind, subfile.name + name_length) &&
           memcmp(map.name, subfile.name, name_length) == 0;
}

uint32_t saturating_add(uint32_t a, uint32_t b) { return b > UINT32_MAX - a ? UINT32_MAX : a + b; }

// Groups the subfiles into maps; fills maps (when not null) and returns
// their number. The counting and the filling pass must take the same
// decisions, so both are this one walk.
uint32_t group_subfiles(InputFile& file, MapEntry* maps)
{
    OpenMap open;
    uint32_t count = 0;
    for (uint32_t i = 0; i < file.subfiles.size(); ++i) {
        SubfileEntry& subfile = file.subfiles[i];
        if (subfile.kind == SUB_NONE)
            continue;
        FileKind kind = file_kind_of_subfile_kind(subfile.kind);
        if (joins_map(open, subfile, kind)) {
            open.kinds |= kind_bit(subfile.kind);
            if (open.kind == FILE_SRT)
                open.kind = kind;
            if (maps) {
                MapEntry& map = maps[count - 1];
                map.kind = open.kind;
                map.length = saturating_add(map.length, subfile.length);
                map.damage_flags |= subfile.flags;
                ++map.subfile_count;
                map.subfile_kinds |= kind_bit(subfile.kind);
                attach_subfile_to_map(map, subfile);
            }
            continue;
        }
        open = {true, subfile.name, subfile.name + name_length, kind, kind_bit(subfile.kind)};
        if (maps) {
            MapEntry& map = maps[count];
            memcpy(map.name, subfile.name, name_length);
            if (kind == FILE_OTHER)
                memcpy(map.extension, subfile.name + name_length, 3);
            map.kind = kind;
            map.first_subfile = i;
            map.subfile_count = 1;
            map.length = subfile.length;
            map.damage_flags = subfile.flags;
            map.subfile_kinds = kind_bit(subfile.kind);
            if (count > 0) {
                const MapEntry& previous = maps[count - 1];
                if (memcmp(previous.name, map.name, name_length) == 0 && previous.kind == kind)
                    map.ordinal = previous.ordinal + 1;
            }
            attach_subfile_to_map(map, subfile);
        }
        ++count;
    }
    return count;
}

// The number a map's name stands for: "I" and hexadecimal digits, or
// decimal digits, the whole name being the number; 0 for any other name.
uint32_t map_number_of_name(const char* name)
{
    if (static_cast<uint8_t>(name[name_length - 1]) <= ' ')
        return 0;
    char after = 0;
    long long number = 0;
    if (name[0] == 'I') {
        unsigned value = 0;
        if (sscanf(name + 1, "%x%c", &value, &after) != 1)
            return 0;
        number = value;
    } else {
        int value = 0;
        if (sscanf(name, "%d%c", &value, &after) != 1)
            return 0;
        number = value;
    }
    return number >= 1 && number <= 99999999 ? static_cast<uint32_t>(number) : 0;
}

}  // namespace

int build_map_list(InputFile& file)
{
    uint32_t count = group_subfiles(file, nullptr);
    if (!resize_rows(file.map_block, count) || !resize_rows(file.maps, count))
        return 0;
    group_subfiles(file, file.map_block.data());

    uint32_t listed = 0;
    for (const SubfileIndexEntry& row : file.subfile_index.rows) {
        SubfileEntry* subfile = row.subfile;
        if (!subfile || subfile->kind == SUB_NONE || !subfile->map || subfile->map->listed)
            continue;
        if (listed == count)
            break;
        subfile->map->listed = 1;
        file.maps[listed++] = subfile->map;
    }
    if (listed != count) {
        log_message(od_MaAnEr.text());
        file.maps.resize(listed);
        file.map_count = listed;
        return 0;
    }
    file.map_count = count;

    for (MapEntry* map : file.maps)
        if ((map->kind == FILE_MPC || map->kind == FILE_NT) && map->map_number == 0)
            map->map_number = map_number_of_name(map->name);

    if (task_options.nt_format) {
        for (MapEntry* map : file.maps) {
            if (map->kind != FILE_MPC)
                continue;
            for (uint32_t i = 0; i < map->subfile_count; ++i)
                if (!check_known_header_length(file, file.subfiles[map->first_subfile + i]))
                    map->header_unknown = 1;
        }
    }
    debug_message(DBG_MAPS, "map %u, plik %s\n", count, file.path.c_str());
    return 1;
}

// ---------------------------------------------------------------- MPS

int czytaj_mpsr(InputFile& file)
{
    MapEntry* mps = nullptr;
    uint32_t mps_index = 0;
    for (uint32_t i = 0; i < file.maps.size(); ++i) {
        if (file.maps[i]->kind != FILE_MPS)
            continue;
        if (mps) {
            log_message(od_MuDaMI.text());
        } else {
            mps = file.maps[i];
            mps_index = i;
        }
    }
    if (!mps || mps->length == 0 || mps->first_subfile >= file.subfiles.size())
        return 1;
    file.is_marine = strncasecmp(mps->name, "BLUCHART", name_length) == 0;

    const SubfileEntry& subfile = file.subfiles[mps->first_subfile];
    uint32_t length = subfile.length;
    if (!reserve_bytes(file.mps_buffer, uint64_t(length) + mps_reserve_size))
        return 0;
    if (!read_subfile_data(file, subfile.fat_slot, 0, file.mps_buffer.data(), length))
        return 0;
    file.mps_length = length;
    file.mps_map_index = mps_index;
    file.mps_reserve = mps_reserve_size;
    file.mps_slack = 0;

    // The rest of the last block goes with the data, so a writer that puts
    // the block back whole keeps what stood there; the file may end inside
    // that block, and then there is only that much.
    uint32_t used = length % file.block_size;
    uint32_t slack = std::min((file.block_size - used) % file.block_size, mps_reserve_size);
    uint64_t position = 0;
    if (slack == 0 || !locate_subfile_byte(file, subfile.fat_slot, length, false, position) ||
        position >= file.file_size)
        return 1;
    slack = static_cast<uint32_t>(std::min<uint64_t>(slack, file.file_size - position));
    if (!read_file_at(file, file.mps_buffer.data() + length, position, slack))
        return 0;
    file.mps_slack = slack;
    return 1;
}

ByteView mps_record_bytes(const InputFile& file, const MpsRecordRef& record)
{
    ByteView data(file.mps_buffer.data(), std::min<size_t>(file.mps_length, file.mps_buffer.size()));
    if (!data.contains(record.record_offset, record.record_length))
        return ByteView();
    return data.sub(record.record_offset, record.record_length);
}

uint32_t mps_map_number(ByteView record)
{
    if (record.size() < MpsRecord::map_number_from_end)
        return 0;
    return record.u32(record.size() - MpsRecord::map_number_from_end);
}

static void bind_record(MapEntry& map, MpsRecordRef& record)
{
    map.mps_record = &record;
    record.matched = 1;
    record.code_page = map.code_page;
}

// The maps of each key in map order, and how far each key's list has been
// used up. A map once bound stays bound, so the first unbound map of a key
// is never before its cursor: each record costs one look-up and the
// cursors move over every map at most once.
template <class Key>
class MapQueues {
public:
    void add(Key key, MapEntry* map) { lists_[key].maps.push_back(map); }

    // The first map of key in map order that has no record yet, or null.
    MapEntry* first_unbound(Key key)
    {
        auto it = lists_.find(key);
        if (it == lists_.end())
            return nullptr;
        List& list = it->second;
        while (list.next < list.maps.size() && list.maps[list.next]->mps_record)
            ++list.next;
        return list.next < list.maps.size() ? list.maps[list.next] : nullptr;
    }

private:
    struct List {
        std::vector<MapEntry*> maps;
        size_t next = 0;
    };
    std::unordered_map<Key, List> lists_;
};

// Each 'L' record with a map number takes the first map, in map order, of
// that number that has no record yet.
static void bind_by_number(InputFile& file)
{
    MapQueues<uint32_t> by_number;
    for (MapEntry* map : file.maps)
        by_number.add(map->map_number, map);
    for (MpsRecordRef& record : file.mps_records) {
        uint32_t m = record.letter == 'L' ? mps_map_number(mps_record_bytes(file, record)) : 0;
        if (m == 0)
            continue;
        if (MapEntry* map = by_number.first_unbound(m))
            bind_record(*map, record);
    }
}

// The first 8 name characters of a map as one key.
static uint64_t name_key(const char* name)
{
    uint64_t key = 0;
    memcpy(&key, name, name_length);
    return key;
}

// Each 'L' record still unbound takes the first map, in map order, without a
// record whose name is one its number may have ("I%07X" or "%08u"; a record
// without a number looks for those of 0).
static void bind_by_name(InputFile& file)
{
    MapQueues<uint64_t> by_name;
    std::unordered_map<const MapEntry*, size_t> position;
    for (size_t i = 0; i < file.maps.size(); ++i) {
        by_name.add(name_key(file.maps[i]->name), file.maps[i]);
        position[file.maps[i]] = i;
    }
    for (MpsRecordRef& record : file.mps_records) {
        if (record.letter != 'L' || record.matched)
            continue;
        uint32_t m = mps_map_number(mps_record_bytes(file, record));
        MapEntry* map = nullptr;
        char name[16];
        if (m <= 0xFFFFFFF) {
            snprintf(name, sizeof name, "I%07X", m);
            map = by_name.first_unbound(name_key(name));
        }
        if (m <= 99999999) {
            snprintf(name, sizeof name, "%08u", m);
            MapEntry* decimal = by_name.first_unbound(name_key(name));
            if (decimal && (!map || position[decimal] < position[map]))
                map = decimal;
        }
        if (!map)
            continue;
        bind_record(*map, record);
        if (map->map_number == 0)
            map->map_number = m;
    }
}

// The TRE subfiles in FAT order take the 'L' records in record order.
static void bind_by_order(InputFile& file)
{
    std::vector<MpsRecordRef>& records = file.mps_records;
    size_t next = 0;
    for (const SubfileIndexEntry& row : file.subfile_index.rows) {
        if (!row.subfile || row.subfile->kind != SUB_TRE)
            continue;
        while (next < records.size() && records[next].letter != 'L')
            ++next;
        if (next == records.size())
            break;
        MpsRecordRef& record = records[next++];
        MapEntry* map = row.subfile->map;
        if (!map || map->mps_record || record.matched)
            continue;
        bind_record(*map, record);
        if (map->map_number == 0)
            map->map_number = mps_map_number(mps_record_bytes(file, record));
        debug_message(DBG_READ, "rekord L %zu przypisany mapie %.8s wg kolejnosci\n", next - 1, map->name);
    }
}

// An 'F' record's code page is the dominant one of the maps of its family
// (and product, when it names one).
static void set_family_code_pages(InputFile& file)
{
    for (MpsRecordRef& record : file.mps_records) {
        ByteView f = mps_record_bytes(file, record);
        if (record.letter != 'F' || f.size() < MpsRecord::ids_end || f.u16(MpsRecord::family_id) == 0)
            continue;
        uint16_t family = f.u16(MpsRecord::family_id);
        uint16_t product = f.u16(MpsRecord::product_id);
        CodePageCount table;
        for (const MapEntry* map : file.maps) {
            if ((map->kind != FILE_MPC && map->kind != FILE_NT) || map->code_page == 0 || !map->mps_record)
                continue;
            ByteView l = mps_record_bytes(file, *map->mps_record);
            if (l.size() >= MpsRecord::ids_end && l.u16(MpsRecord::family_id) == family &&
                (product == 0 || l.u16(MpsRecord::product_id) == product))
                count_code_page(table, map->code_page);
        }
        record.code_page = pick_dominant_code_page(table, task_options.code_page);
    }
}

int analizuj_mpsr(InputFile& file)
{
    if (file.mps_buffer.empty() || file.mps_length < MpsRecord::header_size)
        return 1;
    ByteView data(file.mps_buffer.data(), std::min<size_t>(file.mps_length, file.mps_buffer.size()));
    uint32_t count = 0;
    uint64_t end = 0;
    while (data.contains(end, MpsRecord::header_size)) {
        uint64_t length = MpsRecord::header_size + data.u16(end + MpsRecord::payload_length);
        if (!data.contains(end, length))
            break;
        ++count;
        end += length;
    }
    const char* path = file.path.c_str();
    if (count == 0) {
        if (task_options.verbose)
            log_message(od_NoMRFS.text(), path);
        return 1;
    }
    if (end != file.mps_length && task_options.verbose)
        log_message(od_WMRSDS.text(), path);
    if (!resize_rows(file.mps_records, count))
        return 0;
    uint32_t offset = 0;
    for (MpsRecordRef& record : file.mps_records) {
        record.letter = data.u8(offset + MpsRecord::letter);
        record.record_offset = offset;
        record.record_length = MpsRecord::header_size + data.u16(offset + MpsRecord::payload_length);
        offset += record.record_length;
    }
    file.mps_record_count = count;

    bind_by_number(file);
    bind_by_name(file);
    bind_by_order(file);
    set_family_code_pages(file);
    return 1;
}

// ---------------------------------------------------------------- code pages

int count_code_page(CodePageCount& table, uint32_t code_page)
{
    if (code_page == 0)
        return 0;
    for (uint32_t i = 0; i < table.count; ++i) {
        if (table.values[i] == code_page) {
            ++table.counts[i];
            return 1;
        }
    }
    if (table.count == CodePageCount::capacity)
        return 0;
    table.values[table.count] = code_page;
    table.counts[table.count++] = 1;
    return 1;
}

uint32_t pick_dominant_code_page(const CodePageCount& table, uint32_t preferred)
{
    if (table.count == 0)
        return 0;
    uint32_t top = 0;
    for (uint32_t i = 1; i < table.count; ++i)
        if (table.counts[i] > table.counts[top])
            top = i;
    uint64_t p = 0;
    for (uint32_t i = 0; preferred != 0 && i < table.count; ++i)
        if (table.values[i] == preferred)
            p = table.counts[i];
    if (p != 0 && table.values[top] != preferred && table.counts[top] < 5 * p)
        return preferred;
    return table.values[top];
}

int choose_file_code_page(InputFile& file)
{
    if (file.kind != FILE_IMG) {
        file.code_page = file.data_code_page;
        return file.code_page != 0;
    }
    CodePageCount table;
    for (const MapEntry* map : file.maps)
        count_code_page(table, map->code_page);
    file.code_page = pick_dominant_code_page(table, task_options.code_page);
    return file.code_page != 0;
}
