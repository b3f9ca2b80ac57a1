// Reading synthetic containers in the core tests: a builder's file written
// to a scratch directory and read as a task would, with the log it wrote.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "core/host.h"
#include "core/reader.h"
#include "core/task_options.h"
#include "tests/support/host_capture.h"
#include "tests/support/img_builder.h"
#include "tests/support/test_support.h"

// A fixture that starts every test with clean options, counters and log.
class BuiltInputs : public ::testing::Test {
protected:
    void SetUp() override
    {
        reset_test_state();
    }
    void TearDown() override { clear_task_options(task_options); }

    // Writes the builder's file as name and reads it into file; the log it
    // wrote goes to `log`.
    int read_built(const ImgBuilder& builder, InputFile& file, const std::string& name = "built.img")
    {
        path = dir.file(name);
        builder.write(path);
        return read_path(file, path);
    }
    int read_path(InputFile& file, const std::string& p)
    {
        file.path = p;
        int result = read_input_file(file);
        log = take_log();
        return result;
    }

    ScratchDir dir;
    std::string path;
    std::string log;
};

// Bytes whose value tells their offset, for checking what a read returned.
inline std::string patterned(size_t n, unsigned seed = 0)
{
    std::string bytes(n, '\0');
    for (size_t i = 0; i < n; ++i)
        bytes[i] = static_cast<char>((i * 7 + i / 251 + seed) & 0xFF);
    return bytes;
}
