#include "fuzz/fuzz_scratch.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "core/codepage.h"
#include "core/files.h"
#include "core/host.h"
#include "operations/task_bridge.h"

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

std::vector<uint8_t> fuzz_read_file(const std::string& path)
{
    std::vector<uint8_t> bytes;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) {
        perror(path.c_str());
        abort();
    }
    uint8_t buffer[65536];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, file)) > 0)
        bytes.insert(bytes.end(), buffer, buffer + n);
    fclose(file);
    return bytes;
}

void fuzz_prepare_console()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    make_version_text();
    capture_current_time();
    init_locale();
    english_texts = 1;
    set_ctype_code_page(1252);
    load_core_messages(nullptr, 0, 0);
}
