// The product-code field of the Join and Write tabs: what a user may type
// into the 12 characters the IMG header packs at six bits each.
#pragma once

// Copies the first 12 characters of text into code (12 characters, not
// NUL-terminated), a shorter text padded with blanks, and returns 1. Returns
// 0 and leaves code alone when text is empty or one of those 12 characters
// lies outside 0x20..0x5F (blank to underscore: digits, upper-case letters
// and signs). Characters after the 12th are not examined: they are dropped.
int copy_product_code(const char* text, char* code);
