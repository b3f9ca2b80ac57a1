// Split outputs: per-map IMG files and family mapsets.
//
// Both are written through the join's writer (header template, FAT entries,
// kind writers, empty DEM, final header and checksum) and, for the
// mapsets, its planner and MPS builder. The per-map plan is the split's own:
// a map is small, so its block size is searched for the smallest file, and
// no candidate is accepted that the writer would refuse (more blocks than
// img_block_limit, or a block larger than max_output_block_size).
#include "operations/split_outputs.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/map_list.h"
#include "operations/mps_builder.h"
#include "operations/size_plan.h"
#include "operations/split_files.h"
#include "core/task_options.h"

// ---------------------------------------------------------------- per-map plan

int gets_empty_dem(const MapEntry& map)
{
    return task_options.add_empty_dem && (map.kind == FILE_MPC || map.kind == FILE_NT) && !map.has_dem &&
           map.tre_info && count_dem_levels(*map.tre_info) > 0;
}

// Bytes of the empty DEM the map gets; 0 for none.
static uint64_t added_dem_length(const MapEntry& map)
{
    return gets_empty_dem(map) ? empty_dem_size(count_dem_levels(*map.tre_info)) : 0;
}

// Estimated blocks of a file of k subfiles and length bytes at block size b:
// half a block lost per subfile, and the header with its FAT.
static uint64_t estimated_blocks(uint64_t length, uint64_t k, uint64_t b)
{
    return (k * b / 2 + length + b - 1) / b + (2 * (length / b + 144 * k + 2048) + b - 1) / b;
}

uint32_t choose_split_map_block_size(const InputFile& input, const MapEntry& map, int short_header)
{
    uint64_t length = 0, k = 0;
    for (const SubfileEntry& subfile : map_subfiles(input, map)) {
        length += subfile.length;
        ++k;
    }
    if (uint64_t dem = added_dem_length(map)) {
        length += dem;
        ++k;
    }
    uint64_t q = ((length + 511) / 512 + 65534) / 65535;
    uint64_t b0 = 512;
    if (q >= 2) {
        uint64_t p = 1;
        while (p < q)
            p *= 2;
        b0 = 512 * p;
    }
    if (estimated_blocks(length, k, b0) > img_block_limit)
        b0 *= 2;
    auto sectors = [&](uint64_t b) { return estimated_blocks(length, k, b) * b / 512; };
    uint64_t chosen;
    if (short_header) {
        chosen = b0 >= 1024 ? b0 : sectors(512) <= sectors(1024) ? 512 : 1024;
    } else {
        chosen = 0;
        for (uint64_t b = b0; b <= 16 * b0 && !chosen; b *= 2)
            if (sectors(b) <= sectors(2 * b))
                chosen = b;
        if (!chosen)
            chosen = sectors(32 * b0) < sectors(16 * b0) ? 32 * b0 : 16 * b0;
    }
    return static_cast<uint32_t>(std::min<uint64_t>(chosen, uint64_t(1) << 31));
}

// One candidate of the exact plan.
struct MapCandidate {
    uint64_t block_size = 0;
    uint64_t header_blocks = 0;
    uint64_t blocks = 0;  // data and header
    uint64_t total() const { return blocks * block_size; }
    bool acceptable() const { return blocks <= img_block_limit && block_size <= max_output_block_size; }
};

static MapCandidate plan_candidate(const InputFile& input, const MapEntry& map, uint64_t b, uint32_t header_size)
{
    uint64_t data = 0, fat = 0;
    auto count = [&](uint64_t length) {
        uint64_t n = (length + b - 1) / b;
        data += n;
        fat += (n + FatEntry::block_count - 1) / FatEntry::block_count;
    };
    for (const SubfileEntry& subfile : map_subfiles(input, map))
        count(subfile.length);
    if (uint64_t dem = added_dem_length(map))
        count(dem);
    // The header area's own FAT entry is the "+ b": one entry more than the
    // subfiles need, and more once the area passes 240 blocks.
    uint64_t header = (fat * 512 + header_size + 511 + b) / b;
    if (header > FatEntry::block_count)
        header = ((header + FatEntry::block_count - 1) / FatEntry::block_count * 512 + fat * 512 + header_size +
                  511 + b) /
                 b;
    return MapCandidate{b, header, data + header};
}

