// The information report of one input.
//
// The report only reads the InputFile. Every value it prints comes from a
// record or header image kept by the reader, always through a ByteView over
// exactly that record or image, so a damaged file can only show zeros or
// short texts, never bytes from past a record. Texts found in the file are
// shown with their control characters replaced (so they cannot drive the
// terminal or break the log's lines) and are converted from their code page
// to UTF-8 before printing.
//
// The report is put together a row at a time and each row goes to the log
// in one piece (or, through append_info_report, into the caller's text);
// Stop is polled at the start, after the header block, every 50 subfile rows
// and after each table.
#include "core/report.h"

#include <strings.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <span>
#include <string>

#include "core/byte_view.h"
#include "core/codepage.h"
#include "core/coordinates.h"
#include "core/file_names.h"
#include "core/files.h"
#include "core/header_knowledge.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/product_code.h"
#include "core/text_format.h"
#include "core/task_options.h"

MessageText dp_LenTxt{"dp_LenTxt", "len.", "dł."};
MessageText dp_MapTxt{"dp_MapTxt", "map", "mapa"};
MessageText dp_Region{"dp_Region", "region", "region"};
MessageText dp_DateTx{"dp_DateTx", "date", "data"};
MessageText dp_Transp{"dp_Transp", "transparent", "przezroczysta"};
MessageText dp_Signed{"dp_Signed", "signed", "podpisana"};
MessageText dp_CPText{"dp_CPText", "CP", "CP"};
MessageText dp_FidTxt{"dp_FidTxt", "FID", "FID"};
MessageText dp_PidTxt{"dp_PidTxt", "PID", "PID"};
MessageText dp_NameTx{"dp_NameTx", "name", "nazwa"};
MessageText dp_Priori{"dp_Priori", "priority", "priorytet"};
MessageText dp_Parame{"dp_Parame", "parameters", "parametry"};
MessageText dp_Levels{"dp_Levels", "levels", "poziomy"};
MessageText dp_ZoomTx{"dp_ZoomTx", "zoom", "skala"};
MessageText dp_DemLay{"dp_DemLay", "DEM layers", "warstwy DEM"};
MessageText dp_FiSLeS{"dp_FiSLeS", "File:\t\t%s, length %s\n", "Plik:\t\t%s, długość %s\n"};
MessageText dp_FiFoEI{"dp_FiFoEI", "File format errors (%i)\n", "Błędy formatu pliku (%i)\n"};
MessageText dp_Header{"dp_Header", "Header:  ", "Nagłówek:"};
MessageText dp_Mapset{"dp_Mapset", "Mapset:  ", "Zestaw:  "};
MessageText dp_FXXXBU{"dp_FXXXBU", "fat:\t\t%Xh - %Xh - %Xh, block %u\n", "fat:\t\t%Xh - %Xh - %Xh, blok %u\n"};
MessageText dp_MaUSFU{"dp_MaUSFU", "maps:\t\t%u, sub-files %u\n", "mapy:\t\t%u, podpliki %u\n"};
MessageText dp_SuFiFL{"dp_SuFiFL", "\nSub-file         fat     length\n", "\nPodplik          fat     długość\n"};
MessageText dp_MLSFCP{"dp_MLSFCP", "\nMap              length s-f  CP    prio  PID   FID  name\n",
                      "\nMapa             dług.  p-p  CP    prio  PID   FID  nazwa\n"};
MessageText dp_DatMps{"dp_DatMps", "\nData MPS\n", "\nDane MPS\n"};
MessageText dp_DaSLeU{"dp_DaSLeU", "\nData %s:  length %6u", "\nDane %s:  długość %6u"};
MessageText dp_Bitmap{"dp_Bitmap", "Bitmaps", "Bitmapy"};
MessageText dp_SizeTx{"dp_SizeTx", "size", "rozmiar"};
MessageText dp_PicSiz{"dp_PicSiz", "picture size", "rozmiar obrazu"};

static MessageText* const dp_table[] = {
    &dp_LenTxt, &dp_MapTxt, &dp_Region, &dp_DateTx, &dp_Transp, &dp_Signed, &dp_CPText, &dp_FidTxt,
    &dp_PidTxt, &dp_NameTx, &dp_Priori, &dp_Parame, &dp_Levels, &dp_ZoomTx, &dp_DemLay, &dp_FiSLeS,
    &dp_FiFoEI, &dp_Header, &dp_Mapset, &dp_FXXXBU, &dp_MaUSFU, &dp_SuFiFL, &dp_MLSFCP, &dp_DatMps,
    &dp_DaSLeU, &dp_Bitmap, &dp_SizeTx, &dp_PicSiz,
};

