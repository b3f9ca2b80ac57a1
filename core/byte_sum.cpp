// The byte sum. Every byte of every output passes through it (the checksum
// byte), so it takes many bytes at a time: the SSE2 and AVX2 "sum of
// absolute differences" against zero adds sixteen or thirty-two bytes into
// 64-bit lanes in one step. The build targets plain x86-64, so the AVX2 way
// is chosen when the program runs.
#include "core/byte_sum.h"

#include <algorithm>
#include <cstring>

#include "core/files.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define TWK_SUM_AVX2 1
#endif

uint32_t sum_bytes_words(const uint8_t* bytes, size_t n)
{
    // Eight bytes of a word go into four 16-bit lanes, which are folded into
    // the total before they can overflow (128 words add at most
    // 128 * 510 = 65280 to a lane).
    constexpr uint64_t low_bytes = 0x00FF00FF00FF00FFull;
    uint32_t sum = 0;
    size_t i = 0;
    while (n - i >= 8) {
        uint64_t lanes = 0;
        size_t words = std::min<size_t>((n - i) / 8, 128);
        for (size_t w = 0; w < words; ++w, i += 8) {
            uint64_t word;
            memcpy(&word, bytes + i, 8);
            lanes += (word & low_bytes) + ((word >> 8) & low_bytes);
        }
        sum += static_cast<uint32_t>((lanes & 0xFFFF) + ((lanes >> 16) & 0xFFFF) + ((lanes >> 32) & 0xFFFF) +
                                     (lanes >> 48));
    }
    for (; i < n; ++i)
        sum += bytes[i];
    return sum;
}

uint32_t sum_bytes_sse2(const uint8_t* bytes, size_t n)
{
    uint32_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    while (n - i >= 1024) {
        __m128i lanes = zero;
        for (size_t end = i + 1024; i < end; i += 64) {
            __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i));
            __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 16));
            __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 32));
            __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + i + 48));
            lanes = _mm_add_epi64(lanes, _mm_add_epi64(_mm_add_epi64(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)),
                                                       _mm_add_epi64(_mm_sad_epu8(c, zero), _mm_sad_epu8(d, zero))));
        }
        sum += static_cast<uint32_t>(_mm_cvtsi128_si32(lanes)) +
               static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_srli_si128(lanes, 8)));
    }
#endif
    return sum + sum_bytes_words(bytes + i, n - i);
}

#if TWK_SUM_AVX2
// The byte sum of the whole 128-byte steps from bytes + i, moving i past
// them. A 64-bit lane gains at most 1020 a step.
__attribute__((target("avx2"))) static uint32_t sum_steps_avx2(const uint8_t* bytes, size_t& i, size_t n)
{
    const __m256i zero = _mm256_setzero_si256();
    __m256i first = zero, second = zero;
    for (; n - i >= 128; i += 128) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 32));
        __m256i c = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 64));
        __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + i + 96));
        first = _mm256_add_epi64(first, _mm256_add_epi64(_mm256_sad_epu8(a, zero), _mm256_sad_epu8(b, zero)));
        second = _mm256_add_epi64(second, _mm256_add_epi64(_mm256_sad_epu8(c, zero), _mm256_sad_epu8(d, zero)));
    }
    __m256i lanes = _mm256_add_epi64(first, second);
    __m128i half = _mm_add_epi64(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
    return static_cast<uint32_t>(_mm_cvtsi128_si64(half) + _mm_cvtsi128_si64(_mm_srli_si128(half, 8)));
}
#endif

uint32_t sum_bytes_avx2(const uint8_t* bytes, size_t n)
{
    uint32_t sum = 0;
    size_t i = 0;
#if TWK_SUM_AVX2
    sum = sum_steps_avx2(bytes, i, n);
#endif
    return sum + sum_bytes_sse2(bytes + i, n - i);
}

bool sum_bytes_avx2_usable()
{
#if TWK_SUM_AVX2
    static const bool usable = __builtin_cpu_supports("avx2");
    return usable;
#else
    return false;
#endif
}

uint32_t sum_bytes(const void* buffer, size_t n)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    return n >= 128 && sum_bytes_avx2_usable() ? sum_bytes_avx2(bytes, n) : sum_bytes_sse2(bytes, n);
}
