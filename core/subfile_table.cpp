// The subfile table of an IMG container.
//
// The FAT is read as written by whatever made the file: the entries of one
// subfile need not stand together, a name may be repeated (the last first
// entry of a name wins), a part may be repeated (the copy at the higher FAT
// offset wins), and entries may be freed in the middle of a subfile. The
// slots are first numbered into runs of neighbouring entries of one name,
// runs without a first entry join the subfile of their name, and one sort
// then brings every subfile's entries together in part order. A block-list
// walk of a subfile can then go slot by slot from its first entry.
//
// Free entries keep their place in their run: a free entry stands for the
// part after the used entry it follows, so a subfile whose middle entry was
// freed stops at that entry (damage 0x02, length cut) instead of seeing its
// next part out of order, which would be the fatal wrong-part fault.
#include "core/subfile_table.h"

#include <algorithm>
#include <array>
#include <compare>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "core/file_names.h"
#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/reader.h"
#include "core/subfile_headers.h"

int compare_entry_names(ByteView fat, uint32_t a, uint32_t b, uint32_t n)
{
    ByteView x = fat.sub(uint64_t(a) + FatEntry::name, n);
    ByteView y = fat.sub(uint64_t(b) + FatEntry::name, n);
    size_t common = std::min(x.size(), y.size());
    int c = common ? memcmp(x.data(), y.data(), common) : 0;
    if (c != 0 || x.size() == y.size())
        return c;
    return x.size() < y.size() ? -1 : 1;
}

NameKey name_key(ByteView fat, uint32_t entry, uint32_t row)
{
    ByteView name = fat.sub(uint64_t(entry) + FatEntry::name, FatEntry::full_name_length);
    NameKey key{{}, row};
    if (name.size())
        memcpy(key.name.data(), name.data(), name.size());
    key.name.back() = static_cast<uint8_t>(name.size());
    return key;
}

