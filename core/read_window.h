// The read window: the bytes of the input being read, one run of the file at
// a time, in a buffer that every input uses in turn.
//
// Reading an input takes its first 8 KiB in one read; the header+FAT area
// and the subfile headers that follow are then copied from that run, and a
// header outside it brings in the next run with one more read. The window
// holds the file's bytes with the XOR undone and belongs to one InputFile at
// a time: it is only consulted for that file, and only while its stream is
// the read-only one it was filled through. Opening or closing the file lets
// it go, so bytes of a file that may have changed are never served.
#pragma once

#include <cstdint>

#include "core/byte_view.h"

struct InputFile;

// Marks file as the one being read for as long as it lives (read_input_file
// holds one); the window serves no other file, and nothing once it ends.
class ReadWindowScope {
public:
    explicit ReadWindowScope(const InputFile& file);
    ~ReadWindowScope();
    ReadWindowScope(const ReadWindowScope&) = delete;
    ReadWindowScope& operator=(const ReadWindowScope&) = delete;
};

// Fills the window with the n bytes at position of file (its stream open)
// and returns them as they are in the file; an empty view, nothing said,
// when they cannot be read. Outside a ReadWindowScope of file the bytes are
// only the caller's to look at.
ByteView fill_read_window(InputFile& file, uint64_t position, uint32_t n);

// Undoes file.xor_mask on the bytes in the window, once the mask is known.
ByteView unmask_read_window(InputFile& file);

// Copies [offset, offset + n) of the subfile whose first FAT entry is at row
// slot from the window, refilling it where a piece lies outside. False, with
// nothing said, when the window is not file's or when any check
// read_subfile_data makes would fail: the caller then reads through
// read_subfile_data, which says why. The bytes come with the XOR undone.
bool read_subfile_through_window(InputFile& file, uint32_t slot, uint32_t offset, void* buffer, uint32_t n);

// Copies n bytes at a file position from the window, as read_subfile_through_window.
bool read_file_through_window(InputFile& file, uint64_t position, void* buffer, uint32_t n);

// Lets the window go if it is file's.
void release_read_window(const InputFile& file);
