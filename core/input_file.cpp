// The input list and the records an InputFile's rows own.
#include "core/input_file.h"

InputFile& add_input_file(InputList& list, const std::string& path)
{
    list.push_back(std::make_unique<InputFile>());
    list.back()->path = path;
    return *list.back();
}

void SubfileEntry::release_records()
{
    tre_info.reset();
    lbl_info.reset();
    dem_info.reset();
    gmp_info.reset();
    header_info.reset();
}