namespace {

constexpr uint32_t no_entry = UINT32_MAX;
constexpr uint32_t no_clash = UINT32_MAX;

// The blocks of the file being read that subfiles have taken: owners holds a
// subfile row + 1 for each block, 0 for a free one. The walk of row's blocks
// marks those of its declared length and puts the first one already taken
// into clash (and marks no more).
struct BlockClaim {
    std::vector<uint32_t>* owners = nullptr;
    uint32_t row = 0;
    uint32_t clash = no_clash;
};

// check_subfile_blocks, which also marks the subfile's blocks in claim
// (none when it is null, or too short for the file's blocks).
int walk_subfile_blocks(InputFile& file, SubfileEntry& subfile, BlockClaim* claim);

bool same_full_name(ByteView fat, uint32_t a, uint32_t b)
{
    return compare_entry_names(fat, a, b, FatEntry::full_name_length) == 0;
}

uint8_t entry_flag(ByteView fat, uint32_t entry) { return fat.u8(uint64_t(entry) + FatEntry::flag); }
uint8_t entry_part(ByteView fat, uint32_t entry) { return fat.u8(uint64_t(entry) + FatEntry::part); }

// The first entry of a subfile: in use, part 0, a size.
bool is_first_entry(ByteView fat, uint32_t entry)
{
    return entry_flag(fat, entry) == 1 && entry_part(fat, entry) == 0 &&
           fat.u32(uint64_t(entry) + FatEntry::subfile_size) != 0;
}

// 1 for RGN and GMP, 2 for the other map kinds, 0 for the rest: within one
// name, a map's RGN (or GMP) leads and its other parts follow in FAT order.
uint32_t sort_class_of(ByteView fat, uint32_t entry)
{
    ByteView ext = fat.sub(uint64_t(entry) + FatEntry::extension, FatEntry::extension_length);
    if (ext.matches(0, "RGN") || ext.matches(0, "GMP"))
        return 1;
    static const char* const map_parts[] = {"TRE", "LBL", "NET", "NOD", "DEM", "SRT"};
    for (const char* part : map_parts)
        if (ext.matches(0, part))
            return 2;
    return 0;
}

// The entry whose name orders the slot: its own for a used entry of a run,
// else the one recorded in name_entry.
uint32_t name_source(ByteView fat, const FatSlot& slot)
{
    return entry_flag(fat, slot.entry_offset) == 1 && slot.group >= 0 ? slot.entry_offset : slot.name_entry;
}

// The part a slot stands for: a used entry's own part number; a free entry
// stands for the part after the used entry it follows.
uint32_t part_key(ByteView fat, const FatSlot& slot)
{
    if (entry_flag(fat, slot.entry_offset) != 0)
        return entry_part(fat, slot.entry_offset);
    if (slot.name_entry != slot.entry_offset)
        return entry_part(fat, slot.name_entry) + 1u;
    return 0;
}

template <class T>
int order(T a, T b)
{
    return a < b ? -1 : (b < a ? 1 : 0);
}

void trace_slots(const InputFile& file, const char* when)
{
    if (!debug_category_enabled(DBG_READ))
        return;
    ByteView fat(file.header_buffer);
    debug_message(DBG_READ, "sloty FAT %s:\n", when);
    for (size_t i = 0; i < file.fat_slots.size(); ++i) {
        const FatSlot& s = file.fat_slots[i];
        ByteView own = fat.sub(uint64_t(s.entry_offset) + FatEntry::name, FatEntry::full_name_length);
        ByteView named = fat.sub(uint64_t(s.name_entry) + FatEntry::name, FatEntry::full_name_length);
        debug_message(DBG_READ, "%4zu: ofs %6x, idx %3d, grupa %3d, flaga %u, czesc %u, %.*s / %.*s\n", i,
                      s.entry_offset, s.index_row, s.group, entry_flag(fat, s.entry_offset),
                      entry_part(fat, s.entry_offset), static_cast<int>(own.size()),
                      reinterpret_cast<const char*>(own.data()), static_cast<int>(named.size()),
                      reinterpret_cast<const char*>(named.data()));
    }
}

// The slot of an entry while the slots still stand in FAT order.
size_t slot_of_entry(const InputFile& file, uint32_t entry)
{
    return (entry - file.fat_offset) / FatEntry::size;
}

// The index rows of the first entries, in FAT order, and the name
// list beside them. A later first entry of a name supersedes the earlier
// one, whose row goes and whose slot is marked dropped. One sort by name
// and FAT order gathers the first entries of each name with the latest
// last, so the work grows as n log n however many names repeat. Each name
// is taken out of the FAT once, as a key, rather than at every comparison.
bool build_subfile_index(InputFile& file, uint32_t count)
{
    ByteView fat(file.header_buffer);
    SubfileIndex& index = file.subfile_index;
    std::vector<uint32_t> firsts;  // slot rows of the first entries, FAT order
    std::vector<NameKey> by_name;
    try {
        firsts.reserve(count);
        for (uint32_t i = 0; i < file.fat_slots.size(); ++i)
            if (is_first_entry(fat, file.fat_slots[i].entry_offset))
                firsts.push_back(i);
        by_name.reserve(firsts.size());
        for (uint32_t i : firsts)
            by_name.push_back(name_key(fat, file.fat_slots[i].entry_offset, i));
        std::sort(by_name.begin(), by_name.end());
        index.sorted_names.clear();
        index.sorted_names.reserve(by_name.size());
        for (size_t k = 0; k < by_name.size(); ++k) {
            FatSlot& slot = file.fat_slots[by_name[k].row];
            if (k + 1 < by_name.size() && by_name[k].same_name(by_name[k + 1])) {
                slot.index_row = -2;
                debug_message(DBG_READ, "wpis FAT %x zastapiony przez %x\n", slot.entry_offset,
                              file.fat_slots[by_name[k + 1].row].entry_offset);
                continue;
            }
            index.sorted_names.push_back(slot.entry_offset);
        }
        index.rows.clear();
        index.rows.reserve(index.sorted_names.size());
        for (uint32_t i : firsts) {
            FatSlot& slot = file.fat_slots[i];
            if (slot.index_row == -2)
                continue;
            slot.index_row = static_cast<int32_t>(index.rows.size());
            index.rows.push_back({slot.entry_offset, 0, nullptr});
        }
    } catch (const std::exception&) {
        log_message(fn_OuOfMe.text());
        return false;
    }
    return true;
}

// Runs of neighbouring used entries of one 11-byte name. A dropped
// first entry closes the run it would have continued, so its own stray
// continuation entries cannot join the subfile that superseded it by
// position, only by name below.
void number_runs(InputFile& file)
{
    ByteView fat(file.header_buffer);
    int32_t run = 0;
    uint32_t current = no_entry;    // the entry whose name is the current run's
    uint32_t last_used = no_entry;  // the current run's latest used entry
    for (FatSlot& slot : file.fat_slots) {
        uint32_t entry = slot.entry_offset;
        if (slot.index_row == -2) {
            if (current != no_entry)
                ++run;
            current = last_used = no_entry;
            slot.sort_class = sort_class_of(fat, entry);
            slot.group = run;
        } else if (entry_flag(fat, entry) != 0) {
            slot.sort_class = sort_class_of(fat, entry);
            if (current == no_entry || !same_full_name(fat, entry, current)) {
                ++run;
                current = entry;
            }
            slot.group = run;
            last_used = entry;
        } else {
            // A free entry before any run has no name but its own.
            slot.group = run;
            if (last_used != no_entry) {
                slot.name_entry = last_used;
                slot.sort_class = sort_class_of(fat, last_used);
            }
        }
    }
}

// A run that holds no first entry continues the subfile of its
// name wherever that stands; without one its entries are orphans (-1).
void join_continuation_runs(InputFile& file)
{
    ByteView fat(file.header_buffer);
    const std::vector<uint32_t>& names = file.subfile_index.sorted_names;
    std::vector<FatSlot>& slots = file.fat_slots;
    size_t start = 0;
    while (start < slots.size()) {
        size_t end = start + 1;
        while (end < slots.size() && slots[end].group == slots[start].group)
            ++end;
        bool holds_first = false;
        uint32_t named = no_entry;
        for (size_t i = start; i < end; ++i) {
            holds_first = holds_first || is_first_entry(fat, slots[i].entry_offset);
            if (named == no_entry && entry_flag(fat, slots[i].entry_offset) != 0)
                named = slots[i].entry_offset;
        }
        if (!holds_first && named != no_entry) {
            auto at = std::lower_bound(names.begin(), names.end(), named, [&](uint32_t a, uint32_t b) {
                return compare_entry_names(fat, a, b, FatEntry::full_name_length) < 0;
            });
            int32_t group = -1;
            if (at != names.end() && same_full_name(fat, *at, named))
                group = slots[slot_of_entry(file, *at)].group;
            // Free slots keep the used entry they follow as their name: it
            // has the subfile's name and tells which part they stand for.
            for (size_t i = start; i < end; ++i)
                slots[i].group = group;
        }
        start = end;
    }
}

bool has_blank_name(const SubfileEntry& subfile) { return memcmp(subfile.name, "           ", 11) == 0; }

// Logs the FAT damage of a subfile; 0 when it is fatal.
int report_fat_damage(InputFile& file, SubfileEntry& subfile, int checked)
{
    if (checked && subfile.flags == 0)
        return 1;
    log_message(od_WFFSSF.text(), subfile.name, file.path.c_str());
    // A block inside the header+FAT area is fatal for an entry that looks
    // like part of that area itself.
    if (!checked || ((subfile.flags & DAMAGE_BLOCK_IN_HEADER) && has_blank_name(subfile)))
        return 0;
    ++warning_count;
    file.damage_flags |= subfile.flags;
    return 1;
}

// Reads the header records of a subfile; 0 when a reader failed.
int read_subfile_headers(InputFile& file, SubfileEntry& subfile)
{
    // The traces only write debug output; their failures are not the table's.
    dump_gmp_header(file, &subfile);
    dump_mdr_header(file, &subfile);
    if (subfile.kind == SUB_GMP && !read_gmp_header(file, &subfile))
        return 0;
    return read_tre_header(file, &subfile) && read_lbl_header(file, &subfile) && read_dem_header(file, &subfile) &&
           read_other_header(file, &subfile);
}

// The one block a subfile shares with another (or lists twice) damages the
// file: a write through either would change both. 0, with that said, when
// the walk found one.
int report_block_clash(const InputFile& file, const SubfileEntry& subfile, const std::vector<uint32_t>& owners,
                       const BlockClaim& claim)
{
    if (claim.clash == no_clash)
        return 1;
    log_message(od_BlCTSF.text(), unsigned(claim.clash), dotted_fat_name(file.subfiles[owners[claim.clash] - 1].name).c_str(),
                dotted_fat_name(subfile.name).c_str(), file.path.c_str());
    return 0;
}

// One SubfileEntry per first entry that was not superseded, in
// sorted slot order, each checked and its headers read.
int fill_subfiles(InputFile& file)
{
    ByteView fat(file.header_buffer);
    SubfileIndex& index = file.subfile_index;
    if (!resize_rows(file.subfiles, index.rows.size()))
        return 0;
    uint32_t filled = 0;
    int result = 1;
    // One owner per block of the file (a subfile row + 1, 0 for a free block).
    std::vector<uint32_t> owners;
    if (!resize_rows(owners, file.total_blocks))
        return 0;
    for (size_t position = 0; position < file.fat_slots.size() && result; ++position) {
        const FatSlot& slot = file.fat_slots[position];
        uint32_t entry = slot.entry_offset;
        if (!is_first_entry(fat, entry) || slot.index_row == -2)
            continue;
        if (filled == file.subfiles.size())
            break;  // cannot happen: each such slot has its own row
        SubfileEntry& subfile = file.subfiles[filled++];
        file.subfile_count = filled;
        ByteView name = fat.sub(uint64_t(entry) + FatEntry::name, FatEntry::full_name_length);
        memcpy(subfile.name, name.data(), name.size());
        subfile.kind = subfile_kind_of_extension(subfile.name + FatEntry::name_length);
        subfile.fat_slot = static_cast<uint32_t>(position);
        subfile.declared_length = subfile.length = fat.u32(uint64_t(entry) + FatEntry::subfile_size);
        subfile.fat_entry_offset = entry;
        if (slot.index_row >= 0 && static_cast<size_t>(slot.index_row) < index.rows.size()) {
            index.rows[slot.index_row].slot_position = static_cast<uint32_t>(position);
            index.rows[slot.index_row].subfile = &subfile;
        } else {
            debug_message(DBG_READ, "pierwszy wpis FAT %x bez wiersza indeksu\n", entry);
        }
        BlockClaim claim{&owners, filled - 1};
        result = report_fat_damage(file, subfile, walk_subfile_blocks(file, subfile, &claim)) &&
                 report_block_clash(file, subfile, owners, claim) && read_subfile_headers(file, subfile);
    }
    // Rows that were never reached are dropped, so every row stands for a
    // subfile that was looked at.
    file.subfiles.erase(file.subfiles.begin() + filled, file.subfiles.end());
    file.subfile_count = filled;
    return result;
}

}  // namespace

