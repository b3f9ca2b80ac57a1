// The product code of the IMG header (0x30..0x38): 12 characters of
// 0x20..0x5F, 6 bits each (character - 32), packed into 9 bytes.
#pragma once

#include <cstdint>
#include <span>
#include <string>

// Packs 12 characters (blank padded) into the 9 header bytes: c9..c12 go to
// the first three bytes, c5..c8 to the next three, c1..c4 to the last three,
// each group of four as a little-endian 24-bit number.
void pack_product_code(std::span<const char, 12> code, std::span<uint8_t, 9> bytes);
// The 12 characters of the 9 header bytes without trailing blanks; a code of
// blanks only is empty.
std::string unpack_product_code(std::span<const uint8_t, 9> bytes);
