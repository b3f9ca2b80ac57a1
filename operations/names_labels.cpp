// Names, labels and family IDs: the MPS record edits, the label case change
// and a subfile's new length inside an existing container.
//
// The MPS edits are made on a copy of the MPS data and the record rows; the
// InputFile takes them over only once they are on disk. A subfile's new
// length changes the InputFile's FAT image, which the InplaceStep of the
// caller puts back if anything after it fails; a refused growth puts it back
// itself, so the caller sees the InputFile as it was.
#include "operations/names_labels.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "operations/inplace.h"
#include "operations/inplace_write.h"
#include "core/task_options.h"

// ---------------------------------------------------------------- a subfile's new length

namespace {

// Highest block number a FAT entry can hold (0xFFFF marks an unused slot).
constexpr uint32_t max_block_number = 0xFFFE;
constexpr uint32_t block_map_bits = 65552;

uint64_t blocks_for(uint64_t length, uint32_t block_size) { return (length + block_size - 1) / block_size; }

void set_block(ByteSpan fat, uint32_t entry, uint64_t index, uint16_t block)
{
    fat.put_u16(entry + FatEntry::blocks + 2 * index, block);
}

}  // namespace

int grow_subfile_fat(InputFile& file, SubfileEntry& subfile, uint32_t new_length, const char* name11, int& pad)
{
    uint32_t size = file.block_size;
    // A subfile whose block list is damaged is not trusted with more blocks,
    // nor with fewer: its entries may be shared with another subfile.
    if (size == 0 || subfile.flags)
        return 0;
    uint64_t b0 = blocks_for(subfile.declared_length, size);
    uint64_t b1 = blocks_for(new_length, size);
    uint32_t e0 = fat_entries_for(subfile.declared_length, size);
    uint32_t e1 = fat_entries_for(new_length, size);
    uint64_t slot = subfile.fat_slot;
    if (slot + std::max(e0, e1) > file.fat_slots.size())
        return 0;
    ByteSpan fat(file.header_buffer);
    auto entry_of = [&](uint64_t i) { return file.fat_slots[slot + i].entry_offset; };
    for (uint64_t i = 0; i < std::max(e0, e1); ++i)
        if (!fat.contains(entry_of(i), FatEntry::size))
            return 0;
    for (uint64_t i = e0; i < e1; ++i)
        if (fat.view().u8(entry_of(i) + FatEntry::flag) != 0)
            return 0;

    // Everything below is undone when no block is left: it changes only the
    // subfile's entries and the header's block count.
    std::vector<uint8_t> saved_entries(size_t(std::max(e0, e1)) * FatEntry::size);
    for (uint64_t i = 0; i < std::max(e0, e1); ++i)
        memcpy(saved_entries.data() + i * FatEntry::size, fat.data() + entry_of(i), FatEntry::size);

    if (b1 < b0) {
        for (uint64_t i = e1; i < e0; ++i) {
            uint32_t entry = entry_of(i);
            memset(fat.data() + entry, 0, FatEntry::blocks);
            memset(fat.data() + entry + FatEntry::blocks, 0xFF, FatEntry::size - FatEntry::blocks);
        }
        // A new block count that fills its last entry exactly leaves that
        // entry's list whole: it is still in use.
        uint64_t used = b1 % FatEntry::block_count;
        if (used != 0 || b1 == 0)
            for (uint64_t j = used; j < FatEntry::block_count; ++j)
                set_block(fat, entry_of(e1 - 1), j, FatEntry::unused_block);
    } else if (b1 > b0) {
        std::vector<bool> in_use(block_map_bits, false);
        for (const FatSlot& row : file.fat_slots) {
            if (!fat.view().contains(row.entry_offset, FatEntry::size) || fat.view().u8(row.entry_offset) == 0)
                continue;
            for (uint32_t j = 0; j < FatEntry::block_count; ++j)
                in_use[fat.view().u16(row.entry_offset + FatEntry::blocks + 2 * j)] = true;
        }
        uint32_t last_entry = entry_of(e0 - 1);
        for (uint64_t i = e0; i < e1; ++i) {
            uint32_t entry = entry_of(i);
            memcpy(fat.data() + entry, fat.data() + last_entry, FatEntry::blocks);
            fat.put_u32(entry + FatEntry::subfile_size, 0);
            fat.put_u8(entry + FatEntry::part, static_cast<uint8_t>(i));
            memset(fat.data() + entry + FatEntry::blocks, 0xFF, FatEntry::size - FatEntry::blocks);
        }
        uint32_t k = file.header_blocks;
        uint32_t last = 0;
        for (uint64_t j = b0; j < b1; ++j) {
            while (k <= max_block_number && in_use[k])
                ++k;
            if (k > max_block_number) {
                for (uint64_t i = 0; i < std::max(e0, e1); ++i)
                    memcpy(fat.data() + entry_of(i), saved_entries.data() + i * FatEntry::size, FatEntry::size);
                return 0;
            }
            in_use[k] = true;
            last = k;
            set_block(fat, entry_of(j / FatEntry::block_count), j % FatEntry::block_count, static_cast<uint16_t>(k));
        }
        if (last + 1 > file.total_blocks) {
            file.total_blocks = last + 1;
            file.file_size = uint64_t(file.total_blocks) * size;
            if (fat.view().u16(ImgHeader::total_sectors_short) < file.total_blocks)
                fat.put_u16(ImgHeader::total_sectors_short, static_cast<uint16_t>(file.total_blocks));
            pad = 1;
        }
    }
    for (uint64_t i = 0; i < e1; ++i)
        fat.put_bytes(entry_of(i) + FatEntry::name, name11, FatEntry::full_name_length);
    fat.put_u32(entry_of(0) + FatEntry::subfile_size, new_length);
    subfile.length = subfile.declared_length = new_length;
    memmove(subfile.name, name11, FatEntry::full_name_length);
    return 1;
}

