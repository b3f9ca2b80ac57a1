// The ways of the byte sum that sum_bytes (core/files.h) chooses from when
// the program runs. Declared apart so that a test can hold each of them
// against a plain loop, not only the one this processor takes.
#pragma once

#include <cstddef>
#include <cstdint>

// Eight bytes of a word at a time, then one by one: any processor.
uint32_t sum_bytes_words(const uint8_t* bytes, size_t n);
// Sixteen bytes a step with SSE2 where the build has it, then the words.
uint32_t sum_bytes_sse2(const uint8_t* bytes, size_t n);
// Thirty-two bytes a step with AVX2, then the SSE2 way. Only to be called
// when sum_bytes_avx2_usable().
uint32_t sum_bytes_avx2(const uint8_t* bytes, size_t n);
// Whether the build has the AVX2 way and this processor can run it.
bool sum_bytes_avx2_usable();
