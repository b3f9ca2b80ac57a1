// Split driver.
//
// One call runs over the whole input list in one mode and keeps no state
// between calls. Every failure that ends the run, and every output that
// could not be made, counts one error; a run that counted one does not end
// as a success, though outputs that can be made independently of each other
// are still made.
#include "operations/split.h"

#include <strings.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "core/codepage.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/host.h"
#include "core/map_list.h"
#include "core/report.h"
#include "operations/img_writer.h"
#include "operations/mapset_data.h"
#include "operations/mps_builder.h"
#include "operations/split_files.h"
#include "operations/split_outputs.h"
#include "core/task_options.h"
#include "platform/platform.h"

MessageText pd_WDSSLU{"pd_WDSSLU", "Write data %8s -> %16s, len. %9u\n", "Zapis danych %8s -> %16s, dł. %9u\n"};
MessageText pd_WrDaSS{"pd_WrDaSS", "Write data %8s -> %16s\n", "Zapis danych %8s -> %16s\n"};
MessageText pd_WMSSFH{"pd_WMSSFH", "Write map  %8s -> %16s, file %9u, header %6Xh, block %u\n",
                      "Zapis mapy   %8s -> %16s, plik %9u, nagłówek %6Xh, blok %u\n"};
MessageText pd_WrMaSS{"pd_WrMaSS", "Write map  %8s -> %16s\n", "Zapis mapy   %8s -> %16s\n"};
MessageText pd_WDDNAT{"pd_WDDNAT", "== Warning: DEM data not added to map %8s\n",
                      "== Ostrzeżenie: nie dodano danych DEM do mapy %8s\n"};
MessageText pd_SpMDFS{"pd_SpMDFS", "Split map, data file %s.\n", "Podział mapy, plik danych %s.\n"};
MessageText pd_WrDSLU{"pd_WrDSLU", "Write data %s, len. %9u\n", "Zapis danych %s, dł. %9u\n"};
MessageText pd_WriDaS{"pd_WriDaS", "Write data %s\n", "Zapis danych %s\n"};
MessageText pd_WrSSLU{"pd_WrSSLU", "Write subfile %s, len. %9u\n", "Zapis podpliku %s, dł. %9u\n"};
MessageText pd_WriSuS{"pd_WriSuS", "Write subfile %s\n", "Zapis podpliku %s\n"};
MessageText pd_WBSNSL{"pd_WBSNSL", "Write bitmaps %s, number %4u, len. %9u\n",
                      "Zapis bitmap %s, liczba %4u, dł. %9u\n"};
MessageText pd_WriBiS{"pd_WriBiS", "Write bitmaps %s\n", "Zapis bitmap %s\n"};
MessageText pd_Writin{"pd_Writin", "Writing: %s\n", "Zapis: %s\n"};
MessageText pd_OtherT{"pd_OtherT", "other", "inne"};
MessageText pd_WrDaMa{"pd_WrDaMa", "Writing: data MPS\n", "Zapis: dane MPS\n"};
MessageText pd_WriHea{"pd_WriHea", "Writing: header\n", "Zapis: nagłówek\n"};
MessageText pd_TFLTBK{"pd_TFLTBK", "Total file length too big (sectors %X, %uk).\n",
                      "Całkowita długość pliku za duża (sektory %X, %uk).\n"};
MessageText pd_TFLTBB{"pd_TFLTBB", "Total file length too big (blocks).\n",
                      "Całkowita długość pliku za duża (bloki).\n"};
MessageText pd_TFLTBT{"pd_TFLTBT", "Total file length too big.\n", "Całkowita długość pliku za duża.\n"};
MessageText pd_SBUHUS{"pd_SBUHUS", "Size: block %u, header %u, file %s\n", "Rozmiar: blok %u, nagłówek %u, plik %s\n"};
MessageText pd_SpFSIM{"pd_SpFSIM", "Split file %s into mapsets.\n", "Podział pliku %s na zestawy map.\n"};
MessageText pd_WNAMWU{"pd_WNAMWU", "== Warning: not all maps were used.\n",
                      "== Ostrzeżenie: nie wszystkie mapy zostały użyte.\n"};
