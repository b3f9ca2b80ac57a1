// printf-style formatting into a growing std::string.
//
// Every text the programs build before writing it (report rows, map files,
// console lines) goes through here, so no text is ever cut at a fixed buffer
// size and no format is applied twice by hand.
#pragma once

#include <cstdarg>
#include <string>

// Appends the formatted text to out.
void append_vformat(std::string& out, const char* format, va_list args);
void append_format(std::string& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