SubfileKind subfile_kind_of_extension(const char* extension)
{
    static const struct {
        const char* extension;
        SubfileKind kind;
    } kinds[] = {
        {"RGN", SUB_RGN}, {"LBL", SUB_LBL}, {"TRE", SUB_TRE}, {"NET", SUB_NET}, {"NOD", SUB_NOD},
        {"SRT", SUB_SRT}, {"GMP", SUB_GMP}, {"MDR", SUB_MDR}, {"MPS", SUB_MPS}, {"TYP", SUB_TYP},
        {"TDB", SUB_TDB}, {"DEM", SUB_DEM}, {"TRF", SUB_TRF}, {"MMR", SUB_MMR}, {"MD2", SUB_MD2},
        {"IDX", SUB_IDX}, {"QSI", SUB_QSI}, {"SID", SUB_SID}, {"JCV", SUB_JCV},
    };
    for (const auto& k : kinds)
        if (memcmp(extension, k.extension, 3) == 0)
            return k.kind;
    return SUB_OTHER;
}

int compare_fat_slots(const InputFile& file, const FatSlot& a, const FatSlot& b)
{
    ByteView fat(file.header_buffer);
    bool a_dropped = a.index_row < -1;
    bool b_dropped = b.index_row < -1;
    if (a_dropped != b_dropped)
        return a_dropped ? 1 : -1;
    if (int c = compare_entry_names(fat, name_source(fat, a), name_source(fat, b), FatEntry::name_length))
        return c;
    if (int c = order(a.sort_class, b.sort_class))
        return c;
    if (int c = order(a.group, b.group))
        return c;
    if (int c = order(part_key(fat, a), part_key(fat, b)))
        return c;
    bool a_used = entry_flag(fat, a.entry_offset) == 1 && a.group >= 0;
    bool b_used = entry_flag(fat, b.entry_offset) == 1 && b.group >= 0;
    if (a_used != b_used)
        return a_used ? -1 : 1;
    return order(a.entry_offset, b.entry_offset);
}