MessageText pd_UnMaSS{"pd_UnMaSS", "== Unused map %s %s.\n", "== Nieużyta mapa %s %s.\n"};
MessageText pd_UOFSFM{"pd_UOFSFM", "Using original file %s for mapset.\n",
                      "Użycie oryginalnego pliku %s w zestawie map.\n"};
MessageText pd_FSOOMA{"pd_FSOOMA", "File %s out of mapset area.\n", "Plik %s poza obszarem zestawu map.\n"};
MessageText pd_SplMaS{"pd_SplMaS", "Split map %s.\n", "Podział mapy %s.\n"};
MessageText pd_MSOOMA{"pd_MSOOMA", "Map %8s out of mapset area.\n", "Mapa %8s poza obszarem zestawu map.\n"};
MessageText pd_MiInFi{"pd_MiInFi", "Missing input files.\n", "Brak plików wejściowych.\n"};
MessageText pd_Indexe{"pd_Indexe", "indexes", "indeksy"};
MessageText pd_DatTrf{"pd_DatTrf", "data TRF", "dane TRF"};
MessageText pd_DatTyp{"pd_DatTyp", "data TYP", "dane TYP"};
MessageText pd_DatTdb{"pd_DatTdb", "data TDB", "dane TDB"};
MessageText pd_DatMmr{"pd_DatMmr", "data MMR", "dane MMR"};
MessageText pd_DatMd2{"pd_DatMd2", "data MD2", "dane MD2"};
MessageText pd_MapsNt{"pd_MapsNt", "maps NT", "mapy NT"};
MessageText pd_MapMpc{"pd_MapMpc", "maps MPC", "mapy MPC"};
MessageText pd_CreFiS{"pd_CreFiS", "Creating file %s\n", "Tworzenie pliku %s\n"};
MessageText pd_OutPaS{"pd_OutPaS", "Output path: %s\n", "Ścieżka wyjściowa: %s\n"};
// A map whose subfiles were all refused by the block check would become an
// IMG without subfiles, which no reader takes.
MessageText pd_MNTWNF{"pd_MNTWNF", "Map %s has nothing to write, no file made.\n",
                      "Mapa %s nie ma nic do zapisania, plik nie powstał.\n"};

// Modes that only take map containers say so of any other input, and -G of
// a container without family records, rather than passing over it unseen.
MessageText pd_WNCNSF{"pd_WNCNSF", "== Warning: not a map container, not split, file %s.\n",
                      "== Ostrzeżenie: to nie jest kontener map, nie podzielono, plik %s.\n"};
MessageText pd_WNFRNS{"pd_WNFRNS", "== Warning: no MPS family records, no mapsets split, file %s.\n",
                      "== Ostrzeżenie: brak rekordów rodzin w MPS, nie podzielono na zestawy map, plik %s.\n"};

static MessageText* const pd_table[] = {
    &pd_WDSSLU, &pd_WrDaSS, &pd_WMSSFH, &pd_WrMaSS, &pd_WDDNAT, &pd_SpMDFS, &pd_WrDSLU, &pd_WriDaS,
    &pd_WrSSLU, &pd_WriSuS, &pd_WBSNSL, &pd_WriBiS, &pd_Writin, &pd_OtherT, &pd_WrDaMa, &pd_WriHea,
    &pd_TFLTBK, &pd_TFLTBB, &pd_TFLTBT, &pd_SBUHUS, &pd_SpFSIM, &pd_WNAMWU, &pd_UnMaSS, &pd_UOFSFM,
    &pd_FSOOMA, &pd_SplMaS, &pd_MSOOMA, &pd_MiInFi, &pd_Indexe, &pd_DatTrf, &pd_DatTyp, &pd_DatTdb,
    &pd_DatMmr, &pd_DatMd2, &pd_MapsNt, &pd_MapMpc, &pd_CreFiS, &pd_OutPaS, &pd_MNTWNF,
    &pd_WNCNSF, &pd_WNFRNS,
};

int load_messages_pd(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(pd_table, group, code_page, write);
}

// ---------------------------------------------------------------- names and numbers

// Highest map number an output name carries.
static constexpr uint32_t max_map_number = 99999999;

