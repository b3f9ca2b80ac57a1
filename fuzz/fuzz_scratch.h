// What the fuzz targets share: the per-process scratch directory, files
// written and read whole, and the start-up of the console's state.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A private directory made on first use and removed at exit, so parallel
// fuzzing jobs never share files.
const std::string& fuzz_scratch_dir();

// Writes n bytes to path, replacing it; abort() when that fails, since a
// run that can't write its input has tested nothing.
void fuzz_write_file(const std::string& path, const void* bytes, size_t n);

// The whole content of path; abort() when it can't be read.
std::vector<uint8_t> fuzz_read_file(const std::string& path);

// What twk_main does before it parses, done once: the same texts and code
// page every run, English so a run never depends on the machine's locale.
void fuzz_prepare_console();