void sort_fat_slots(InputFile& file)
{
    std::vector<FatSlot>& slots = file.fat_slots;
    auto before = [&file](const FatSlot& a, const FatSlot& b) { return compare_fat_slots(file, a, b) < 0; };
    // A FAT written in order (as most are) is left as it is after one pass.
    if (!std::is_sorted(slots.begin(), slots.end(), before))
        std::stable_sort(slots.begin(), slots.end(), before);
    ByteView fat(file.header_buffer);
    bool dropped = false;
    for (size_t i = 0; i + 1 < slots.size(); ++i) {
        FatSlot& a = slots[i];
        const FatSlot& b = slots[i + 1];
        if (a.group >= 0 && a.group == b.group && a.index_row == -1 && b.index_row == -1 &&
            entry_flag(fat, a.entry_offset) == 1 && entry_flag(fat, b.entry_offset) == 1 &&
            entry_part(fat, a.entry_offset) == entry_part(fat, b.entry_offset)) {
            debug_message(DBG_READ, "powtorzona czesc %u, wpis FAT %x pominiety, zostaje %x\n",
                          entry_part(fat, a.entry_offset), a.entry_offset, b.entry_offset);
            a.index_row = -2;
            dropped = true;
        }
    }
    if (dropped)
        std::stable_sort(slots.begin(), slots.end(), before);
}

