/* The least a join must do with the bytes: read every input into a buffer,
 * add its bytes up (the header's checksum needs the sum of every byte) and
 * write it out, one file after another into one output. The benchmarks time
 * a join against `cat`, which has the kernel copy the bytes and never sees
 * them; this program, with the join's own buffer and write sizes (256 KiB
 * read into, written in pieces that end on 256 KiB multiples), shows
 * how much of that ratio any program that sums the bytes pays.
 *
 *   read_sum_write OUTPUT INPUT...
 *
 * Prints the byte sum modulo 256; exits with 1 on any failure.
 */
#define _GNU_SOURCE
#include <fcntl.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

enum { buffer_size = 256 * 1024, write_piece = 256 * 1024 };

static uint64_t sum_bytes(const unsigned char *bytes, size_t n)
{
    uint64_t sum = 0;
    size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    __m128i lanes = zero;
    for (; i + 64 <= n; i += 64) {
        __m128i a = _mm_loadu_si128((const __m128i *)(bytes + i));
        __m128i b = _mm_loadu_si128((const __m128i *)(bytes + i + 16));
        __m128i c = _mm_loadu_si128((const __m128i *)(bytes + i + 32));
        __m128i d = _mm_loadu_si128((const __m128i *)(bytes + i + 48));
        lanes = _mm_add_epi64(lanes, _mm_add_epi64(_mm_add_epi64(_mm_sad_epu8(a, zero), _mm_sad_epu8(b, zero)),
                                                   _mm_add_epi64(_mm_sad_epu8(c, zero), _mm_sad_epu8(d, zero))));
    }
    sum = (uint64_t)_mm_cvtsi128_si64(lanes) + (uint64_t)_mm_cvtsi128_si64(_mm_srli_si128(lanes, 8));
#endif
    for (; i < n; ++i)
        sum += bytes[i];
    return sum;
}

/* Writes the n bytes of buffer at offset at, in pieces that end on
 * multiples of write_piece. */
static int write_out(int out, const unsigned char *buffer, size_t n, off_t at)
{
    for (size_t done = 0; done < n;) {
        size_t piece = write_piece - (size_t)((at + (off_t)done) % write_piece);
        if (piece > n - done)
            piece = n - done;
        ssize_t w = pwrite(out, buffer + done, piece, at + (off_t)done);
        if (w <= 0)
            return 0;
        done += (size_t)w;
    }
    return 1;
}

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: read_sum_write OUTPUT INPUT...\n");
        return 1;
    }
    unsigned char *buffer = aligned_alloc(4096, buffer_size);
    int out = open(argv[1], O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (!buffer || out < 0) {
        perror(argv[1]);
        return 1;
    }
    uint64_t sum = 0;
    off_t position = 0;
    size_t used = 0;
    for (int i = 2; i < argc; ++i) {
        int in = open(argv[i], O_RDONLY);
        if (in < 0) {
            perror(argv[i]);
            return 1;
        }
        for (off_t at = 0;;) {
            if (used == buffer_size) {
                sum += sum_bytes(buffer, used);
                if (!write_out(out, buffer, used, position)) {
                    perror(argv[1]);
                    return 1;
                }
                position += (off_t)used;
                used = 0;
            }
            ssize_t n = pread(in, buffer + used, buffer_size - used, at);
            if (n < 0) {
                perror(argv[i]);
                return 1;
            }
            if (n == 0)
                break;
            used += (size_t)n;
            at += n;
        }
        close(in);
    }
    sum += sum_bytes(buffer, used);
    if (!write_out(out, buffer, used, position) || close(out) != 0) {
        perror(argv[1]);
        return 1;
    }
    printf("%u\n", (unsigned)(sum & 0xFF));
    free(buffer);
    return 0;
}