int write_resized_subfile(InplaceStep& step, InputFile& file, const SubfileEntry& subfile, uint32_t old_length,
                          const uint8_t* data, uint32_t n, int pad)
{
    if (pad && (!step.extend_file(uint64_t(file.total_blocks) * file.block_size) ||
                !step.put_header(ImgHeader::total_sectors_short, 2)))
        return 0;
    uint32_t entries = std::max(fat_entries_for(old_length, file.block_size), fat_entries_for(n, file.block_size));
    return step.put_fat_entries(subfile.fat_slot, entries) && step.put_subfile(subfile.fat_slot, 0, data, n);
}

// ---------------------------------------------------------------- MPS records

namespace {

// The MPS data and rows being edited, and the room left after the data.
struct MpsWork {
    std::vector<uint8_t> data;  // records, then the reserve
    uint32_t length;
    uint32_t reserve;
    std::vector<MpsRecordRef> records;
};

// Replaces the record of row index by one of new_length bytes, moving what
// follows it and the later rows.
void resize_record(MpsWork& w, size_t index, uint32_t new_length)
{
    MpsRecordRef& record = w.records[index];
    uint32_t end = record.record_offset + record.record_length;
    int64_t diff = int64_t(new_length) - record.record_length;
    if (diff != 0) {
        if (uint64_t(w.length) + diff > w.data.size())
            w.data.resize(static_cast<size_t>(w.length + diff), 0);
        memmove(w.data.data() + end + diff, w.data.data() + end, w.length - end);
        if (diff < 0)
            memset(w.data.data() + w.length + diff, 0, static_cast<size_t>(-diff));
        for (size_t i = index + 1; i < w.records.size(); ++i)
            w.records[i].record_offset = static_cast<uint32_t>(w.records[i].record_offset + diff);
        w.length = static_cast<uint32_t>(w.length + diff);
        w.reserve = static_cast<uint32_t>(w.reserve - diff);
        record.record_length = new_length;
    }
}

// The record bytes of a row; empty when they do not lie inside the records.
ByteSpan record_span(MpsWork& w, const MpsRecordRef& record)
{
    if (uint64_t(record.record_offset) + record.record_length > std::min<uint64_t>(w.length, w.data.size()))
        return ByteSpan();
    return ByteSpan(w.data.data() + record.record_offset, record.record_length);
}

// Puts a name of n bytes at name_at into the record of row index, followed by
// tail zero bytes (its NUL, and a 'V' record's flag byte); the bytes before
// the name stay and the record takes its new length.
void put_name_record(MpsWork& w, size_t index, char letter, uint32_t name_at, const char* name, uint32_t n,
                     uint32_t tail)
{
    uint32_t length = name_at + n + tail;
    debug_message(DBG_WRITE, "zmien_mps: zmiana rozmiaru %c, dif %i\n", letter,
                  static_cast<int>(length) - static_cast<int>(w.records[index].record_length));
    resize_record(w, index, length);
    ByteSpan record = record_span(w, w.records[index]);
    record.put_u16(1, length - 3);
    record.put_bytes(name_at, name, n);
    for (uint32_t i = 0; i < tail; ++i)
        record.put_u8(name_at + n + i, 0);
}

}  // namespace

