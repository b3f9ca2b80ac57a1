// File primitives: counted memory, the file messages, opening inputs and
// creating outputs, transfers through a
// subfile's FAT block list with the file's XOR, an output's gathered bytes,
// positioned transfers, filler bytes, current time, small text and number
// helpers, coordinate clamps and the release of inputs. Everything runs on
// the task's thread.
//
// The block walk trusts nothing of the FAT: a row outside the FAT, a block
// number 0xFFFF or at or past the end of the file are refused before any byte
// moves, and a write never lands in the header+FAT area. The caller's buffer
// is never XOR-ed in place; the XOR goes through a copy of exactly the bytes
// moved.
#include "core/files.h"

#include <sys/types.h>

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "core/host.h"
#include "platform/platform.h"
#include "core/img_format.h"
#include "core/read_window.h"
#include "core/task_options.h"

MessageText fn_OuOfMe{"fn_OuOfMe", "Out of memory.\n", "Brak pamięci.\n"};
MessageText fn_WrErFS{"fn_WrErFS", "Write error, file %s.\n", "Błąd zapisu pliku %s.\n"};
// The system's reason tells a full disk from a lost drive or a missing right.
MessageText fn_WrErFR{"fn_WrErFR", "Write error, file %s (%s).\n", "Błąd zapisu pliku %s (%s).\n"};
MessageText fn_ReErFS{"fn_ReErFS", "Read error, file %s.\n", "Błąd odczytu pliku %s.\n"};
MessageText fn_SeErFS{"fn_SeErFS", "Seek error, file %s.\n", "Błąd pozycjonowania w pliku %s.\n"};
MessageText fn_OpErFS{"fn_OpErFS", "Open error, file %s.\n", "Błąd otwarcia pliku %s.\n"};
// A missing file, a missing right and a FIFO given as a map each say so.
MessageText fn_OpErFR{"fn_OpErFR", "Open error, file %s (%s).\n", "Błąd otwarcia pliku %s (%s).\n"};
MessageText fn_NoReFi{"fn_NoReFi", "not a regular file", "to nie jest zwykły plik"};
MessageText fn_OFAEFS{"fn_OFAEFS", "Output file already exist, file %s.\n", "Plik wyjściowy już istnieje, plik %s.\n"};
MessageText fn_COFEFS{"fn_COFEFS", "Create output file error, file %s.\n", "Błąd tworzenia pliku wyjściowego %s.\n"};
// A read-only file system and a missing folder call for different remedies.
MessageText fn_COFEFR{"fn_COFEFR", "Create output file error, file %s (%s).\n",
                      "Błąd tworzenia pliku wyjściowego %s (%s).\n"};
// Said once, before any output is tried, instead of once for each output.
MessageText fn_ODCBUS{"fn_ODCBUS", "Output directory %s cannot be used (%s).\n",
                      "Nie można użyć katalogu wyjściowego %s (%s).\n"};
MessageText fn_OFNWFS{"fn_OFNWFS", "Output file %s was not written.\n", "Plik wyjściowy %s nie został zapisany.\n"};
MessageText fn_ReSEFS{"fn_ReSEFS", "Read structure error, file %s.\n", "Błąd struktury przy odczycie pliku %s.\n"};
MessageText fn_WrSEFS{"fn_WrSEFS", "Write structure error, file %s.\n", "Błąd struktury przy zapisie pliku %s.\n"};

static MessageText* const fn_table[] = {&fn_OuOfMe, &fn_WrErFS, &fn_ReErFS, &fn_SeErFS, &fn_OpErFS,
                                        &fn_OFAEFS, &fn_COFEFS, &fn_OFNWFS, &fn_ReSEFS, &fn_WrSEFS,
                                        &fn_WrErFR, &fn_OpErFR, &fn_NoReFi, &fn_COFEFR, &fn_ODCBUS};

int load_messages_fn(LanguageGroup* group, int code_page, int write)
{
    return load_message_table(fn_table, group, code_page, write);
}

