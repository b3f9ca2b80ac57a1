// MapSource installation data.
//
// Everything that can refuse the run (the family, the mapset name) is
// settled before the first file is created, so a refused run leaves no
// half set behind. After that each file is written whole from a buffer or
// line by line; a file that fails is reported by name and counted, and the
// result tells the split that the set is incomplete.
//
// The TDB is a run of records (a letter, a u16 length of the rest, the
// payload), all numbers little-endian; version 4 adds the region record 'R',
// a longer 'P' record, subfile names in the 'L' records and the closing 'T'
// record, which carries a CRC-32 of everything before it.
#include "operations/mapset_data.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "core/codepage.h"
#include "core/coordinates.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/host.h"
#include "core/map_ids.h"
#include "core/map_list.h"
#include "operations/img_writer.h"
#include "operations/mp_writer.h"
#include "operations/task_bridge.h"
#include "core/task_options.h"

MessageText pl_WriFiS{"pl_WriFiS", "Write file %s\n", "Zapis pliku %s\n"};
MessageText pl_MuCPUU{"pl_MuCPUU", "Multiple Code Pages, using %u.\n", "Wiele stron kodowych, użyto %u.\n"};
MessageText pl_WoMPII{"pl_WoMPII", "== Warning: Multiple products in img.\n",
                      "== Ostrzeżenie: wiele produktów w img.\n"};
MessageText pl_MPIICD{"pl_MPIICD", "Multiple products in img, creating TDB aborted, try opion -f.\n",
                      "Wiele produktów w img, tworzenie TDB przerwane, spróbuj opcji -f.\n"};
MessageText pl_FiMCTD{"pl_FiMCTD", "FID missing, creating TDB aborted.\n", "Brak FID, tworzenie TDB przerwane.\n"};
MessageText pl_MNMCTA{"pl_MNMCTA", "Mapset name missing, creating TDB aborted.\n",
                      "Brak nazwy mapsetu, tworzenie TDB przerwane.\n"};
MessageText pl_MNCDCP{"pl_MNCDCP", "Mapset name characters don't match code page %u, creating TDB aborted.\n",
                      "Znaki nazwy mapsetu nie pasują do strony kodowej %u, tworzenie TDB przerwane.\n"};
MessageText pl_TBWIMF{"pl_TBWIMF", "This batch will install map for Mapsource",
                      "Ten plik wsadowy zainstaluje mapę dla Mapsource"};
MessageText pl_MapTxt{"pl_MapTxt", "Map", "Mapa"};
MessageText pl_FidTxt{"pl_FidTxt", "FID", "FID"};
MessageText pl_PidTxt{"pl_PidTxt", "PID", "PID"};
MessageText pl_PETCOC{"pl_PETCOC", "Press Enter to continue or Ctrl-C to abort.",
                      "Naciśnij Enter, aby kontynuować, lub Ctrl-C, aby przerwać."};
MessageText pl_CoPrMa{"pl_CoPrMa", "Compiling preview map.", "Kompilacja mapy podglądu."};
MessageText pl_FilMis{"pl_FilMis", "File missing:", "Brak pliku:"};
MessageText pl_AboIns{"pl_AboIns", "aborting install", "instalacja przerwana"};
MessageText pl_AdReKe{"pl_AdReKe", "Adding registry keys.", "Dodawanie kluczy rejestru."};
MessageText pl_TBWUMF{"pl_TBWUMF", "This batch will uninstall map from Mapsource.",
                      "Ten plik wsadowy odinstaluje mapę z Mapsource."};
MessageText pl_WBaFCR{"pl_WBaFCR",
                      "== Warning: characters \", %% and control characters replaced by _ in batch files.\n",
                      "== Ostrzeżenie: znaki \", %% i znaki sterujące zastąpione przez _ w plikach wsadowych.\n"};

static MessageText* const pl_table[] = {&pl_WriFiS, &pl_MuCPUU, &pl_WoMPII, &pl_MPIICD, &pl_FiMCTD, &pl_MNMCTA,
                                        &pl_MNCDCP, &pl_TBWIMF, &pl_MapTxt, &pl_FidTxt, &pl_PidTxt, &pl_PETCOC,
                                        &pl_CoPrMa, &pl_FilMis, &pl_AboIns, &pl_AdReKe, &pl_TBWUMF, &pl_WBaFCR};

int load_messages_pl(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(pl_table, group, code_page, write);
}

