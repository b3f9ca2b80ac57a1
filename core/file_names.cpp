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
