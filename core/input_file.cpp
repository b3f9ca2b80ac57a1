// The input list.
#include "core/input_file.h"

InputFile& add_input_file(InputList& list, const std::string& path)
{
    list.push_back(std::make_unique<InputFile>());
    list.back()->path = path;
    return *list.back();
}
