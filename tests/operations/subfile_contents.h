// Reading back what a writer made: the subfiles of an IMG, or the data of a
// single file, through the reader's own transfer routines.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>

#include "core/files.h"
#include "core/input_file.h"

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