namespace {

constexpr size_t mapset_name_limit = 498;

constexpr uint32_t bit(SubfileKind kind) { return 1u << kind; }

// Subfiles an 'L' record lists, in its order, with their extensions.
struct ListedKind {
    SubfileKind kind;
    const char* extension;
};
constexpr ListedKind v4_kinds[] = {{SUB_GMP, ".GMP"}, {SUB_LBL, ".LBL"}, {SUB_RGN, ".RGN"}, {SUB_TRE, ".TRE"},
                                   {SUB_NET, ".NET"}, {SUB_NOD, ".NOD"}, {SUB_SRT, ".SRT"}, {SUB_DEM, ".DEM"}};
constexpr ListedKind v3_kinds[] = {{SUB_RGN, ".RGN"}, {SUB_TRE, ".TRE"}, {SUB_LBL, ".LBL"}};

// What the maps of all inputs have in common. Maps outside the mapset area
// count only for the code page.
struct Summary {
    int32_t north = -0x800000;
    int32_t east = -0x800000;
    int32_t south = 0x800000;
    int32_t west = 0x800000;
    uint32_t numbered = 0;
    uint32_t smallest = no_preview_map_id;
    uint32_t largest = 0;
    uint32_t preview_bits = 24;     // of the first TRE level record
    uint32_t first_data_bits = 24;  // of the first level that is not inherited
    uint32_t tre_maps = 0;
    bool nt = false;
    bool routable = false;
    bool needs_v4 = false;
    bool all_dem = true;
    ByteView family;  // the first 'F' record
    uint32_t family_count = 0;
    ByteView version;  // the first 'V' record
    uint32_t version_count = 0;
    CodePageCount code_pages;
};

// The mapset as it will be written.
struct Mapset {
    Summary summary;
    uint32_t preview_id = no_preview_map_id;
    uint32_t code_page = 0;
    uint32_t fid = 0;
    uint32_t pid = 0;
    std::string name;       // in the mapset's code page
    std::string file_name;  // base name of the mapset's files
    uint32_t bits = 0;      // resolution of the preview map
    bool version4 = true;
    bool marine = false;
};

bool has_tre(const MapEntry* map) { return map->tre_info != nullptr; }

TreBounds map_bounds(const MapEntry* map) { return read_tre_bounds(ByteView(map->tre_info->header)); }

void gather_summary(const InputList& inputs, Summary& s)
{
    for (const auto& input : inputs) {
        for (const MpsRecordRef& record : input->mps_records) {
            if (record.letter == 'F' && s.family_count++ == 0)
                s.family = mps_record_bytes(*input, record);
            if (record.letter == 'V' && s.version_count++ == 0)
                s.version = mps_record_bytes(*input, record);
        }
        for (const MapEntry* map : input->maps) {
            count_code_page(s.code_pages, map->code_page);
            if (map->outside_area)
                continue;
            if (map->map_number) {
                ++s.numbered;
                s.smallest = std::min(s.smallest, map->map_number);
                s.largest = std::max(s.largest, map->map_number);
            }
            uint32_t kinds = map->subfile_kinds;
            s.nt |= (kinds & bit(SUB_GMP)) != 0;
            s.routable |= (kinds & (bit(SUB_GMP) | bit(SUB_NOD))) != 0;
            s.needs_v4 |= (kinds & (bit(SUB_GMP) | bit(SUB_NOD) | bit(SUB_NET) | bit(SUB_DEM) | bit(SUB_SRT))) != 0;
            if (!has_tre(map))
                continue;
            ++s.tre_maps;
            s.all_dem &= map->has_dem || map->dem_length;
            TreBounds b = map_bounds(map);
            s.north = std::max(s.north, b.north);
            s.east = std::max(s.east, b.east);
            s.south = std::min(s.south, b.south);
            s.west = std::min(s.west, b.west);
            const TreInfo& tre = *map->tre_info;
            if (tre.levels_size >= 4)
                s.preview_bits = std::min<uint32_t>(s.preview_bits, tre.levels[1]);
            if (tre.first_level_bits)
                s.first_data_bits = std::min<uint32_t>(s.first_data_bits, tre.first_level_bits);
        }
    }
    // With no map to look at, "every map has a DEM" says nothing.
    s.all_dem &= s.tre_maps != 0;
}

// An ID just above the maps' numbers, so the preview sorts after them; none
// when the numbers are spread too far or the ID would need nine digits.
uint32_t preview_map_id(const Summary& s)
{
    if (s.numbered == 0 || s.smallest == 0 || s.largest < s.smallest || s.largest - s.smallest > 2046)
        return no_preview_map_id;
    uint32_t id = s.largest | 0x7FF;
    if (id <= s.largest || id > no_preview_map_id)
        return no_preview_map_id;
    return id;
}

// announce: say so when the maps have several code pages.
uint32_t choose_code_page(const Summary& s, bool announce)
{
    if (task_options.mapset_code_page)
        return task_options.mapset_code_page;
    uint32_t code_page = pick_dominant_code_page(s.code_pages, task_options.code_page);
    if (!code_page)
        code_page = 1252;
    if (announce && s.code_pages.count > 1)
        log_message(pl_MuCPUU.text(), code_page);
    return code_page;
}

int refuse(const MessageText& message)
{
    log_message(message.text());
    ++error_count;
    return 0;
}

// announce: warn when the option's family stands for several.
int choose_family(Mapset& m, bool announce)
{
    const Summary& s = m.summary;
    if (task_options.family_id || task_options.product_id) {
        m.fid = task_options.family_id;
        m.pid = task_options.product_id;
        if (announce && s.family_count > 1) {
            log_message(pl_WoMPII.text());
            ++warning_count;
        }
    } else if (s.family_count > 1) {
        return refuse(pl_MPIICD);
    } else if (s.family_count == 1 && s.family.u16(MpsRecord::payload_length) > 3) {
        m.fid = s.family.u16(MpsRecord::family_id);
        m.pid = s.family.u16(MpsRecord::product_id);
    }
    if (m.fid == 0 && m.pid == 0)
        return refuse(pl_FiMCTD);
    return 1;
}

// The NUL-terminated text at offset of a record, cut at the record's end.
std::string record_text(ByteView record, size_t offset)
{
    if (offset >= record.size())
        return {};
    const char* start = reinterpret_cast<const char*>(record.data() + offset);
    return std::string(start, strnlen(start, record.size() - offset));
}

int choose_mapset_name(Mapset& m)
{
    const Summary& s = m.summary;
    const TaskOptions& o = task_options;
    if (!o.mapset_name.empty()) {
        // A name from the window program is in the mapset code page already
        // (mapset_name_result says which); one from the command line is
        // UTF-8 and must fit the code page the TDB declares.
        m.name = o.mapset_name;
        if (o.mapset_name_result == 0) {
            const char* converted = nullptr;
            uint32_t converted_code_page = 0;
            if (!convert_to_mapset_code_page(&converted, &converted_code_page, o.mapset_name.c_str(),
                                             static_cast<int>(m.code_page))) {
                log_message(pl_MNCDCP.text(), m.code_page);
                ++error_count;
                return 0;
            }
            m.name = converted;
        }
    } else if (s.family_count == 1 && s.family.size() >= 9) {
        m.name = record_text(s.family, MpsRecord::family_name);
    }
    if (m.name.empty() && s.version_count && s.version.size() > 4)
        m.name = record_text(s.version, 3);
    if (m.name.empty())
        return refuse(pl_MNMCTA);
    if (m.name.size() > mapset_name_limit)
        m.name.resize(mapset_name_limit);
    return 1;
}

// ---------------------------------------------------------------- output files

// Finishes an output that was written to (ok: every write went through); a
// failure is logged with the name, before the line that the output was not
// written, and counted.
static int close_written(FILE* file, const std::string& name, int ok)
{
    if (!ok)
        report_write_error(name.c_str());
    if (!finish_output_file(file, ok)) {
        ++error_count;
        return 0;
    }
    return 1;
}

int count_write_failure(const std::string& name)
{
    // The data could not be put together: no call of the system failed.
    report_write_error(name.c_str(), 0);
    ++error_count;
    return 0;
}

// Creates name in the output directory (replacing a file there) and writes
// the bytes; a failure is logged with the name and counted.
int write_whole_file(const std::string& name, const void* bytes, size_t n)
{
    FILE* file = create_output_file(name.c_str(), 1);
    if (!file) {
        ++error_count;
        return 0;
    }
    int ok = n == 0 || fwrite(bytes, 1, n, file) == n;
    return close_written(file, name, ok);
}

// ---------------------------------------------------------------- preview map

int write_preview_map(const InputList& inputs, const Mapset& m)
{
    const TaskOptions& o = task_options;
    const Summary& s = m.summary;
    std::string name = m.file_name + ".mp";
    log_message(pl_WriFiS.text(), name.c_str());
    FILE* f = create_output_file(name.c_str(), 1);
    if (!f) {
        ++error_count;
        return 0;
    }
    uint32_t p = m.preview_id;
    int ok = write_mp_text(f,
                           "[IMG ID]\r\n;ID=I%07X\r\nID=%08u\r\nName=Preview Map\r\n;LBLcoding=9\r\n;CodePage=%u\r\n"
                           "Preprocess=N\r\nPreview=Y\r\n;TreSize=511\r\n;RgnLimit=4000\r\nLevels=2\r\n"
                           "Level0=%u\r\nLevel1=%u\r\nZoom0=0\r\nZoom1=1\r\n[END-IMG ID]\r\n\r\n",
                           p, p, m.code_page, m.bits, m.bits - 2);
    for (const auto& input : inputs)
        ok &= write_map_rectangles(*input, f, static_cast<int>(m.bits));

    int32_t south = s.south;
    int32_t west = s.west;
    if (o.preview_limits) {
        south = std::min(std::max(south, o.limit_south), o.limit_north);
        west = std::min(std::max(west, o.limit_west), o.limit_east);
    }
    double latitude = map_units_to_degrees(south);
    double longitude = map_units_to_degrees(west);
    clamp_latitude_down(latitude, static_cast<int>(m.bits));
    clamp_longitude_down(longitude, static_cast<int>(m.bits));
    if (o.preview_limits && o.limit_longitude) {
        latitude = std::min(std::max(latitude, -89.5), 89.5);
        longitude = std::min(std::max(longitude, -178.5), 178.5);
    }
    ok &= write_mp_text(f, "[POI]\r\nType=0x0b00\r\nLabel=Tarnwick Preview\r\n");
    ok &= write_mp_text(f, "%sData0=(%1.7lf,%1.7lf)\r\n", "", latitude, longitude);
    ok &= write_mp_text(f, "[END]\r\n\r\n");
    ok &= write_mp_rectangle(f, "Type=0x4b", "Background=Y", s.north, s.east, s.south, s.west,
                             o.preview_limits ? MP_LIMITS : MP_NO_LIMITS, static_cast<int>(m.bits));
    return close_written(f, name, ok);
}

// ---------------------------------------------------------------- preview DEM

// An empty DEM of one level over the whole mapset, dated like the task, so
// the preview has elevation data like the maps it stands for.
int write_preview_dem(const Mapset& m)
{
    const Summary& s = m.summary;
    TreInfo area;
    area.header.assign(TreBoundsField::west + 3, 0);
    ByteSpan header(area.header);
    store_current_time(header, 0x0E);
    header.put_u24(TreBoundsField::north, static_cast<uint32_t>(s.north) & 0xFFFFFF);
    header.put_u24(TreBoundsField::east, static_cast<uint32_t>(s.east) & 0xFFFFFF);
    header.put_u24(TreBoundsField::south, static_cast<uint32_t>(s.south) & 0xFFFFFF);
    header.put_u24(TreBoundsField::west, static_cast<uint32_t>(s.west) & 0xFFFFFF);
    std::vector<uint8_t> dem;
    try {
        dem = build_empty_dem(area, 1);
    } catch (const std::bad_alloc&) {
        return refuse(fn_OuOfMe);
    }
    char name[16];
    snprintf(name, sizeof name, "%08u.DEM", m.preview_id);
    return write_whole_file(name, dem.data(), dem.size());
}

// ---------------------------------------------------------------- TDB

// A growing buffer of TDB or MDX bytes.
class RecordBuffer {
public:
    std::vector<uint8_t> bytes;

