// The product-code field shared by the Join and Write tabs.
#include "gui/product_code_input.h"

#include <cstring>

int copy_product_code(const char* text, char* code)
{
    if (!text || !*text)
        return 0;
    char copied[12];
    size_t i = 0;
    // Six bits a character in the header: only 0x20..0x5F survive packing.
    for (; i < sizeof copied && text[i]; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c > 0x5F)
            return 0;
        copied[i] = static_cast<char>(c);
    }
    memset(copied + i, ' ', sizeof copied - i);
    memcpy(code, copied, sizeof copied);
    return 1;
}
