// The one way an in-place change writes into an input file: groups of bytes
// that keep the whole-file byte sum, and the undo of a step that failed.
#include "operations/inplace_write.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

#include "core/files.h"
#include "core/host.h"
#include "core/img_format.h"

InplaceStep::InplaceStep(InputFile& file, bool keep_sum) : file_(file), keep_sum_(keep_sum)
{
    ++transfer_stop_hold;
}

InplaceStep::~InplaceStep()
{
    if (open_)
        undo();
    --transfer_stop_hold;
}

namespace {

// Old bytes are read and compared this many at a time.
constexpr uint32_t piece_limit = 256 * 1024;
// Unchanged bytes between two changed runs shorter than this are kept with
// them: one journal row costs more than a few bytes.
constexpr uint32_t run_gap = 16;

}  // namespace

int InplaceStep::open()
{
    if (open_)
        return 1;
    if (!open_input_file(file_, "r+b"))
        return 0;
    if (fseeko(file_.stream, 0, SEEK_END) != 0 || ftello(file_.stream) < 0) {
        report_seek_error(file_.path.c_str());
        close_input_file(file_);
        return 0;
    }
    disk_size_ = static_cast<uint64_t>(ftello(file_.stream));
    header_length_ = file_.header_length;
    total_blocks_ = file_.total_blocks;
    file_size_ = file_.file_size;
    subfiles_.clear();
    subfiles_.reserve(file_.subfiles.size());
    for (const SubfileEntry& s : file_.subfiles) {
        SubfileState state{s.length, s.declared_length, {}};
        memcpy(state.name, s.name, sizeof state.name);
        subfiles_.push_back(state);
    }
    journal_.clear();
    kept_.clear();
    pending_rise_ = 0;
    lengthened_ = false;
    open_ = true;
    return 1;
}

int InplaceStep::read_old(bool in_subfile, uint32_t slot, uint64_t position, uint8_t* out, uint32_t n)
{
    return in_subfile ? read_subfile_data(file_, slot, static_cast<uint32_t>(position), out, n)
                      : read_file_at(file_, out, position, n);
}

int InplaceStep::write_new(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n)
{
    if (n == 0)
        return 1;
    return in_subfile ? write_subfile_data(file_, bytes, slot, static_cast<uint32_t>(position), n, 0)
                      : write_file_at(file_, bytes, position, n);
}

void InplaceStep::keep(Place place, uint32_t slot, uint64_t position, const uint8_t* old_bytes, uint32_t n)
{
    journal_.push_back(Change{position, n, slot, place});
    kept_.insert(kept_.end(), old_bytes, old_bytes + n);
}

// The first byte from `from` on where a and b differ, n when none does:
// eight bytes a step, then one.
static uint32_t first_difference(const uint8_t* a, const uint8_t* b, uint32_t from, uint32_t n)
{
    for (; n - from >= 8; from += 8) {
        uint64_t x = 0;
        uint64_t y = 0;
        memcpy(&x, a + from, 8);
        memcpy(&y, b + from, 8);
        if (x != y)
            break;
    }
    while (from < n && a[from] == b[from])
        ++from;
    return from;
}

uint8_t InplaceStep::keep_changed_runs(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* old_bytes,
                                       const uint8_t* new_bytes, uint32_t n)
{
    Place place = in_subfile ? Place::subfile : Place::file;
    uint8_t rise = 0;
    uint32_t i = 0;
    while (i < n) {
        i = first_difference(old_bytes, new_bytes, i, n);
        if (i == n)
            break;
        uint32_t start = i;
        uint32_t end = i + 1;  // past the last changed byte of the run
        for (i = end; i < n && i - end < run_gap; ++i)
            if (old_bytes[i] != new_bytes[i])
                end = i + 1;
        keep(place, slot, position + start, old_bytes + start, end - start);
        rise = static_cast<uint8_t>(rise + sum_bytes(new_bytes + start, end - start) -
                                    sum_bytes(old_bytes + start, end - start));
        i = end;
    }
    return rise;
}