// ---------------------------------------------------------------- memory

uint32_t allocation_count = 0;
uint32_t free_count = 0;

void* allocate_memory(int size)
{
    void* block = size >= 0 ? malloc(static_cast<size_t>(size)) : nullptr;
    if (!block) {
        log_message(fn_OuOfMe.text());
        return nullptr;
    }
    ++allocation_count;
    return block;
}

void free_memory(void* block)
{
    if (!block)
        return;
    free(block);
    ++free_count;
}

int reserve_bytes(std::vector<uint8_t>& buffer, size_t n) { return resize_rows(buffer, n); }

// ---------------------------------------------------------------- messages

void report_write_error(const char* name, int error)
{
    if (error)
        log_message(fn_WrErFR.text(), name, platform::error_text(error).c_str());
    else
        log_message(fn_WrErFS.text(), name);
}
void report_read_error(const char* name) { log_message(fn_ReErFS.text(), name); }
void report_seek_error(const char* name) { log_message(fn_SeErFS.text(), name); }
void report_open_error(const char* name, int error)
{
    if (error)
        log_message(fn_OpErFR.text(), name, file_error_reason(error).c_str());
    else
        log_message(fn_OpErFS.text(), name);
}

void report_create_error(const char* path, int error)
{
    if (error)
        log_message(fn_COFEFR.text(), path, file_error_reason(error).c_str());
    else
        log_message(fn_COFEFS.text(), path);
}

std::string file_error_reason(int error)
{
    // The opener's refusal of a FIFO, device or socket; the system's own
    // text for it ("No such device") would mislead.
    if (error == ENODEV)
        return fn_NoReFi.text();
    return platform::error_text(error);
}

// ---------------------------------------------------------------- opening and creating

int open_input_file(InputFile& input, const char* mode)
{
    release_read_window(input);
    input.read_only = mode[0] == 'r' && !strchr(mode, '+');
    input.stream = open_file(input.path.c_str(), mode);
    if (!input.stream) {
        report_open_error(input.path.c_str());
        return 0;
    }
    return 1;
}

void close_input_file(InputFile& input)
{
    // Cleared so that a second close, or a transfer after it, cannot touch a
    // stream that no longer exists.
    if (input.stream)
        fclose(input.stream);
    input.stream = nullptr;
    release_read_window(input);
}

int check_file_exists(const char* path) { return check_file_access(path, 0) == 0; }

// Outputs being written: each lives under a temporary name until
// finish_output_file moves it to its own name, so a file of that name from
// before survives a failed, stopped or killed run.
namespace {
struct PendingOutput {
    FILE* stream;
    std::string temporary;
    std::string path;    // as given, for the messages
    std::string target;  // what takes the output: path, or the file its links name
    int force;
};
std::vector<PendingOutput> pending_outputs;
}  // namespace

// Steps shared by both creators: refuse an existing file unless forced (one
// look at the path tells both), then open a new file beside it for writing.
static FILE* open_new_output(const char* path, int force, bool poll_between)
{
    platform::PathKind kind = platform::path_kind(path);
    if (!force && kind != platform::PathKind::none) {
        log_message(fn_OFAEFS.text(), path);
        return nullptr;
    }
    if (poll_between && poll_stop_request())
        return nullptr;
    // An output named by a link is written into the link's target, beside
    // it, and the link stays. A folder of that name could never be
    // replaced: refused before any byte is written.
    std::string target, temporary;
    FILE* stream = nullptr;
    errno = EISDIR;
    if (kind != platform::PathKind::directory && platform::output_target(path, target))
        stream = platform::create_temporary_beside(target, temporary);
    if (!stream) {
        report_create_error(path, errno);
        return nullptr;
    }
    pending_outputs.push_back({stream, std::move(temporary), path, std::move(target), force});
    return stream;
}

