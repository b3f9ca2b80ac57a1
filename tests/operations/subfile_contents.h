// Reading back what a writer made: the subfiles of an IMG, or the data of a
// single file, through the reader's own transfer routines; its MPS records,
// its byte sum, and mkgmap as a second reader where it is installed.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/input_file.h"
#include "core/reader.h"
#include "tests/support/host_capture.h"
#include "tests/support/test_support.h"

// The usable bytes of each subfile of a read IMG, or the data of a single
// file, by 11-character FAT name (name and extension).
inline std::map<std::string, std::string> subfile_contents(InputFile& file)
{
    std::map<std::string, std::string> out;
    EXPECT_EQ(open_input_file(file, "rb"), 1);
    if (file.kind != FILE_IMG) {
        std::string data(file.data_length, '\0');
        EXPECT_EQ(read_file_at(file, data.data(), 0, file.data_length), 1);
        out[file.single_subfile.name] = data;
    }
    for (const SubfileEntry& s : file.subfiles) {
        std::string data(s.length, '\0');
        if (s.length) {
            EXPECT_EQ(read_subfile_data(file, s.fat_slot, 0, data.data(), s.length), 1) << s.name;
        }
        out[s.name] = data;
    }
    close_input_file(file);
    return out;
}

// The records of a file's MPS, each as its bytes.
inline std::vector<std::string> mps_records_of(const InputFile& file)
{
    std::vector<std::string> out;
    for (const MpsRecordRef& r : file.mps_records)
        out.emplace_back(reinterpret_cast<const char*>(file.mps_buffer.data()) + r.record_offset, r.record_length);
    return out;
}

inline std::vector<std::string> records_with_letter(const std::vector<std::string>& records, char letter)
{
    std::vector<std::string> out;
    for (const std::string& r : records)
        if (r[0] == letter)
            out.push_back(r);
    return out;
}

inline uint32_t whole_file_byte_sum(const std::string& path)
{
    uint32_t sum = 0;
    for (char c : read_file(path))
        sum += static_cast<uint8_t>(c);
    return sum & 0xFF;
}

inline bool have_mkgmap() { return run_program("sh", {"-c", "command -v mkgmap"}).exit_code == 0; }

// Hands outputs to mkgmap as its inputs, all in one run (a run costs far
// more than what it reads): it must make a gmapsupp of them without an
// error. Returns mkgmap's output.
inline std::string expect_mkgmap_accepts(const std::vector<std::string>& paths, const ScratchDir& out)
{
    std::vector<std::string> args{"--output-dir=" + out.path(), "--no-tdbfile", "--gmapsupp"};
    args.insert(args.end(), paths.begin(), paths.end());
    RunResult run = run_program("mkgmap", args);
    EXPECT_EQ(run.exit_code, 0) << run.output;
    EXPECT_EQ(run.output.find("SEVERE"), std::string::npos) << run.output;
    return run.output;
}
inline std::string expect_mkgmap_accepts(const std::string& path, const ScratchDir& out)
{
    return expect_mkgmap_accepts(std::vector<std::string>{path}, out);
}

// As above, and what it copied must be every subfile of ours (but the MPS,
// which it makes anew) byte for byte.
inline void expect_mkgmap_reads(const std::vector<std::string>& paths)
{
    ScratchDir out;
    std::string output = expect_mkgmap_accepts(paths, out);
    InputFile theirs;
    theirs.path = out.file("gmapsupp.img");
    ASSERT_EQ(read_input_file(theirs), 1) << output;
    take_log();
    std::map<std::string, std::string> copied = subfile_contents(theirs);
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        InputFile ours;
        ours.path = path;
        ASSERT_EQ(read_input_file(ours), 1);
        take_log();
        for (auto& [name, data] : subfile_contents(ours)) {
            if (name.substr(8) != "MPS") {
                EXPECT_TRUE(copied.count(name) && copied[name] == data) << name;
            }
        }
    }
}
inline void expect_mkgmap_reads(const std::string& path) { expect_mkgmap_reads(std::vector<std::string>{path}); }
