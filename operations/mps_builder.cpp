// MPS builder.
//
// Records are appended to the writer's mps_buffer, which grows with them:
// the size plan only estimates the MPS (it knows nothing of the 'L' records
// of lone TRE and GMP inputs, for one), so no append is checked against it.
#include "operations/mps_builder.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "core/byte_view.h"
#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"
#include "core/map_list.h"
#include "core/task_options.h"

std::string input_mapset_name(const InputFile& input)
{
    ByteView header(input.header_buffer);
    std::string name;
    for (uint32_t i = 0; i < ImgHeader::mapset_name_1_length; ++i)
        name += static_cast<char>(header.u8(ImgHeader::mapset_name_1 + i));
    for (uint32_t i = 0; i < ImgHeader::mapset_name_2_length; ++i)
        name += static_cast<char>(header.u8(ImgHeader::mapset_name_2 + i));
    // As a text the name ends at its first NUL.
    name.resize(strnlen(name.c_str(), name.size()));
    while (!name.empty() && static_cast<uint8_t>(name.back()) <= 0x20)
        name.pop_back();
    return name;
}

std::string writer_mapset_name(const ImgWriter& writer)
{
    std::string name = writer.mapset_name.substr(0, max_mapset_name);
    name.resize(strnlen(name.c_str(), name.size()));
    return name;
}

void append_mps_bytes(ImgWriter& writer, const uint8_t* bytes, size_t n)
{
    writer.mps_buffer.insert(writer.mps_buffer.end(), bytes, bytes + n);
}

void append_mps_record(ImgWriter& writer, char letter, const std::string& payload)
{
    size_t n = std::min<size_t>(payload.size(), UINT16_MAX);
    uint8_t head[3] = {static_cast<uint8_t>(letter), static_cast<uint8_t>(n), static_cast<uint8_t>(n >> 8)};
    append_mps_bytes(writer, head, 3);
    append_mps_bytes(writer, reinterpret_cast<const uint8_t*>(payload.data()), n);
}

static void add_u16(std::string& out, uint32_t v)
{
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8 & 0xFF);
}

static void add_u32(std::string& out, uint32_t v)
{
    add_u16(out, v & 0xFFFF);
    add_u16(out, v >> 16);
}

static void add_text(std::string& out, const std::string& text)
{
    out += text;
    out += '\0';
}

void append_l_record(ImgWriter& writer, uint16_t product_id, uint16_t family_id, uint32_t map_number,
                     const std::string& text_b)
{
    std::string mapset = writer_mapset_name(writer);
    std::string payload;
    add_u16(payload, product_id);
    add_u16(payload, family_id);
    add_u32(payload, map_number);
    add_text(payload, mapset);
    add_text(payload, text_b);
    add_text(payload, mapset);
    add_u32(payload, map_number);
    add_u32(payload, 0);
    append_mps_record(writer, 'L', payload);
}

int copy_mps_records(const InputFile& input, ImgWriter& writer, int include, const char* letters)
{
    for (const MpsRecordRef& ref : input.mps_records) {
        bool listed = ref.letter != 0 && strchr(letters, ref.letter) != nullptr;
        bool take = include ? listed : ref.letter != 0 && !listed;
        if (!take)
            continue;
        ByteView record = mps_record_bytes(input, ref);
        append_mps_bytes(writer, record.data(), record.size());
    }
    return 1;
}

int compare_mps_fid_pid(ByteView a, ByteView b)
{
    uint16_t fa = a.u16(5), fb = b.u16(5);
    if (fa != fb)
        return fa < fb ? -1 : 1;
    uint16_t pa = a.u16(3), pb = b.u16(3);
    if (pa != pb)
        return pa < pb ? -1 : 1;
    return 0;
}