FILE* create_output_file(const char* name, int force)
{
    if (poll_stop_request())
        return nullptr;
    std::string path;
    const std::string& directory = task_options.output_path;
    if (!directory.empty()) {
        // Only '/' separates directories here: a directory ending in ':' or
        // '\' is an ordinary name, and gluing the file to it would put the
        // file beside the chosen directory instead of inside it.
        path = directory;
        if (directory.back() != '/')
            path += '/';
    }
    path += name;
    return open_new_output(path.c_str(), force, false);
}

FILE* create_output_file_at(const char* path, int force) { return open_new_output(path, force, true); }

int check_output_folder(const std::string& folder)
{
    int error = platform::folder_write_error(folder);
    if (error)
        log_message(fn_ODCBUS.text(), folder.empty() ? "." : folder.c_str(), file_error_reason(error).c_str());
    return error == 0;
}

int check_output_file_folder(const char* path)
{
    std::string target;
    // Links that cannot be followed are the creator's to report.
    if (!platform::output_target(path, target))
        return 1;
    size_t slash = target.rfind('/');
    if (slash == std::string::npos)
        return check_output_folder("");
    return check_output_folder(target.substr(0, slash == 0 ? 1 : slash));
}

int finish_output_file(FILE* stream, int ok)
{
    if (!stream)
        return 0;
    auto it = std::find_if(pending_outputs.begin(), pending_outputs.end(),
                           [stream](const PendingOutput& p) { return p.stream == stream; });
    bool failed = ferror(stream) != 0;
    // A write that failed earlier left its reason; a failing flush or close
    // has its own.
    int error = failed ? errno : 0;
    if (it == pending_outputs.end()) {
        if (fclose(stream) != 0)
            failed = true;
        return ok && !failed;
    }
    PendingOutput output = std::move(*it);
    pending_outputs.erase(it);
    const char* path = output.path.c_str();
    if (!failed && fflush(stream) != 0) {
        failed = true;
        error = errno;
    }
    // The file takes its name while it is still open (an unnamed file can
    // only be named through its descriptor).
    platform::MoveResult moved = platform::MoveResult::failed;
    int move_error = 0;
    if (ok && !failed) {
        moved = platform::move_file_into_place(stream, output.temporary, output.target, output.force != 0);
        move_error = errno;
    }
    if (fclose(stream) != 0 && !failed) {
        failed = true;
        error = errno;
        if (moved == platform::MoveResult::moved)
            platform::remove_file(output.target);
    }
    if (ok && failed)
        report_write_error(path, error);
    if (ok && !failed) {
        if (moved == platform::MoveResult::moved)
            return 1;
        // Someone made a file of that name while this one was written.
        if (moved == platform::MoveResult::target_exists)
            log_message(fn_OFAEFS.text(), path);
        else
            report_create_error(path, move_error);
    }
    if (!output.temporary.empty())
        platform::remove_file(output.temporary);
    log_message(fn_OFNWFS.text(), path);
    return 0;
}

// ---------------------------------------------------------------- transfers

int transfer_stop_hold = 0;

// A Stop request ends a transfer unless an in-place change holds it off.
int transfer_stopped() { return transfer_stop_hold ? 0 : poll_stop_request(); }

// n bytes at a file position, as they are in the file (XOR not undone),
// read at the position directly. An input file is written only by positional
// writes (and fill bytes flushed at once), so stdio never holds bytes of it
// that a direct read would miss.
static bool read_at(InputFile& input, uint64_t position, void* buffer, uint32_t n)
{
    if (!input.stream || position > static_cast<uint64_t>(INT64_MAX)) {
        report_seek_error(input.path.c_str());
        return false;
    }
    if (platform::read_at(input.stream, position, buffer, n))
        return true;
    report_read_error(input.path.c_str());
    return false;
}

void xor_buffer(void* buffer, uint32_t n, uint32_t mask)
{
    uint8_t* bytes = static_cast<uint8_t*>(buffer);
    for (uint32_t i = 0; i < n; ++i)
        bytes[i] ^= static_cast<uint8_t>(mask >> (8 * (i % 4)));
}

