// Subfile header knowledge: section tables, measures, known lengths, traces.
//
// A header continues after its common start with section descriptors at
// fixed offsets: a u32 section offset then a u32 section length. A section is
// present when the header is long enough to hold its descriptor and its
// offset is not 0. The GMP packing moves the offsets of the same table.
// Before it rebases a map's headers it must be sure it knows every one of
// them, hence the known-length check.
#include "core/header_knowledge.h"

#include <algorithm>
#include <vector>

#include "core/files.h"
#include "core/host.h"
#include "core/subfile_headers.h"

MessageText nt_UnSHeF{"nt_UnSHeF", "Unknown %s header format.\n", "Nieznany format nagłówka %s.\n"};

static MessageText* const nt_table[] = {&nt_UnSHeF};

int load_messages_nt(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(nt_table, group, code_page, write);
}

namespace {

constexpr SectionDescriptor tre_sections[] = {{0x21, 41}, {0x29, 49},  {0x31, 59},  {0x4A, 84},  {0x58, 98},
                                              {0x66, 112}, {0x7C, 134}, {0x8A, 148}, {0xAE, 184}, {0xBC, 198}};
constexpr SectionDescriptor lbl_sections[] = {
    {0x15, 29},   {0x1F, 41},   {0x2D, 55},   {0x3B, 69},   {0x49, 83},   {0x57, 95},   {0x64, 110},
    {0x72, 124},  {0x80, 138},  {0x8E, 152},  {0x9C, 166},  {0xB0, 184},  {0xB8, 194},  {0xC4, 206},
    {0xD0, 216},  {0xDE, 230},  {0xEC, 244},  {0xFA, 258},  {0x108, 272}, {0x116, 286}, {0x124, 300},
    {0x132, 314}, {0x140, 328}, {0x14E, 342}, {0x15A, 354}, {0x168, 368}, {0x176, 382}, {0x184, 398},
    {0x192, 410}, {0x19A, 418}, {0x1A6, 430}, {0x1B2, 442}, {0x1BE, 454}, {0x1CA, 466}, {0x1D8, 480},
    {0x1E6, 494}};
constexpr SectionDescriptor rgn_sections[] = {{0x15, 29}, {0x1D, 37}, {0x39, 65}, {0x55, 93}, {0x71, 121}};
constexpr SectionDescriptor net_sections[] = {{0x15, 29}, {0x1E, 38}, {0x27, 49},
                                              {0x43, 75}, {0x4C, 84}, {0x56, 94}};
constexpr SectionDescriptor nod_sections[] = {{0x15, 29}, {0x25, 45}, {0x31, 57}, {0x3F, 71}};

}  // namespace

std::span<const SectionDescriptor> section_descriptors(SubfileKind kind)
{
    switch (kind) {
    case SUB_TRE: return tre_sections;
    case SUB_LBL: return lbl_sections;
    case SUB_RGN: return rgn_sections;
    case SUB_NET: return net_sections;
    case SUB_NOD: return nod_sections;
    default: return {};
    }
}

namespace {

struct Measures {
    uint64_t sum = 0;
    uint64_t extent = 0;
    uint64_t lowest = 0;
};

// All three measures in one walk, in 64 bits: offsets and lengths come from
// the file and may add up past 32 bits.
Measures measure_sections(SubfileKind kind, ByteView header)
{
    uint32_t h = header.u16(0);
    std::span<const SectionDescriptor> table = section_descriptors(kind);
    Measures m{0, h, h};
    if (table.empty() || h < table[0].min_length)
        return m;
    bool any = false;
    uint64_t extent = 0;
    uint64_t lowest = UINT64_MAX;
    for (const HeaderSection& section : present_sections(kind, header)) {
        uint64_t offset = section.offset;
        uint64_t length = section.length;
        any = true;
        m.sum += length;
        extent = std::max(extent, offset + length);
        lowest = std::min(lowest, offset);
    }
    if (kind == SUB_NOD && h >= nod_sections[3].min_length) {
        // The gap between the third section and the fourth belongs to the
        // NOD data too.
        uint32_t third = nod_sections[2].offset, fourth = nod_sections[3].offset;
        uint64_t o3 = header.u32(third), l3 = header.u32(third + 4), o4 = header.u32(fourth);
        if (o4 != 0 && l3 != 0 && o3 < o4 && l3 < o4 - o3)
            m.sum += o4 - o3 - l3;
    }
    if (any) {
        m.extent = extent;
        m.lowest = lowest;
    }
    return m;
}

}  // namespace

