// In-place changes of inputs: the driver, the family/product filter, the IMG
// header fields, the mapset name in the header and the TRE header bytes; and
// the message table of every in-place change.
//
// The driver offers a file its changes in a fixed order, each change a step
// of its own that opens the file, writes only the bytes it changes through
// InplaceStep and closes it again. A step that fails is undone and the next
// step still runs; the file is never left between two steps' states.
#include "operations/inplace.h"

#include <cstring>
#include <span>
#include <string>

#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/product_code.h"
#include "operations/inplace_write.h"
#include "operations/map_id_change.h"
#include "operations/names_labels.h"
#include "core/task_options.h"
#include "operations/typ_fix.h"
#include "platform/platform.h"

MessageText gw_FSWMNS{"gw_FSWMNS", "File %s write mapset name [%.50s] into header.\n",
                      "Plik %s: zapis nazwy zestawu map [%.50s] do nagłówka.\n"};
MessageText gw_NPTIMN{"gw_NPTIMN", "== Warning: no place to insert mapset name, file %s.\n",
                      "== Ostrzeżenie: brak miejsca na wstawienie nazwy zestawu map, plik %s.\n"};
MessageText gw_FSWMNM{"gw_FSWMNM", "File %s write mapset name [%.50s] into MPS subfile.\n",
                      "Plik %s: zapis nazwy zestawu map [%.50s] do podpliku MPS.\n"};
MessageText gw_FSWMNI{"gw_FSWMNI", "File %s write map name [%.50s] into MPS subfile.\n",
                      "Plik %s: zapis nazwy mapy [%.50s] do podpliku MPS.\n"};
MessageText gw_FSCFIS{"gw_FSCFIS", "File %s changed FID in subfile MPS.\n", "Plik %s: zmieniono FID w podpliku MPS.\n"};
MessageText gw_MaSPUC{"gw_MaSPUC", "  Map %s priority %2u %c\n", "  Mapa %s priorytet %2u %c\n"};
MessageText gw_MSPUCR{"gw_MSPUCR", "  Map %s priority %2u %c, TRE parameters %u %u %u %u\n",
                      "  Mapa %s priorytet %2u %c, parametry TRE %u %u %u %u\n"};