// Checks that row slot is a FAT entry of the subfiles' FAT and that its
// subfile holds [offset, offset + n); logs message when not. The read side
// traces both refusals, the write side only the row.
static bool check_subfile_range(const InputFile& input, uint32_t slot, uint32_t offset, uint32_t n,
                                const MessageText& message, bool trace_range)
{
    const char* path = input.path.c_str();
    ByteView fat(input.header_buffer);
    if (slot >= input.fat_entry_count || slot >= input.fat_slots.size() ||
        !fat.contains(input.fat_slots[slot].entry_offset, FatEntry::size) || input.block_size == 0) {
        log_message(message.text(), path);
        debug_message(DBG_TWK, "Błąd zakresu FAT idx %u/%u, plik %s.\n", slot, input.fat_entry_count, path);
        return false;
    }
    uint32_t entry = input.fat_slots[slot].entry_offset;
    uint32_t size = fat.u32(entry + FatEntry::subfile_size);
    if (uint64_t(offset) + n > size) {
        log_message(message.text(), path);
        if (trace_range)
            debug_message(DBG_TWK, "Błąd formalny odczytu struktury (%x, %x, %x), plik %s.\n", entry, offset, n,
                          path);
        return false;
    }
    return true;
}

namespace {

// The runs of the last mapped transfer; reused, so a transfer costs no
// allocation once the longest block list has been seen.
std::vector<BlockRun> block_runs;

}  // namespace

bool map_subfile_runs(const InputFile& input, uint32_t slot, uint32_t offset, uint32_t n, bool writing,
                      const MessageText* message, std::vector<BlockRun>& runs)
{
    runs.clear();
    const uint64_t block_size = input.block_size;
    const uint64_t end = uint64_t(offset) + n;
    if (n == 0 || block_size == 0)
        return n == 0;
    // Every block is checked (its FAT row inside the FAT, its number used,
    // inside the file and, for a write, past the header+FAT area), a FAT
    // entry's numbers at a time: a tile's subfiles have a thousand blocks.
    const uint64_t limit = std::min<uint64_t>(input.fat_entry_count, input.fat_slots.size());
    ByteView fat(input.header_buffer);
    uint16_t numbers[FatEntry::block_count];
    uint64_t p = offset;
    uint64_t e = p / block_size;  // the block of the subfile that holds p
    while (p < end) {
        uint64_t row = slot + e / FatEntry::block_count;
        uint32_t k = static_cast<uint32_t>(e % FatEntry::block_count);
        uint64_t left = (end - 1) / block_size - e + 1;
        uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(FatEntry::block_count - k, left));
        bool listed = row < limit && fat.u16_run(uint64_t(input.fat_slots[row].entry_offset) + FatEntry::blocks +
                                                     2 * uint64_t(k),
                                                 numbers, take);
        for (uint32_t i = 0; i < take;) {
            // A stretch of numbers that follow one another: one run of the
            // file, checked at its ends (a number inside it lies between).
            uint32_t j = i + 1;
            if (listed)
                while (j < take && numbers[j] == numbers[j - 1] + 1)
                    ++j;
            else
                j = take;
            uint16_t first = listed ? numbers[i] : FatEntry::unused_block;
            uint16_t last = listed ? numbers[j - 1] : FatEntry::unused_block;
            if (first == FatEntry::unused_block || last == FatEntry::unused_block || last >= input.total_blocks ||
                (writing && first < input.header_blocks)) {
                // The first block of the stretch that fails, for the trace.
                uint32_t bad = i;
                while (listed && bad + 1 < j && numbers[bad] < input.total_blocks &&
                       !(writing && numbers[bad] < input.header_blocks))
                    ++bad;
                uint64_t at = bad == i ? p : (e + (bad - i)) * block_size;
                if (!message)
                    return false;
                log_message(message->text(), input.path.c_str());
                debug_message(DBG_TWK, "Błędny numer bloku FAT (idx %u, bajt %" PRIu64 "), plik %s.\n", slot, at,
                              input.path.c_str());
                return false;
            }
            // Only the first block of the transfer can be entered part-way.
            uint64_t within = p == offset ? p % block_size : 0;
            uint64_t position = uint64_t(first) * block_size + within;
            uint32_t count = static_cast<uint32_t>(std::min<uint64_t>(end - p, (j - i) * block_size - within));
            uint32_t done = static_cast<uint32_t>(p - offset);
            if (!runs.empty() && runs.back().position + runs.back().count == position)
                runs.back().count += count;
            else
                runs.push_back({position, done, count});
            p += count;
            e += j - i;
            i = j;
        }
    }
    return true;
}

