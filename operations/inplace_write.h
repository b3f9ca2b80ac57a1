// The one way an in-place change writes into an input file.
//
// An in-place change rewrites chosen bytes of an input itself, so nothing may
// leave the file half-changed or with a wrong checksum. Every group of bytes a
// step writes, FAT entries and the header included, goes through one
// InplaceStep: it reads from the file the bytes it is about to replace, writes
// the new ones and, in an IMG container, lowers header byte 0x0F by the rise
// of the byte sum (modulo 256), so the byte sum of the whole file with the XOR
// undone is the same after every group as it was before the step. A group
// that covers byte 0x0F carries the corrected byte itself; any other group is
// followed by a one-byte write of it. A single subfile or data file has no
// such byte and is written as it comes.
//
// The replaced bytes are kept with the file positions they came from (a
// subfile's bytes where its block list put them). A step that ends without
// finish() (a failed read or write, a refused growth, an early return) is
// undone: the kept bytes go back to their positions, newest first, a file
// that was lengthened is cut back, and the InputFile's header+FAT image,
// block counts and subfile rows are put back as they were when the step
// opened, so a caller may change the image before it writes it, or without
// writing it. While any step lives, a Stop request does not end the
// transfers: the task honours it between files.
#pragma once

#include <cstdint>
#include <vector>

#include "core/input_file.h"

class InplaceStep {
public:
    // keep_sum: the file is an IMG container whose byte 0x0F absorbs changes.
    InplaceStep(InputFile& file, bool keep_sum);
    ~InplaceStep();
    InplaceStep(const InplaceStep&) = delete;
    InplaceStep& operator=(const InplaceStep&) = delete;

    // Opens the file "r+b" and remembers the state to return to. 1 / 0.
    int open();
    // n bytes at a file position.
    int put_at(uint64_t position, const void* bytes, uint32_t n);
    // n bytes at offset of the subfile whose first FAT entry is row slot.
    int put_subfile(uint32_t slot, uint32_t offset, const void* bytes, uint32_t n);
    // Bytes [from, from + n) of the header+FAT image, written from the image
    // (byte 0x0F in the image follows what is written).
    int put_header(uint32_t from, uint32_t n);
    // count FAT entries from row slot of fat_slots, from the image.
    int put_fat_entries(uint32_t slot, uint32_t count);
    // Lengthens the file to size bytes that read as zeros (the filler is the
    // XOR byte); a file already that long is left alone.
    int extend_file(uint64_t size);
    // Flushes and closes, keeping every change. 1; 0 when the flush failed
    // (the step is then undone).
    int finish();
    // Puts everything back and closes.
    void undo();
    bool is_open() const { return open_; }

private:
    // Bytes the step replaced: the old bytes (XOR undone) at a file position.
    struct Change {
        uint64_t position;
        std::vector<uint8_t> old_bytes;
    };
    struct SubfileState {
        uint32_t length;
        uint32_t declared_length;
        char name[12];
    };

    int put(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n);
    // Lowers byte 0x0F by rise, on disk and in the image.
    int put_checksum(uint8_t rise);
    void release();

    InputFile& file_;
    bool keep_sum_;
    bool open_ = false;
    std::vector<Change> journal_;
    // The state the step returns to.
    std::vector<uint8_t> header_buffer_;
    uint32_t header_length_ = 0;
    uint32_t total_blocks_ = 0;
    uint64_t file_size_ = 0;
    uint64_t disk_size_ = 0;  // length on disk when opened
    bool lengthened_ = false;
    std::vector<SubfileState> subfiles_;
};
