// The read window: one buffer, kept from input to input, that holds the run
// of the file being read last taken in, so that one read serves the
// container's header+FAT area and one more the headers of a map's subfiles.
//
// Invariants: `holds` is only set while ReadWindowScope marks the file as
// being read and the bytes came from that file's read-only stream since it
// was opened; the bytes [0, length) are those of the file at
// [start, start + length) with the file's XOR undone (a mask of one byte
// repeated, so the XOR does not depend on where a piece starts).
#include "core/read_window.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "core/files.h"
#include "core/img_format.h"
#include "core/input_file.h"
#include "platform/platform.h"

namespace {

// A refill takes this much from where the wanted piece starts (less at the
// end of the file): one page, which holds the TRE header of a small map and
// the LBL header after it. More would serve a few more headers of larger
// maps, but every input would pay for copying it. (The first fill of an
// input, the reader's detection_size, is larger: it holds the header+FAT
// area of a map tile.)
constexpr uint32_t window_size = 4096;
// A longer piece is not read through the window, which would then keep a
// buffer that large for every later input.
constexpr uint32_t longest_piece = 65536;

struct Window {
    const InputFile* reading = nullptr;  // set by ReadWindowScope
    bool holds = false;                  // [start, start + length) may be served to `reading`
    uint64_t start = 0;
    uint32_t length = 0;                 // bytes of the last fill
    std::vector<uint8_t> bytes;
};

thread_local Window window;

bool uniform_mask(uint32_t mask) { return mask == (mask & 0xFFu) * 0x01010101u; }

bool serves(const InputFile& file)
{
    return window.reading == &file && file.stream && file.read_only && uniform_mask(file.xor_mask);
}

// The n bytes at position, from the window or read into it (with the XOR
// undone); null when they cannot be had.
const uint8_t* window_bytes(InputFile& file, uint64_t position, uint32_t n)
{
    if (window.holds && position >= window.start && position - window.start <= window.length &&
        n <= window.length - (position - window.start))
        return window.bytes.data() + (position - window.start);
    if (n > longest_piece || position >= file.file_size || file.file_size - position < n)
        return nullptr;
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(std::max(n, window_size), file.file_size - position));
    if (fill_read_window(file, position, take).size() != take || !window.holds)
        return nullptr;
    if (file.xor_mask)
        xor_buffer(window.bytes.data(), take, file.xor_mask);
    return window.bytes.data();
}

}  // namespace

ReadWindowScope::ReadWindowScope(const InputFile& file)
{
    window.reading = &file;
    window.holds = false;
}

ReadWindowScope::~ReadWindowScope()
{
    window.reading = nullptr;
    window.holds = false;
}

ByteView fill_read_window(InputFile& file, uint64_t position, uint32_t n)
{
    window.holds = false;
    window.length = 0;
    try {
        if (window.bytes.size() < n)
            window.bytes.resize(std::max(n, window_size));
    } catch (const std::bad_alloc&) {
        return ByteView();
    }
    if (n && !platform::read_at(file.stream, position, window.bytes.data(), n))
        return ByteView();
    window.start = position;
    window.length = n;
    window.holds = window.reading == &file && file.read_only;
    return ByteView(window.bytes.data(), n);
}

ByteView unmask_read_window(InputFile& file)
{
    if (file.xor_mask)
        xor_buffer(window.bytes.data(), window.length, file.xor_mask);
    return ByteView(window.bytes.data(), window.length);
}

bool read_subfile_through_window(InputFile& file, uint32_t slot, uint32_t offset, void* buffer, uint32_t n)
{
    if (!serves(file) || file.block_size == 0 || slot >= file.fat_entry_count || slot >= file.fat_slots.size())
        return false;
    ByteView fat(file.header_buffer);
    uint32_t entry = file.fat_slots[slot].entry_offset;
    if (!fat.contains(entry, FatEntry::size) || uint64_t(offset) + n > fat.u32(uint64_t(entry) + FatEntry::subfile_size))
        return false;
    // Kept from read to read, as the window itself.
    static std::vector<BlockRun> runs;
    if (!map_subfile_runs(file, slot, offset, n, false, nullptr, runs))
        return false;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    for (const BlockRun& run : runs) {
        const uint8_t* bytes = window_bytes(file, run.position, run.count);
        if (!bytes)
            return false;
        memcpy(out + run.done, bytes, run.count);
    }
    return true;
}

bool read_file_through_window(InputFile& file, uint64_t position, void* buffer, uint32_t n)
{
    if (!serves(file))
        return false;
    if (n == 0)
        return true;
    const uint8_t* bytes = window_bytes(file, position, n);
    if (!bytes)
        return false;
    memcpy(buffer, bytes, n);
    return true;
}

void release_read_window(const InputFile& file)
{
    if (window.reading == &file)
        window.holds = false;
}