int InplaceStep::put(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n,
                     const uint8_t* known_old)
{
    if (!open_)
        return 0;
    if (n == 0)
        return 1;
    if (!known_old && old_piece_.size() < std::min(n, piece_limit) &&
        !reserve_bytes(old_piece_, std::min(n, piece_limit)))
        return 0;

    // Every old byte is read before the first new one is written, so a failed
    // read writes nothing; the runs that change are kept as they are found.
    constexpr uint64_t at = ImgHeader::checksum;
    bool holds_checksum = keep_sum_ && !in_subfile && position <= at && at < position + n;
    uint8_t rise = 0;
    uint8_t old_checksum = 0;
    for (uint32_t done = 0; done < n;) {
        uint32_t count = std::min(n - done, piece_limit);
        const uint8_t* old_bytes = known_old ? known_old + done : old_piece_.data();
        if (!known_old && !read_old(in_subfile, slot, position + done, old_piece_.data(), count))
            return 0;
        if (holds_checksum && at >= position + done && at < position + done + count)
            old_checksum = old_bytes[at - position - done];
        // Only the runs that differ change the sum.
        rise = static_cast<uint8_t>(rise + keep_changed_runs(in_subfile, slot, position + done, old_bytes,
                                                             bytes + done, count));
        done += count;
    }

    // The checksum byte, when this group holds it, is left out of the rise and
    // set from its old value, taking off everything the step has added so far.
    uint8_t checksum_value = 0;
    if (holds_checksum) {
        uint32_t i = static_cast<uint32_t>(at - position);
        rise = static_cast<uint8_t>(rise - (bytes[i] - old_checksum));
        checksum_value = static_cast<uint8_t>(old_checksum - pending_rise_ - rise);
        keep(Place::file, 0, at, &old_checksum, 1);
        if (!write_new(false, 0, position, bytes, i) || !write_new(false, 0, at, &checksum_value, 1) ||
            !write_new(false, 0, at + 1, bytes + i + 1, n - i - 1))
            return 0;
        pending_rise_ = 0;
    } else {
        if (!write_new(in_subfile, slot, position, bytes, n))
            return 0;
        pending_rise_ = static_cast<uint8_t>(pending_rise_ + rise);
    }

    // The image follows what is on disk wherever a group lands in it.
    std::vector<uint8_t>& image = file_.header_buffer;
    if (!in_subfile && position < image.size()) {
        uint64_t end = std::min<uint64_t>(position + n, image.size());
        if (image.data() + position != bytes)
            memmove(image.data() + position, bytes, static_cast<size_t>(end - position));
        if (holds_checksum && image.size() > at)
            image[at] = checksum_value;
    }
    return 1;
}

int InplaceStep::write_checksum()
{
    constexpr uint64_t at = ImgHeader::checksum;
    if (!keep_sum_ || pending_rise_ == 0)
        return 1;
    uint8_t old_value = 0;
    if (!read_file_at(file_, &old_value, at, 1))
        return 0;
    uint8_t value = static_cast<uint8_t>(old_value - pending_rise_);
    keep(Place::file, 0, at, &old_value, 1);
    if (!write_file_at(file_, &value, at, 1))
        return 0;
    if (file_.header_buffer.size() > at)
        file_.header_buffer[at] = value;
    pending_rise_ = 0;
    return 1;
}

int InplaceStep::put_at(uint64_t position, const void* bytes, uint32_t n)
{
    return put(false, 0, position, static_cast<const uint8_t*>(bytes), n);
}

int InplaceStep::put_subfile(uint32_t slot, uint32_t offset, const void* bytes, uint32_t n)
{
    return put(true, slot, offset, static_cast<const uint8_t*>(bytes), n);
}

int InplaceStep::put_subfile_over(uint32_t slot, uint32_t offset, const void* bytes, uint32_t n, const uint8_t* now)
{
    return put(true, slot, offset, static_cast<const uint8_t*>(bytes), n, now);
}

int InplaceStep::put_header(uint32_t from, uint32_t n)
{
    if (uint64_t(from) + n > file_.header_buffer.size()) {
        log_message(fn_WrSEFS.text(), file_.path.c_str());
        return 0;
    }
    // Written from the image itself: put() leaves those bytes as they are.
    return put(false, 0, from, file_.header_buffer.data() + from, n);
}

int InplaceStep::put_fat_entries(uint32_t slot, uint32_t count)
{
    for (uint64_t i = 0; i < count; ++i) {
        uint64_t row = uint64_t(slot) + i;
        if (row >= file_.fat_slots.size() ||
            !ByteView(file_.header_buffer).contains(file_.fat_slots[row].entry_offset, FatEntry::size)) {
            log_message(fn_WrSEFS.text(), file_.path.c_str());
            return 0;
        }
    }
    for (uint32_t i = 0; i < count;) {
        uint32_t from = file_.fat_slots[slot + i].entry_offset;
        uint32_t n = FatEntry::size;
        for (++i; i < count && file_.fat_slots[slot + i].entry_offset == from + n; ++i)
            n += FatEntry::size;
        if (!put_header(from, n))
            return 0;
    }
    return 1;
}