    void u8(uint32_t v) { bytes.push_back(static_cast<uint8_t>(v)); }
    void u16(uint32_t v)
    {
        u8(v);
        u8(v >> 8);
    }
    void u32(uint32_t v)
    {
        u16(v);
        u16(v >> 16);
    }
    void raw(std::string_view text) { bytes.insert(bytes.end(), text.begin(), text.end()); }
    // The text up to its first NUL, and a NUL.
    void text(std::string_view text)
    {
        raw(text.substr(0, text.find('\0')));
        u8(0);
    }
    void zeros(size_t n) { bytes.insert(bytes.end(), n, 0); }
    // Bounds in map units, each in the top three bytes of a u32.
    void bounds(int32_t north, int32_t east, int32_t south, int32_t west)
    {
        for (int32_t v : {north, east, south, west})
            u32(static_cast<uint32_t>(v) << 8);
    }

    void begin(char letter)
    {
        start_ = bytes.size();
        u8(static_cast<uint8_t>(letter));
        u16(0);
    }
    // Enters the record's length; false when it does not fit its u16.
    bool end()
    {
        size_t n = bytes.size() - start_ - 3;
        if (n > 0xFFFF)
            return false;
        bytes[start_ + 1] = static_cast<uint8_t>(n);
        bytes[start_ + 2] = static_cast<uint8_t>(n >> 8);
        return true;
    }

private:
    size_t start_ = 0;
};

// One subfile as an 'L' record lists it.
struct ListedSubfile {
    uint32_t length = 0;
    std::string name;  // 8 characters
    const char* extension = nullptr;
};

// The 8-character name a subfile was written under.
std::string written_name(const SubfileEntry& subfile)
{
    if (subfile.written_name[0])
        return std::string(subfile.written_name, strnlen(subfile.written_name, 8));
    return std::string(subfile.name, strnlen(subfile.name, 8));
}

const SubfileEntry* map_subfile(const InputFile& input, const MapEntry* map, SubfileKind kind)
{
    for (uint32_t i = 0; i < map->subfile_count; ++i) {
        uint64_t row = uint64_t(map->first_subfile) + i;
        if (row < input.subfiles.size() && input.subfiles[row].kind == kind)
            return &input.subfiles[row];
    }
    return nullptr;
}

std::vector<ListedSubfile> listed_subfiles(const InputFile& input, const MapEntry* map, bool version4)
{
    std::vector<ListedSubfile> listed;
    const ListedKind* kinds = version4 ? v4_kinds : v3_kinds;
    size_t count = version4 ? std::size(v4_kinds) : std::size(v3_kinds);
    for (size_t i = 0; i < count; ++i) {
        if (const SubfileEntry* subfile = map_subfile(input, map, kinds[i].kind)) {
            listed.push_back({subfile->length, written_name(*subfile), kinds[i].extension});
        } else if (version4 && kinds[i].kind == SUB_DEM && map->dem_length) {
            // The empty DEM the split added is named like the map's other subfiles.
            const SubfileEntry* named = map_subfile(input, map, SUB_TRE);
            if (!named)
                named = map_subfile(input, map, SUB_GMP);
            if (!named && map->first_subfile < input.subfiles.size())
                named = &input.subfiles[map->first_subfile];
            listed.push_back({map->dem_length, named ? written_name(*named) : std::string(map->name, 8), ".DEM"});
        }
    }
    return listed;
}

bool add_map_record(RecordBuffer& tdb, const InputFile& input, const MapEntry* map, const Mapset& m)
{
    std::vector<ListedSubfile> listed = listed_subfiles(input, map, m.version4);
    if (listed.empty())
        return true;
    TreBounds b = map_bounds(map);
    tdb.begin('L');
    tdb.u32(map->output_number);
    tdb.u32(m.preview_id);
    tdb.bounds(b.north, b.east, b.south, b.west);
    tdb.text(map->description);
    tdb.u16(static_cast<uint32_t>(listed.size()) + 1);
    tdb.u16(static_cast<uint32_t>(listed.size()));
    for (const ListedSubfile& l : listed)
        tdb.u32(l.length);
    if (!m.version4) {
        tdb.u8(1);
        return tdb.end();
    }
    tdb.u8(1);
    tdb.u8(1);
    tdb.u8(0);
    tdb.u32(256);
    for (const ListedSubfile& l : listed) {
        std::string name = l.name;
        name.resize(8, ' ');
        tdb.raw(name);
        tdb.text(l.extension);
    }
    tdb.u16(0);
    return tdb.end();
}

// The whole TDB; false when a record would not fit its length field.
bool build_tdb(const InputList& inputs, const Mapset& m, RecordBuffer& tdb)
{
    const Summary& s = m.summary;
    bool ok = true;
    tdb.begin('P');
    tdb.u16(m.pid);
    tdb.u16(m.fid);
    tdb.u16(m.version4 ? 407 : 300);
    tdb.text(m.name);
    tdb.u16(100);
    tdb.text(m.name);
    if (m.version4) {
        uint8_t tail[41] = {};
        tail[1] = static_cast<uint8_t>(s.first_data_bits);
        tail[2] = tail[3] = tail[4] = 1;
        tail[10] = s.routable ? 24 : 0;
        tail[12] = m.marine ? 1 : 0;
        tail[30] = static_cast<uint8_t>(m.code_page);
        tail[31] = static_cast<uint8_t>(m.code_page >> 8);
        tail[34] = 16;
        tail[35] = 39;
        tail[38] = 1;
        tail[39] = s.all_dem ? 1 : 0;
        tail[40] = 1;
        tdb.raw(std::string_view(reinterpret_cast<const char*>(tail), sizeof tail));
    }
    ok &= tdb.end();

    tdb.begin('D');
    for (const std::string& text : {m.name, std::string("Installed by Tarnwick ") + version_text}) {
        tdb.u8(6);
        tdb.u8(1);
        tdb.u16(0);
        tdb.text(text);
    }
    ok &= tdb.end();

    if (m.version4) {
        tdb.begin('R');
        tdb.u8(1);
        tdb.text("All");
        ok &= tdb.end();
    }

    tdb.begin('B');
    tdb.u32(m.preview_id);
    tdb.u32(0);
    tdb.bounds(s.north, s.east, s.south, s.west);
    tdb.text(m.name);
    ok &= tdb.end();

    for (const auto& input : inputs)
        for (const MapEntry* map : input->maps)
            if (!map->outside_area && has_tre(map) && map->subfile_count)
                ok &= add_map_record(tdb, *input, map, m);

    if (m.version4) {
        uint32_t crc = compute_crc32(tdb.bytes.data(), tdb.bytes.size());
        tdb.begin('T');
        uint8_t t[20] = {};
        t[2] = static_cast<uint8_t>(crc >> 24);
        t[9] = static_cast<uint8_t>(crc >> 16);
        t[12] = static_cast<uint8_t>(crc >> 8);
        t[17] = static_cast<uint8_t>(crc);
        tdb.raw(std::string_view(reinterpret_cast<const char*>(t), sizeof t));
        ok &= tdb.end();
    }
    return ok;
}

int write_tdb(const InputList& inputs, const Mapset& m)
{
    std::string name = m.file_name + ".tdb";
    log_message(pl_WriFiS.text(), name.c_str());
    RecordBuffer tdb;
    try {
        if (!build_tdb(inputs, m, tdb))
            return count_write_failure(name);
    } catch (const std::bad_alloc&) {
        return refuse(fn_OuOfMe);
    } catch (const std::length_error&) {
        return refuse(fn_OuOfMe);
    }
    return write_whole_file(name, tdb.bytes.data(), tdb.bytes.size());
}

// ---------------------------------------------------------------- MDX

int write_mdx(const InputList& inputs, const Mapset& m)
{
    std::vector<MapIdEntry> rows;
    RecordBuffer mdx;
    try {
        for (const auto& input : inputs)
            for (MapEntry* map : input->maps)
                if (!map->outside_area && has_tre(map) && map->map_number)
                    rows.push_back({map->map_number, map->output_number, input->path.c_str(), map, input.get()});
        if (rows.empty())
            return 1;
        rows.push_back({m.preview_id, 0, nullptr, nullptr, nullptr});
        warn_repeated_map_ids(rows.data(), rows.size());
        mdx.raw("Midx");
        mdx.u16(100);
        mdx.u32(12);
        mdx.u32(static_cast<uint32_t>(rows.size()));
        for (const MapIdEntry& row : rows) {
            mdx.u32(row.map_id);
            mdx.u16(m.pid);
            mdx.u16(m.fid);
            mdx.u32(row.second_value);
        }
    } catch (const std::bad_alloc&) {
        return refuse(fn_OuOfMe);
    } catch (const std::length_error&) {
        return refuse(fn_OuOfMe);
    }
    std::string name = m.file_name + ".mdx";
    log_message(pl_WriFiS.text(), name.c_str());
    return write_whole_file(name, mdx.bytes.data(), mdx.bytes.size());
}

// ---------------------------------------------------------------- batch files

// The command interpreter expands '%' even inside quotes, a '"' ends the
// quoting, and a line end starts a new command; such characters in a name
// become '_'.
std::string batch_safe(const std::string& text, bool& changed)
{
    std::string safe = text;
    for (char& c : safe) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '%' || u < 0x20 || u == 0x7F) {
            c = '_';
            changed = true;
        }
    }
    return safe;
}