int load_messages_dp(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(dp_table, group, code_page, write);
}

const char* get_file_kind_name(uint32_t kind)
{
    static const char* const names[] = {" - ", "TRF", "TYP", "TDB", "MMR", "MD2", " ??", "SRT", "IDX",
                                        "ISM", "QSI", "SID", "MPC", "MPS", "NT ", "JCV", " ? "};
    return kind < sizeof names / sizeof names[0] ? names[kind] : " ??";
}

namespace {

// Where the detail lines take their values from. The common header (u16
// length, "GARMIN xxx", two bytes, the 7-byte date at 0x0E) gives the dates
// of TYP, TRF, MDR and JCV. MD2 and IDX headers start differently (a u32
// length, and for IDX "ISM.IDX"), so their dates are taken right after that
// start. The names are taken from the first bytes after the date that no
// other field of the header claims: 0x15 for MMR (its map ID follows the
// 19 name bytes) and JCV, and for MD2 after its index-table fields (offset,
// length, record size), which end at 0x15.
// No corpus file holds an MMR, MD2, IDX or JCV header, so these places rest
// on the header layouts alone.
struct DataHeaderField {
    static constexpr uint32_t common_date = 0x0E;
    static constexpr uint32_t md2_date = 0x04;
    static constexpr uint32_t md2_name = 0x15;
    static constexpr uint32_t md2_name_length = 13;
    static constexpr uint32_t idx_date = 0x0B;
    static constexpr uint32_t mmr_name = 0x15;
    static constexpr uint32_t mmr_name_length = 19;
    static constexpr uint32_t mmr_map_id = 0x28;
    static constexpr uint32_t jcv_name = 0x15;
    static constexpr uint32_t jcv_name_length = 12;
    static constexpr uint32_t tdb_version = 7;
    static constexpr uint32_t tdb_first_text = 9;
    static constexpr uint32_t tdb_text_length = 200;
    static constexpr uint32_t gmp_version_major = 0x0C;
    static constexpr uint32_t gmp_version_minor = 0x0D;
    static constexpr uint32_t gmp_creator_length = 100;
};

// The TRE header of a signed map is longer than this and holds two non-zero
// u32 at 0xF1 and 0xF5.
constexpr uint32_t signed_tre_min_length = 249;
constexpr uint32_t signed_tre_fields[2] = {0xF1, 0xF5};
// Level records of the TRE levels section: zoom byte (bit 7: inherited), bits, u16 subdivisions.
constexpr uint32_t tre_level_size = 4;
// Texts after a TRE header, and MPS names, are shown up to this many bytes.
constexpr uint32_t text_run_limit = 198;
// DEM level record: west and north edges, signed, 2^32 units = 360 degrees.
constexpr uint32_t dem_level_west = 0x28;
constexpr uint32_t dem_level_north = 0x2C;
// An 'L' record holds its texts from offset 11 up to its last 8 bytes.
constexpr uint32_t l_record_texts = 11;
constexpr uint32_t l_record_tail = 8;

// Where the report goes: the log, or while append_info_report runs, the
// caller's text.
thread_local std::string* report_sink = nullptr;

void report_write(const char* format, ...) __attribute__((format(printf, 1, 2)));
void report_write(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    if (report_sink) {
        append_vformat(*report_sink, format, args);
    } else {
        std::string text;
        append_vformat(text, format, args);
        log_message("%s", text.c_str());
    }
    va_end(args);
}

// A row of the report, appended to piece by piece and written in one go.
class ReportText {
public:
    void add(const char* format, ...) __attribute__((format(printf, 2, 3)))
    {
        va_list args;
        va_start(args, format);
        append_vformat(text_, format, args);
        va_end(args);
    }
    void add_text(const std::string& text) { text_ += text; }
    void flush()
    {
        if (text_.empty())
            return;
        if (report_sink)
            *report_sink += text_;
        else
            log_message("%s", text_.c_str());
        text_.clear();
    }
    ~ReportText() { flush(); }

private:
    std::string text_;
};

// The bytes from offset up to the first NUL, at most limit of them, cut to the view.
std::string text_at(ByteView bytes, uint64_t offset, uint64_t limit)
{
    ByteView part = bytes.sub(offset, limit);
    const char* start = reinterpret_cast<const char*>(part.data());
    if (!start)
        return std::string();
    const void* nul = memchr(start, 0, part.size());
    size_t n = nul ? static_cast<size_t>(static_cast<const char*>(nul) - start) : part.size();
    return std::string(start, n);
}

// The text with its control characters (bytes below 32 and 127) replaced.
std::string without_controls(std::string text, char replacement)
{
    for (char& c : text)
        if (static_cast<uint8_t>(c) < 32 || c == 127)
            c = replacement;
    return text;
}

// A text of the file as printed: control characters shown as replacement,
// then converted from its code page to UTF-8.
std::string shown_text(const std::string& raw, uint32_t code_page, char replacement = '.')
{
    std::string text = without_controls(raw, replacement);
    return convert_cp_to_utf8(static_cast<int>(code_page), text.c_str());
}

// A FAT name of n bytes: meant to be ASCII, so anything else is shown as '?'.
std::string shown_fat_name(const char* name, size_t n)
{
    std::string text(name, n);
    for (char& c : text)
        if (static_cast<uint8_t>(c) < 32 || static_cast<uint8_t>(c) > 126)
            c = '?';
    return text;
}

// "dd.mm.yyyy hh:mm:ss" of a 7-byte date (u16 year, month, day, hour,
// minute, second). A year below 256 counts from 1900 with a 0-based month.
std::string header_date(ByteView bytes, uint64_t offset)
{
    unsigned year = bytes.u16(offset);
    unsigned month = bytes.u8(offset + 2);
    if (year < 256) {
        year += 1900;
        month += 1;
    }
    std::string text;
    append_format(text, "%02u.%02u.%04u %02u:%02u:%02u", unsigned(bytes.u8(offset + 3)), month, year,
                  unsigned(bytes.u8(offset + 4)), unsigned(bytes.u8(offset + 5)), unsigned(bytes.u8(offset + 6)));
    return text;
}

bool is_signed_tre(ByteView tre)
{
    return tre.u16(0) >= signed_tre_min_length && tre.u32(signed_tre_fields[0]) != 0 &&
           tre.u32(signed_tre_fields[1]) != 0;
}

bool is_transparent_tre(ByteView tre) { return (tre.u8(TreHeader::flags) & 0x02) != 0; }

// The NUL-terminated texts of an 'L' record (letter and length included),
// from offset 11 and all before its last 8 bytes; count says how many were found.
struct RecordTexts {
    std::string text[3];
    int count = 0;