namespace {

// The block walk's loops over one FAT entry's numbers, kept apart and plain so
// that the compiler takes many numbers at a time.

// What one pass over a run of block numbers tells: the highest and the
// lowest, and whether each is one more than the one before. This,
// owners_of and set_owner stay out of line (inlined into the walk, the
// compiler took their loops one value at a time), and have a second build
// for processors with AVX2, chosen when the program starts.
struct NumberRun {
    uint16_t highest = 0;
    uint16_t lowest = UINT16_MAX;
    bool consecutive = false;
};

[[gnu::noinline, gnu::target_clones("avx2", "default")]] NumberRun look_at_numbers(std::span<const uint16_t> numbers)
{
    NumberRun run;
    if (numbers.empty())
        return run;
    // Compared in 16 bits, eight numbers to a step: the expected number
    // wraps past 0xFFFF there, so the last one is checked again in full width.
    uint16_t expected = numbers[0];
    uint16_t stray = 0;
    for (uint16_t n : numbers) {
        stray |= static_cast<uint16_t>(n ^ expected);
        ++expected;
    }
    run.consecutive = stray == 0 && uint32_t(numbers[0]) + numbers.size() - 1 == numbers.back();
    if (run.consecutive) {
        // Nearly every entry: its ends are its lowest and highest.
        run.lowest = numbers.front();
        run.highest = numbers.back();
        return run;
    }
    uint16_t highest = 0;
    uint16_t lowest = UINT16_MAX;
    for (uint16_t n : numbers) {
        highest = std::max(highest, n);
        lowest = std::min(lowest, n);
    }
    run.highest = highest;
    run.lowest = lowest;
    return run;
}

// The owners of a stretch of blocks, or-ed: 0 when none is taken.
[[gnu::noinline, gnu::target_clones("avx2", "default")]] uint32_t owners_of(std::span<const uint32_t> owners)
{
    uint32_t taken = 0;
    for (uint32_t owner : owners)
        taken |= owner;
    return taken;
}

[[gnu::noinline, gnu::target_clones("avx2", "default")]] void set_owner(std::span<uint32_t> owners, uint32_t mark)
{
    for (uint32_t& owner : owners)
        owner = mark;
}

// Marks the blocks numbers lists (each below owners.size()) as mark's, those
// in the header+FAT area left out; the first that is taken already (by
// another subfile, or listed twice) ends it and is returned, no_clash when
// none is. A stretch of consecutive blocks (consecutive: look_at_numbers
// said so), as most subfiles are, is looked at and marked as one piece.
uint32_t mark_blocks(std::span<const uint16_t> numbers, bool consecutive, std::span<uint32_t> owners, uint32_t mark,
                     uint32_t header_blocks)
{
    if (numbers.empty())
        return no_clash;
    if (consecutive && numbers[0] >= header_blocks) {
        std::span<uint32_t> stretch = owners.subspan(numbers[0], numbers.size());
        if (owners_of(stretch) == 0) {
            set_owner(stretch, mark);
            return no_clash;
        }
    }
    for (uint16_t block : numbers) {
        if (block < header_blocks)
            continue;
        if (owners[block])
            return block;
        owners[block] = mark;
    }
    return no_clash;
}

int walk_subfile_blocks(InputFile& file, SubfileEntry& subfile, BlockClaim* claim)
{
    ByteView fat(file.header_buffer);
    const uint64_t block_size = file.block_size;
    const uint64_t first = subfile.fat_slot;
    const uint64_t entries = std::min<uint64_t>(file.fat_entry_count, file.fat_slots.size());
    if (first > entries || block_size == 0)
        return 0;
    uint64_t length = subfile.length;
    // The blocks the declared length takes are the subfile's own. The walk
    // keeps what it marks with in locals: a mark written into owners could
    // otherwise be any of the fields it compares with, and they would be
    // read again for each of the thousand blocks of a map's subfile.
    const uint64_t claimed = (length + block_size - 1) / block_size;
    const uint32_t total_blocks = file.total_blocks;
    const uint32_t header_blocks = file.header_blocks;
    // A number below this is a block of the file: not the unused mark, not
    // past the end.
    const uint32_t usable_limit = std::min<uint32_t>(total_blocks, FatEntry::unused_block);
    std::span<uint32_t> owners;  // one per block of the file (checked here)
    uint32_t mark = 0;
    uint32_t clash = no_clash;
    if (claim && claim->owners->size() >= total_blocks) {
        owners = std::span<uint32_t>(*claim->owners);
        mark = claim->row + 1;
        clash = claim->clash;
    }
    uint64_t needed = ((length + block_size - 1) / block_size + FatEntry::block_count - 1) / FatEntry::block_count;
    if (first + needed > entries) {
        subfile.flags |= DAMAGE_FEW_ENTRIES;
        needed = entries - first;
    }
    if (needed == 0) {
        if (length != 0) {
            subfile.length = 0;
            subfile.flags |= DAMAGE_SHORTENED;
        }
        return 1;
    }
    // Blocks count up to the first unused or impossible block number only:
    // past it the subfile's bytes could not be found by position, and the
    // usable length must never reach into blocks that are not its own.
    uint64_t blocks = 0;
    bool counting = true;
    uint64_t i = 0;
    for (; i < needed; ++i) {
        uint32_t entry = file.fat_slots[first + i].entry_offset;
        if (!fat.contains(entry, FatEntry::size) || entry_flag(fat, entry) == 0 ||
            memcmp(fat.data() + entry + FatEntry::name, subfile.name, FatEntry::full_name_length) != 0)
            break;
        if (entry_part(fat, entry) != i) {
            subfile.flags |= DAMAGE_WRONG_PART;
            return 0;
        }
        if (!counting)
            continue;
        uint16_t numbers[FatEntry::block_count];
        if (!fat.u16_run(uint64_t(entry) + FatEntry::blocks, numbers, FatEntry::block_count))
            break;  // cannot happen: the whole entry lies in the view
        // The entry's usable numbers run up to the first unused or
        // impossible one. Those the length needs are nearly always all
        // good: one pass over them (that the compiler can do many at a
        // time) tells, and a step at a time goes on from there.
        uint32_t want =
            static_cast<uint32_t>(std::min<uint64_t>(FatEntry::block_count, claimed - std::min(claimed, blocks)));
        const NumberRun wanted = look_at_numbers(std::span<const uint16_t>(numbers, want));
        uint32_t usable = wanted.highest < usable_limit ? want : 0;
        while (usable < FatEntry::block_count && numbers[usable] < usable_limit)
            ++usable;
        if (usable < FatEntry::block_count) {
            if (numbers[usable] != FatEntry::unused_block)
                subfile.flags |= DAMAGE_BLOCK_PAST_END;
            counting = false;
        }
        // The usable numbers, and those the length claims, are the wanted
        // ones but in a damaged entry: only then are they looked at again.
        const NumberRun all_usable =
            usable == want ? wanted : look_at_numbers(std::span<const uint16_t>(numbers, usable));
        if (usable && all_usable.lowest < header_blocks)
            subfile.flags |= DAMAGE_BLOCK_IN_HEADER;
        if (mark && clash == no_clash && blocks < claimed) {
            uint32_t mine = static_cast<uint32_t>(std::min<uint64_t>(usable, claimed - blocks));
            std::span<const uint16_t> claimed_numbers(numbers, mine);
            bool consecutive = mine == usable ? all_usable.consecutive : look_at_numbers(claimed_numbers).consecutive;
            clash = mark_blocks(claimed_numbers, consecutive, owners, mark, header_blocks);
        }
        blocks += usable;
    }
    if (mark)
        claim->clash = clash;
    if (i < needed)
        subfile.flags |= DAMAGE_BROKEN_CHAIN;
    if (blocks * block_size < length) {
        subfile.length = static_cast<uint32_t>(blocks * block_size);
        subfile.flags |= DAMAGE_SHORTENED;
    }
    return 1;
}

}  // namespace

