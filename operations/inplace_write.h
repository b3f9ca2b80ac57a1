// The one way an in-place change writes into an input file.
//
// An in-place change rewrites chosen bytes of an input itself, so nothing may
// leave the file half-changed or with a wrong checksum. Every group of bytes a
// step writes, FAT entries and the header included, goes through one
// InplaceStep. In an IMG container the step keeps the rise of the byte sum
// (modulo 256) that its groups have made so far and takes it off header byte
// 0x0F once: in a group that covers byte 0x0F (the group carries the corrected
// byte itself), or at finish(). So at the end of every step the byte sum of
// the whole file with the XOR undone is what it was before the step. A single
// subfile or data file has no such byte and is written as it comes.
//
// The step keeps the bytes it replaces, and only those: each group's old
// bytes are read (or, where the caller holds them as they are on disk, in the
// header+FAT image or a TRE image, taken from there) and compared with the
// new ones, and the runs that differ go into the journal. A step that ends without finish() (a failed read or write,
// a refused growth, an early return) is undone from the journal, newest run
// first: each run goes back on disk and, where it lies in the header+FAT
// image, into the image (as does every range a caller named with keep_image()
// before changing the image on its own), so a subfile run is written back
// through the block lists it was written through. Then a file that was
// lengthened is cut back, and the block counts and subfile rows are put back
// as they were when the step opened. The image is, when a step opens, the file's first
// bytes with the XOR undone (the reader makes it so and every step keeps it
// so), which is why old bytes read from disk are old bytes of the image too.
// While any step lives, a Stop request does not end the transfers: the task
// honours it between files.
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
    // The same over bytes the caller holds as they are on disk now (a header
    // image kept in step with the file, TreInfo::header): they are taken as
    // the old bytes instead of being read again.
    int put_subfile_over(uint32_t slot, uint32_t offset, const void* bytes, uint32_t n, const uint8_t* now);
    // Bytes [from, from + n) of the header+FAT image, written from the image
    // (byte 0x0F in the image follows what is written).
    int put_header(uint32_t from, uint32_t n);
    // count FAT entries from row slot of fat_slots, from the image; entries
    // that follow one another in the image go in one group.
    int put_fat_entries(uint32_t slot, uint32_t count);
    // A small change of the header+FAT image: n new bytes at offset at.
    struct ImageEdit {
        uint32_t at;
        uint32_t n;
        const uint8_t* bytes;
    };
    // Edits of the image past the checksum byte, in order and apart (a FAT
    // renamed: a name in each entry). The old bytes of each are taken from
    // the image and journaled, the new ones put into the image, and the
    // stretches the edits lie in written from it: edits closer than a page
    // share one write. A list out of order, over the checksum byte or past the
    // image writes nothing.
    int put_image_edits(const ImageEdit* edits, size_t count);
    // The caller is about to change bytes [from, from + n) of the image
    // before (or instead of) writing them: undo puts them back too.
    void keep_image(uint32_t from, uint32_t n);
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
    enum class Place : uint8_t { file, subfile, image };
    // Bytes the step replaced: n old bytes, at a file position, at an offset
    // of the subfile of row slot, or (Place::image) in the image only. The
    // old bytes of the changes follow one another in kept_, in journal order.
    struct Change {
        uint64_t position;
        uint32_t n;
        uint32_t slot;
        Place place;
    };
    struct SubfileState {
        uint32_t length;
        uint32_t declared_length;
        char name[12];
    };

    // known_old: the bytes there now, when the caller knows them.
    int put(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n,
            const uint8_t* known_old = nullptr);
    int read_old(bool in_subfile, uint32_t slot, uint64_t position, uint8_t* out, uint32_t n);
    int write_new(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n);
    void keep(Place place, uint32_t slot, uint64_t position, const uint8_t* old_bytes, uint32_t n);
    // Journals the runs of new_bytes that differ from old_bytes; returns the
    // rise of the byte sum they make (modulo 256).
    uint8_t keep_changed_runs(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* old_bytes,
                              const uint8_t* new_bytes, uint32_t n);
    int write_checksum();
    void release();

    InputFile& file_;
    bool keep_sum_;
    bool open_ = false;
    std::vector<Change> journal_;
    std::vector<uint8_t> kept_;
    std::vector<uint8_t> old_piece_;  // old bytes of the group being written, a piece at a time
    // Rise of the byte sum not yet taken off byte 0x0F.
    uint8_t pending_rise_ = 0;
    // The state the step returns to.
    uint32_t header_length_ = 0;
    uint32_t total_blocks_ = 0;
    uint64_t file_size_ = 0;
    uint64_t disk_size_ = 0;  // length on disk when opened
    bool lengthened_ = false;
    std::vector<SubfileState> subfiles_;
};