bool locate_subfile_byte(const InputFile& input, uint32_t slot, uint64_t p, bool writing, uint64_t& position)
{
    std::vector<BlockRun> runs;
    if (p > UINT32_MAX || !map_subfile_runs(input, slot, static_cast<uint32_t>(p), 1, writing, nullptr, runs) ||
        runs.empty())
        return false;
    position = runs.front().position;
    return true;
}

int read_subfile_data(InputFile& input, uint32_t slot, uint32_t offset, void* buffer, uint32_t n)
{
    if (!check_subfile_range(input, slot, offset, n, fn_ReSEFS, true) ||
        !map_subfile_runs(input, slot, offset, n, false, &fn_ReSEFS, block_runs))
        return 0;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    for (const BlockRun& run : block_runs)
        if (!read_at(input, run.position, out + run.done, run.count))
            return 0;
    if (input.xor_mask)
        xor_buffer(out, n, input.xor_mask);
    return transfer_stopped() ? 0 : 1;
}

// The buffer an output's bytes gather in, kept from one output to the next
// and never cleared: whatever is put in it is written out, nothing else.
static std::unique_ptr<uint8_t[]> gather_buffer;

int flush_output_run(OutputRun& run)
{
    uint32_t n = run.used;
    run.used = 0;
    if (n == 0)
        return 1;
    if (!platform::write_at(run.stream, run.start, gather_buffer.get(), n)) {
        report_write_error(run.name);
        return 0;
    }
    run.start += n;
    run.file_end = std::max(run.file_end, run.start);
    return 1;
}

// Whether bytes at file position at follow the gathered ones.
static bool follows_run(const OutputRun& run, uint64_t at) { return run.used != 0 && at == run.start + run.used; }

uint8_t* output_run_room(OutputRun& run, uint64_t at, uint32_t n)
{
    if (!gather_buffer) {
        try {
            gather_buffer = std::make_unique_for_overwrite<uint8_t[]>(copy_piece_limit);
        } catch (const std::bad_alloc&) {
            log_message(fn_OuOfMe.text());
            return nullptr;
        }
    }
    if (n > copy_piece_limit)
        return nullptr;
    if (!follows_run(run, at) || run.used + n > copy_piece_limit) {
        if (!flush_output_run(run))
            return nullptr;
        run.start = at;
    }
    return gather_buffer.get() + run.used;
}

// The most bytes that output_run_room gives at file position at without a
// write first: the rest of the buffer when at follows the gathered bytes,
// else all of it. A copy sized by it reads each piece whole into the buffer.
static uint32_t output_run_free(const OutputRun& run, uint64_t at)
{
    return follows_run(run, at) && run.used < copy_piece_limit ? copy_piece_limit - run.used : copy_piece_limit;
}

