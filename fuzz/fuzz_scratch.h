// The per-process scratch directory of the fuzz targets.
#pragma once

#include <string>

// A private directory made on first use and removed at exit, so parallel
// fuzzing jobs never share files.
const std::string& fuzz_scratch_dir();

// Writes n bytes to path, replacing it; abort() when that fails, since a
// run that can't write its input has tested nothing.
void fuzz_write_file(const std::string& path, const void* bytes, size_t n);