// A name outside quotes, as in an echo line: the interpreter's own
// characters are escaped with '^', so they are printed, not obeyed.
std::string batch_unquoted(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c && strchr("&|<>^()", c))
            out += '^';
        out += c;
    }
    return out;
}

// Names the batch files use, made safe.
struct BatchNames {
    std::string mapset;  // the mapset name
    std::string file;    // base name of the mapset's files
    std::string img;     // base name of the preview map's IMG
    std::string typ;     // TYP file of the family, or empty
    std::string trf;     // TRF file, or empty
    const char* families = "Families";
};

std::string data_file_name(const InputFile& input)
{
    return input.base_name.empty() ? std::string(path_base_name(input.path.c_str())) : input.base_name;
}

// The first TYP file of the family and the first TRF file among the
// inputs: data-file inputs by their names, maps of IMG inputs by the names
// the split gave them.
void find_data_files(const InputList& inputs, uint32_t fid, std::string& typ, std::string& trf)
{
    for (const auto& input : inputs) {
        if (input->kind == FILE_TYP && typ.empty() && input->fid == fid)
            typ = data_file_name(*input);
        if (input->kind == FILE_TRF && trf.empty())
            trf = data_file_name(*input);
        if (input->kind != FILE_IMG)
            continue;
        for (const MapEntry* map : input->maps) {
            if (map->output_file_name.empty())
                continue;
            if (map->kind == FILE_TYP && typ.empty() && map->header_info && map->header_info->family_id == fid)
                typ = map->output_file_name;
            if (map->kind == FILE_TRF && trf.empty())
                trf = map->output_file_name;
        }
    }
}

