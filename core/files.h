// File primitives: counted memory, the file messages, opening inputs and
// creating outputs, transfers through a subfile's FAT block list with the
// file's XOR, an output's gathered bytes, positioned transfers, filler
// bytes, the task's current time, small text and number helpers, the
// preview map's coordinate clamps and the release of inputs.
//
// Every routine reports its own failures through log_message, naming the
// file, and returns 1/0 (or null); none touches error_count or warning_count:
// the caller decides whether a failure is an error. A Stop request turns the
// result of every transfer and of the output-file creators into failure
// without a message, so a long operation ends at its next transfer.
#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/byte_view.h"
#include "core/host.h"
#include "core/input_file.h"
#include "core/messages.h"
#include "platform/platform.h"

extern MessageText fn_OuOfMe;
extern MessageText fn_WrErFS;
extern MessageText fn_WrErFR;
extern MessageText fn_ReErFS;
extern MessageText fn_SeErFS;
extern MessageText fn_OpErFS;
extern MessageText fn_OpErFR;
extern MessageText fn_NoReFi;
extern MessageText fn_OFAEFS;
extern MessageText fn_COFEFS;
extern MessageText fn_COFEFR;
extern MessageText fn_ODCBUS;
extern MessageText fn_OFNWFS;
extern MessageText fn_ReSEFS;
extern MessageText fn_WrSEFS;

// Successful allocate_memory calls and free_memory calls on non-null blocks.
extern uint32_t allocation_count;
extern uint32_t free_count;

// malloc that counts; logs "Out of memory." and gives null on failure.
void* allocate_memory(int size);
// free that counts; null is ignored.
void free_memory(void* block);
// Sizes a byte buffer to n bytes (zero-filled); logs "Out of memory." and
// gives 0 when it cannot.
int reserve_bytes(std::vector<uint8_t>& buffer, size_t n);
// Sizes a table to n value-initialised rows, the same way. A table whose
// rows others point at is sized once, before the first pointer is taken.
template <class Row>
int resize_rows(std::vector<Row>& rows, size_t n)
{
    try {
        rows.clear();
        // A table of megabytes gets pages of its own, each a fault when
        // first filled: offered for large pages before its rows are filled,
        // it takes one fault a large page instead.
        if (n >= platform::large_block_size / sizeof(Row) && rows.capacity() < n) {
            rows.reserve(n);
            platform::offer_large_pages(rows.data(), n * sizeof(Row));
        }
        rows.resize(n);
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
        return 0;
    } catch (const std::length_error&) {
        log_message(fn_OuOfMe.text());
        return 0;
    }
    return 1;
}

// "Write error" naming the file, with the system's reason for error (an
// errno value, by default the one the failed call left; 0: none known).
void report_write_error(const char* name, int error = errno);
void report_read_error(const char* name);
void report_seek_error(const char* name);
// "Open error" naming the file, with the reason for error as
// file_error_reason gives it (0: none known).
void report_open_error(const char* name, int error = errno);
// "Create output file error" naming the path, with the reason for error
// (0: none known).
void report_create_error(const char* path, int error);
// The words for why a file could not be opened or made: the system's text
// for an errno value, or "not a regular file" for what only regular files
// may be.
std::string file_error_reason(int error);

// Opens the input's path in mode ("rb", "r+b") into its stream.
int open_input_file(InputFile& input, const char* mode);
// Closes the input's stream, if open.
void close_input_file(InputFile& input);
int check_file_exists(const char* path);

// Creates name in the output directory of the task (task_options.output_path,
// joined with '/'), or as given when there is none. Refuses an existing file
// unless force is set. The stream writes to a temporary beside that name:
// nothing appears under the name itself before finish_output_file.
FILE* create_output_file(const char* name, int force);
// The same for a path taken as it stands.
FILE* create_output_file_at(const char* path, int force);
// Whether outputs can be made in folder ("" the current one); when not, one
// message names it with the system's reason (nothing is counted). A task
// asks before its first output, so that a folder that is missing or cannot
// be written is one line, not one for every output.
int check_output_folder(const std::string& folder);
// The same for the folder that an output file given as path goes into
// (through its links, as the creators follow them).
int check_output_file_folder(const char* path);
// Closes a stream of the creators. When ok is set and every byte reached the
// file, the file takes its name (replacing an older one only when forced)
// and the result is 1; otherwise the temporary is removed, a file of that
// name from before stays as it was, and the log says the output was not
// written (with the write error first when ok was set). Any other stream is
// just closed: 1 when ok and nothing failed.
int finish_output_file(FILE* stream, int ok);

// While not 0, a Stop request does not end the transfers: an in-place change
// holds it off for a whole file, which must not be left half-changed.
extern int transfer_stop_hold;
// Non-zero when a transfer is to end for a Stop request (never while held).
int transfer_stopped();

