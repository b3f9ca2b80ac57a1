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
#include "core/task_options.h"
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

    // A split for MapSource ends with the installation data, which needs a
    // family and a mapset name: these tests give them as options.
    void mapsource_family()
    {
        task_options.family_id = 1;
        task_options.product_id = 1;
        task_options.mapset_name = "Test Set";
    }
    // The outputs without the installation data files.
    std::set<std::string> map_outputs() const
    {
        std::set<std::string> names = outputs();
        for (const char* name : {"mapset.mp", "mapset.tdb", "mapset.mdx", "install.bat", "uninstall.bat"})
            names.erase(name);
        return names;
    }
    // The log up to the installation data.
    std::string maps_log() const { return log.substr(0, log.find("Write file mapset.mp\n")); }

    std::string out;
    InputList inputs;
};