BatchNames batch_names(const InputList& inputs, const Mapset& m)
{
    const TaskOptions& o = task_options;
    std::string typ, trf;
    find_data_files(inputs, m.fid, typ, trf);
    char number[16];
    snprintf(number, sizeof number, "%08u", m.preview_id);
    bool changed = false;
    BatchNames n;
    n.mapset = batch_safe(m.name, changed);
    n.file = batch_safe(m.file_name, changed);
    n.img = (o.compiler_is_maptk || o.compiler_is_mkgmap) ? std::string(number) : n.file;
    n.typ = batch_safe(typ, changed);
    n.trf = batch_safe(trf, changed);
    n.families = m.summary.nt ? "FamiliesNT" : "Families";
    if (changed) {
        log_message(pl_WBaFCR.text());
        ++warning_count;
    }
    return n;
}

// The lines both batch files open with, up to the first pause.
void batch_opening(std::string& out, const MessageText& title, const BatchNames& n, const Mapset& m)
{
    out += "echo off\r\necho -\r\necho -\r\n";
    append_c_format(out, "echo -  %s\r\n", title.text());
    out += "echo -\r\n";
    append_c_format(out, "echo -  %s:  \"%s\"\r\n", pl_MapTxt.text(), n.mapset.c_str());
    append_c_format(out, "echo -  %s:  %u\r\n", pl_FidTxt.text(), m.fid);
    append_c_format(out, "echo -  %s:  %u\r\n", pl_PidTxt.text(), m.pid);
    out += "echo -\r\n";
    append_c_format(out, "echo -  %s\r\n", pl_PETCOC.text());
    out += "echo -\r\npause\r\n\r\n";
}