uint32_t map_name_number(const char* name8)
{
    size_t length = 0;
    while (length < 8 && name8[length])
        ++length;
    while (length > 0 && static_cast<unsigned char>(name8[length - 1]) <= 32)
        --length;
    bool hexadecimal = length > 0 && name8[0] == 'I';
    size_t first = hexadecimal ? 1 : 0;
    if (length <= first)
        return 0;
    uint64_t value = 0;
    for (size_t i = first; i < length; ++i) {
        char c = name8[i];
        int digit;
        if (c >= '0' && c <= '9')
            digit = c - '0';
        else if (hexadecimal && c >= 'a' && c <= 'f')
            digit = c - 'a' + 10;
        else if (hexadecimal && c >= 'A' && c <= 'F')
            digit = c - 'A' + 10;
        else
            return 0;
        value = value * (hexadecimal ? 16 : 10) + static_cast<uint64_t>(digit);
    }
    return value >= 1 && value <= max_map_number ? static_cast<uint32_t>(value) : 0;
}

void make_split_map_file_name(const MapEntry& map, uint32_t& counter, std::string& name, uint32_t& number)
{
    std::string ordinal;
    if (map.ordinal)
        ordinal.append(1, '-').append(std::to_string(map.ordinal));
    const char* kind = map.kind == FILE_SRT ? "_srt" : map.kind == FILE_IDX ? "_mdr" : "";
    char text[64];
    auto numbered = [&](uint32_t value, bool short_form) {
        if (short_form)
            snprintf(text, sizeof text, "%04u%s%s.img", value, ordinal.c_str(), kind);
        else
            snprintf(text, sizeof text, "%08u%s.img", value, ordinal.c_str());
        name = text;
        number = value;
    };
    if (map.tre_info && map.tre_info->map_id >= 1 && map.tre_info->map_id <= max_map_number) {
        numbered(map.tre_info->map_id, false);
        return;
    }
    if (uint32_t value = map_name_number(map.name)) {
        numbered(value, *kind != 0);
        return;
    }
    if (counter) {
        numbered(counter++, *kind != 0);
        return;
    }
    size_t length = strnlen(map.name, 8);
    while (length > 0 && map.name[length - 1] == ' ')
        --length;
    name = std::string(map.name, length) + ordinal + kind + ".img";
    sanitise_output_file_name(name);
    number = 0;
}

int compare_family_rows(const FamilyRow& a, const FamilyRow& b)
{
    if (a.fid != b.fid)
        return a.fid < b.fid ? -1 : 1;
    if (a.pid != b.pid)
        return a.pid < b.pid ? -1 : 1;
    return 0;
}

void set_input_base_name(InputFile& input)
{
    std::string name = path_base_name(input.path.c_str());
    name.resize(platform::utf8_prefix_length(name.data(), name.size(), 79));
    input.base_name = name;
}

void add_split_list_line(SplitRun& run, const std::string& file_name)
{
    if (run.list)
        fprintf(run.list, "%s\n", file_name.c_str());
}

// The path of a file name in the output directory.
static std::string output_directory_path(const char* file_name)
{
    const std::string& directory = task_options.output_path;
    std::string path;
    if (!directory.empty()) {
        path = directory;
        if (directory.back() != '/')
            path += '/';
    }
    return path + file_name;
}

int exists_in_output_directory(const char* path)
{
    return check_file_exists(output_directory_path(path_base_name(path)).c_str());
}

int is_outside_mapset_area(const TreInfo& tre)
{
    TreBounds b = tre_bounds(tre);
    const TaskOptions& o = task_options;
    if (o.limit_longitude)
        return b.north > o.limit_north || b.south < o.limit_south || b.west < o.limit_west || b.east > o.limit_east;
    return b.north > 0x400000 || b.south < -0x400000;
}

// ---------------------------------------------------------------- modes

// An input a mode has nothing to take from: one line and a warning.
static int pass_over(const MessageText& text, const InputFile& input)
{
    ++warning_count;
    log_message(text.text(), input.path.c_str());
    return 1;
}