int InplaceStep::put_image_edits(const ImageEdit* edits, size_t count)
{
    if (!open_)
        return 0;
    std::vector<uint8_t>& image = file_.header_buffer;
    // The checksum byte takes the rise at finish(), so no edit may hold it.
    uint64_t free_from = uint64_t(ImgHeader::checksum) + 1;
    for (size_t i = 0; i < count; ++i) {
        if (edits[i].at < free_from || uint64_t(edits[i].at) + edits[i].n > image.size()) {
            log_message(fn_WrSEFS.text(), file_.path.c_str());
            return 0;
        }
        free_from = uint64_t(edits[i].at) + edits[i].n;
    }
    // Unchanged bytes between two edits of a stretch are written as the
    // image holds them, which is as the disk has them.
    constexpr uint32_t stretch_gap = 4096;
    for (size_t i = 0; i < count;) {
        const size_t first = i;
        uint32_t from = edits[i].at;
        uint32_t to = from;
        uint8_t rise = 0;
        for (; i < count && (i == first || edits[i].at - to < stretch_gap); ++i) {
            const ImageEdit& edit = edits[i];
            uint8_t* now = image.data() + edit.at;
            if (memcmp(now, edit.bytes, edit.n) != 0) {
                keep(Place::file, 0, edit.at, now, edit.n);
                rise = static_cast<uint8_t>(rise + sum_bytes(edit.bytes, edit.n) - sum_bytes(now, edit.n));
                memcpy(now, edit.bytes, edit.n);
            }
            to = edit.at + edit.n;
        }
        // In pieces, so that an XOR-ed file's copy stays small.
        for (uint32_t at = from; at < to;) {
            uint32_t n = std::min(to - at, piece_limit);
            if (!write_file_at(file_, image.data() + at, at, n))
                return 0;
            at += n;
        }
        pending_rise_ = static_cast<uint8_t>(pending_rise_ + rise);
    }
    return 1;
}

void InplaceStep::keep_image(uint32_t from, uint32_t n)
{
    const std::vector<uint8_t>& image = file_.header_buffer;
    if (!open_ || from >= image.size())
        return;
    keep(Place::image, 0, from, image.data() + from, static_cast<uint32_t>(std::min<uint64_t>(n, image.size() - from)));
}

int InplaceStep::extend_file(uint64_t size)
{
    if (!open_)
        return 0;
    if (fseeko(file_.stream, 0, SEEK_END) != 0 || ftello(file_.stream) < 0) {
        report_seek_error(file_.path.c_str());
        return 0;
    }
    uint64_t now = static_cast<uint64_t>(ftello(file_.stream));
    if (now >= size)
        return 1;
    lengthened_ = true;
    // Flushed at once: a full disk shows here, before any data goes there,
    // and stdio holds nothing that the positional transfers would miss.
    if (!write_fill_bytes(file_.stream, static_cast<int64_t>(size - now), static_cast<uint8_t>(file_.xor_mask)) ||
        fflush(file_.stream) != 0) {
        report_write_error(file_.path.c_str());
        return 0;
    }
    return 1;
}

int InplaceStep::finish()
{
    if (!open_)
        return 0;
    if (!write_checksum()) {
        undo();
        return 0;
    }
    if (fflush(file_.stream) != 0) {
        report_write_error(file_.path.c_str());
        undo();
        return 0;
    }
    release();
    return 1;
}

void InplaceStep::undo()
{
    if (!open_)
        return;
    // Newest change first, each on disk and in the image at its turn: a
    // subfile run goes back through the block lists it was written through,
    // as every later change, to the image too, is already undone.
    std::vector<uint8_t>& image = file_.header_buffer;
    size_t kept = kept_.size();
    for (auto c = journal_.rbegin(); c != journal_.rend(); ++c) {
        kept -= c->n;
        const uint8_t* old_bytes = kept_.data() + kept;
        if (c->place == Place::file)
            write_file_at(file_, old_bytes, c->position, c->n);
        else if (c->place == Place::subfile)
            write_subfile_data(file_, old_bytes, c->slot, static_cast<uint32_t>(c->position), c->n, 0);
        if (c->place != Place::subfile && c->position < image.size())
            memcpy(image.data() + c->position, old_bytes,
                   static_cast<size_t>(std::min<uint64_t>(c->n, image.size() - c->position)));
    }
    if (lengthened_ && (fflush(file_.stream) != 0 || ftruncate(fileno(file_.stream), static_cast<off_t>(disk_size_)) != 0))
        report_write_error(file_.path.c_str());
    file_.header_length = header_length_;
    file_.total_blocks = total_blocks_;
    file_.file_size = file_size_;
    for (size_t i = 0; i < subfiles_.size() && i < file_.subfiles.size(); ++i) {
        file_.subfiles[i].length = subfiles_[i].length;
        file_.subfiles[i].declared_length = subfiles_[i].declared_length;
        memcpy(file_.subfiles[i].name, subfiles_[i].name, sizeof subfiles_[i].name);
    }
    release();
}

void InplaceStep::release()
{
    close_input_file(file_);
    journal_.clear();
    journal_.shrink_to_fit();
    kept_.clear();
    kept_.shrink_to_fit();
    old_piece_.clear();
    old_piece_.shrink_to_fit();
    subfiles_.clear();
    subfiles_.shrink_to_fit();
    open_ = false;
}