void batch_key_lines(std::string& out)
{
    out += "set KEY=HKLM\\SOFTWARE\\Wow6432Node\\Garmin\\MapSource\r\n"
           "if %PROCESSOR_ARCHITECTURE% == AMD64 goto key_ok\r\n"
           "set KEY=HKLM\\SOFTWARE\\Garmin\\MapSource\r\n"
           ":key_ok\r\n"
           "\r\n";
}

std::string install_batch(const BatchNames& n, const Mapset& m)
{
    const char* file = n.file.c_str();
    const char* img = n.img.c_str();
    std::string out;
    batch_opening(out, pl_TBWIMF, n, m);
    append_c_format(out, "if exist \"%%~dp0%s.img\" goto :INSTREG\r\n", img);
    append_c_format(out, "echo %s %s.img, %s.\r\n", pl_FilMis.text(), batch_unquoted(n.img).c_str(),
                    pl_AboIns.text());
    out += "pause\r\nexit 1\r\n\r\n:INSTREG\r\n";
    append_c_format(out, "echo %s\r\n", pl_AdReKe.text());
    out += "\r\n";
    batch_key_lines(out);
    if (m.fid == 0) {
        // No family: the mapset is entered as a product of its own.
        std::string key = "%KEY%\\Products\\" + std::to_string(m.pid);
        append_c_format(out, "reg ADD %s /v Loc /t REG_SZ /d \"%%~dp0\\\" /f\r\n", key.c_str());
        append_c_format(out, "reg ADD %s /v Bmap /t REG_SZ /d \"%%~dp0%s.img\" /f\r\n", key.c_str(), img);
        append_c_format(out, "reg ADD %s /v Tdb /t REG_SZ /d \"%%~dp0%s.tdb\" /f\r\n", key.c_str(), file);
        out += "pause\r\nexit 0\r\n";
        return out;
    }
    std::string family = std::string("%KEY%\\") + n.families + "\\FAMILY_" + std::to_string(m.fid);
    const char* key = family.c_str();
    append_c_format(out, "reg ADD %s /v ID /t REG_BINARY /d %02X%02X /f\r\n", key, m.fid & 0xFF, m.fid >> 8);
    if (!n.trf.empty()) {
        append_c_format(out, "reg ADD %s /v IDX /t REG_SZ /d \"%%~dp0%s.mdx\" /f\r\n", key, file);
        append_c_format(out, "reg ADD %s /v TRF /t REG_SZ /d \"%%~dp0%s\" /f\r\n", key, n.trf.c_str());
        append_c_format(out, "if exist \"%%~dp0%s_mdr.img\" reg ADD %s /v MDR /t REG_SZ /d \"%%~dp0%s_mdr.img\" /f\r\n",
                        file, key, file);
    } else {
        append_c_format(out, "if exist \"%%~dp0%s_mdr.img\" (\r\n", file);
        append_c_format(out, "\treg ADD %s /v IDX /t REG_SZ /d \"%%~dp0%s.mdx\" /f\r\n", key, file);
        append_c_format(out, "\treg ADD %s /v MDR /t REG_SZ /d \"%%~dp0%s_mdr.img\" /f\r\n", key, file);
        out += ")\r\n";
    }
    if (!n.typ.empty())
        append_c_format(out, "reg ADD %s /v TYP /t REG_SZ /d \"%%~dp0%s\" /f\r\n", key, n.typ.c_str());
    else
        append_c_format(out, "if exist \"%%~dp0%s.typ\" reg ADD %s /v TYP /t REG_SZ /d \"%%~dp0%s.typ\" /f\r\n", file,
                        key, file);
    std::string product = family + "\\" + std::to_string(m.pid);
    append_c_format(out, "reg ADD %s /v Loc /t REG_SZ /d \"%%~dp0\\\" /f\r\n", product.c_str());
    append_c_format(out, "reg ADD %s /v Bmap /t REG_SZ /d \"%%~dp0%s.img\" /f\r\n", product.c_str(), img);
    append_c_format(out, "reg ADD %s /v Tdb /t REG_SZ /d \"%%~dp0%s.tdb\" /f\r\n", product.c_str(), file);
    out += "pause\r\nexit 0\r\n";
    return out;
}