int check_subfile_blocks(InputFile& file, SubfileEntry& subfile) { return walk_subfile_blocks(file, subfile, nullptr); }

int read_subfile_table(InputFile& file)
{
    ByteView fat(file.header_buffer);
    uint32_t count = 0;
    for (size_t i = 0; i < file.fat_slots.size(); ++i) {
        // The slots are found by offset until they are sorted: they must
        // still be the unsorted rows made over header_buffer.
        const FatSlot& slot = file.fat_slots[i];
        if (slot.entry_offset != file.fat_offset + i * FatEntry::size ||
            !fat.contains(slot.entry_offset, FatEntry::size))
            return 0;
        count += is_first_entry(fat, slot.entry_offset);
    }
    debug_message(DBG_READ, "podplikow %u, plik %s\n", count, file.path.c_str());
    file.subfiles.clear();
    file.subfile_count = 0;
    if (count == 0)
        return 1;
    if (!build_subfile_index(file, count))
        return 0;
    number_runs(file);
    join_continuation_runs(file);
    trace_slots(file, "przed sortowaniem");
    if (file.fat_entry_count >= 2)
        sort_fat_slots(file);
    trace_slots(file, "po sortowaniu");
    return fill_subfiles(file);
}

void attach_subfile_to_map(MapEntry& map, SubfileEntry& subfile)
{
    if (subfile.gmp_info && !map.gmp_info)
        map.gmp_info = subfile.gmp_info.get();
    if (subfile.tre_info && !map.tre_info) {
        map.tre_info = subfile.tre_info.get();
        map.map_number = map.tre_info->map_id;
        map.has_dem |= map.tre_info->has_dem;
        map.has_nod |= map.tre_info->has_nod;
    }
    if (subfile.lbl_info && !map.lbl_info) {
        map.lbl_info = subfile.lbl_info.get();
        map.code_page = map.lbl_info->code_page;
    }
    if (subfile.dem_info && !map.dem_info)
        map.dem_info = subfile.dem_info.get();
    if (subfile.header_info && !map.header_info) {
        map.header_info = subfile.header_info.get();
        map.code_page = map.header_info->code_page;
    }
    if (subfile.kind == SUB_DEM)
        map.has_dem = 1;
    if (subfile.kind == SUB_NOD)
        map.has_nod = 1;
    if (subfile.bad_data)
        ++map.bad_subfiles;
    subfile.map = &map;
}