MessageText gw_WWNMIN{"gw_WWNMIN",
                      "\n== Warning: wrong new map ID number.\n== Current map ID %u (%X), new map ID %u, (%X),\n"
                      "== no changes made.\n\n",
                      "\n== Ostrzeżenie: błędny nowy numer ID mapy.\n== Obecny ID mapy %u (%X), nowy ID mapy %u, (%X),\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_FatSST{"gw_FatSST", "  FAT %8s -> %8s\n", "  FAT %8s -> %8s\n"};
MessageText gw_TreXXT{"gw_TreXXT", "  TRE %08X -> %08X\n", "  TRE %08X -> %08X\n"};
MessageText gw_SubfiS{"gw_SubfiS", "  subfile %s\n", "  podplik %s\n"};
MessageText gw_MdrXXT{"gw_MdrXXT", "  MDR %08X -> %08X\n", "  MDR %08X -> %08X\n"};
MessageText gw_JcvXXT{"gw_JcvXXT", "  JCV %08X -> %08X\n", "  JCV %08X -> %08X\n"};
MessageText gw_TrfXXT{"gw_TrfXXT", "  TRF %08X -> %08X\n", "  TRF %08X -> %08X\n"};
MessageText gw_Md2XXT{"gw_Md2XXT", "  MD2 %08X -> %08X\n", "  MD2 %08X -> %08X\n"};
MessageText gw_WUSOMS{"gw_WUSOMS", "\n== Warning: unknown structure of MDR subfile.\n== Subfile %s.\n",
                      "\n== Ostrzeżenie: nieznana struktura podpliku MDR.\n== Podplik %s.\n"};
MessageText gw_WoUSOS{"gw_WoUSOS", "\n== Warning: unknown structure of subfile.\n== Subfile %s.\n",
                      "\n== Ostrzeżenie: nieznana struktura podpliku.\n== Podplik %s.\n"};
MessageText gw_DatMpS{"gw_DatMpS", "  data MPS %s\n", "  dane MPS %s\n"};
MessageText gw_ReHDFS{"gw_ReHDFS", "Refresh header date, file %s.\n", "Odświeżenie daty w nagłówku, plik %s.\n"};
MessageText gw_HMVUUU{"gw_HMVUUU", "Header map version %u.%02u, Ms %u%s, file %s.\n",
                      "Wersja mapy w nagłówku %u.%02u, Ms %u%s, plik %s.\n"};
MessageText gw_WFMMSS{"gw_WFMMSS", "Write, FID mismatch, map skiped %s.\n", "Zapis, niezgodny FID, pominięto mapę %s.\n"};
MessageText gw_WrInMS{"gw_WrInMS", "Write: map file %s.\n", "Zapis: plik mapy %s.\n"};
MessageText gw_WrDaFi{"gw_WrDaFi", "Write: data file %s.\n", "Zapis: plik danych %s.\n"};
MessageText gw_TCFSFU{"gw_TCFSFU", "TYP correction: file %s, FID %u, PID %u, CP %u\n",
                      "Korekta TYP: plik %s, FID %u, PID %u, CP %u\n"};
MessageText gw_WMTSIF{"gw_WMTSIF", "\n== Warning: multiple TYP subfile in file %s.\n== no changes made.\n\n",
                      "\n== Ostrzeżenie: wiele podplików TYP w pliku %s.\n== nie wprowadzono zmian.\n\n"};
MessageText gw_MaSLaM{"gw_MaSLaM", "  Map %s labels modified.\n", "  Mapa %s: etykiety zmienione.\n"};
MessageText gw_MaSLaF{"gw_MaSLaF", "  Map %s label format not supported.\n",
                      "  Mapa %s: nieobsługiwany format etykiet.\n"};
MessageText gw_MaSUnL{"gw_MaSUnL", "  Map %s unknown LBL structure.\n", "  Mapa %s: nieznana struktura LBL.\n"};
MessageText gw_MaSCoN{"gw_MaSCoN", "  Map %s codepage not supported.\n", "  Mapa %s: nieobsługiwana strona kodowa.\n"};
MessageText gw_MaSLaE{"gw_MaSLaE", "  Map %s label modification error.\n", "  Mapa %s: błąd zmiany etykiet.\n"};
MessageText gw_WCMIMS{"gw_WCMIMS",
                      "\n== Warning: changing MID in MMR subfile is unsupported, file %s.\n== no changes made.\n\n",
                      "\n== Ostrzeżenie: zmiana MID w podpliku MMR nie jest obsługiwana, plik %s.\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_WCMIMR{"gw_WCMIMR",
                      "\n== Warning: changing MID in MDR subfile is unsupported, file %s.\n== no changes made.\n\n",
                      "\n== Ostrzeżenie: zmiana MID w podpliku MDR nie jest obsługiwana, plik %s.\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_WCMIM2{"gw_WCMIM2",
                      "\n== Warning: changing MID in MD2 subfile is unsupported, file %s.\n== no changes made.\n\n",
                      "\n== Ostrzeżenie: zmiana MID w podpliku MD2 nie jest obsługiwana, plik %s.\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_WCMIST{"gw_WCMIST",
                      "\n== Warning: Changing MID in separate TRF subfile is unsupported, file %s.\n"
                      "== no changes made.\n\n",
                      "\n== Ostrzeżenie: zmiana MID w osobnym podpliku TRF nie jest obsługiwana, plik %s.\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_WCMIJF{"gw_WCMIJF",
                      "\n== Warning: Changing MID in JCV file is unsupported, file %s.\n== no changes made.\n\n",
                      "\n== Ostrzeżenie: zmiana MID w pliku JCV nie jest obsługiwana, plik %s.\n"
                      "== nie wprowadzono zmian.\n\n"};
MessageText gw_ECMIJF{"gw_ECMIJF", "Error changing MID in JCV, file %s.\n", "Błąd zmiany MID w pliku JCV, plik %s.\n"};
MessageText gw_WRMINM{"gw_WRMINM", "\n== Warning: repeated map ID number.\n== Map ID %u (%X)\n",
                      "\n== Ostrzeżenie: powtórzony numer ID mapy.\n== ID mapy %u (%X)\n"};
MessageText gw_MNPTWT{"gw_MNPTWT", "Map %s, no place to write typ file.\n", "Mapa %s: brak miejsca na zapis pliku TYP.\n"};
MessageText gw_MaWrTF{"gw_MaWrTF", "Map %s, writing typ file.\n", "Mapa %s: zapis pliku TYP.\n"};
MessageText gw_WMPIFS{"gw_WMPIFS", "\n== Warning: multiple products in file %s.\n== map name not changed.\n\n",
                      "\n== Ostrzeżenie: wiele produktów w pliku %s.\n== nazwa mapy nie została zmieniona.\n\n"};
MessageText gw_WTFWNR{"gw_WTFWNR", "\n== Warning: typ file was not replaced.\n\n",
                      "\n== Ostrzeżenie: plik TYP nie został zastąpiony.\n\n"};
// A new map name that equals a name the file keeps would merge two maps, or
// make an index subfile part of a map, under one set of FAT names.
MessageText gw_MIDCla{"gw_MIDCla",
                      "Error: new name %s of map %s clashes with subfile %s, map IDs not changed, file %s.\n",
                      "Błąd: nowa nazwa %s mapy %s koliduje z podplikiem %s, nie zmieniono ID map, plik %s.\n"};
// A subfile whose FAT entry is listed twice: renaming one copy would leave
// the other under the old name, a subfile of its own that shares the blocks.
MessageText gw_MIDTwi{"gw_MIDTwi", "Error: FAT entry of subfile %s is listed twice, map IDs not changed, file %s.\n",
                      "Błąd: wpis FAT podpliku %s występuje dwukrotnie, nie zmieniono ID map, plik %s.\n"};
MessageText gw_TypTwi{"gw_TypTwi",
                      "Error: FAT entry of subfile %s is listed twice, TYP subfile not replaced, file %s.\n",
                      "Błąd: wpis FAT podpliku %s występuje dwukrotnie, nie zastąpiono podpliku TYP, plik %s.\n"};
// -x takes its TYP data from the TYP files of the list; without one it has
// nothing to put in, which is said once, with the list's first file.
MessageText gw_WNTFIL{"gw_WNTFIL", "== Warning: no TYP file in the list, no TYP subfile replaced.\n",
                      "== Ostrzeżenie: brak pliku TYP na liście, nie zastąpiono żadnego podpliku TYP.\n"};
// A separate TYP file too short for the fields a correction writes is left
// alone rather than lengthened by the write.
MessageText gw_TyFTSh{"gw_TyFTSh", "TYP file too short, file %s.\n", "Plik TYP za krótki, plik %s.\n"};

// A lone TRE or GMP file whose TRE header could not be read (cut short,
// or shorter than the bytes the change writes) has nothing to change: said
// so, rather than ending as a success that changed nothing.
MessageText gw_NoTreH{"gw_NoTreH", "TRE header missing or damaged, no changes made, file %s.\n",
                      "Brak nagłówka TRE albo jest uszkodzony, nie wprowadzono zmian, plik %s.\n"};

static MessageText* const gw_table[] = {
    &gw_FSWMNS, &gw_NPTIMN, &gw_FSWMNM, &gw_FSWMNI, &gw_FSCFIS, &gw_MaSPUC, &gw_MSPUCR, &gw_WWNMIN, &gw_FatSST,
    &gw_TreXXT, &gw_SubfiS, &gw_MdrXXT, &gw_JcvXXT, &gw_TrfXXT, &gw_Md2XXT, &gw_WUSOMS, &gw_WoUSOS, &gw_DatMpS,
    &gw_ReHDFS, &gw_HMVUUU, &gw_WFMMSS, &gw_WrInMS, &gw_WrDaFi, &gw_TCFSFU, &gw_WMTSIF, &gw_MaSLaM, &gw_MaSLaF,
    &gw_MaSUnL, &gw_MaSCoN, &gw_MaSLaE, &gw_WCMIMS, &gw_WCMIMR, &gw_WCMIM2, &gw_WCMIST, &gw_WCMIJF, &gw_ECMIJF,
    &gw_WRMINM, &gw_MNPTWT, &gw_MaWrTF, &gw_WMPIFS, &gw_WTFWNR, &gw_TyFTSh, &gw_MIDCla, &gw_WNTFIL, &gw_NoTreH,
    &gw_MIDTwi, &gw_TypTwi};

int load_messages_gw(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(gw_table, group, code_page, write);
}

// ---------------------------------------------------------------- shared helpers

void get_map_family_product(const InputFile& file, const MapEntry& map, uint32_t& fid, uint32_t& pid)
{
    fid = pid = 0;
    if (!map.mps_record)
        return;
    ByteView record = mps_record_bytes(file, *map.mps_record);
    if (record.size() < MpsRecord::ids_end)
        return;
    pid = record.u16(MpsRecord::product_id);
    fid = record.u16(MpsRecord::family_id);
}

bool map_passes_filter(const InputFile& file, const MapEntry& map)
{
    const TaskOptions& o = task_options;
    if (!o.id_flags)
        return true;
    uint32_t fid = 0, pid = 0;
    get_map_family_product(file, map, fid, pid);
    return !((o.id_flags & 1) && o.family_id && o.family_id != fid) &&
           !((o.id_flags & 2) && o.product_id && o.product_id != pid);
}

std::unordered_set<std::string_view> names_listed_twice(const InputFile& file)
{
    std::unordered_set<std::string_view> names;
    ByteView fat(file.header_buffer);
    for (const FatSlot& slot : file.fat_slots) {
        ByteView name = fat.sub(uint64_t(slot.entry_offset) + FatEntry::name, FatEntry::full_name_length);
        if (slot.index_row == -2 && name.size() == FatEntry::full_name_length)
            names.emplace(reinterpret_cast<const char*>(name.data()), name.size());
    }
    return names;
}

TreInfo* owned_tre_info(InputFile& file, const MapEntry& map)
{
    for (uint32_t i = 0; i < map.subfile_count; ++i) {
        uint64_t row = uint64_t(map.first_subfile) + i;
        if (row < file.subfiles.size() && file.subfiles[row].tre_info.get() == map.tre_info)
            return file.subfiles[row].tre_info.get();
    }
    return nullptr;
}

void put_header_date(std::vector<uint8_t>& header, const CurrentTime& date)
{
    ByteSpan bytes(header);
    bytes.put_u16(ImgHeader::date, date.year);
    bytes.put_u8(ImgHeader::date + 2, date.month);
    bytes.put_u8(ImgHeader::date + 3, date.day);
    bytes.put_u8(ImgHeader::date + 4, date.hour);
    bytes.put_u8(ImgHeader::date + 5, date.minute);
    bytes.put_u8(ImgHeader::date + 6, date.second);
    bytes.put_u8(ImgHeader::update_month, date.month);
    uint8_t year = date.year >= 2156 ? 255 : date.year < 1900 ? 0 : static_cast<uint8_t>(date.year - 1900);
    bytes.put_u8(ImgHeader::update_year, year);
}

SubfileEntry* find_mps_subfile(InputFile& file)
{
    if (file.mps_buffer.empty() || file.mps_map_index >= file.maps.size())
        return nullptr;
    const MapEntry* map = file.maps[file.mps_map_index];
    if (map->kind != FILE_MPS || map->first_subfile >= file.subfiles.size())
        return nullptr;
    return &file.subfiles[map->first_subfile];
}

uint32_t fat_entries_for(uint64_t length, uint32_t block_size)
{
    if (block_size == 0)
        return 1;
    uint64_t blocks = (length + block_size - 1) / block_size;
    uint64_t entries = (blocks + FatEntry::block_count - 1) / FatEntry::block_count;
    return entries ? static_cast<uint32_t>(entries) : 1;
}

const char* display_name(uint32_t code_page, const char* text)
{
    static std::string shown;
    shown = convert_cp_to_utf8(static_cast<int>(code_page), text);
    shown.resize(platform::utf8_prefix_length(shown.data(), shown.size(), 50));
    return shown.c_str();
}

// ---------------------------------------------------------------- the filter

int match_img_fid_pid(const InputFile& file, int32_t fid, int32_t pid)
{
    int match = 0;
    bool any = fid < 0 && pid < 0;
    for (const MapEntry* map : file.maps) {
        const HeaderInfo* info = map->header_info;
        if (info && (any || (id_matches(fid, info->family_id) && id_matches(pid, info->product_id))))
            match |= MATCH_DATA;
    }
    for (const MpsRecordRef& record : file.mps_records) {
        ByteView bytes = mps_record_bytes(file, record);
        if (bytes.size() < MpsRecord::ids_end)
            continue;
        uint32_t record_pid = bytes.u16(MpsRecord::product_id);
        uint32_t record_fid = bytes.u16(MpsRecord::family_id);
        if (!id_matches(fid, record_fid) || !id_matches(pid, record_pid))
            continue;
        if (record.letter == 'F') {
            match |= MATCH_F_RECORD;
            debug_message(DBG_WRITE, "zgodny_fid: zgodny rekord F, FID %u PID %u\n", record_fid, record_pid);
        } else if (record.letter == 'P') {
            match |= MATCH_P_RECORD;
            debug_message(DBG_WRITE, "zgodny_fid: zgodny rekord P, FID %u PID %u\n", record_fid, record_pid);
        } else if (record.letter == 'L') {
            match |= MATCH_L_RECORD;
        }
    }
    debug_message(DBG_WRITE, "zgodny_fid: zgodne mapy %X, FID %i PID %i\n", match, fid, pid);
    return match;
}

int zgodny_fid(const InputFile& file, int32_t fid, int32_t pid)
{
    if (fid < 0 && pid < 0)
        return MATCH_ALL;
    if (file.kind != FILE_IMG) {
        if (!id_matches(fid, file.fid) || !id_matches(pid, file.pid))
            return 0;
        debug_message(DBG_WRITE, "zgodny_fid: zgodne dane, FID %u PID %u\n", file.fid, file.pid);
        return MATCH_DATA;
    }
    return match_img_fid_pid(file, fid, pid);
}

// ---------------------------------------------------------------- header date, version, product code

// Stores one header byte in the image; true when it changed.
static bool store_header_byte(std::vector<uint8_t>& header, uint32_t at, uint8_t value)
{
    if (header[at] == value)
        return false;
    header[at] = value;
    return true;
}

int change_header_fields(InputFile& file)
{
    const TaskOptions& o = task_options;
    if (!o.header_date_flags && !o.version_flags)
        return 1;
    if (file.header_buffer.size() < ImgHeader::size)
        return 0;
    // The new bytes are made on a copy: the image takes them only once they
    // are on disk, so a step that fails leaves nothing for a later step to
    // write.
    constexpr uint32_t written = 80;
    std::vector<uint8_t> header(file.header_buffer.begin(), file.header_buffer.begin() + written);
    ByteSpan bytes(header);
    bool changed = false;
    if (o.header_date_flags) {
        CurrentTime date = current_time;
        if (o.header_date_flags & 2) {
            date.year = o.header_date.year;
            date.month = o.header_date.month;
            date.day = o.header_date.day;
        }
        if (o.header_date_flags & 4) {
            date.hour = o.header_date.hour;
            date.minute = o.header_date.minute;
            date.second = o.header_date.second;
        }
        put_header_date(header, date);
        changed = true;
    }
    if ((o.version_flags & 1) && store_header_byte(header, ImgHeader::version_major, o.version_bytes[0]))
        changed = true;
    if ((o.version_flags & 2) && store_header_byte(header, ImgHeader::version_minor, o.version_bytes[1]))
        changed = true;
    if ((o.version_flags & 4) && store_header_byte(header, ImgHeader::mapsource_flag, o.version_bytes[2]))
        changed = true;
    if (o.version_flags & 8) {
        uint8_t packed[ImgHeader::product_code_length];
        pack_product_code(std::span<const char, 12>(o.product_code, 12), std::span<uint8_t, 9>(packed, 9));
        if (memcmp(packed, header.data() + ImgHeader::product_code, sizeof packed) != 0) {
            bytes.put_bytes(ImgHeader::product_code, packed, sizeof packed);
            changed = true;
        }
    }
    if (!changed)
        return 1;

    InplaceStep step(file, true);
    if (!step.open() || !step.put_at(0, header.data(), written) || !step.finish())
        return 0;
    const char* path = file.path.c_str();
    if (o.header_date_flags)
        log_message(gw_ReHDFS.text(), path);
    if (o.version_flags) {
        std::string code =
            unpack_product_code(std::span<const uint8_t, 9>(header.data() + ImgHeader::product_code, 9));
        std::string shown = code.empty() ? std::string() : ", " + code;
        log_message(gw_HMVUUU.text(), header[ImgHeader::version_major], header[ImgHeader::version_minor],
                    header[ImgHeader::mapsource_flag], shown.c_str(), path);
    }
    return 1;
}

// ---------------------------------------------------------------- mapset name in the header

int write_mapset_name_to_header(InputFile& file)
{
    if (file.kind != FILE_IMG)
        return 1;
    constexpr uint32_t written = 256;
    if (file.header_buffer.size() < written)
        return 0;
    const std::string& name = task_options.mapset_name;
    char field[60];
    memset(field, ' ', sizeof field);
    memcpy(field, name.data(), name.size() < 50 ? name.size() : 50);
    // On a copy, like the header fields: the image follows the disk.
    std::vector<uint8_t> image(file.header_buffer.begin(), file.header_buffer.begin() + written);
    ByteSpan header(image);
    header.put_bytes(ImgHeader::mapset_name_1, field, ImgHeader::mapset_name_1_length);
    header.put_bytes(ImgHeader::mapset_name_2, field + 20, ImgHeader::mapset_name_2_length);

    InplaceStep step(file, true);
    if (!step.open() || !step.put_at(0, image.data(), written) || !step.finish())
        return 0;
    std::string stored(field, 50);
    stored.erase(stored.find_last_not_of(' ') + 1);
    uint32_t code_page = task_options.mapset_name_result;
    log_message(gw_FSWMNS.text(), file.path.c_str(), display_name(code_page, stored.c_str()));
    refresh_file_list_row(file.path.c_str(), static_cast<int>(code_page));
    return 1;
}

// ---------------------------------------------------------------- TRE bytes

// Offsets of the seven bytes the TRE step writes, from the flags byte on.
static constexpr uint32_t tre_first = TreHeader::flags;
static constexpr uint32_t tre_count = 7;

// The seven bytes 0x3F..0x45 that task_options asks for, from the header image.
static bool make_tre_bytes(const TreInfo& tre, uint8_t out[tre_count])
{
    ByteView image(tre.header);
    if (!image.contains(tre_first, tre_count))
        return false;
    memcpy(out, tre.header.data() + tre_first, tre_count);
    const TaskOptions& o = task_options;
    uint8_t& flags = out[0];
    if (o.priority < 255)
        out[TreHeader::draw_priority - tre_first] = o.priority;
    for (int i = 0; i < 3; ++i)
        if (o.tre_param_flags & (1 << i))
            out[TreHeader::parameters - tre_first + i] = o.tre_params[i];
    if (o.tre_param_flags & 8)
        flags = o.tre_params[3];
    if (o.transparency == 1)
        flags |= 2;
    else if (o.transparency)
        flags &= static_cast<uint8_t>(~2);
    return true;
}

static void log_tre_line(const char* name, const uint8_t b[tre_count])
{
    if (!task_options.verbose)
        return;
    unsigned priority = b[TreHeader::draw_priority - tre_first];
    char mark = (b[0] & 2) ? 'T' : 'N';
    const uint8_t* t = b + (TreHeader::parameters - tre_first);
    if (task_options.tre_param_flags)
        log_message(gw_MSPUCR.text(), name, priority, mark, t[0], t[1], t[2], b[0]);
    else
        log_message(gw_MaSPUC.text(), name, priority, mark);
}

static bool tre_change_asked()
{
    return task_options.priority < 255 || task_options.transparency || task_options.tre_param_flags;
}

// A lone TRE or GMP file: its TRE header at its own position, no checksum.
static int change_single_tre_bytes(InputFile& file)
{
    TreInfo* tre = file.single_subfile.tre_info.get();
    uint8_t bytes[tre_count];
    if (!tre || !make_tre_bytes(*tre, bytes)) {
        log_message(gw_NoTreH.text(), file.path.c_str());
        return 0;
    }
    InplaceStep step(file, false);
    if (!step.open() || !step.put_at(uint64_t(tre->tre_offset) + tre_first, bytes, tre_count) || !step.finish())
        return 0;
    memcpy(tre->header.data() + tre_first, bytes, tre_count);
    log_tre_line(file.path.c_str(), bytes);
    return 1;
}

int change_tre_bytes(InputFile& file)
{
    if (file.kind != FILE_IMG)
        return change_single_tre_bytes(file);
    InplaceStep step(file, true);
    if (!step.open())
        return 0;
    struct Written {
        TreInfo* tre;
        const char* name;
        uint8_t bytes[tre_count];
    };
    std::vector<Written> written;
    for (MapEntry* map : file.maps) {
        TreInfo* tre = map->tre_info ? owned_tre_info(file, *map) : nullptr;
        if (!tre || !map_passes_filter(file, *map))
            continue;
        Written w{tre, map->name, {}};
        if (!make_tre_bytes(*tre, w.bytes))
            continue;
        if (!step.put_subfile(tre->fat_slot, tre->tre_offset + tre_first, w.bytes, tre_count))
            return 0;
        written.push_back(w);
    }
    if (!step.finish())
        return 0;
    // The TRE images, and the lines that tell the new values, follow the
    // disk once the changes are there: an undone step leaves them as they
    // were.
    for (const Written& w : written) {
        memcpy(w.tre->header.data() + tre_first, w.bytes, tre_count);
        log_tre_line(w.name, w.bytes);
    }
    return 1;
}

// ---------------------------------------------------------------- the driver

static void warn_map_id_unsupported(const InputFile& file)
{
    const MessageText* text = nullptr;
    switch (file.subfile_kind) {
    case SUB_TRF: text = &gw_WCMIST; break;
    case SUB_MMR: text = &gw_WCMIMS; break;
    case SUB_MD2: text = &gw_WCMIM2; break;
    case SUB_MDR: text = &gw_WCMIMR; break;
    default: return;
    }
    ++warning_count;
    log_message(text->text(), file.path.c_str());
}

// A change that failed counts one error, so the task cannot end as a success.
static void count_failure(int result)
{
    if (!result)
        ++error_count;
}

static void change_data_file(InputFile& file, InputList* typ_sources, int32_t fid, int32_t pid)
{
    const TaskOptions& o = task_options;
    if (o.replace_typ && typ_sources)
        count_failure(replace_typ_subfiles(file, typ_sources, fid, pid));
    if (o.typ_fix_flags)
        count_failure(
            correct_typ_ids(file, o.typ_fix_flags, o.typ_family_id, o.typ_product_id, o.typ_code_page, fid, pid));
    if ((file.subfile_kind == SUB_TRE || file.subfile_kind == SUB_GMP) && tre_change_asked())
        count_failure(change_tre_bytes(file));
    if (o.map_id_mode) {
        if (file.subfile_kind == SUB_JCV) {
            int32_t amount = static_cast<int32_t>(o.map_id);
            int32_t delta = o.map_id_mode == 2 ? amount : o.map_id_mode == 255 ? -amount : 0;
            count_failure(change_jcv_map_ids(file, delta));
        } else {
            warn_map_id_unsupported(file);
        }
    }
}

static void change_container(InputFile& file, int match, int32_t fid, int32_t pid)
{
    TaskOptions& o = task_options;
    if (match & (MATCH_ALL & ~MATCH_DATA)) {
        count_failure(change_header_fields(file));
        if (!o.mapset_name.empty() || !o.map_name.empty() || o.mps_id_flags) {
            // A file without MPS data has nothing to change there.
            int done = zmien_mps(file, !o.mapset_name.empty(), !o.map_name.empty(), o.mps_id_flags != 0, fid, pid);
            count_failure(done || !find_mps_subfile(file));
        }
        if (!o.mapset_name.empty())
            count_failure(write_mapset_name_to_header(file));
        if (tre_change_asked())
            count_failure(change_tre_bytes(file));
        if (o.map_id_mode)
            count_failure(change_map_ids(file, o.map_id_mode, o.map_id));
        if (o.label_case)
            count_failure(change_label_case(file, o.label_case));
    }
    if ((match & MATCH_DATA) && o.typ_fix_flags)
        count_failure(
            correct_typ_ids(file, o.typ_fix_flags, o.typ_family_id, o.typ_product_id, o.typ_code_page, fid, pid));
}

static void warn_list_without_typ(const InputFile& input, const InputList* typ_sources)
{
    if (!task_options.replace_typ || !typ_sources || typ_sources->empty() || typ_sources->front().get() != &input)
        return;
    for (const auto& file : *typ_sources)
        if (file->kind == FILE_TYP)
            return;
    ++warning_count;
    log_message(gw_WNTFIL.text());
}

int apply_file_changes(InputFile& input, InputList* typ_sources)
{
    warn_list_without_typ(input, typ_sources);
    // A Stop, or a signal that would end the program, is seen only once the
    // whole file has had its changes.
    ++transfer_stop_hold;
    platform::BreakSignalHold hold_signals;
    const TaskOptions& o = task_options;
    int32_t fid = (o.id_flags & 1) ? static_cast<int32_t>(o.family_id) : -1;
    int32_t pid = (o.id_flags & 2) ? static_cast<int32_t>(o.product_id) : -1;
    int match = zgodny_fid(input, fid, pid);
    const char* path = input.path.c_str();
    if (!match) {
        log_message(gw_WFMMSS.text(), path);
    } else {
        if (o.verbose)
            log_message(input.kind == FILE_IMG ? gw_WrInMS.text() : gw_WrDaFi.text(), path);
        if (input.kind == FILE_IMG)
            change_container(input, match, fid, pid);
        else if (match & MATCH_DATA)
            change_data_file(input, typ_sources, fid, pid);
    }
    --transfer_stop_hold;
    return 1;
}