std::string uninstall_batch(const BatchNames& n, const Mapset& m)
{
    std::string out;
    batch_opening(out, pl_TBWUMF, n, m);
    batch_key_lines(out);
    if (m.fid != 0)
        append_c_format(out, "reg DELETE %%KEY%%\\%s\\FAMILY_%u /f\r\n", n.families, m.fid);
    else
        append_c_format(out, "reg DELETE %%KEY%%\\Products\\%u /f\r\n", m.pid);
    out += "pause\r\nexit 0\r\n";
    return out;
}

int write_batch_files(const InputList& inputs, const Mapset& m)
{
    BatchNames names = batch_names(inputs, m);
    std::string install = install_batch(names, m);
    std::string uninstall = uninstall_batch(names, m);
    int ok = write_whole_file("install.bat", install.data(), install.size());
    ok &= write_whole_file("uninstall.bat", uninstall.data(), uninstall.size());
    return ok;
}

}  // namespace

int check_mapsource_install_data(const InputList& inputs)
{
    Mapset m;
    gather_summary(inputs, m.summary);
    m.code_page = choose_code_page(m.summary, false);
    return choose_family(m, false) && choose_mapset_name(m);
}

int write_mapsource_install_data(InputList& inputs)
{
    const TaskOptions& o = task_options;
    Mapset m;
    gather_summary(inputs, m.summary);
    m.preview_id = preview_map_id(m.summary);
    task_options.split_result = m.preview_id;
    m.code_page = choose_code_page(m.summary, true);
    if (!choose_family(m, true) || !choose_mapset_name(m))
        return 0;
    m.file_name = o.mapset_file_name.empty() ? "mapset" : o.mapset_file_name;
    m.bits = std::clamp<uint32_t>(m.summary.preview_bits, 8, 18);
    m.marine = o.marine_tdb != 0;
    m.version4 = !o.create_tdb_v3 || m.summary.needs_v4 || m.marine;

    if (!write_preview_map(inputs, m))
        return 0;
    if (m.summary.all_dem && !write_preview_dem(m))
        return 0;
    if (!write_tdb(inputs, m))
        return 0;
    int ok = write_mdx(inputs, m);
    ok &= write_batch_files(inputs, m);
    return ok;
}