std::vector<HeaderSection> present_sections(SubfileKind kind, ByteView header)
{
    std::vector<HeaderSection> sections;
    uint32_t h = header.u16(0);
    for (const SectionDescriptor& d : section_descriptors(kind)) {
        if (h < d.min_length)
            break;
        uint32_t offset = header.u32(d.offset);
        if (offset != 0)
            sections.push_back({d.offset, offset, header.u32(d.offset + 4)});
    }
    return sections;
}

namespace {

uint32_t saturate(uint64_t value) { return value > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(value); }

}  // namespace

uint32_t section_length_sum(SubfileKind kind, ByteView header) { return saturate(measure_sections(kind, header).sum); }

uint32_t section_extent(SubfileKind kind, ByteView header) { return saturate(measure_sections(kind, header).extent); }

uint32_t lowest_section_offset(SubfileKind kind, ByteView header)
{
    return saturate(measure_sections(kind, header).lowest);
}

// ---------------------------------------------------------------- known lengths

// The header length a kind's header must stay below; 0 for kinds not checked.
static uint32_t known_length_limit(SubfileKind kind)
{
    switch (kind) {
    case SUB_DEM: return 42;
    case SUB_LBL: return 499;
    case SUB_NET: return 101;
    case SUB_NOD: return 128;
    case SUB_RGN: return 126;
    case SUB_TRE: return 290;
    default: return 0;
    }
}

int check_known_header_length(InputFile& input, const SubfileEntry& subfile)
{
    uint32_t limit = known_length_limit(subfile.kind);
    if (limit == 0)
        return 1;
    uint32_t n = std::min<uint32_t>(subfile.length, 512);
    std::vector<uint8_t> image(n);
    if (!read_subfile_data(input, subfile.fat_slot, 0, image.data(), n))
        return 0;
    ByteView header(image);
    uint32_t h = header.u16(0);
    int known = h < limit;
    if (n < h)
        return known;

    const char* name = get_subfile_kind_name(subfile.kind);
    int64_t length = subfile.length;
    if (subfile.kind == SUB_DEM) {
        uint64_t e = 0;
        uint64_t d = h;
        if (h > 32) {
            e = uint64_t(header.u16(DemHeader::level_count)) * header.u16(DemHeader::record_size);
            d = h + e;
        }
        if (h > 36)
            e += header.u32(DemHeader::records_offset);
        debug_message(DBG_NT, "%s dlug %u, zakr %u, diff %i (dlen %u, xlen %u)\n", name, subfile.length, saturate(e),
                      static_cast<int>(length - static_cast<int64_t>(d)), saturate(d), 0u);
        return known;
    }
    Measures m = measure_sections(subfile.kind, header);
    uint64_t counted = h + m.sum;
    int64_t x = 0;
    if (subfile.kind == SUB_RGN || subfile.kind == SUB_TRE)
        x = static_cast<int64_t>(header.u32(subfile.kind == SUB_RGN ? rgn_sections[0].offset : tre_sections[2].offset)) - h;
    debug_message(DBG_NT, "%s dlug %u, zakr %u, diff %i (dlen %u, xlen %u)\n", name, subfile.length,
                  saturate(m.extent), static_cast<int>(length - static_cast<int64_t>(counted) - x), saturate(counted),
                  static_cast<uint32_t>(x));
    return known;
}

// ---------------------------------------------------------------- traces

