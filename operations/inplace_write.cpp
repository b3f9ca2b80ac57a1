// The one way an in-place change writes into an input file: groups of bytes
// that keep the whole-file byte sum, and the undo of a step that failed.
#include "operations/inplace_write.h"

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

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
    try {
        header_buffer_ = file_.header_buffer;
        subfiles_.clear();
        subfiles_.reserve(file_.subfiles.size());
    } catch (const std::bad_alloc&) {
        log_message(fn_OuOfMe.text());
        release();
        return 0;
    }
    header_length_ = file_.header_length;
    total_blocks_ = file_.total_blocks;
    file_size_ = file_.file_size;
    for (const SubfileEntry& s : file_.subfiles) {
        SubfileState state{s.length, s.declared_length, {}};
        memcpy(state.name, s.name, sizeof state.name);
        subfiles_.push_back(state);
    }
    journal_.clear();
    lengthened_ = false;
    open_ = true;
    return 1;
}

int InplaceStep::put(bool in_subfile, uint32_t slot, uint64_t position, const uint8_t* bytes, uint32_t n)
{
    if (!open_)
        return 0;
    if (n == 0)
        return 1;
    // Where the group lies in the file: a subfile's bytes where its block
    // list puts them, every block checked before a byte moves.
    const uint32_t offset = static_cast<uint32_t>(position);
    std::vector<BlockRun> runs;
    if (!in_subfile)
        runs.push_back({position, 0, n});
    else if (!map_subfile_runs(file_, slot, offset, n, true, &fn_WrSEFS, runs))
        return 0;
    std::vector<uint8_t> old_bytes(n);
    if (!(in_subfile ? read_subfile_data(file_, slot, offset, old_bytes.data(), n)
                     : read_file_at(file_, old_bytes.data(), position, n)))
        return 0;
    std::vector<uint8_t> data(bytes, bytes + n);

    // The checksum byte, when this group holds it, is left out of the rise and
    // set from its old value; otherwise it is written on its own afterwards.
    constexpr uint64_t at = ImgHeader::checksum;
    bool holds_checksum = keep_sum_ && !in_subfile && position <= at && at < position + n;
    uint8_t rise = 0;
    if (keep_sum_) {
        rise = static_cast<uint8_t>(sum_bytes(data.data(), n) - sum_bytes(old_bytes.data(), n));
        if (holds_checksum) {
            size_t i = static_cast<size_t>(at - position);
            rise = static_cast<uint8_t>(rise - (data[i] - old_bytes[i]));
            data[i] = static_cast<uint8_t>(old_bytes[i] - rise);
        }
    }
    // Kept before the write: a write that fails half-way is undone too.
    for (const BlockRun& run : runs)
        journal_.push_back({run.position, std::vector<uint8_t>(old_bytes.begin() + run.done,
                                                               old_bytes.begin() + run.done + run.count)});
    if (!(in_subfile ? write_subfile_data(file_, data.data(), slot, offset, n, 0)
                     : write_file_at(file_, data.data(), position, n)))
        return 0;

    // The image follows what is on disk wherever a group lands in it.
    std::vector<uint8_t>& image = file_.header_buffer;
    if (!in_subfile && position < image.size()) {
        uint64_t end = std::min<uint64_t>(position + n, image.size());
        memcpy(image.data() + position, data.data(), static_cast<size_t>(end - position));
    }
    return holds_checksum || rise == 0 ? 1 : put_checksum(rise);
}

int InplaceStep::put_checksum(uint8_t rise)
{
    constexpr uint64_t at = ImgHeader::checksum;
    uint8_t old_value = 0;
    if (!read_file_at(file_, &old_value, at, 1))
        return 0;
    uint8_t value = static_cast<uint8_t>(old_value - rise);
    journal_.push_back({at, {old_value}});
    if (!write_file_at(file_, &value, at, 1))
        return 0;
    if (file_.header_buffer.size() > at)
        file_.header_buffer[at] = value;
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

int InplaceStep::put_header(uint32_t from, uint32_t n)
{
    if (uint64_t(from) + n > file_.header_buffer.size()) {
        log_message(fn_WrSEFS.text(), file_.path.c_str());
        return 0;
    }
    // put() takes its own copy of the bytes before the image follows them.
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
    for (uint32_t i = 0; i < count; ++i)
        if (!put_header(file_.fat_slots[slot + i].entry_offset, FatEntry::size))
            return 0;
    return 1;
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
    // Newest first: where groups overlap, the oldest bytes go back last.
    for (auto c = journal_.rbegin(); c != journal_.rend(); ++c)
        write_file_at(file_, c->old_bytes.data(), c->position, static_cast<uint32_t>(c->old_bytes.size()));
    if (lengthened_ && (fflush(file_.stream) != 0 || ftruncate(fileno(file_.stream), static_cast<off_t>(disk_size_)) != 0))
        report_write_error(file_.path.c_str());
    // Copied back into the image's own room: views of it stay good.
    file_.header_buffer.assign(header_buffer_.begin(), header_buffer_.end());
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
    std::vector<uint8_t>().swap(header_buffer_);
    subfiles_.clear();
    open_ = false;
}