int put_output_bytes(OutputRun& run, uint64_t at, const void* bytes, uint64_t n)
{
    const uint8_t* from = static_cast<const uint8_t*>(bytes);
    for (uint64_t done = 0; done < n;) {
        uint32_t piece = static_cast<uint32_t>(std::min<uint64_t>(n - done, output_run_free(run, at + done)));
        uint8_t* to = output_run_room(run, at + done, piece);
        if (!to)
            return 0;
        if (from)
            memcpy(to, from + done, piece);
        else
            memset(to, 0, piece);
        run.used += piece;
        done += piece;
    }
    return 1;
}

// Copies count bytes at file position `from` of the input to output_offset
// of the output, XOR undone, adding them to sum: each piece is read
// straight into the output's gathered bytes. When expected is given, the
// first piece must hold it, or the result is -1 and the piece is not kept.
static int copy_into_run(InputFile& input, uint64_t from, uint32_t count, OutputRun& output, uint64_t output_offset,
                         const ExpectedBytes* expected, uint32_t& sum)
{
    for (uint32_t done = 0; done < count;) {
        uint32_t piece = std::min(count - done, output_run_free(output, output_offset + done));
        // The expected bytes are looked for in the first piece alone: one
        // that would end before them (the buffer nearly full) is made
        // longer, and the gathered bytes are written first to make room.
        if (expected && done == 0 && piece < expected->at + expected->length)
            piece = std::min({count, copy_piece_limit, expected->at + expected->length});
        uint8_t* bytes = output_run_room(output, output_offset + done, piece);
        if (!bytes || !read_at(input, from + done, bytes, piece))
            return 0;
        if (input.xor_mask)
            xor_buffer(bytes, piece, input.xor_mask);
        if (expected && done == 0 && !expected->found_in(bytes, piece))
            return -1;
        sum += sum_bytes(bytes, piece);
        output.used += piece;
        done += piece;
    }
    return 1;
}

bool ExpectedBytes::found_in(const uint8_t* bytes, uint32_t n) const
{
    return length == 0 || (uint64_t(at) + length <= n && memcmp(bytes + at, text, length) == 0);
}

int copy_subfile_data(InputFile& input, uint32_t slot, uint32_t n, OutputRun& output, uint64_t output_offset,
                      const ExpectedBytes& expected, uint32_t& sum)
{
    if (!check_subfile_range(input, slot, 0, n, fn_ReSEFS, true) ||
        !map_subfile_runs(input, slot, 0, n, false, &fn_ReSEFS, block_runs))
        return 0;
    for (size_t i = 0; i < block_runs.size(); ++i) {
        BlockRun run = block_runs[i];
        int copied = copy_into_run(input, run.position, run.count, output, output_offset + run.done,
                                   i == 0 ? &expected : nullptr, sum);
        if (copied <= 0)
            return copied;
    }
    return transfer_stopped() ? 0 : 1;
}

int copy_file_data(InputFile& input, uint64_t offset, uint32_t n, OutputRun& output, uint64_t output_offset,
                   uint32_t& sum)
{
    if (n && copy_into_run(input, offset, n, output, output_offset, nullptr, sum) <= 0)
        return 0;
    return transfer_stopped() ? 0 : 1;
}

// Writes count bytes of the caller's buffer at a file position, XOR-ed
// through scratch (grown to count bytes) when the file is scrambled, so the
// caller's bytes are never changed.
static bool write_with_xor(InputFile& input, uint64_t position, const uint8_t* bytes, uint32_t count,
                           std::vector<uint8_t>& scratch)
{
    if (!input.stream || position > static_cast<uint64_t>(INT64_MAX)) {
        report_seek_error(input.path.c_str());
        return false;
    }
    const uint8_t* out = bytes;
    if (input.xor_mask) {
        if (scratch.size() < count && !reserve_bytes(scratch, count))
            return false;
        memcpy(scratch.data(), bytes, count);
        xor_buffer(scratch.data(), count, input.xor_mask);
        out = scratch.data();
    }
    if (!platform::write_at(input.stream, position, out, count)) {
        report_write_error(input.path.c_str());
        return false;
    }
    return true;
}

