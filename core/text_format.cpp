// printf-style formatting into a growing std::string.
//
// A report of thousands of tiles formats a dozen short pieces a file, and
// vsnprintf's set-up (a string stream made and linked for each call) cost
// more than the reading of the file's tables. Formats whose conversions are
// all of the plain kinds the texts use (%d %i %u %x %X %c %s %%, the flags
// '-' and '0', a width, a precision for %s, the lengths hh h l ll z) are
// therefore written here directly; any other format goes to vsnprintf. The
// quick path writes exactly what glibc's printf writes for those formats.
#include "core/text_format.h"

#include <climits>
#include <cstdio>
#include <cstring>
#include <type_traits>

namespace {

// One conversion of the quick path, as written in the format.
struct Conversion {
    bool left = false;             // '-'
    bool zeros = false;            // '0'
    bool width_given = false;      // '*': the width comes from the arguments
    bool precision_given = false;  // ".*": so does the precision
    int width = 0;
    int precision = -1;  // none
    char length = 0;     // 0, 'H' (hh), 'h', 'l', 'L' (ll), 'z'
    char kind = 0;       // d i u x X c s %
};

// Reads a width or precision at p, moving p past it: '*' (from the
// arguments) or decimal digits. False when it is too large to be meant.
bool read_count(const char*& p, int& value, bool& from_arguments)
{
    if (*p == '*') {
        from_arguments = true;
        ++p;
        return true;
    }
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value > 100000)
            return false;
        value = value * 10 + (*p - '0');
    }
    return true;
}

// Reads the conversion after a '%' at p into c; the position past it, or
// nullptr when it is not one the quick path writes.
const char* read_conversion(const char* p, Conversion& c)
{
    for (;; ++p) {
        if (*p == '-')
            c.left = true;
        else if (*p == '0')
            c.zeros = true;
        else
            break;
    }
    if (!read_count(p, c.width, c.width_given))
        return nullptr;
    if (*p == '.') {
        ++p;
        c.precision = 0;
        if (!read_count(p, c.precision, c.precision_given))
            return nullptr;
    }
    if (p[0] == 'h' && p[1] == 'h') {
        c.length = 'H';
        p += 2;
    } else if (p[0] == 'l' && p[1] == 'l') {
        c.length = 'L';
        p += 2;
    } else if (*p == 'h' || *p == 'l' || *p == 'z') {
        c.length = *p++;
    }
    c.kind = *p;
    bool number = c.kind == 'd' || c.kind == 'i' || c.kind == 'u' || c.kind == 'x' || c.kind == 'X';
    bool text = c.kind == 's' || c.kind == 'c';
    if (c.kind == '%') {
        // Only the plain "%%".
        bool plain = !c.left && !c.zeros && !c.width_given && c.width == 0 && c.precision < 0 && c.length == 0;
        return plain ? p + 1 : nullptr;
    }
    // A precision is taken for %s only; '0' and a length are for numbers.
    if (!number && !text)
        return nullptr;
    if (c.precision >= 0 && c.kind != 's')
        return nullptr;
    if (text && (c.zeros || c.length != 0))
        return nullptr;
    return p + 1;
}

// The text of one format on its way into the string: gathered on the stack
// and appended a few hundred bytes at a time, not piece by piece.
class Gathered {
public:
    explicit Gathered(std::string& out) : out_(out) {}
    void put(char c)
    {
        if (used_ == sizeof bytes_)
            flush();
        bytes_[used_++] = c;
    }
    void put(const char* text, size_t n)
    {
        if (n > sizeof bytes_ - used_) {
            flush();
            if (n > sizeof bytes_) {
                out_.append(text, n);
                return;
            }
        }
        memcpy(bytes_ + used_, text, n);
        used_ += n;
    }
    void put_many(char c, size_t n)
    {
        for (; n > 0; --n)
            put(c);
    }
    void flush()
    {
        out_.append(bytes_, used_);
        used_ = 0;
    }

private:
    std::string& out_;
    char bytes_[256];
    size_t used_ = 0;
};

// Puts body (n bytes after a sign of sign_length bytes, both in text) padded
// to width: spaces after (left) or before it, or zeros between sign and body.
void put_padded(Gathered& out, const char* text, size_t n, size_t sign_length, int width, bool left, bool zeros)
{
    size_t pad = width > 0 && static_cast<size_t>(width) > n ? static_cast<size_t>(width) - n : 0;
    if (left) {
        out.put(text, n);
        out.put_many(' ', pad);
    } else if (zeros) {
        out.put(text, sign_length);
        out.put_many('0', pad);
        out.put(text + sign_length, n - sign_length);
    } else {
        out.put_many(' ', pad);
        out.put(text, n);
    }
}

