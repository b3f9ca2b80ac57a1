// The Linux stand-ins for the Windows services the programs call.
//
// Everything operating-system specific lives behind these functions:
// language from the environment, the ANSI code page of a language, the
// character classes and case mapping of Windows code pages (glibc has no
// code-page locales), the program directory, the banner box that a Linux
// console never shows, reads, writes and copies at given file offsets, and
// the large-page hint for big tables.
#pragma once

#include <cstddef>
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

// The longest prefix of at most limit bytes of a UTF-8 text of length bytes
// that does not end inside a character (0 when the text's first limit + 1
// bytes are all continuation bytes). Every cut of a UTF-8 text to a size
// goes through here.
size_t utf8_prefix_length(const char* text, size_t length, size_t limit);

// The system's text for an errno value ("No space left on device").
std::string error_text(int error);

// The code page whose tables stand for the character locale (0: "C"). The
// process locale itself is never switched: it stays "C".
int current_ctype_code_page();
// Makes code_page the current one; false (nothing changes) when its tables
// cannot be built.
bool set_current_ctype_code_page(int code_page);

}  // namespace platform

namespace platform {

// Opens an existing regular file (a FIFO, device or folder is never opened
// for use: the open itself does not block, and the kind is checked on the
// open file, not on its name). mode is an fopen mode that does not create
// ("rb", "r+b", "r"). Null with errno set on failure: ENODEV for anything
// that is not a regular file, EISDIR for a folder.
FILE* open_regular_file(const char* path, const char* mode);

// Positioned transfers, past the stream's stdio buffer (none may be
// pending). write_at writes all n bytes at offset; false on any failure.
bool write_at(FILE* stream, uint64_t offset, const void* bytes, size_t n);
// All n bytes at offset; false on an error or an early end of file.
bool read_at(FILE* stream, uint64_t offset, void* bytes, size_t n);
// The length of the stream's file without moving its position: a regular
// file's size from its status, anything else (a device) by where its end is.
// False when it has none (a pipe) or it cannot be learned.
bool file_length(FILE* stream, uint64_t& length);
// Makes the file exactly size bytes long; bytes never written read as zeros.
bool set_file_length(FILE* stream, uint64_t size);
// Gives a new file its first size bytes on the disk at once, reading as
// zeros, without writing them; false when the file system cannot, or has no
// room (nothing is promised then, and the file is as it was or longer with
// zeros).
bool reserve_file_space(FILE* stream, uint64_t size);

// Offers the bytes from start, not yet touched, to the kernel for large
// pages (only the whole 2 MiB pages inside them); a hint that changes
// nothing where large pages are off.
void offer_large_pages(void* start, size_t bytes);
// Blocks of this size or more are worth offering: fewer fill one large page.
constexpr size_t large_block_size = size_t(4) << 20;

}  // namespace platform

namespace platform {

// Outputs that appear under their names only when whole: each is written
// as an unnamed file in the folder where it will live (where the file system
// has none, under a fresh hidden name there) and given its name at the end,
// in one step within one file system.

// Creates and opens for writing a new file in the folder of path, with the
// permissions a newly created file would get: unnamed, or of a fresh hidden
// name that goes to temporary ("" for an unnamed one). Null when no such
// file can be made, with errno saying why.
FILE* create_temporary_beside(const std::string& path, std::string& temporary);

enum class MoveResult { moved, target_exists, failed };
// Gives the file that create_temporary_beside opened on stream the name to,
// in one step, while the stream is still open. Without replace, a file
// already called to stays and the result is target_exists. A regular file
// that it replaces hands its permission bits (read, write and execute of
// owner, group and others) on to it first. errno says why it failed.
MoveResult move_file_into_place(FILE* stream, const std::string& temporary, const std::string& to, bool replace);

// The name an output given as path is written under: path itself, or, when
// path is a symbolic link, the file the links finally name (which need not
// exist yet), so that the link stays and its target takes the output.
// False with errno set (ELOOP when the links never end) when the links
// cannot be followed.
bool output_target(const std::string& path, std::string& target);

// What a path names (through symbolic links), from one look: nothing (it
// could be created), a directory, or anything else that exists or cannot
// be looked at.
enum class PathKind { none, directory, other };
PathKind path_kind(const std::string& path);

// 0 when new files can be made in folder ("" for the current one): it is a
// directory, and one was made there and let go; otherwise the errno that
// says why not (ENOENT, ENOTDIR, EACCES, EROFS...). Rights alone do not
// tell: a file system may refuse what they allow.
int folder_write_error(const std::string& folder);

// Removes a file; false when it could not.
bool remove_file(const std::string& path);

}  // namespace platform

namespace platform {

// The break signals (SIGINT, SIGTERM and SIGHUP) of a run that changes files
// in place: caught, they only leave a note, and the run ends at the next
// point where every file is whole.

// While one lives, a break signal is noted instead of ending the program;
// the handlers from before come back when it goes.
class BreakSignalCatch {
public:
    BreakSignalCatch();
    ~BreakSignalCatch();
    BreakSignalCatch(const BreakSignalCatch&) = delete;
    BreakSignalCatch& operator=(const BreakSignalCatch&) = delete;
};

// The break signal noted since the last BreakSignalCatch began, 0 when none.
int caught_break_signal();

// While one lives, the break signals wait; one that came meanwhile arrives
// when the hold goes (holds may nest).
class BreakSignalHold {
public:
    BreakSignalHold();
    ~BreakSignalHold();
    BreakSignalHold(const BreakSignalHold&) = delete;
    BreakSignalHold& operator=(const BreakSignalHold&) = delete;
};

}  // namespace platform

namespace platform {

// Files that people edit (settings, language files) are looked at before
// anything reads them: only a regular file of a bounded size is read.
enum class SmallFileRead {
    read,         // bytes hold the whole file
    missing,      // nothing of that name (or a folder on the way is missing)
    folder,       // a folder of that name
    not_regular,  // a FIFO, device or socket (through symbolic links)
    too_large,    // over the limit
    failed,       // there, but it could not be opened or read
};
// Reads the whole of a regular file of at most limit bytes into bytes,
// opened as open_regular_file opens it, so a FIFO never blocks and a link
// to a device is never read from.
SmallFileRead read_small_file(const char* path, size_t limit, std::string& bytes);

// Renames path to path + suffix, or, when that name is taken, to path +
// suffix + ".1", ".2" and so on: nothing is ever replaced. The new name,
// or "" when the file could not be renamed.
std::string set_file_aside(const std::string& path, const std::string& suffix);

}  // namespace platform