SplitMapPlan plan_split_map(const InputFile& input, MapEntry& map, uint32_t estimate, uint32_t header_size)
{
    MapCandidate c1 = plan_candidate(input, map, estimate, header_size);
    MapCandidate c2 = plan_candidate(input, map, 2 * uint64_t(estimate), header_size);
    MapCandidate c3 = plan_candidate(input, map, 4 * uint64_t(estimate), header_size);
    const MapCandidate* chosen;
    if (c1.acceptable() && c1.total() < c2.total())
        chosen = c1.total() < c3.total() || !c3.acceptable() ? &c1 : &c3;
    else if (c2.acceptable() && (c2.total() < c3.total() || !c3.acceptable()))
        chosen = &c2;
    else
        chosen = &c3;
    SplitMapPlan plan;
    plan.fits = chosen->acceptable();
    plan.block_size = static_cast<uint32_t>(std::min<uint64_t>(chosen->block_size, UINT32_MAX));
    plan.header_bytes = chosen->header_blocks * chosen->block_size;
    plan.total_bytes = chosen->total();
    plan.header_size = header_size;
    map.plan_block_size = plan.block_size;
    map.plan_header_bytes = static_cast<uint32_t>(std::min<uint64_t>(plan.header_bytes, UINT32_MAX));
    map.plan_total_bytes = static_cast<uint32_t>(std::min<uint64_t>(plan.total_bytes, UINT32_MAX));
    return plan;
}

// ---------------------------------------------------------------- per-map files

// Puts a text of at most 50 bytes over the header's mapset-name fields: 20
// bytes at 0x49, the rest at 0x65. Bytes it does not reach keep their value.
static void put_header_mapset_name(ImgWriter& writer, const std::string& text)
{
    ByteSpan header(writer.header_buffer);
    size_t first = std::min<size_t>(text.size(), ImgHeader::mapset_name_1_length);
    size_t second = std::min<size_t>(text.size() - first, ImgHeader::mapset_name_2_length);
    header.put_bytes(ImgHeader::mapset_name_1, text.data(), first);
    header.put_bytes(ImgHeader::mapset_name_2, text.data() + first, second);
}

// The text a per-map file's header names it by: the second text of the
// map's own 'L' record, or the input's mapset name with the map's FAT name.
static std::string split_map_description(const InputFile& input, const MapEntry& map, const char* subfile_name)
{
    if (map.mps_record) {
        ByteView record = mps_record_bytes(input, *map.mps_record);
        uint32_t n = record.u16(MpsRecord::payload_length);
        if (record.size() >= 3 && n > 18) {
            const char* bytes = reinterpret_cast<const char*>(record.data());
            int end = static_cast<int>(std::min<uint64_t>(record.size(), uint64_t(n) - 5));
            int first = get_terminated_length(bytes, 11, end);
            if (first >= 0) {
                int start = 11 + first + 1;
                int second = get_bounded_length(bytes, start, static_cast<int>(record.size()));
                return std::string(bytes + start, std::max(0, std::min(second, int(max_mapset_name))));
            }
        }
    }
    std::string name = input_mapset_name(input);
    std::string own(subfile_name, strnlen(subfile_name, 8));
    while (!own.empty() && static_cast<unsigned char>(own.back()) <= 32)
        own.pop_back();
    std::string text;
    if (name.empty())
        text = own;
    else if (input.map_count <= 1)
        text = name;
    else
        text = name.substr(0, 40) + " " + own;
    if (text.size() > max_mapset_name)
        text.resize(max_mapset_name);
    return text;
}

// Subfile kinds in the order a per-map file holds them; what the mask holds
// beyond them follows.
static const SubfileKind split_map_kind_order[] = {SUB_MDR, SUB_GMP, SUB_LBL, SUB_RGN, SUB_TRE,
                                                   SUB_NET, SUB_NOD, SUB_SRT, SUB_DEM};

static int copy_split_map_subfiles(InputFile& input, MapEntry& map, ImgWriter& writer, uint32_t kind_mask)
{
    uint32_t ordered = 0;
    for (SubfileKind kind : split_map_kind_order) {
        uint32_t group = (1u << kind) & kind_mask & map.subfile_kinds;
        ordered |= 1u << kind;
        if (group && !copy_map_subfiles(input, map, writer, group))
            return 0;
    }
    uint32_t rest = kind_mask & ~ordered & map.subfile_kinds;
    return !rest || copy_map_subfiles(input, map, writer, rest);
}

// Whether the map has a byte to put into its own file: a subfile the block
// check left some length, or an empty DEM to add.
static bool has_bytes_to_write(const InputFile& input, const MapEntry& map, uint32_t kind_mask)
{
    for (const SubfileEntry& subfile : map_subfiles(input, map))
        if (((1u << subfile.kind) & kind_mask) && subfile.length > 0)
            return true;
    return gets_empty_dem(map);
}