namespace {

// A whole record of the buffer.
struct RecordSpan {
    size_t offset;
    size_t length;
};

// Marks every record of the list whose IDs equal those of an earlier one
// in ID order; the first of each group stays (a stable sort keeps the
// buffer's order among equals). Returns how many were marked.
int mark_repeated(const std::vector<uint8_t>& buffer, std::vector<RecordSpan>& records,
                  std::vector<bool>& deleted_at)
{
    if (records.size() < 2)
        return 0;
    auto view = [&](const RecordSpan& r) { return ByteView(buffer.data() + r.offset, r.length); };
    std::stable_sort(records.begin(), records.end(), [&](const RecordSpan& a, const RecordSpan& b) {
        return compare_mps_fid_pid(view(a), view(b)) < 0;
    });
    int marked = 0;
    for (size_t i = 1; i < records.size(); ++i) {
        if (compare_mps_fid_pid(view(records[i - 1]), view(records[i])) == 0) {
            deleted_at[records[i].offset] = true;
            ++marked;
        }
    }
    return marked;
}

}  // namespace

int korekcja_mps(ImgWriter& writer)
{
    std::vector<uint8_t>& buffer = writer.mps_buffer;
    size_t length = buffer.size();
    if (length < 4)
        return 1;
    ByteView mps(buffer);
    std::vector<RecordSpan> f_records, p_records;
    size_t offset = 0;
    for (; offset + 3 < length; offset += 3 + size_t(mps.u16(offset + 1))) {
        size_t record_length = 3 + size_t(mps.u16(offset + 1));
        // Only whole records take part: a cut last one is carried as it is.
        if (offset + record_length > length)
            continue;
        if (buffer[offset] == 'F')
            f_records.push_back({offset, record_length});
        else if (buffer[offset] == 'P')
            p_records.push_back({offset, record_length});
    }
    if (offset != length)
        debug_message(DBG_JOIN, "koryguj_mps: niezgodna dlugosc bloku mln %u, p%u\n", static_cast<uint32_t>(length),
                      static_cast<uint32_t>(offset));
    if (f_records.size() < 2 && p_records.size() < 2)
        return 1;
    try {
        std::vector<bool> deleted_at(length, false);
        int f_marked = mark_repeated(buffer, f_records, deleted_at);
        if (f_records.size() >= 2)
            debug_message(DBG_JOIN, "korekcja_mps: powielone rekordy F %i\n", f_marked);
        int p_marked = mark_repeated(buffer, p_records, deleted_at);
        if (p_records.size() >= 2)
            debug_message(DBG_JOIN, "korekcja_mps: powielone rekordy P %i\n", p_marked);
        if (f_marked + p_marked == 0)
            return 1;
        std::vector<uint8_t> kept;
        kept.reserve(length);
        size_t at = 0;
        while (at + 3 < length) {
            size_t next = std::min(length, at + 3 + size_t(mps.u16(at + 1)));
            if (!deleted_at[at])
                kept.insert(kept.end(), buffer.begin() + at, buffer.begin() + next);
            at = next;
        }
        kept.insert(kept.end(), buffer.begin() + at, buffer.end());
        buffer.swap(kept);
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
        return 0;
    }
    return 1;
}

int assemble_join_mps(const InputList& inputs, ImgWriter& writer, int& marine)
{
    std::string name = writer_mapset_name(writer);
    std::string v_payload = name;
    v_payload += '\0';
    v_payload += '\0';
    append_mps_record(writer, 'V', v_payload);
    uint32_t family_id = task_options.family_id, product_id = task_options.product_id;
    if (family_id || product_id) {
        std::string p_payload;
        add_u16(p_payload, product_id);
        add_u16(p_payload, family_id);
        p_payload.append(6, '\0');
        append_mps_record(writer, 'P', p_payload);
        debug_message(DBG_JOIN, "zakoncz_plik: rekord P %u %u\n", product_id, family_id);
        std::string f_payload;
        add_u16(f_payload, product_id);
        add_u16(f_payload, family_id);
        add_text(f_payload, name);
        append_mps_record(writer, 'F', f_payload);
        debug_message(DBG_JOIN, "zakoncz_plik: rekord F %u %u\n", product_id, family_id);
    }
    log_message(dd_WrDaMa.text());
    marine = 0;
    for (const auto& input : inputs) {
        if (input->is_marine)
            marine = 1;
        copy_mps_records(*input, writer, 1, "F");
    }
    for (const auto& input : inputs)
        copy_mps_records(*input, writer, 0, "VLF");
    return korekcja_mps(writer);
}