int zmien_mps(InputFile& file, bool mapset_name, bool map_name, bool ids, int32_t fid, int32_t pid)
{
    SubfileEntry* mps = find_mps_subfile(file);
    if (!mps || file.mps_length == 0 || file.mps_buffer.size() < file.mps_length)
        return 0;
    const TaskOptions& o = task_options;
    const char* path = file.path.c_str();
    MpsWork w{file.mps_buffer, file.mps_length, file.mps_reserve, file.mps_records};
    if (w.data.size() < uint64_t(w.length) + w.reserve)
        w.data.resize(uint64_t(w.length) + w.reserve, 0);

    long f_index = -1, v_index = -1;
    int f_count = 0, ids_changed = 0;
    auto change_ids = [&](ByteSpan record) {
        if (!ids)
            return;
        if (o.mps_id_flags & 1)
            record.put_u16(MpsRecord::family_id, static_cast<uint16_t>(o.mps_family_id));
        if (o.mps_id_flags & 2)
            record.put_u16(MpsRecord::product_id, static_cast<uint16_t>(o.mps_product_id));
        ++ids_changed;
    };
    for (size_t i = 0; i < w.records.size(); ++i) {
        const MpsRecordRef& record = w.records[i];
        ByteSpan bytes = record_span(w, record);
        bool matches = bytes.size() >= MpsRecord::ids_end && id_matches(fid, bytes.view().u16(MpsRecord::family_id)) &&
                       id_matches(pid, bytes.view().u16(MpsRecord::product_id));
        if (record.letter == 'F' && matches) {
            if (f_count++ == 0) {
                f_index = static_cast<long>(i);
                debug_message(DBG_WRITE, "zmien_mps: znaleziony rekord F, poz %i, dług %i\n",
                              static_cast<int>(record.record_offset), static_cast<int>(record.record_length));
            }
            change_ids(bytes);
        } else if ((record.letter == 'L' || record.letter == 'P') && matches) {
            change_ids(bytes);
        } else if (record.letter == 'V' && v_index < 0) {
            v_index = static_cast<long>(i);
            debug_message(DBG_WRITE, "zmien_mps: znaleziony rekord V, poz %i, dług %i\n",
                          static_cast<int>(record.record_offset), static_cast<int>(record.record_length));
        }
    }
    if (mapset_name && v_index < 0) {
        debug_message(DBG_WRITE, "zmien_mps: brak rekordu V, bez zmian\n");
        mapset_name = false;
    }
    if (map_name && f_count != 1) {
        if (f_count == 0)
            debug_message(DBG_WRITE, "zmien_mps: brak rekordu F, bez zmian\n");
        else
            log_message(gw_WMPIFS.text(), path);
        map_name = false;
    }
    if (ids && !ids_changed)
        ids = false;
    if (!mapset_name && !map_name && !ids)
        return 1;

    uint32_t t = static_cast<uint32_t>(std::min<size_t>(o.mapset_name.size(), 50));
    uint32_t v = static_cast<uint32_t>(std::min<size_t>(o.map_name.size(), 50));
    int64_t growth = 0;
    if (mapset_name)
        growth += int64_t(t) + 5 - w.records[v_index].record_length;
    if (map_name)
        growth += int64_t(v) + 8 - w.records[f_index].record_length;

    InplaceStep step(file, true);
    if (!step.open())
        return 0;
    uint32_t old_length = mps->declared_length;
    int pad = 0;
    bool resized = false;
    if (mapset_name || map_name) {
        if (growth == 0 ||
            (int64_t(w.reserve) >= growth && int64_t(w.length) + growth <= UINT32_MAX &&
             grow_subfile_fat(file, *mps, static_cast<uint32_t>(w.length + growth), mps->name, pad))) {
            resized = growth != 0;
            if (mapset_name)
                put_name_record(w, v_index, 'V', 3, o.mapset_name.data(), t, 2);
            if (map_name)
                put_name_record(w, f_index, 'F', MpsRecord::family_name, o.map_name.data(), v, 1);
        } else {
            ++warning_count;
            log_message(gw_NPTIMN.text(), path);
            mapset_name = map_name = false;
            if (!ids)
                return 1;
        }
    }

    int written = resized ? write_resized_subfile(step, file, *mps, old_length, w.data.data(), w.length, pad)
                          : step.put_subfile(mps->fat_slot, 0, w.data.data(), w.length);
    if (!written || !step.finish())
        return 0;

    if (file.mps_map_index < file.maps.size())
        file.maps[file.mps_map_index]->length += w.length - file.mps_length;
    file.mps_buffer.swap(w.data);
    file.mps_length = w.length;
    file.mps_reserve = w.reserve;
    // Maps point at the rows: the rows stay where they are, only their contents change.
    std::copy(w.records.begin(), w.records.end(), file.mps_records.begin());
    if (mapset_name)
        log_message(gw_FSWMNM.text(), path, display_name(o.mapset_name_result, std::string(o.mapset_name, 0, t).c_str()));
    if (map_name)
        log_message(gw_FSWMNI.text(), path, display_name(o.map_name_result, std::string(o.map_name, 0, v).c_str()));
    if (ids)
        log_message(gw_FSCFIS.text(), path);
    return 1;
}

