// The Linux stand-ins for the Windows services the programs call.
//
// Everything operating-system specific lives behind these functions:
// language from the environment, the ANSI code page of a language, the
// character classes and case mapping of Windows code pages (glibc has no
// code-page locales), the program directory, and the banner box that a
// Linux console never shows.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace platform {

// Windows-style language id (LANGID) of the user: from LC_ALL, then
// LC_MESSAGES, then LANG. A value starting with "pl" gives 0x0415 (Polish,
// primary id 0x15); anything else 0x0409 (English), the only two languages
// the programs tell apart.
int user_language_id();
// The user's locale from the same variables with its ".codeset" part cut
// ("pl_PL.UTF-8" -> "pl_PL"), or "" when none is set.
std::string user_locale_name();
// The ANSI code page of the user's language (1250 for Polish, 1252 by default).
int ansi_code_page();
// Directory of the running program, from /proc/self/exe, without trailing
// '/' ("/" for the root); "" when it cannot be found.
std::string program_directory();
// The console banner box: Linux has no start-up window state; never shows.
int show_banner_box(int no_arguments);

// Character classes and case mapping of one Windows code page, or of the
// "C" locale when code_page is 0. Bytes below 0x80 follow ASCII.
struct CodePageCtype {
    int code_page = 0;
    unsigned char upper[256];
    unsigned char lower[256];
    unsigned char is_alpha[256];
    unsigned char is_digit[256];
    // Lead bytes of the double-byte code pages (932, 936, 949, 950): the
    // byte after one is a trail byte and never a character of its own.
    unsigned char is_lead[256];
};
// The tables of a code page, built on first use; null when iconv does not
// know the code page.
const CodePageCtype* code_page_ctype(int code_page);

// The code page whose tables stand for the character locale (0: "C"). The
// process locale itself is never switched: it stays "C".
int current_ctype_code_page();
// Makes code_page the current one; false (nothing changes) when its tables
// cannot be built.
bool set_current_ctype_code_page(int code_page);

}  // namespace platform

namespace platform {

// A read-only window onto part of an open file, mapped into memory, so a
// copy can take the bytes straight from the file's pages. Unmapped when it
// goes away or maps another part.
class FileWindow {
public:
    FileWindow() = default;
    ~FileWindow();
    FileWindow(const FileWindow&) = delete;
    FileWindow& operator=(const FileWindow&) = delete;

    // Maps [offset, offset + length) of the stream's file; false when the
    // system refuses (the caller then reads the bytes instead).
    bool map(FILE* stream, uint64_t offset, size_t length);
    const uint8_t* data() const { return data_; }

private:
    void unmap();
    void* base_ = nullptr;
    size_t mapped_ = 0;
    const uint8_t* data_ = nullptr;
};

// Copies length bytes at offset of the input stream's file to the output
// stream's file at its current position, inside the kernel. The output
// stream is flushed first. False when the system cannot (nothing was then
// written: the caller writes the bytes itself).
bool copy_file_part(FILE* input, uint64_t offset, FILE* output, size_t length);

}  // namespace platform