// Reads the first min(length, limit) bytes of a subfile of the given kind
// into image; false when it is of another kind or the read fails (failed
// set then).
static bool read_traced_header(InputFile& input, const SubfileEntry* subfile, SubfileKind kind, uint32_t limit,
                               std::vector<uint8_t>& image, bool& failed)
{
    failed = false;
    if (header_subfile_kind(input, subfile) != kind)
        return false;
    image.assign(std::min(header_subfile_length(input, subfile), limit), 0);
    if (!read_header_bytes(input, subfile, 0, image.data(), static_cast<uint32_t>(image.size()))) {
        failed = true;
        return false;
    }
    return true;
}

int dump_gmp_header(InputFile& input, const SubfileEntry* subfile)
{
    if (!debug_category_enabled(DBG_NT) || header_subfile_kind(input, subfile) != SUB_GMP ||
        header_subfile_length(input, subfile) < 61)
        return 1;
    std::vector<uint8_t> image;
    bool failed = false;
    if (!read_traced_header(input, subfile, SUB_GMP, 8192, image, failed))
        return failed ? 0 : 1;
    ByteView gmp(image);
    uint32_t gmp_length = gmp.u16(0);

    static const struct {
        const char* label;
        const char* total;
        uint32_t field;
        SubfileKind kind;
    } parts[] = {
        {"GMP-TRE", ", TRE %u", GmpHeader::tre, SUB_TRE},       {"GMP-RGN", ", RGN %u", GmpHeader::rgn, SUB_RGN},
        {"GMP-LBL", ", LBL %u", GmpHeader::lbl, SUB_LBL},       {"GMP-NET", ", NET %u", GmpHeader::net, SUB_NET},
        {"GMP-NOD", ", NOD %u", GmpHeader::nod, SUB_NOD},       {"GMP-DEM", ", DEM %u", GmpHeader::dem, SUB_DEM},
        {"GMP-MAR", ", MAR %u", GmpHeader::mar, SUB_OTHER},     {"GMP-MET", ", Met %u", GmpHeader::further, SUB_OTHER},
        {"GMP-MET", ", MET %u", GmpHeader::met, SUB_OTHER},
    };
    constexpr size_t part_count = sizeof parts / sizeof parts[0];
    uint64_t offsets[part_count] = {};
    for (size_t i = 0; i < part_count; ++i)
        if (gmp_length >= parts[i].field + 4)
            offsets[i] = gmp.u32(parts[i].field);

    uint64_t totals[part_count] = {};
    uint64_t accounted = gmp_length;
    for (size_t i = 0; i < part_count; ++i) {
        uint64_t p = offsets[i];
        if (p == 0 || !gmp.contains(p, 22) || !gmp.contains(p, gmp.u16(p)))
            continue;
        uint32_t h = gmp.u16(p);
        ByteView header = gmp.sub(p, h);
        const char* line = "%s dlug %u, max %x, min %x, zakr %u\n";
        if (parts[i].kind == SUB_DEM) {
            uint64_t records = h > 36 ? header.u32(DemHeader::records_offset) : 0;
            uint64_t size = uint64_t(header.u16(DemHeader::level_count)) * header.u16(DemHeader::record_size);
            debug_message(DBG_NT, line, parts[i].label, saturate(size), saturate(records + size), saturate(records),
                          saturate(size));
            debug_message(DBG_NT, "GMP-DEM-EXT offs1 %X, offs2 %X\n", gmp.u32(records + DemHeader::record_first),
                          gmp.u32(records + DemHeader::record_second));
            totals[i] = h + size;
        } else if (parts[i].kind == SUB_OTHER) {
            debug_message(DBG_NT, line, parts[i].label, 0u, h, h, 0u);
            totals[i] = h;
        } else {
            Measures m = measure_sections(parts[i].kind, header);
            debug_message(DBG_NT, line, parts[i].label, saturate(m.sum), saturate(m.extent), saturate(m.lowest),
                          saturate(m.extent - std::min(m.extent, m.lowest)));
            totals[i] = h + m.sum;
        }
        if (parts[i].kind == SUB_RGN) {
            // An RGN extension header sits between the RGN header and the
            // next part's header; its one section descriptor is at 2.
            uint64_t next = UINT64_MAX;
            for (uint64_t o : offsets)
                if (o > p)
                    next = std::min(next, o);
            uint64_t q = p + h;
            uint32_t ext = gmp.u16(q);
            if (q < next && ext >= 10 && ext <= 14 && gmp.contains(q, ext)) {
                uint64_t o = gmp.u32(q + 2), l = gmp.u32(q + 6);
                debug_message(DBG_NT, "GMP-RGN-EX dlug %u, max %x, min %x, zakr %u\n", saturate(l),
                              saturate(o + l), saturate(o), saturate(l));
                totals[i] += ext + l;
            }
        }
        accounted += totals[i];
    }
    debug_message(DBG_NT, "GMP %u/%u", saturate(accounted), header_subfile_length(input, subfile));
    for (size_t i = 0; i < part_count; ++i)
        if (totals[i])
            debug_message(DBG_NT, parts[i].total, saturate(totals[i]));
    debug_message(DBG_NT, "\n");
    return 1;
}