int write_subfile_data(InputFile& input, const void* buffer, uint32_t slot, uint32_t offset, uint32_t n, int pad)
{
    if (!check_subfile_range(input, slot, offset, n, fn_WrSEFS, false) ||
        !map_subfile_runs(input, slot, offset, n, true, &fn_WrSEFS, block_runs))
        return 0;
    std::vector<uint8_t> scratch;
    const uint8_t* in = static_cast<const uint8_t*>(buffer);
    for (const BlockRun& run : block_runs)
        if (!write_with_xor(input, run.position, in + run.done, run.count, scratch))
            return 0;
    // The filler is the XOR byte, so the rest of the last block reads as zeros.
    uint32_t tail = static_cast<uint32_t>((uint64_t(offset) + n) % input.block_size);
    if (n && pad && tail) {
        const BlockRun& last = block_runs.back();
        uint32_t rest = input.block_size - tail;
        if (scratch.size() < rest && !reserve_bytes(scratch, rest))
            return 0;
        memset(scratch.data(), static_cast<uint8_t>(input.xor_mask), rest);
        if (!platform::write_at(input.stream, last.position + last.count, scratch.data(), rest)) {
            report_write_error(input.path.c_str());
            return 0;
        }
    }
    return transfer_stopped() ? 0 : 1;
}

int read_file_at(InputFile& input, void* buffer, uint64_t position, uint32_t n)
{
    if (!read_at(input, position, buffer, n))
        return 0;
    if (input.xor_mask)
        xor_buffer(buffer, n, input.xor_mask);
    return transfer_stopped() ? 0 : 1;
}

int write_file_at(InputFile& input, const void* buffer, uint64_t position, uint32_t n)
{
    std::vector<uint8_t> scratch;
    bool written = write_with_xor(input, position, static_cast<const uint8_t*>(buffer), n, scratch);
    return transfer_stopped() || !written ? 0 : 1;
}

int write_fill_bytes(FILE* stream, int64_t n, uint8_t value)
{
    if (n <= 0)
        return 1;
    static constexpr int64_t piece = 16384;
    std::vector<uint8_t> fill(static_cast<size_t>(std::min(n, piece)), value);
    for (int64_t written = 0; written < n;) {
        size_t count = static_cast<size_t>(std::min(n - written, piece));
        if (fwrite(fill.data(), 1, count, stream) != count)
            return 0;
        written += static_cast<int64_t>(count);
    }
    return 1;
}

// ---------------------------------------------------------------- time, sums, lengths, numbers

CurrentTime current_time;

void capture_current_time()
{
    time_t now = time(nullptr);
    struct tm utc {};
    gmtime_r(&now, &utc);
    current_time.year = static_cast<uint16_t>(utc.tm_year + 1900);
    current_time.month = static_cast<uint8_t>(utc.tm_mon + 1);
    current_time.day = static_cast<uint8_t>(utc.tm_mday);
    current_time.hour = static_cast<uint8_t>(utc.tm_hour);
    current_time.minute = static_cast<uint8_t>(utc.tm_min);
    current_time.second = static_cast<uint8_t>(utc.tm_sec);
    current_time.zero = 0;
}

bool store_current_time(ByteSpan bytes, uint64_t offset)
{
    if (!bytes.contains(offset, 7))
        return false;
    bytes.put_u16(offset, current_time.year);
    bytes.put_u8(offset + 2, current_time.month);
    bytes.put_u8(offset + 3, current_time.day);
    bytes.put_u8(offset + 4, current_time.hour);
    bytes.put_u8(offset + 5, current_time.minute);
    bytes.put_u8(offset + 6, current_time.second);
    return true;
}

int get_terminated_length(const char* text, int start, int end)
{
    if (start >= end)
        return -1;
    const void* nul = memchr(text + start, 0, static_cast<size_t>(end - start));
    return nul ? static_cast<int>(static_cast<const char*>(nul) - (text + start)) : -1;
}