    explicit RecordTexts(ByteView record)
    {
        if (record.size() < l_record_texts + l_record_tail)
            return;
        const char* bytes = reinterpret_cast<const char*>(record.data());
        int end = static_cast<int>(record.size() - l_record_tail);
        int at = static_cast<int>(l_record_texts);
        for (; count < 3; ++count) {
            int n = get_terminated_length(bytes, at, end);
            if (n < 0)
                break;
            text[count].assign(bytes + at, static_cast<size_t>(n));
            at += n + 1;
        }
    }
    // The i-th text, or "-" when it is missing (or, with dash_empty, empty).
    std::string shown(int i, uint32_t code_page, bool dash_empty) const
    {
        if (i >= count || (dash_empty && text[i].empty()))
            return "-";
        return shown_text(text[i], code_page);
    }
    // " >third" and, unless the first text is the same, " >first".
    void add_alternates(ReportText& out, uint32_t code_page, bool dash_empty) const
    {
        out.add("  >%s", shown(2, code_page, dash_empty).c_str());
        bool same = (count > 2) == (count > 0) && text[0] == text[2];
        if (!same)
            out.add("  >%s", shown(0, code_page, dash_empty).c_str());
    }
};

// ---------------------------------------------------------------- detail lines

void add_gmp_details(ReportText& out, const GmpInfo& gmp)
{
    ByteView g(gmp.header);
    uint32_t h = gmp.header_length;
    out.add("\n\tGMP:");
    static const struct {
        uint32_t field;
        const char* name;
    } parts[] = {{GmpHeader::tre, " TRE"}, {GmpHeader::rgn, " RGN"}, {GmpHeader::lbl, " LBL"},
                 {GmpHeader::net, " NET"}, {GmpHeader::nod, " NOD"}};
    for (const auto& part : parts)
        if (g.u32(part.field) != 0)
            out.add("%s", part.name);
    if (h > 48 && g.u32(GmpHeader::dem) != 0)
        out.add(" DEM");
    if (h > 52 && g.u32(GmpHeader::mar) != 0)
        out.add(" MAR");
    if (h > 56 && g.u32(GmpHeader::further) != 0)
        out.add(gmp.part_kind == 2 ? " MET(35)" : " O35");
    if (h > 60 && g.u32(GmpHeader::met) != 0)
        out.add(" MET");
    out.add("\n\tGMP: %s %s", dp_DateTx.text(), header_date(g, DataHeaderField::common_date).c_str());
}

// The creator text lies between the GMP header and its first part.
void add_gmp_creator(ReportText& out, const GmpInfo& gmp)
{
    ByteView g(gmp.header);
    uint32_t gap = std::min(gmp.tre_gap, DataHeaderField::gmp_creator_length);
    std::string creator = without_controls(text_at(g, gmp.header_length, gap), '.');
    unsigned major = g.u8(DataHeaderField::gmp_version_major);
    unsigned minor = g.u8(DataHeaderField::gmp_version_minor);
    if (creator.empty())
        out.add("\n\t%u.%u", major, minor);
    else
        out.add("\n\t%s %u.%u", creator.c_str(), major, minor);
}

// Where the texts after a TRE header end: at its first section. The header
// extent of a TRE subfile is that already; the sections of a GMP part count
// from the GMP's start, and usually lie after every part's header.
uint64_t tre_texts_end(const TreInfo& tre)
{
    ByteView t(tre.header);
    uint64_t end = std::min<uint64_t>(tre.header_extent, t.size());
    if (tre.gmp_part) {
        for (const SectionDescriptor& section : section_descriptors(SUB_TRE).first(tre_leading_sections)) {
            uint32_t offset = t.u32(section.offset);
            if (offset > tre.tre_offset)
                end = std::min<uint64_t>(end, offset - tre.tre_offset);
        }
    }
    return end;
}

void add_tre_details(ReportText& out, const TreInfo& tre, uint32_t code_page)
{
    ByteView t(tre.header);
    uint32_t h = t.u16(0);
    if (h > 119)
        out.add("\n\t%s %x (%u)", dp_MapTxt.text(), tre.map_id, tre.map_id);
    out.add(tre.gmp_part ? "\n\tTRE: %s %s" : "\n\t%s %s", dp_DateTx.text(),
            header_date(t, DataHeaderField::common_date).c_str());
    unsigned flags = t.u8(TreHeader::flags);
    out.add("\n\t%s %u, %s %u %u %u %u", dp_Priori.text(), unsigned(t.u8(TreHeader::draw_priority)),
            dp_Parame.text(), unsigned(t.u8(TreHeader::parameters)), unsigned(t.u8(TreHeader::parameters + 1)),
            unsigned(t.u8(TreHeader::parameters + 2)), flags);
    if (is_transparent_tre(t))
        out.add(", %s", dp_Transp.text());
    if (is_signed_tre(t))
        out.add(", %s", dp_Signed.text());

    ByteView levels(tre.levels.data(), std::min<size_t>(tre.levels_size, tre.levels.size()));
    uint32_t count = static_cast<uint32_t>(levels.size() / tre_level_size);
    out.add("\n\t%s [%u", dp_Levels.text(), unsigned(levels.u8(1)));
    for (uint32_t i = 1; i < count; ++i)
        out.add(",%u", unsigned(levels.u8(i * tre_level_size + 1)));
    out.add("], %s [%x", dp_ZoomTx.text(), unsigned(levels.u8(0)));
    for (uint32_t i = 1; i < count; ++i)
        out.add(",%x", unsigned(levels.u8(i * tre_level_size)));
    out.add("]");

    TreBounds b = read_tre_bounds(t);
    out.add("\n\tN: %3.6lf, S: %3.6lf, W: %3.6lf, E: %3.6lf", map_units_to_degrees(b.north),
            map_units_to_degrees(b.south), map_units_to_degrees(b.west), map_units_to_degrees(b.east));

    // The texts (copyright and the like) lie between the header and its
    // first section; each ends at a NUL or a line feed.
    uint64_t end = tre_texts_end(tre);
    for (uint64_t at = h; at < end;) {
        uint64_t n = 0;
        while (at + n < end && n < text_run_limit && t.u8(at + n) != 0 && t.u8(at + n) != '\n')
            ++n;
        if (n > 0) {
            std::string run(reinterpret_cast<const char*>(t.data()) + at, n);
            out.add("\n\t%s", shown_text(run, code_page).c_str());
        }
        at += n;
        if (at < end && (t.u8(at) == 0 || t.u8(at) == '\n'))
            ++at;
    }
}

void add_lbl_details(ReportText& out, const LblInfo& lbl)
{
    out.add("\n\t%s %4u", dp_CPText.text(), lbl.code_page);
    if (lbl.sort_length != 0)
        out.add(", %s", shown_text(lbl.sort_descriptor, lbl.code_page).c_str());
    // 0x188, 0x18C and 0x196 of a long LBL header.
    uint32_t bitmap_bytes = lbl.extra[1];
    uint32_t bitmap_size = lbl.extra[2];
    uint32_t size = lbl.extra[4];
    if (bitmap_bytes && bitmap_size && size)
        out.add("\n\t%s %u, %s %u (%u)", dp_Bitmap.text(), bitmap_bytes / bitmap_size, dp_SizeTx.text(), size,
                bitmap_size);
}

void add_dem_details(ReportText& out, const DemInfo& dem)
{
    ByteView d(dem.header);
    if (dem.level_count == 0 || d.u16(0) <= 47)
        return;
    ByteView level(dem.first_level_record);
    double unit = 360.0 / 4294967296.0;
    out.add("\n\t%s: %u, N: %3.6lf, W: %3.6lf", dp_DemLay.text(), dem.level_count,
            static_cast<int32_t>(level.u32(dem_level_north)) * unit,
            static_cast<int32_t>(level.u32(dem_level_west)) * unit);
}

void add_code_page_and_ids(ReportText& out, const HeaderInfo& info)
{
    out.add("\n\t%s %4u, %s %u, %s %u", dp_CPText.text(), info.code_page, dp_PidTxt.text(), info.product_id,
            dp_FidTxt.text(), info.family_id);
}

// The two texts of a TDB's first record, the version after the first.
void add_tdb_details(ReportText& out, const HeaderInfo& info, uint32_t code_page)
{
    ByteView d(info.header);
    add_code_page_and_ids(out, info);
    ByteView record = d.sub(0, uint64_t(d.u16(1)) + 3);
    uint32_t limit = DataHeaderField::tdb_text_length;
    uint64_t first_at = DataHeaderField::tdb_first_text;
    std::string first = text_at(record, first_at, limit);
    out.add("\n\t%s", shown_text(first, code_page).c_str());
    unsigned version = d.u16(DataHeaderField::tdb_version);
    if (version != 0)
        out.add(" (%u.%02u)", version / 100, version % 100);
    // The second text follows the first's NUL and a u16.
    uint64_t second_at = first_at + text_at(record, first_at, UINT32_MAX).size() + 1 + 2;
    std::string second = text_at(record, second_at, limit);
    if (strncasecmp(first.c_str(), second.c_str(), limit) != 0)
        out.add("\n\t%s", shown_text(second, code_page).c_str());
}

void add_data_header_details(ReportText& out, const HeaderInfo& info, uint32_t code_page)
{
    ByteView d(info.header);
    auto date = [&d](uint32_t offset) { return header_date(d, offset); };
    auto name = [&d, code_page](uint32_t offset, uint32_t length) {
        return shown_text(text_at(d, offset, length), code_page, ' ');
    };
    auto add_date_and_name = [&](uint32_t date_offset, uint32_t name_offset, uint32_t name_length) {
        out.add("\n\t%s %s", dp_DateTx.text(), date(date_offset).c_str());
        std::string text = name(name_offset, name_length);
        if (!text.empty())
            out.add("\n\t%s", text.c_str());
    };
    switch (info.kind) {
    case SUB_TYP:
        out.add("\n\t%s %s", dp_DateTx.text(), date(DataHeaderField::common_date).c_str());
        add_code_page_and_ids(out, info);
        break;
    case SUB_TDB:
        add_tdb_details(out, info, code_page);
        break;
    case SUB_TRF:
    case SUB_MDR:
        out.add("\n\t%s %s, %s %4u", dp_DateTx.text(), date(DataHeaderField::common_date).c_str(),
                dp_CPText.text(), info.code_page);
        break;
    case SUB_MMR: {
        uint32_t map_id = d.u32(DataHeaderField::mmr_map_id);
        if (map_id != 0)
            out.add("\n\t%s %x (%u)", dp_MapTxt.text(), map_id, map_id);
        std::string text = name(DataHeaderField::mmr_name, DataHeaderField::mmr_name_length);
        if (text.empty())
            out.add("\n\t%s %4u", dp_CPText.text(), info.code_page);
        else
            out.add("\n\t%s %4u, %s", dp_CPText.text(), info.code_page, text.c_str());
        break;
    }
    case SUB_MD2:
        add_date_and_name(DataHeaderField::md2_date, DataHeaderField::md2_name, DataHeaderField::md2_name_length);
        break;
    case SUB_IDX:
        out.add("\n\t%s %s", dp_DateTx.text(), date(DataHeaderField::idx_date).c_str());
        break;
    case SUB_QSI:
        out.add("\n\t%s %u", dp_FidTxt.text(), info.family_id);
        break;
    case SUB_JCV: {
        add_date_and_name(DataHeaderField::common_date, DataHeaderField::jcv_name, DataHeaderField::jcv_name_length);
        uint32_t width = info.jcv_values[0];
        uint32_t height = info.jcv_values[1];
        if (width && height)
            out.add("\n\t%s %u*%u", dp_PicSiz.text(), width, height);
        break;
    }
    default:
        break;
    }
}

// The subfile table shows the creator before the data header, a single
// file's data line after it.
enum class DetailOrder { subfile_table, data_line };

// TRE texts are converted from tre_code_page, all other texts from code_page.
void add_header_details(ReportText& out, const SubfileEntry& subfile, uint32_t code_page, uint32_t tre_code_page,
                        DetailOrder order)
{
    if (subfile.gmp_info)
        add_gmp_details(out, *subfile.gmp_info);
    if (subfile.tre_info)
        add_tre_details(out, *subfile.tre_info, tre_code_page);
    if (subfile.lbl_info)
        add_lbl_details(out, *subfile.lbl_info);
    if (subfile.dem_info)
        add_dem_details(out, *subfile.dem_info);
    if (order == DetailOrder::subfile_table && subfile.gmp_info)
        add_gmp_creator(out, *subfile.gmp_info);
    if (subfile.header_info)
        add_data_header_details(out, *subfile.header_info, code_page);
    if (order == DetailOrder::data_line && subfile.gmp_info)
        add_gmp_creator(out, *subfile.gmp_info);
}

// ---------------------------------------------------------------- report parts

void report_header(const InputFile& input)
{
    ByteView header(input.header_buffer.data(), std::min<size_t>(input.header_buffer.size(), ImgHeader::size));
    ReportText out;
    out.add("%-10s\t%s, %.6s, XOR %02X, V %u.%02u, Ms %u", dp_Header.text(),
            header_date(header, ImgHeader::date).c_str(),
            shown_fat_name(reinterpret_cast<const char*>(header.data()) + ImgHeader::signature,
                           ImgHeader::signature_length)
                .c_str(),
            input.xor_mask & 0xFF, unsigned(header.u8(ImgHeader::version_major)),
            unsigned(header.u8(ImgHeader::version_minor)), unsigned(header.u8(ImgHeader::mapsource_flag)));
    std::string product =
        unpack_product_code(std::span<const uint8_t, 9>(header.data() + ImgHeader::product_code, 9));
    if (!product.empty())
        out.add(", %s", product.c_str());
    out.add("\n");

    std::string name = text_at(header, ImgHeader::mapset_name_1, ImgHeader::mapset_name_1_length);
    if (name.size() == ImgHeader::mapset_name_1_length)
        name += text_at(header, ImgHeader::mapset_name_2, ImgHeader::mapset_name_2_length);
    while (!name.empty() && static_cast<uint8_t>(name.back()) <= 32)
        name.pop_back();
    out.add("%-10s\t%s\n", dp_Mapset.text(), shown_text(name, input.code_page).c_str());

    if (task_options.verbose) {
        out.add(dp_FXXXBU.text(), input.first_fat_offset, input.fat_offset, input.header_length, input.block_size);
        out.add(dp_MaUSFU.text(), input.map_count, input.subfile_count);
    }
}

int report_subfile_table(const InputFile& input)
{
    report_write("%s", dp_SuFiFL.text());
    const std::vector<SubfileIndexEntry>& rows = input.subfile_index.rows;
    for (size_t r = 0; r < rows.size(); ++r) {
        ReportText out;
        const SubfileEntry* subfile = rows[r].subfile;
        if (!subfile) {
            out.add(" ???          %6Xh\n", rows[r].first_entry_offset);
        } else {
            out.add(" %s %s %6Xh %9u", shown_fat_name(subfile->name, 8).c_str(),
                    shown_fat_name(subfile->name + 8, 3).c_str(), subfile->fat_entry_offset, subfile->length);
            if (subfile->flags)
                out.add(" ???");
            uint32_t code_page = subfile->map ? subfile->map->code_page : input.code_page;
            add_header_details(out, *subfile, code_page, code_page, DetailOrder::subfile_table);
            out.add("\n");
        }
        out.flush();
        if (r % 50 == 49 && poll_stop_request())
            return -1;
    }
    return poll_stop_request() ? -1 : 1;
}

void report_map(const InputFile& input, const MapEntry& map)
{
    ReportText out;
    out.add(" %s %s %9u%3u", shown_fat_name(map.name, 8).c_str(), get_file_kind_name(map.kind), map.length,
            map.subfile_count);
    if (map.header_unknown)
        out.add(" ???");

    ByteView record;
    if (map.mps_record)
        record = ByteView(input.mps_buffer).sub(map.mps_record->record_offset, map.mps_record->record_length);
    bool has_record = map.mps_record != nullptr;
    uint32_t pid = 0;
    uint32_t fid = 0;
    bool has_ids = false;
    if ((map.kind == FILE_TYP || map.kind == FILE_TDB || map.kind == FILE_MMR || map.kind == FILE_QSI) &&
        map.header_info) {
        pid = map.header_info->product_id;
        fid = map.header_info->family_id;
        has_ids = true;
    }
    if (pid == 0 && fid == 0 && record.size() > 6) {
        pid = record.u16(3);
        fid = record.u16(5);
        has_ids = true;
    }

    if (map.code_page)
        out.add("%6u", map.code_page);
    else if (map.tre_info || has_record || has_ids)
        out.add("      ");
    else
        return out.add("\n");

    if (map.tre_info) {
        ByteView tre(map.tre_info->header);
        out.add(" %3u  %c%c", unsigned(tre.u8(TreHeader::draw_priority)), is_transparent_tre(tre) ? 'T' : ' ',
                is_signed_tre(tre) ? 'S' : ' ');
    } else if (has_record || has_ids) {
        out.add("        ");
    } else {
        return out.add("\n");
    }

    if (!has_ids)
        return out.add("\n");
    out.add("%4u %5u", pid, fid);
    if (record.size() > 22) {
        RecordTexts texts(record);
        out.add("  %s", texts.shown(1, map.code_page, false).c_str());
        if (task_options.verbose)
            texts.add_alternates(out, map.code_page, true);
    }
    out.add("\n");
}

void report_data_line(const InputFile& input)
{
    const char* kind_name = get_file_kind_name(input.kind);
    if (input.kind == FILE_OTHER) {
        const char* subfile_name = get_subfile_kind_name(input.subfile_kind);
        if (strcmp(subfile_name, " - ") != 0)
            kind_name = subfile_name;
    }
    ReportText out;
    out.add(dp_DaSLeU.text(), kind_name, input.data_length);
    if (input.pid || input.fid)
        out.add(", %s %u, %s %u", dp_PidTxt.text(), input.pid, dp_FidTxt.text(), input.fid);
    out.add(", %s %s", dp_NameTx.text(), path_base_name(input.path.c_str()));
    if (task_options.verbose && input.subfile_kind != SUB_NONE) {
        const SubfileEntry& subfile = input.single_subfile;
        uint32_t code_page = input.code_page ? input.code_page : input.data_code_page;
        uint32_t tre_code_page = subfile.lbl_info ? subfile.lbl_info->code_page : 0;
        add_header_details(out, subfile, code_page, tre_code_page, DetailOrder::data_line);
    }
    out.add("\n");
}

// The name of an 'F' or 'V' record: n bytes from offset, at most 198, to its NUL.
std::string record_name(ByteView record, uint64_t offset, uint64_t n, uint32_t code_page)
{
    return shown_text(text_at(record, offset, std::min<uint64_t>(n, text_run_limit)), code_page);
}

// One MPS record; without verbose only named 'F' and 'V' records show.
void report_mps_record(const InputFile& input, const MpsRecordRef& ref)
{
    ByteView record = ByteView(input.mps_buffer).sub(ref.record_offset, ref.record_length);
    if (record.size() < 3)
        return;
    uint32_t u = static_cast<uint32_t>(record.size() - 3);
    uint32_t code_page = ref.code_page ? ref.code_page : input.code_page;
    bool verbose = task_options.verbose != 0;
    const char* len = dp_LenTxt.text();
    const char* pid = dp_PidTxt.text();
    const char* fid = dp_FidTxt.text();
    const char* map = dp_MapTxt.text();
    const char* levels = dp_Levels.text();
    ReportText out;
    switch (ref.letter) {
    case 'D':
        if (!verbose)
            break;
        if (u < 8)
            out.add(" D: %s %u\n", len, u + 3);
        else
            out.add(" D: %s [%u - %u], (%04X)\n", levels, unsigned(record.u8(7)), unsigned(record.u8(8)),
                    record.u32(3));
        break;
    case 'F':
        if (u > 4)
            out.add(" F: %s %u, %s %u, %s\n", pid, unsigned(record.u16(3)), fid, unsigned(record.u16(5)),
                    record_name(record, 7, u - 4, code_page).c_str());
        else if (!verbose)
            break;
        else if (u == 4)
            out.add(" F: %s %u, %s %u\n", pid, unsigned(record.u16(3)), fid, unsigned(record.u16(5)));
        else
            out.add(" F: %s %u\n", len, u + 3);
        break;
    case 'L':
        if (!verbose)
            break;
        if (u < 4) {
            out.add(" L: %s %u\n", len, u + 3);
            break;
        }
        out.add(" L: %s %u, %s %u", pid, unsigned(record.u16(3)), fid, unsigned(record.u16(5)));
        if (u > 18) {
            RecordTexts texts(record);
            out.add(", %s %X, (%u %X)", map, record.u32(u - 5), record.u32(7), record.u32(u - 1));
            out.add(",  %s", texts.shown(1, code_page, false).c_str());
            texts.add_alternates(out, code_page, false);
        }
        out.add("\n");
        break;
    case 'M':
        if (!verbose)
            break;
        if (u > 9)
            out.add(" M: %s %X, %s [%u - %u], (%04X)\n", map, record.u32(3), levels, unsigned(record.u8(11)),
                    unsigned(record.u8(12)), record.u32(7));
        else if (u < 4)
            out.add(" M: %s %u\n", len, u + 3);
        else
            out.add(" M: %s %X\n", map, record.u32(3));
        break;
    case 'P':
        if (!verbose)
            break;
        if (u < 4)
            out.add(" P: %s %u\n", len, u + 3);
        else if (u > 9)
            out.add(" P: %s %u, %s %u, (%X %X %X)\n", pid, unsigned(record.u16(3)), fid, unsigned(record.u16(5)),
                    unsigned(record.u16(7)), unsigned(record.u16(9)), unsigned(record.u16(11)));
        else
            out.add(" P: %s %u, %s %u\n", pid, unsigned(record.u16(3)), fid, unsigned(record.u16(5)));
        break;
    case 'V':
        if (u > 0) {
            std::string name = record_name(record, 3, u, code_page);
            // A name ended by its NUL is followed by the flag byte.
            if (record.u8(record.size() - 2) != 0)
                out.add(" V: %s\n", name.c_str());
            else
                out.add(" V: %s (%X)\n", name.c_str(), unsigned(record.u8(record.size() - 1)));
        } else if (verbose) {
            out.add(" V: %s %u\n", len, 3u);
        }
        break;
    default:
        if (verbose) {
            char letter = static_cast<char>(ref.letter);
            if (ref.letter < 32 || ref.letter > 126)
                letter = '.';
            out.add(" %c: %s %u\n", letter, len, u + 3);
        }
        break;
    }
}

}  // namespace