int write_split_map(InputFile& input, SplitRun& run, MapEntry& map, SplitMapWriter& split, const SplitMapPlan& plan,
                    uint32_t kind_mask)
{
    std::string name;
    uint32_t number = 0;
    make_split_map_file_name(map, split.number_counter, name, number);
    const TaskOptions& o = task_options;
    char subfile_name[9] = {};
    if (o.mapsource_split_b && number)
        snprintf(subfile_name, sizeof subfile_name, "I%07X", number & 0xFFFFFFFu);  // IDs stay below 0x10000000
    else
        memcpy(subfile_name, map.name, strnlen(map.name, 8));
    if (o.mapsource_split_b)
        memcpy(map.new_subfile_name, subfile_name, sizeof subfile_name);
    map.output_file_name = name.substr(0, 8);
    map.output_number = number;

    if (o.verbose)
        log_message(pd_WMSSFH.text(), map.name, name.c_str(), map.plan_total_bytes, map.plan_header_bytes,
                    map.plan_block_size);
    else
        log_message(pd_WrMaSS.text(), map.name, name.c_str());
    if (!plan.fits) {
        log_message(pd_TFLTBT.text());
        ++error_count;
        return 1;
    }
    if (!has_bytes_to_write(input, map, kind_mask)) {
        log_message(pd_MNTWNF.text(), map.name);
        ++error_count;
        return 1;
    }
    FILE* stream = create_output_file(name.c_str(), 0);
    if (!stream) {
        ++error_count;
        return 1;
    }
    add_split_list_line(run, name);

    OutputSizePlan sizes;
    sizes.chosen_block_size = plan.block_size;
    sizes.planned_total_size = plan.total_bytes;
    sizes.header_size = plan.header_size;
    sizes.header_area_size = static_cast<uint32_t>(plan.header_bytes);
    for (const SubfileEntry& subfile : map_subfiles(input, map))
        sizes.largest_subfile = std::max(sizes.largest_subfile, subfile.length);
    ImgWriter& writer = split.writer;
    if (!init_img_writer(sizes, writer)) {
        finish_output_file(stream, 0);
        return 0;
    }
    writer.stream = stream;
    writer.output_name = name;
    writer.mapset_name = o.mapset_name.empty() ? "Tarnwick Split" : o.mapset_name;
    writer.rename_subfiles = o.mapsource_split_b;
    memcpy(writer.new_name, subfile_name, sizeof subfile_name);

    int written = init_img_header(writer) && copy_split_map_subfiles(input, map, writer, kind_mask) &&
                  (!gets_empty_dem(map) || zapisz_mape_emdem(input, map, writer));
    if (written) {
        map.description = split_map_description(input, map, subfile_name);
        put_header_mapset_name(writer, map.description);
        written = write_img_header(writer);
    }
    written = finish_output_file(stream, written);
    writer.stream = nullptr;
    return written;
}

// ---------------------------------------------------------------- family mapsets

