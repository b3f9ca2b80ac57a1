// The subfile table of an IMG container.
//
// Not built yet: a container reads with no subfiles, which is also what a
// container without used FAT entries gives.
#include "core/subfile_table.h"

int read_subfile_table(InputFile& file)
{
    file.subfiles.clear();
    file.subfile_count = 0;
    return 1;
}