// Bytes [offset, offset + n) of the subfile whose first FAT entry is row slot
// of fat_slots, with the file's XOR undone.
int read_subfile_data(InputFile& input, uint32_t slot, uint32_t offset, void* buffer, uint32_t n);
// What the first bytes of a copied subfile must hold: length bytes of text
// at offset at (length 0: anything).
struct ExpectedBytes {
    uint32_t at = 0;
    uint32_t length = 0;
    const char* text = nullptr;
    bool found_in(const uint8_t* bytes, uint32_t n) const;
};
// Copies are made in pieces of at most this many bytes. Every byte of a
// copy crosses this buffer twice (read into it, written out of it), so it
// has to stay in the processor's own cache between the two.
inline constexpr uint32_t copy_piece_limit = 1u << 18;
// The bytes of an output gathered in memory (one buffer of copy_piece_limit
// bytes, shared by all outputs: one output gathers at a time) and written in
// one piece when the next ones do not follow them or there is no room:
// consecutive subfiles and the zeros between them go out together in few
// large writes, at explicit positions past the stream's stdio buffer.
struct OutputRun {
    FILE* stream = nullptr;
    const char* name = nullptr;  // for the write error
    uint64_t start = 0;          // file position of the first byte gathered
    uint32_t used = 0;           // bytes gathered, not written yet
    uint64_t file_end = 0;       // end of the furthest bytes written so far
};
// Room for n (at most copy_piece_limit) bytes at file position at, after
// the gathered ones: when they do not end at at or the room is short, they
// are written first. The caller fills the room and adds n to used. Null
// after "Write error" or "Out of memory.".
uint8_t* output_run_room(OutputRun& run, uint64_t at, uint32_t n);
// Gathers n bytes (zeros when bytes is null) at file position at; 0 after
// the message.
int put_output_bytes(OutputRun& run, uint64_t at, const void* bytes, uint64_t n);
// Writes what was gathered; 0 after "Write error".
int flush_output_run(OutputRun& run);
// Copies the whole first n bytes of the same subfile, XOR undone, to
// output_offset of an output and adds their bytes to sum: each run of
// consecutive blocks is read straight into the output's gathered bytes and
// added up there, so the bytes pass through the program once. 1 copied; 0
// after a message; -1 when the subfile's first bytes are not the expected
// ones (nothing of the subfile kept, nothing said).
int copy_subfile_data(InputFile& input, uint32_t slot, uint32_t n, OutputRun& output, uint64_t output_offset,
                      const ExpectedBytes& expected, uint32_t& sum);
// The same for n bytes at a file position of a single-file input.
int copy_file_data(InputFile& input, uint64_t offset, uint32_t n, OutputRun& output, uint64_t output_offset,
                   uint32_t& sum);
// A stretch of a transfer that lies in consecutive bytes of the file: count
// bytes from file position `position`, done bytes into the transfer.
struct BlockRun {
    uint64_t position;
    uint32_t done;
    uint32_t count;
};
// Walks the block list of [offset, offset + n) of the subfile at row slot
// once, checking every block (see locate_subfile_byte) before a single byte
// moves (so a refused walk leaves the file as it was), and gathers the
// blocks that follow one another in the file into runs. False when a block
// fails, with message logged (nothing said when message is null).
bool map_subfile_runs(const InputFile& input, uint32_t slot, uint32_t offset, uint32_t n, bool writing,
                      const MessageText* message, std::vector<BlockRun>& runs);
// File position of byte p of the subfile at row slot, or false when the FAT
// row holding its block lies outside the FAT, or the block number is unused,
// at or past the end of the file, or (for a write) inside the header+FAT area.
bool locate_subfile_byte(const InputFile& input, uint32_t slot, uint64_t p, bool writing, uint64_t& position);
// Writes them; with pad the rest of the last block written is filled so that
// it reads as zeros. The caller's buffer is never changed.
int write_subfile_data(InputFile& input, const void* buffer, uint32_t slot, uint32_t offset, uint32_t n, int pad);
// n bytes at a file position, with the file's XOR.
int read_file_at(InputFile& input, void* buffer, uint64_t position, uint32_t n);
int write_file_at(InputFile& input, const void* buffer, uint64_t position, uint32_t n);
// Writes n bytes of one value; n <= 0 writes nothing.
int write_fill_bytes(FILE* stream, int64_t n, uint8_t value);
// XORs exactly n bytes with the mask word (byte i with byte i mod 4 of mask).
void xor_buffer(void* buffer, uint32_t n, uint32_t mask);

// The UTC time taken once at the start of a task; its first seven bytes have
// the layout of the dates in the IMG header (0x39) and in subfile headers.
struct CurrentTime {
    uint16_t year = 0;  // full year
    uint8_t month = 0;  // 1..12
    uint8_t day = 0;
    uint8_t hour = 0;
    uint8_t minute = 0;
    uint8_t second = 0;
    uint8_t zero = 0;
};
extern CurrentTime current_time;
void capture_current_time();
// Stores current_time in the 7-byte date layout at offset; false when it does not fit.
bool store_current_time(ByteSpan bytes, uint64_t offset);

// Sum of n unsigned bytes (modulo 2^32).
uint32_t sum_bytes(const void* buffer, size_t n);
// Length of the NUL-terminated text at text[start] when its NUL lies in
// [start, end); -1 otherwise.
int get_terminated_length(const char* text, int start, int end);
// The same, but end - start when no NUL lies there.
int get_bounded_length(const char* text, int start, int end);

// Decimal digits; the result lives until the next call.
const char* format_u64_decimal(uint64_t value);
// Lower-case hexadecimal digits right-aligned in 9 characters; the result
// lives until the next call.
const char* format_u64_hex(uint64_t value);
// Three-character name of a SubfileKind.
const char* get_subfile_kind_name(uint32_t kind);

// Clamps of preview-map coordinates (degrees, in place) to what a map of
// resolution bits can hold; the _up and _down forms first move the value by
// half a unit to the north or east, south or west edge.
void clamp_latitude(double& value, int bits);
void clamp_latitude_up(double& value, int bits);
void clamp_latitude_down(double& value, int bits);
void clamp_longitude(double& value, int bits);
void clamp_longitude_up(double& value, int bits);
void clamp_longitude_down(double& value, int bits);

// Releases everything an InputFile owns (its stream is left as it is); a
// second call does nothing.
void free_input_file(InputFile& input);
// Releases every input and empties the list.
int free_input_file_list(InputList& list);