// A little-endian u16 as two bytes of a record payload.
static std::string u16_bytes(uint32_t value)
{
    return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

static bool is_family_member(const InputFile& input, const MapEntry& map, uint32_t fid)
{
    switch (map.kind) {
    case FILE_TRF:
    case FILE_MD2:
    case FILE_SRT:
    case FILE_IDX:
        return fid != 0 && map_name_number(map.name) == fid;
    case FILE_TYP:
    case FILE_TDB:
    case FILE_MMR:
        return map.header_info && map.header_info->family_id == fid;
    case FILE_MPC:
    case FILE_NT: {
        if (!map.mps_record)
            return false;
        ByteView record = mps_record_bytes(input, *map.mps_record);
        return record.size() >= MpsRecord::ids_end && record.u16(MpsRecord::family_id) == fid;
    }
    default:
        return false;
    }
}

// The family name of an F record: its text from offset 7 up to its NUL or
// the record's end, at most 50 bytes.
static std::string family_name(ByteView record)
{
    std::string name;
    for (uint64_t i = MpsRecord::family_name; i < record.size() && record.u8(i) && name.size() < max_mapset_name;
         ++i)
        name += static_cast<char>(record.u8(i));
    return name;
}

static int write_kind_logged(InputFile& input, uint32_t file_kind_mask, ImgWriter& writer, const MessageText& label)
{
    if (!file_kind_mask)
        return 1;
    log_message(pd_Writin.text(), label.text());
    writer.kinds_written |= file_kind_mask;
    return copy_input_to_img(input, file_kind_mask, writer);
}

static int finish_family_mapset(InputFile& input, uint32_t kinds_present, ImgWriter& writer, uint32_t fid,
                                uint32_t pid)
{
    if (!write_kind_logged(input, kinds_present & ~writer.kinds_written, writer, pd_OtherT))
        return 0;
    std::string name = writer_mapset_name(writer);
    append_mps_record(writer, 'V', name + '\0' + '\0');
    std::string padded = name;
    padded.resize(max_mapset_name, ' ');
    put_header_mapset_name(writer, padded);
    append_mps_record(writer, 'P', u16_bytes(pid) + u16_bytes(fid) + std::string(6, '\0'));
    append_mps_record(writer, 'F', u16_bytes(pid) + u16_bytes(fid) + name + '\0');
    log_message(pd_WrDaMa.text());
    copy_mps_records(input, writer, 0, "VLFP");
    if (!korekcja_mps(writer))
        return 0;
    bool marine = task_options.mps_name == 2 || (task_options.mps_name == 0 && input.is_marine);
    if (!write_whole_subfile(writer, writer.mps_buffer, marine ? "BLUCHARTMPS" : "MAPSOURCMPS"))
        return 0;
    log_message(pd_WriHea.text());
    return write_img_header(writer);
}

// The planner's refusal of a mapset, counted.
static int refuse_family_plan(PlanOutcome outcome, const OutputSizePlan& plan)
{
    if (outcome == PLAN_TOO_MANY_SECTORS)
        log_message(pd_TFLTBK.text(), static_cast<uint32_t>(plan.blocks_a),
                    static_cast<uint32_t>(plan.total_length / 1024));
    else if (outcome == PLAN_BLOCK_TOO_BIG)
        log_message(pd_TFLTBB.text());
    else
        log_message(pd_TFLTBT.text());
    ++error_count;
    return 0;
}

int write_family_mapset(InputFile& input, SplitRun& run, const FamilyRow& row)
{
    uint32_t fid = row.fid;
    bool any = false;
    for (MapEntry* map : input.maps) {
        bool member = is_family_member(input, *map, fid);
        map->family_skip = member ? 0 : 1;
        if (member || map->kind == FILE_MPS)
            map->family_used = 1;
        any = any || member;
    }
    if (!any)
        return 1;
    std::string name = row.record ? family_name(mps_record_bytes(input, *row.record)) : std::string();

    // Planned as a join of the members, with room for the records this
    // mapset adds to the input's own.
    OutputSizePlan plan;
    plan.header_size = 4096;
    plan.mapset_name_length = static_cast<uint32_t>(name.size());
    plan.mps_capacity = (3 + name.size() + 2) + (3 + 10) + (3 + name.size() + 5);
    const InputFile* members[] = {&input};
    PlanOutcome outcome = plan_output_size(members, plan, task_options.short_header, 0);
    if (outcome != PLAN_OK)
        return refuse_family_plan(outcome, plan);
    if (task_options.verbose)
        log_message(pd_SBUHUS.text(), plan.chosen_block_size, plan.header_area_size,
                    format_u64_decimal(plan.planned_total_size));
    ImgWriter writer;
    if (!init_img_writer(plan, writer)) {
        ++error_count;
        return 0;
    }
    char file[32];
    snprintf(file, sizeof file, "FAM_%04u.img", fid);
    FILE* stream = create_output_file(file, 0);
    if (!stream) {
        ++error_count;
        return 1;
    }
    add_split_list_line(run, file);
    writer.stream = stream;
    writer.output_name = file;
    writer.mapset_name = name;

    auto write_logged = [&](uint32_t kinds, const MessageText& label) {
        log_message(pd_Writin.text(), label.text());
        writer.kinds_written |= kinds;
        return copy_input_to_img(input, kinds, writer);
    };
    uint32_t present = plan.kinds_present;
    int written = init_img_header(writer) && write_logged(1u << FILE_IDX, pd_Indexe) &&
                  write_logged(1u << FILE_MD2, pd_DatMd2) &&
                  write_kind_logged(input, present & 1u << FILE_TRF, writer, pd_DatTrf) &&
                  write_kind_logged(input, present & 1u << FILE_TYP, writer, pd_DatTyp) &&
                  write_kind_logged(input, present & 1u << FILE_TDB, writer, pd_DatTdb) &&
                  write_kind_logged(input, present & 1u << FILE_MMR, writer, pd_DatMmr) &&
                  write_kind_logged(input, present & 1u << FILE_NT, writer, pd_MapsNt) &&
                  write_kind_logged(input, present & 1u << FILE_MPC, writer, pd_MapMpc) &&
                  finish_family_mapset(input, present, writer, fid, row.pid);
    written = finish_output_file(stream, written);
    if (!written)
        ++error_count;
    return written;
}
