// Small tests and cuts on file names that both programs share.
#include "core/file_names.h"

#include <cstring>
#include <initializer_list>

const char* path_base_name(const char* path)
{
    if (!path)
        return "";
    // '/' is looked for first: a name may hold a '\' behind the last '/'
    // only on a system where '\' is an ordinary character.
    for (char separator : {'/', '\\', ':'}) {
        if (const char* last = strrchr(path, separator))
            return last + 1;
    }
    return path;
}

int contains_invalid_name_chars(const char* name)
{
    if (!name)
        return 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(name); *p; ++p) {
        if (*p < 32 || strchr("\"*/?\\", *p))
            return 1;
    }
    return 0;
}

void sanitise_output_file_name(std::string& name)
{
    for (char& c : name) {
        unsigned char byte = static_cast<unsigned char>(c);
        if (byte < 32 || byte == 0x7F || c == '/' || c == '\\')
            c = '_';
    }
    // Left to right, so a run of dots loses every dot but its last.
    for (size_t i = 0; i + 1 < name.size(); ++i)
        if (name[i] == '.' && name[i + 1] == '.')
            name[i] = '_';
    if (name.empty() || name == ".")
        name.assign(1, '_');
}

std::string dotted_fat_name(const char* name11)
{
    return std::string(name11, 8) + "." + std::string(name11 + 8, 3);
}