// MDR section descriptors (header offsets), numbered from 1; the numbers in
// mdr_without_record_size carry no record size.
static const uint16_t mdr_descriptors[43] = {29,  43,  57,  71,  85,  99,  113, 127, 141, 155, 167,
                                             181, 195, 209, 223, 232, 246, 258, 272, 286, 300, 314,
                                             328, 342, 356, 370, 384, 398, 412, 426, 440, 448, 462,
                                             470, 484, 498, 512, 526, 540, 554, 568, 584, 600};
static bool mdr_has_record_size(uint32_t number)
{
    static const uint8_t without[] = {10, 12, 13, 14, 15, 17, 26, 27, 31, 32, 33};
    return std::find(std::begin(without), std::end(without), number) == std::end(without);
}

int dump_mdr_header(InputFile& input, const SubfileEntry* subfile)
{
    if (!debug_category_enabled(DBG_MDR) || header_subfile_kind(input, subfile) != SUB_MDR)
        return 1;
    uint32_t length = header_subfile_length(input, subfile);
    if (length <= 20) {
        debug_message(DBG_MDR, "\nMDR file size %u\n", length);
        return 1;
    }
    static constexpr uint32_t mdr_struct_size = 708;
    std::vector<uint8_t> image;
    bool failed = false;
    if (!read_traced_header(input, subfile, SUB_MDR, mdr_struct_size, image, failed))
        return failed ? 0 : 1;
    ByteView mdr(image);
    uint32_t h = mdr.u16(0);
    debug_message(DBG_MDR, "\nMDR header len %u (struct %u)\n", h, mdr_struct_size);
    for (uint32_t i = 0; i < 43; ++i) {
        uint32_t number = i + 1;
        uint32_t at = mdr_descriptors[i];
        bool sized = mdr_has_record_size(number);
        if (h < at + (sized ? 10u : 8u))
            break;
        uint32_t offset = mdr.u32(at);
        uint32_t size = mdr.u32(at + 4);
        uint32_t end = saturate(uint64_t(offset) + size);
        if (sized) {
            uint32_t record = mdr.u16(at + 8);
            if (size == 0) {
                debug_message(DBG_MDR, "M%03u %3X  -\n", number, at);
                continue;
            }
            debug_message(DBG_MDR, "M%03u %3X  %8X %8X, %9u, %3u", number, at, offset, end, size, record);
            if (record)
                debug_message(DBG_MDR, " (%u + %u)", size / record, size % record);
            debug_message(DBG_MDR, "\n");
        } else if (size == 0) {
            debug_message(DBG_MDR, "M%03u %3X  %8X -\n", number, at, offset);
        } else {
            debug_message(DBG_MDR, "M%03u %3X  %8X %8X, %9u\n", number, at, offset, end, size);
        }
    }
    return 1;
}
