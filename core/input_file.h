// InputFile: one input (IMG container or single subfile file) and the input list.
//
// An InputFile owns everything read from its file. The list keeps the inputs
// in the order they were given; a task's operations take the whole list.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

struct InputFile {
    std::string path;
    FILE* stream = nullptr;
    int status = 0;  // read status code
};

using InputList = std::vector<std::unique_ptr<InputFile>>;

// Appends a new, empty InputFile for path and returns it.
InputFile& add_input_file(InputList& list, const std::string& path);
