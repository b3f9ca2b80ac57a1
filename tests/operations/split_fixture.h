// Split tests: inputs read as a task reads them and an output directory of
// their own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "core/files.h"
#include "core/host.h"
#include "core/reader.h"
#include "operations/split.h"
#include "operations/task_options.h"
#include "tests/core/built_inputs.h"
#include "tests/operations/subfile_contents.h"
#include "tests/support/host_capture.h"
#include "tests/support/img_builder.h"
#include "tests/support/test_support.h"

class SplitTest : public BuiltInputs {
protected:
    void SetUp() override
    {
        BuiltInputs::SetUp();
        capture_current_time();
        out = dir.file("out");
        std::filesystem::create_directory(out);
        task_options.output_path = out;
    }
    void TearDown() override
    {
        free_input_file_list(inputs);
        BuiltInputs::TearDown();
    }

    // An empty output directory and options that name only it.
    void fresh_output()
    {
        std::filesystem::remove_all(out);
        std::filesystem::create_directory(out);
        clear_task_options(task_options);
        task_options.output_path = out;
    }
    // Reads a file into the input list, as the task bridge does.
    InputFile& add(const std::string& path)
    {
        InputFile& input = add_input_file(inputs, path);
        EXPECT_EQ(read_input_file(input), 1) << path;
        take_log();
        return input;
    }
    InputFile& add_built(const ImgBuilder& builder, const std::string& name)
    {
        std::string path = dir.file(name);
        builder.write(path);
        return add(path);
    }
    int split()
    {
        int result = split_input_files(inputs);
        log = take_log();
        return result;
    }
    // The names of the files in the output directory.
    std::set<std::string> outputs() const
    {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(out))
            names.insert(entry.path().filename().string());
        return names;
    }
    std::string output(const std::string& name) const { return read_file(out + "/" + name); }

    std::string out;
    InputList inputs;
};