int get_bounded_length(const char* text, int start, int end)
{
    if (start >= end)
        return end - start;
    int length = get_terminated_length(text, start, end);
    return length < 0 ? end - start : length;
}

const char* format_u64_decimal(uint64_t value)
{
    static char text[24];
    snprintf(text, sizeof text, "%" PRIu64, value);
    return text;
}

const char* format_u64_hex(uint64_t value)
{
    static char text[24];
    snprintf(text, sizeof text, "%9" PRIx64, value);
    return text;
}

const char* get_subfile_kind_name(uint32_t kind)
{
    static const char* const names[] = {" - ", " ??", "TYP", "TDB", "TRF", "MMR", "MD2", "MDR",
                                        " ??", " ??", " ??", "SRT", "DEM", "LBL", "NET", "NOD",
                                        "RGN", "TRE", "GMP", "MPS", "JCV", " ? "};
    return kind < sizeof names / sizeof names[0] ? names[kind] : " ??";
}

// ---------------------------------------------------------------- coordinate clamps

// The margin k = 45 / 2^22 degrees kept inside the limits.
static constexpr long double clamp_margin = 45.0L / 4194304.0L;

// Moves value by shift units of a map of resolution bits, then keeps it
// within +-(edge - (u + margin)): a value above the limit becomes `above`
// times the limit, one below its negative `below` times the limit. The unit is
// rounded to a double; the limit is computed in extended precision.
static void clamp_coordinate(double& value, int bits, double shift, long double edge, long double margin,
                             int above, int below)
{
    double u = 360.0 / std::ldexp(1.0, bits);
    if (shift != 0)
        value += shift * u;
    long double limit = edge - (static_cast<long double>(u) + margin);
    if (static_cast<long double>(value) > limit)
        value = static_cast<double>(above * limit);
    else if (static_cast<long double>(value) < -limit)
        value = static_cast<double>(below * limit);
}

void clamp_latitude(double& value, int bits) { clamp_coordinate(value, bits, 0, 90, clamp_margin, 1, -1); }
void clamp_latitude_up(double& value, int bits) { clamp_coordinate(value, bits, 0.5, 90, clamp_margin, 1, -1); }
void clamp_latitude_down(double& value, int bits) { clamp_coordinate(value, bits, -0.5, 90, clamp_margin, 1, -1); }
void clamp_longitude(double& value, int bits) { clamp_coordinate(value, bits, 0, 180, clamp_margin, 1, -1); }

// An east edge that falls below the western limit lies on the antimeridian
// and becomes the eastern limit; a west edge past the eastern limit likewise
// becomes the western one, whose limit keeps the margin on the other side.
void clamp_longitude_up(double& value, int bits) { clamp_coordinate(value, bits, 0.5, 180, clamp_margin, 1, 1); }
void clamp_longitude_down(double& value, int bits)
{
    clamp_coordinate(value, bits, -0.5, 180, -clamp_margin, -1, -1);
}

// ---------------------------------------------------------------- releasing inputs

template <class T>
static void release(std::vector<T>& table)
{
    std::vector<T>().swap(table);
}

void free_input_file(InputFile& input)
{
    release(input.header_buffer);
    input.header_length = 0;
    input.fat_end = 0;
    release(input.fat_slots);
    input.fat_entry_count = 0;
    // The maps point into the subfiles' records and the MPS rows into the
    // MPS buffer: the pointing tables go first.
    release(input.maps);
    release(input.map_block);
    input.map_count = 0;
    release(input.mps_records);
    input.mps_record_count = 0;
    release(input.mps_buffer);
    input.mps_length = 0;
    release(input.subfile_index.rows);
    release(input.subfile_index.sorted_names);
    release(input.subfiles);
    input.subfile_count = 0;
    input.single_subfile.release_records();
}

int free_input_file_list(InputList& list)
{
    for (auto& input : list)
        if (input)
            free_input_file(*input);
    list.clear();
    return 1;
}