// ---------------------------------------------------------------- label case

namespace {

// The character locale of the label's code page while labels are converted,
// back to what it was whatever way the change ends.
struct CtypeLocaleGuard {
    char* saved = save_ctype_locale();
    ~CtypeLocaleGuard() { restore_ctype_locale(saved); }
};

// Where the labels of a map lie: the label section of its LBL header.
struct LabelPlace {
    uint32_t offset;
    uint32_t length;
};

// Offsets in the LBL header.
constexpr uint32_t lbl_labels_offset = 0x15;
constexpr uint32_t lbl_labels_length = 0x19;
constexpr uint32_t lbl_label_coding = 0x1E;
constexpr uint8_t one_byte_labels = 9;

}  // namespace

int change_label_case(InputFile& file, int mode)
{
    if (file.kind != FILE_IMG)
        return 1;
    InplaceStep step(file, true);
    if (!step.open())
        return 0;
    CtypeLocaleGuard locale;
    // A map's labels are said to be changed once they are on disk: a step
    // that fails later is undone whole.
    std::vector<const char*> modified;
    auto tell_modified = [&modified] {
        if (task_options.verbose)
            for (const char* name : modified)
                log_message(gw_MaSLaM.text(), name);
    };
    for (MapEntry* map : file.maps) {
        const LblInfo* lbl = map->lbl_info;
        if (!map->tre_info || !lbl || !map_passes_filter(file, *map))
            continue;
        ByteView header(lbl->header);
        if (header.u8(lbl_label_coding) != one_byte_labels) {
            log_message(gw_MaSLaF.text(), map->name);
            continue;
        }
        LabelPlace place{header.u32(lbl_labels_offset), header.u32(lbl_labels_length)};
        if (place.offset >= lbl->subfile_length || uint64_t(place.offset) + place.length > lbl->subfile_length ||
            place.length > INT_MAX) {
            log_message(gw_MaSUnL.text(), map->name);
            continue;
        }
        if (!set_ctype_code_page(static_cast<int>(lbl->code_page))) {
            log_message(gw_MaSCoN.text(), map->name);
            continue;
        }
        std::vector<uint8_t> labels;
        if (!reserve_bytes(labels, place.length) ||
            !read_subfile_data(file, lbl->fat_slot, place.offset, labels.data(), place.length))
            return 0;
        if (!convert_label_case(mode, reinterpret_cast<char*>(labels.data()), static_cast<int>(place.length),
                                static_cast<int>(lbl->code_page))) {
            // The maps done so far are whole on disk, checksum included.
            if (step.finish())
                tell_modified();
            log_message(gw_MaSLaE.text(), map->name);
            return 0;
        }
        if (!step.put_subfile(lbl->fat_slot, place.offset, labels.data(), place.length))
            return 0;
        modified.push_back(map->name);
    }
    if (!step.finish())
        return 0;
    tell_modified();
    return 1;
}