// Writes the TYP data of one input: the TYP maps of a container, or a TYP
// file copied whole unless it already lies in the output directory.
static int split_typ_files(InputFile& input, SplitRun& run)
{
    const char* path = input.path.c_str();
    if (input.kind == FILE_IMG) {
        log_message(pd_SplMaS.text(), path);
        if (!open_input_file(input, "rb")) {
            ++error_count;
            return 0;
        }
        for (MapEntry* map : input.maps) {
            if (map->kind != FILE_TYP)
                continue;
            // The writer has said what failed.
            if (!write_data_map_file(input, run, *map, typ_copy_chunk)) {
                ++error_count;
                close_input_file(input);
                return 0;
            }
        }
        close_input_file(input);
        return 1;
    }
    if (input.subfile_kind != SUB_TYP)
        return 1;
    if (exists_in_output_directory(path)) {
        set_input_base_name(input);
        log_message(pd_SpMDFS.text(), path);
        return 1;
    }
    if (!copy_data_file_to_output(input)) {
        ++error_count;
        return 0;
    }
    return 1;
}

static int split_subfiles(InputFile& input, SplitRun& run)
{
    if (input.kind != FILE_IMG)
        return pass_over(pd_WNCNSF, input);
    if (!open_input_file(input, "rb")) {
        ++error_count;
        return 0;
    }
    int result = copy_input_subfiles(input, run);
    close_input_file(input);
    return result;
}

// The bounds list of an input: its file name with the extension replaced.
static std::string bounds_list_name(const InputFile& input)
{
    std::string name = input.base_name;
    size_t dot = name.rfind('.');
    if (dot != std::string::npos)
        name.resize(dot);
    name += ".list";
    sanitise_output_file_name(name);
    return name;
}

// Outline maps and the bounds list of one input. Outputs that fail count
// one error each; the others are still written.
static int split_empty_maps(InputFile& input)
{
    bool container = input.kind == FILE_IMG;
    bool single_map = input.kind == FILE_OTHER &&
                      (input.subfile_kind == SUB_TRE || input.subfile_kind == SUB_GMP) &&
                      input.single_subfile.tre_info;
    if (!container && !single_map)
        return pass_over(pd_WNCNSF, input);
    set_input_base_name(input);
    std::string list_name = bounds_list_name(input);
    auto outline = [](const TreInfo& tre, uint32_t code_page, const char* name8) {
        if (!write_outline_map(tre, code_page, name8))
            ++error_count;
    };
    if (single_map)
        outline(*input.single_subfile.tre_info, 0, input.single_subfile.name);
    FILE* list = create_output_file(list_name.c_str(), 1);
    if (!list)
        ++error_count;
    auto add_line = [&](const TreInfo& tre, const char* name8) {
        if (list && !write_map_bounds_line(list, tre, name8)) {
            report_write_error(list_name.c_str());
            ++error_count;
            finish_output_file(list, 0);
            list = nullptr;
        }
    };
    if (single_map) {
        add_line(*input.single_subfile.tre_info, input.single_subfile.name);
    } else {
        for (MapEntry* map : input.maps) {
            if (!map->tre_info)
                continue;
            outline(*map->tre_info, map->code_page, map->name);
            add_line(*map->tre_info, map->name);
        }
    }
    if (list && !finish_output_file(list, 1))
        ++error_count;
    return 1;
}

// ---------------------------------------------------------------- mapsets by family ID

static int split_mapsets_by_family(InputFile& input, SplitRun& run)
{
    if (input.kind != FILE_IMG)
        return pass_over(pd_WNCNSF, input);
    if (input.mps_records.empty())
        return pass_over(pd_WNFRNS, input);
    log_message(pd_SpFSIM.text(), input.path.c_str());
    std::vector<FamilyRow> rows;
    for (const MpsRecordRef& record : input.mps_records) {
        ByteView bytes = mps_record_bytes(input, record);
        if (record.letter == 'F' && bytes.size() >= MpsRecord::ids_end)
            rows.push_back(FamilyRow{bytes.u16(MpsRecord::family_id), bytes.u16(MpsRecord::product_id), &record});
    }
    debug_message(DBG_SPLIT, "podziel_img_mapset: rekordy F %d\n", static_cast<int>(rows.size()));
    if (rows.empty())
        return pass_over(pd_WNFRNS, input);
    std::stable_sort(rows.begin(), rows.end(),
                     [](const FamilyRow& a, const FamilyRow& b) { return compare_family_rows(a, b) < 0; });
    for (MapEntry* map : input.maps)
        map->family_used = 0;
    int result = 1;
    for (size_t i = 0; i < rows.size() && result; ++i)
        if (i == 0 || rows[i].fid != rows[i - 1].fid)
            result = write_family_mapset(input, run, rows[i]);
    // The marks only chose each family's maps; later tasks see every map.
    for (MapEntry* map : input.maps)
        map->family_skip = 0;
    if (!result)
        return 0;
    bool warned = false;
    for (MapEntry* map : input.maps) {
        if (map->family_used)
            continue;
        if (!warned) {
            log_message(pd_WNAMWU.text());
            ++warning_count;
            warned = true;
        }
        log_message(pd_UnMaSS.text(), map->name, get_file_kind_name(map->kind));
    }
    return 1;
}

