// What every in-place change test needs: a copy of an input to change, its
// bytes before and after, the byte sum with the XOR undone, the offsets that
// changed, and a fresh read of the changed file.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/host.h"
#include "core/input_file.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

namespace inplace_test {

inline std::vector<uint8_t> file_bytes(const std::string& path)
{
    std::string text = read_file(path);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Byte sum of a file's content modulo 256, the XOR byte undone.
inline uint8_t content_sum(const std::vector<uint8_t>& bytes, uint8_t xor_byte = 0)
{
    uint32_t sum = 0;
    for (uint8_t b : bytes)
        sum += static_cast<uint8_t>(b ^ xor_byte);
    return static_cast<uint8_t>(sum);
}

// Offsets where two files of one length differ (a length change shows as
// every offset past the shorter end).
inline std::vector<size_t> changed_offsets(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    std::vector<size_t> changed;
    size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i)
        if (i >= a.size() || i >= b.size() || a[i] != b[i])
            changed.push_back(i);
    return changed;
}

// True when every changed offset lies in one of the [first, last] ranges.
inline bool only_in(const std::vector<size_t>& changed, std::initializer_list<std::pair<size_t, size_t>> ranges)
{
    for (size_t at : changed) {
        bool inside = false;
        for (auto [first, last] : ranges)
            inside = inside || (at >= first && at <= last);
        if (!inside)
            return false;
    }
    return true;
}

// The bytes of a subfile of a read container.
inline std::string subfile_bytes(InputFile& file, const SubfileEntry& subfile)
{
    std::vector<uint8_t> bytes(subfile.length);
    EXPECT_EQ(open_input_file(file, "rb"), 1);
    EXPECT_EQ(read_subfile_data(file, subfile.fat_slot, 0, bytes.data(), subfile.length), 1);
    close_input_file(file);
    return std::string(bytes.begin(), bytes.end());
}

class InplaceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
        current_time = CurrentTime{2025, 3, 14, 15, 9, 26, 0};
        take_log();
        take_debug_log();
    }
    void TearDown() override
    {
        clear_task_options(task_options);
        test_stop_after_polls = -1;
        test_debug_mask = 0;
    }

    // A copy of a file of the test data in the scratch directory.
    std::string copy(const std::string& source, const std::string& name = "")
    {
        std::string path = dir.file(name.empty() ? source.substr(source.rfind('/') + 1) : name);
        write_file(path, read_file(data_path(source)));
        return path;
    }
    std::string write(const std::string& name, const std::string& bytes)
    {
        std::string path = dir.file(name);
        write_file(path, bytes);
        return path;
    }

    // A fresh read of path; what reading logs is dropped, what was logged
    // before stays for the test to take.
    std::unique_ptr<InputFile> read(const std::string& path)
    {
        std::string earlier = take_log();
        auto file = std::make_unique<InputFile>();
        file->path = path;
        int errors = error_count;
        int warnings = warning_count;
        EXPECT_EQ(read_input_file(*file), 1) << path << take_log();
        error_count = errors;
        warning_count = warnings;
        take_log();
        if (!earlier.empty())
            log_message("%s", earlier.c_str());
        return file;
    }

    // The first MPS record of a letter, from a fresh read.
    std::string mps_record(const std::string& path, char letter)
    {
        auto file = read(path);
        for (const MpsRecordRef& r : file->mps_records)
            if (r.letter == letter)
                return std::string(file->mps_buffer.begin() + r.record_offset,
                                   file->mps_buffer.begin() + r.record_offset + r.record_length);
        return "";
    }

    ScratchDir dir;
};

}  // namespace inplace_test