// The digits of value, decimal or (kind x, X) hexadecimal, put before end;
// returns where they start. Each base has its own loop: a division by a
// constant is a multiplication, by a variable a slow divide.
char* put_digits(char* end, unsigned long long value, char kind)
{
    char* p = end;
    if (kind == 'x' || kind == 'X') {
        const char* digits = kind == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
        do {
            *--p = digits[value & 15];
            value >>= 4;
        } while (value);
    } else {
        do {
            *--p = static_cast<char>('0' + value % 10);
            value /= 10;
        } while (value);
    }
    return p;
}

long long signed_argument(char length, va_list& args)
{
    switch (length) {
    case 'H': return static_cast<signed char>(va_arg(args, int));
    case 'h': return static_cast<short>(va_arg(args, int));
    case 'l': return va_arg(args, long);
    case 'L': return va_arg(args, long long);
    case 'z': return va_arg(args, std::make_signed_t<size_t>);
    default: return va_arg(args, int);
    }
}

unsigned long long unsigned_argument(char length, va_list& args)
{
    switch (length) {
    case 'H': return static_cast<unsigned char>(va_arg(args, unsigned));
    case 'h': return static_cast<unsigned short>(va_arg(args, unsigned));
    case 'l': return va_arg(args, unsigned long);
    case 'L': return va_arg(args, unsigned long long);
    case 'z': return va_arg(args, size_t);
    default: return va_arg(args, unsigned);
    }
}

// Formats format onto out; false, with part of it appended, at the first
// conversion that is not one of the quick path's.
bool append_quick(std::string& text_out, const char* format, va_list& args)
{
    Gathered out(text_out);
    const char* p = format;
    for (;;) {
        for (; *p && *p != '%'; ++p)
            out.put(*p);
        if (!*p) {
            out.flush();
            return true;
        }
        Conversion c;
        p = read_conversion(p + 1, c);
        if (!p)
            return false;
        if (c.kind == '%') {
            out.put('%');
            continue;
        }
        int width = c.width;
        bool left = c.left;
        if (c.width_given) {
            width = va_arg(args, int);
            if (width < 0) {
                left = true;
                width = width == INT_MIN ? INT_MAX : -width;
            }
        }
        int precision = c.precision;
        if (c.precision_given) {
            precision = va_arg(args, int);
            if (precision < 0)
                precision = -1;
        }
        char buffer[24];
        char* end = buffer + sizeof buffer;
        switch (c.kind) {
        case 'd':
        case 'i': {
            long long value = signed_argument(c.length, args);
            unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                     : static_cast<unsigned long long>(value);
            char* start = put_digits(end, magnitude, 'd');
            if (value < 0)
                *--start = '-';
            put_padded(out, start, static_cast<size_t>(end - start), value < 0 ? 1 : 0, width, left, c.zeros);
            break;
        }
        case 'u':
        case 'x':
        case 'X': {
            char* start = put_digits(end, unsigned_argument(c.length, args), c.kind);
            put_padded(out, start, static_cast<size_t>(end - start), 0, width, left, c.zeros);
            break;
        }
        case 'c': {
            char one = static_cast<char>(va_arg(args, int));
            put_padded(out, &one, 1, 0, width, left, c.zeros);
            break;
        }
        default: {  // 's'
            const char* text = va_arg(args, const char*);
            if (!text)
                text = precision < 0 || precision >= 6 ? "(null)" : "";
            size_t n = precision >= 0 ? strnlen(text, static_cast<size_t>(precision)) : strlen(text);
            put_padded(out, text, n, 0, width, left, c.zeros);
            break;
        }
        }
    }
}

}  // namespace

char* put_decimal(char* at, unsigned long long value, int width)
{
    char digits[24];
    char* end = digits + sizeof digits;
    char* start = put_digits(end, value, 'u');
    for (long n = end - start; width > n; --width)
        *at++ = '0';
    memcpy(at, start, static_cast<size_t>(end - start));
    return at + (end - start);
}

void append_vformat(std::string& out, const char* format, va_list args)
{
    // The quick path reads its own copy of the arguments: a format it does
    // not take is taken back out and given to vsnprintf whole.
    size_t before = out.size();
    va_list own;
    va_copy(own, args);
    bool done = append_quick(out, format, own);
    va_end(own);
    if (done)
        return;
    out.resize(before);
    // Most texts are a line: they are formatted once, into a buffer on the
    // stack; a longer one is measured there and formatted again at its end.
    char line[256];
    va_list again;
    va_copy(again, args);
    int n = vsnprintf(line, sizeof line, format, args);
    if (n > 0 && static_cast<size_t>(n) < sizeof line) {
        out.append(line, static_cast<size_t>(n));
    } else if (n > 0) {
        size_t at = out.size();
        out.resize(at + static_cast<size_t>(n) + 1);
        vsnprintf(out.data() + at, static_cast<size_t>(n) + 1, format, again);
        out.resize(at + static_cast<size_t>(n));
    }
    va_end(again);
}

void append_format(std::string& out, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    append_vformat(out, format, args);
    va_end(args);
}