// ---------------------------------------------------------------- single maps

// Whether an input that already is one numbered map in the output directory
// is used as it stands: 1 yes, -1 yes but it lies outside the mapset area,
// 0 it is written anew.
static int reuse_input_map_file(InputFile& input)
{
    if (input.map_count != 1 || input.maps.size() != 1 || !exists_in_output_directory(input.path.c_str()))
        return 0;
    MapEntry& map = *input.maps[0];
    if (map.kind != FILE_MPC && map.kind != FILE_NT)
        return 1;
    if (task_options.add_empty_dem && !map.has_dem)
        return 0;
    const char* name = path_base_name(input.path.c_str());
    if (strlen(name) != 12 || strcasecmp(name + 8, ".img") != 0)
        return 0;
    uint32_t number = 0;
    for (int i = 0; i < 8; ++i) {
        if (name[i] < '0' || name[i] > '9')
            return 0;
        number = number * 10 + static_cast<uint32_t>(name[i] - '0');
    }
    if (number < 1 || number > 99999998)
        return 0;
    map.output_file_name.assign(name, 8);
    map.output_number = number;
    map.description = input_mapset_name(input);
    if (task_options.mapsource_split_a && map.tre_info) {
        map.outside_area = static_cast<uint8_t>(is_outside_mapset_area(*map.tre_info));
        if (map.outside_area)
            return -1;
    }
    return 1;
}

// Kinds of the subfiles a MapSource map file holds: SRT, DEM, LBL, NET,
// NOD, RGN, TRE and GMP.
static constexpr uint32_t mapsource_subfile_kinds = 0x7F800;
// Every subfile kind but none and 1.
static constexpr uint32_t all_subfile_kinds = ~3u;

// What a map of a container becomes in the single-maps mode.
enum class MapOutput { skip, data_file, own_img, own_img_all_kinds };

static MapOutput single_map_output(const MapEntry& map, bool mapsource)
{
    switch (map.kind) {
    case FILE_TRF:
    case FILE_TYP:
    case FILE_TDB:
    case FILE_MMR:
    case FILE_MD2:
        return MapOutput::data_file;
    case FILE_SRT:
    case FILE_IDX:
        return MapOutput::own_img_all_kinds;
    case FILE_ISM:
    case FILE_QSI:
    case FILE_SID:
    case FILE_MPS:
    case FILE_OTHER:
        return mapsource ? MapOutput::skip : MapOutput::data_file;
    case FILE_MPC:
    case FILE_NT:
        return MapOutput::own_img;
    default:
        return mapsource ? MapOutput::skip : MapOutput::own_img;
    }
}

