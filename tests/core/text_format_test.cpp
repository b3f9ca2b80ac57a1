// printf-style formatting into a string: every format, written directly or
// through vsnprintf, must give what vsnprintf gives.
#include "core/text_format.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

std::string through_printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string through_printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(nullptr, 0, format, args);
    std::string text(static_cast<size_t>(n), '\0');
    vsnprintf(text.data(), text.size() + 1, format, again);
    va_end(again);
    va_end(args);
    return text;
}

std::string formatted(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string formatted(const char* format, ...)
{
    std::string out = "before|";
    va_list args;
    va_start(args, format);
    append_vformat(out, format, args);
    va_end(args);
    return out;
}

// Formats with the same arguments both ways and compares.
#define EXPECT_AS_PRINTF(...) EXPECT_EQ(formatted(__VA_ARGS__), "before|" + through_printf(__VA_ARGS__))

}  // namespace

TEST(TextFormat, NumbersWithFlagsWidthsAndLengths)
{
    for (int v : {0, 1, -1, 7, -42, 123456, INT_MAX, INT_MIN}) {
        SCOPED_TRACE(v);
        const char* left_zeros = "%-05d|%-08X";  // '0' is ignored beside '-'
        EXPECT_AS_PRINTF("%d|%i|%5d|%-5d|%05d|%1d", v, v, v, v, v, v);
        EXPECT_AS_PRINTF(left_zeros, v, unsigned(v));
        EXPECT_AS_PRINTF("%u|%x|%X|%08X|%-8x|%2x", unsigned(v), unsigned(v), unsigned(v), unsigned(v), unsigned(v),
                         unsigned(v));
        EXPECT_AS_PRINTF("%hhd %hhu %hd %hu %hhx %hX", v, v, v, v, v, v);
        EXPECT_AS_PRINTF("%*d|%-*d|%*u", 7, v, 7, v, -6, unsigned(v));
    }
    for (long long v : {0LL, -1LL, LLONG_MIN, LLONG_MAX, 0x123456789ALL}) {
        SCOPED_TRACE(v);
        EXPECT_AS_PRINTF("%lld %ld %llu %lu %llX %lx %zu %zd %020lld", v, long(v), static_cast<unsigned long long>(v),
                         static_cast<unsigned long>(v), static_cast<unsigned long long>(v),
                         static_cast<unsigned long>(v), size_t(v), static_cast<std::make_signed_t<size_t>>(v), v);
    }
    uint64_t big = UINT64_MAX;
    EXPECT_AS_PRINTF("%" PRIu64 " %" PRIX64 " %9" PRIu64, big, big, uint64_t(5));
}

TEST(TextFormat, TextsCharactersAndPercentSigns)
{
    const char* null_text = nullptr;
    EXPECT_AS_PRINTF("%s|%10s|%-10s|%.3s|%.0s|%8.2s|%-8.2s|%.*s|%*s", "abcdef", "abc", "abc", "abcdef", "abc",
                     "abcdef", "abcdef", 4, "abcdef", -5, "ab");
    EXPECT_AS_PRINTF("%.6s %.*s", "12345", -1, "long text");
    // A precision reads no further than it says: no NUL is needed.
    const char unterminated[3] = {'x', 'y', 'z'};
    EXPECT_AS_PRINTF("[%.3s]", unterminated);
    EXPECT_AS_PRINTF("%s|%.7s|%.3s|%8s", null_text, null_text, null_text, null_text);
    EXPECT_AS_PRINTF("%c%c|%3c|%-3c|%%|100%%", 'a', 'b', 'c', 'd');
    EXPECT_EQ(formatted("%c", 0), std::string("before|") + '\0');
    EXPECT_AS_PRINTF("no conversions at all");
    EXPECT_AS_PRINTF("%s", "");
    EXPECT_AS_PRINTF("%s\t%s\n", "tab", "line");
    std::string long_text(1000, 'q');
    EXPECT_AS_PRINTF("%s|%-1200s|%d", long_text.c_str(), long_text.c_str(), 5);
}

// Formats outside the directly written kinds go to vsnprintf whole, and
// give the same text.
TEST(TextFormat, OtherFormatsGoThroughPrintf)
{
    EXPECT_AS_PRINTF("%3.6lf, %f, %.2e, %g", 51.5, -0.125, 12345.678, 1e-7);
    EXPECT_AS_PRINTF("%+d % d %#x %#o %o %.3d %5.3u %p", 5, 5, 255, 8, 8, 7, 7, static_cast<void*>(nullptr));
    // Formats the compiler would warn about, kept out of its sight.
    const char* odd_percent = "%s %d and %lf";
    const char* zero_text = "%05s|%lc";
    EXPECT_AS_PRINTF(odd_percent, "mixed", 3, 2.5);
    EXPECT_AS_PRINTF("%ju %td", uintmax_t(9), ptrdiff_t(-9));
    EXPECT_AS_PRINTF(zero_text, "ab", wint_t('w'));
}

// Random formats of the directly written kinds against vsnprintf.
TEST(TextFormat, RandomFormatsMatchPrintf)
{
    std::mt19937 random(20261210);
    const char* numbers[] = {"d", "i", "u", "x", "X", "hhd", "hu", "ld", "llu", "lX", "zu"};
    for (int round = 0; round < 2000; ++round) {
        std::string format = "<";
        std::string flags = random() % 3 == 0 ? "-" : "";
        if (random() % 3 == 0)
            flags += "0";
        std::string width = random() % 2 ? std::to_string(random() % 25) : "";
        const char* length_and_kind = numbers[random() % std::size(numbers)];
        format += "%" + flags + width + length_and_kind + ">%" + (random() % 2 ? "-" : "") +
                  std::to_string(random() % 12) + "." + std::to_string(random() % 9) + "s|";
        long long value = static_cast<long long>((uint64_t(random()) << 32) | random());
        if (random() % 2)
            value >>= random() % 64;
        const char* texts[] = {"", "a", "four", "a longer text"};
        const char* text = texts[random() % 4];
        SCOPED_TRACE(format);
        std::string out = "before|";
        // Every numeric kind above takes a long long in the same place on
        // this platform's calling convention only for the l/ll/z lengths;
        // the others take an int, so the value goes in as the length asks.
        char kind_length = length_and_kind[0];
        bool wide = kind_length == 'l' || kind_length == 'z';
        std::string expected = "before|";
        if (wide) {
            append_format(out, format.c_str(), value, text);
            expected += through_printf(format.c_str(), value, text);
        } else {
            append_format(out, format.c_str(), int(value), text);
            expected += through_printf(format.c_str(), int(value), text);
        }
        ASSERT_EQ(out, expected);
    }
}

TEST(TextFormat, DecimalsInPlaceMatchPrintf)
{
    const unsigned long long values[] = {0, 7, 42, 255, 2024, 65535, 4294967296ull, 18446744073709551615ull};
    for (unsigned long long value : values) {
        for (int width : {0, 1, 2, 4, 25}) {
            char expected[64];
            snprintf(expected, sizeof expected, "%0*llu", width, value);
            char out[64];
            char* end = put_decimal(out, value, width);
            EXPECT_EQ(std::string(out, end), expected) << value << " width " << width;
        }
    }
}
