// The product code of the IMG header: 12 six-bit characters in 9 bytes.
#include "core/product_code.h"

#include "core/byte_view.h"

// The character groups in the order they are stored: c9..c12, c5..c8, c1..c4.
static constexpr int group_first_character[3] = {8, 4, 0};

void pack_product_code(std::span<const char, 12> code, std::span<uint8_t, 9> bytes)
{
    ByteSpan out(bytes.data(), bytes.size());
    for (int g = 0; g < 3; ++g) {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) {
            // Characters outside 0x20..0x5F are refused by the option parsers;
            // masking keeps one that slipped through from spilling into its
            // neighbour's bits.
            uint32_t c = static_cast<uint8_t>(code[group_first_character[g] + i]);
            v = v << 6 | ((c - 32) & 63);
        }
        out.put_u24(3 * g, v);
    }
}

std::string unpack_product_code(std::span<const uint8_t, 9> bytes)
{
    ByteView in(bytes.data(), bytes.size());
    std::string code(12, ' ');
    for (int g = 0; g < 3; ++g) {
        uint32_t v = in.u24(3 * g);
        for (int i = 0; i < 4; ++i)
            code[group_first_character[g] + i] = static_cast<char>(((v >> (18 - 6 * i)) & 63) + 32);
    }
    code.erase(code.find_last_not_of(' ') + 1);
    return code;
}