int print_info_report(const InputFile& input)
{
    if (poll_stop_request())
        return -1;
    report_write("\n\n");
    report_write(dp_FiSLeS.text(), input.path.c_str(), format_u64_decimal(input.file_size));
    if (input.status != READ_OK || input.damage_flags != 0)
        report_write(dp_FiFoEI.text(), static_cast<int>(input.status));

    if (input.header_length != 0 && input.header_buffer.size() >= ImgHeader::size) {
        report_header(input);
        if (poll_stop_request())
            return -1;
    }

    if (task_options.verbose && input.subfile_count != 0 && report_subfile_table(input) < 0)
        return -1;

    if (!input.maps.empty()) {
        report_write("%s", dp_MLSFCP.text());
        for (const MapEntry* map : input.maps)
            if (map)
                report_map(input, *map);
        if (poll_stop_request())
            return -1;
    }

    if (input.kind != FILE_IMG) {
        report_data_line(input);
        if (poll_stop_request())
            return -1;
    }

    if (!input.mps_buffer.empty()) {
        report_write("%s", dp_DatMps.text());
        for (const MpsRecordRef& ref : input.mps_records)
            report_mps_record(input, ref);
        if (poll_stop_request())
            return -1;
    }

    report_write("\n\n");
    return 1;
}

int append_info_report(const InputFile& input, std::string& text)
{
    std::string* previous = report_sink;
    report_sink = &text;
    int result = print_info_report(input);
    report_sink = previous;
    return result;
}
