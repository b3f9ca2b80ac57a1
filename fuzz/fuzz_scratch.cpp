#include "fuzz/fuzz_scratch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

static std::string scratch_dir;

static void remove_scratch_dir()
{
    std::error_code ec;
    std::filesystem::remove_all(scratch_dir, ec);
}

const std::string& fuzz_scratch_dir()
{
    if (scratch_dir.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "twk-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            perror("mkdtemp");
            abort();
        }
        scratch_dir = pattern;
        atexit(remove_scratch_dir);
    }
    return scratch_dir;
}

void fuzz_write_file(const std::string& path, const void* bytes, size_t n)
{
    FILE* file = fopen(path.c_str(), "wb");
    if (!file || fwrite(bytes, 1, n, file) != n || fclose(file) != 0) {
        perror(path.c_str());
        abort();
    }
}