static int split_maps_of_input(InputFile& input, SplitRun& run)
{
    const TaskOptions& o = task_options;
    const char* path = input.path.c_str();
    if (input.kind != FILE_IMG) {
        if (!exists_in_output_directory(path)) {
            if (copy_data_file_to_output(input))
                return 1;
            ++error_count;
            return 0;
        }
        set_input_base_name(input);
        log_message(o.mapsource_split_a ? pd_UOFSFM.text() : pd_SpMDFS.text(), path);
        return 1;
    }
    if (o.mapsource_split_a) {
        int reuse = reuse_input_map_file(input);
        if (reuse) {
            log_message(reuse > 0 ? pd_UOFSFM.text() : pd_FSOOMA.text(), path);
            return 1;
        }
    }
    log_message(pd_SplMaS.text(), path);
    SplitMapWriter split;
    if (o.mapsource_split_a)
        split.number_counter =
            (compute_crc32(input.header_buffer.data(), std::min<size_t>(144, input.header_buffer.size())) &
             0x7FF7FF) |
            0x800000;

    std::vector<uint32_t> estimates;
    uint32_t largest_map_estimate = 0;
    for (MapEntry* map : input.maps) {
        estimates.push_back(choose_split_map_block_size(input, *map, o.short_header));
        if (map->kind == FILE_MPC || map->kind == FILE_NT)
            largest_map_estimate = std::max(largest_map_estimate, estimates.back());
    }
    uint32_t header_size = o.short_header && largest_map_estimate <= 1024 ? 1024 : 4096;
    std::vector<SplitMapPlan> plans;
    for (size_t i = 0; i < input.maps.size(); ++i)
        plans.push_back(plan_split_map(input, *input.maps[i], estimates[i], header_size));

    uint32_t map_kinds = o.mapsource_split_a ? mapsource_subfile_kinds : all_subfile_kinds;
    if (!open_input_file(input, "rb")) {
        ++error_count;
        return 0;
    }
    for (size_t i = 0; i < input.maps.size(); ++i) {
        MapEntry& map = *input.maps[i];
        if (o.mapsource_split_a && map.tre_info && is_outside_mapset_area(*map.tre_info)) {
            map.outside_area = 1;
            if (o.verbose)
                log_message(pd_MSOOMA.text(), map.name);
            continue;
        }
        map.outside_area = 0;
        int written = 1;
        switch (single_map_output(map, o.mapsource_split_a)) {
        case MapOutput::skip:
            break;
        case MapOutput::data_file:
            written = write_data_map_file(input, run, map, subfile_copy_chunk);
            break;
        case MapOutput::own_img:
            written = write_split_map(input, run, map, split, plans[i], map_kinds);
            break;
        case MapOutput::own_img_all_kinds:
            written = write_split_map(input, run, map, split, plans[i], all_subfile_kinds);
            break;
        }
        // The writer has said what failed: a write, a read, the memory.
        if (!written) {
            ++error_count;
            close_input_file(input);
            return 0;
        }
    }
    close_input_file(input);
    return 1;
}

static int split_one_input(InputFile& input, SplitRun& run)
{
    const TaskOptions& o = task_options;
    if (o.typ_only)
        return split_typ_files(input, run);
    if (o.split_subfiles)
        return split_subfiles(input, run);
    if (o.split_by_fid)
        return split_mapsets_by_family(input, run);
    if (!o.split_empty)
        return split_maps_of_input(input, run);
    return split_empty_maps(input);
}

// Closes "split.lst"; a list whose lines could not all be written is an
// output that failed.
static void close_split_list(SplitRun& run)
{
    if (!run.list)
        return;
    if (!finish_output_file(run.list, 1))
        ++error_count;
    run.list = nullptr;
}

int split_input_files(InputList& inputs)
{
    if (inputs.empty()) {
        ++error_count;
        log_message(pd_MiInFi.text());
        return 0;
    }
    int errors_before = error_count;
    const TaskOptions& o = task_options;
    if (o.verbose && !o.output_path.empty())
        log_message(pd_OutPaS.text(), o.output_path.c_str());
    if (!check_output_folder(o.output_path)) {
        ++error_count;
        return 0;
    }
    if (o.mapsource_split_a && !check_mapsource_install_data(inputs))
        return 0;
    SplitRun run;
    if (o.create_split_list) {
        if (o.verbose)
            log_message(pd_CreFiS.text(), "split.lst");
        run.list = create_output_file("split.lst", 1);
        if (!run.list)
            ++warning_count;
    }
    for (auto& input : inputs) {
        int result = split_one_input(*input, run);
        if (!result) {
            close_split_list(run);
            return 0;
        }
    }
    close_split_list(run);
    int finished = o.mapsource_split_a ? write_mapsource_install_data(inputs) : 1;
    return finished && error_count == errors_before;
}
