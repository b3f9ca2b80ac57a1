// Code pages, locale, label case and CRC-32.
//
// Two iconv converters are cached, one per direction, because label
// sections and file lists are converted text by text: a converter opens only
// when the code page changes, and a code page iconv refused is not tried
// again until another one has been asked for. Results live in static
// buffers of kResultSize bytes whose last byte is always 0.
#include "core/codepage.h"

#include <iconv.h>
#include <locale.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/host.h"
#include "core/task_options.h"
#include "platform/platform.h"

int windows_language_id = 0;
int system_code_page = 0;
int language_default_code_page = 1252;
int mapset_cp_type = 0;
int user_code_page = 0;
const char* user_locale_name = nullptr;

namespace {

constexpr size_t kResultSize = 1400;    // static result buffers; byte 1399 stays 0
constexpr size_t kWorkSize = 1000;      // input limit and work area of in-place conversion
constexpr size_t kNameBufferSize = 60;  // shared buffer of the mapset-name conversion
constexpr size_t kNameRoom = 50;        // converted bytes a name may take
constexpr int kUtf8CodePage = 65001;

// One direction's converter. code_page: 0 none open, n open for n, -n the
// converter for n could not be opened.
struct Converter {
    bool to_code_page;  // UTF-8 -> code page, else code page -> UTF-8
    int code_page = 0;
    iconv_t handle = reinterpret_cast<iconv_t>(-1);
};

Converter outgoing{true};
Converter incoming{false};
int open_count = 0;

// Makes the converter serve code page n (> 0); false when it cannot.
bool switch_converter(Converter& c, int n)
{
    if (c.code_page == n)
        return true;
    if (c.code_page > 0)
        iconv_close(c.handle);
    else if (c.code_page == -n)
        return false;
    c.code_page = 0;
    char name[16];
    snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(n));
    ++open_count;
    c.handle = c.to_code_page ? iconv_open(name, "UTF-8") : iconv_open("UTF-8", name);
    if (c.handle == reinterpret_cast<iconv_t>(-1)) {
        c.code_page = -n;
        return false;
    }
    c.code_page = n;
    return true;
}

struct ConversionResult {
    size_t written;  // output bytes
    int error;       // 0: all input converted; else errno (EILSEQ, EINVAL, E2BIG)
};

// One conversion from the initial shift state. It stops at the end of the
// input, at a character without a form in the target or an invalid
// sequence, or when the next character does not fit: iconv never writes
// part of a character, so the output ends on a character boundary.
ConversionResult run_conversion(const Converter& c, const char* input, size_t length, char* output, size_t room)
{
    iconv(c.handle, nullptr, nullptr, nullptr, nullptr);
    char* in = const_cast<char*>(input);
    char* out = output;
    size_t out_left = room;
    int error = 0;
    if (iconv(c.handle, &in, &length, &out, &out_left) == static_cast<size_t>(-1))
        error = errno;
    else if (iconv(c.handle, nullptr, nullptr, &out, &out_left) == static_cast<size_t>(-1))
        error = errno;  // a stateful code page had a character pending
    return {room - out_left, error};
}

// Converts text with its NUL into a static result buffer, which then ends
// where the conversion stopped.
const char* convert_into(Converter& c, int code_page, const char* text, std::array<char, kResultSize>& result)
{
    // The Windows code pages write ASCII as ASCII, both ways: a text without
    // a byte above 0x7F is its own conversion (a report names thousands of
    // maps, most of them in plain ASCII).
    if (code_page >= 1250 && code_page <= 1258) {
        size_t n = 0;
        while (text[n] && static_cast<unsigned char>(text[n]) < 0x80)
            ++n;
        if (!text[n]) {
            n = std::min(n, kResultSize - 1);
            memcpy(result.data(), text, n);
            result[n] = '\0';
            return result.data();
        }
    }
    if (!switch_converter(c, code_page))
        return text;
    ConversionResult r = run_conversion(c, text, strlen(text) + 1, result.data(), kResultSize - 1);
    result[r.written] = '\0';
    result[kResultSize - 1] = '\0';
    return result.data();
}

// The accent tables of "no accents": runs of bytes that lose their accent.
struct AccentRun {
    unsigned char first, last;
    char plain;
};

constexpr AccentRun accents_1250[] = {
    {0x8A, 0x8A, 'S'}, {0x8C, 0x8C, 'S'}, {0x8D, 0x8D, 'T'}, {0x8E, 0x8F, 'Z'},
    {0x9A, 0x9A, 's'}, {0x9C, 0x9C, 's'}, {0x9D, 0x9D, 't'}, {0x9E, 0x9F, 'z'},
    {0xA3, 0xA3, 'L'}, {0xA5, 0xA5, 'A'}, {0xAA, 0xAA, 'S'}, {0xAF, 0xAF, 'Z'},
    {0xB3, 0xB3, 'l'}, {0xB9, 0xB9, 'a'}, {0xBA, 0xBA, 's'}, {0xBC, 0xBC, 'L'},
    {0xBE, 0xBE, 'l'}, {0xBF, 0xBF, 'z'}, {0xC0, 0xC0, 'R'}, {0xC1, 0xC4, 'A'},
    {0xC5, 0xC5, 'L'}, {0xC6, 0xC8, 'C'}, {0xC9, 0xCC, 'E'}, {0xCD, 0xCE, 'I'},
    {0xCF, 0xD0, 'D'}, {0xD1, 0xD2, 'N'}, {0xD3, 0xD6, 'O'}, {0xD8, 0xD8, 'R'},
    {0xD9, 0xDC, 'U'}, {0xDD, 0xDD, 'Y'}, {0xDE, 0xDE, 'T'}, {0xDF, 0xDF, 'B'},
    {0xE0, 0xE0, 'r'}, {0xE1, 0xE4, 'a'}, {0xE5, 0xE5, 'l'}, {0xE6, 0xE8, 'c'},
    {0xE9, 0xEC, 'e'}, {0xED, 0xEE, 'i'}, {0xEF, 0xF0, 'd'}, {0xF1, 0xF2, 'n'},
    {0xF3, 0xF6, 'o'}, {0xF8, 0xF8, 'r'}, {0xF9, 0xFC, 'u'}, {0xFD, 0xFD, 'y'},
    {0xFE, 0xFE, 't'},
};

constexpr AccentRun accents_1252[] = {
    {0x8A, 0x8A, 'S'}, {0x8C, 0x8C, 'O'}, {0x8E, 0x8E, 'Z'}, {0x9A, 0x9A, 's'},
    {0x9C, 0x9C, 'o'}, {0x9E, 0x9E, 'z'}, {0x9F, 0x9F, 'Y'}, {0xC0, 0xC6, 'A'},
    {0xC7, 0xC7, 'C'}, {0xC8, 0xCB, 'E'}, {0xCC, 0xCF, 'I'}, {0xD0, 0xD0, 'D'},
    {0xD1, 0xD1, 'N'}, {0xD2, 0xD6, 'O'}, {0xD8, 0xD8, 'O'}, {0xD9, 0xDC, 'U'},
    {0xDD, 0xDD, 'Y'}, {0xDF, 0xDF, 'B'}, {0xE0, 0xE6, 'a'}, {0xE7, 0xE7, 'c'},
    {0xE8, 0xEB, 'e'}, {0xEC, 0xEF, 'i'}, {0xF1, 0xF1, 'n'}, {0xF2, 0xF6, 'o'},
    {0xF8, 0xF8, 'o'}, {0xF9, 0xFC, 'u'}, {0xFD, 0xFD, 'y'}, {0xFF, 0xFF, 'y'},
};

template <size_t N>
constexpr std::array<unsigned char, 256> make_accent_table(const AccentRun (&runs)[N])
{
    std::array<unsigned char, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[b] = static_cast<unsigned char>(b);
    for (const AccentRun& run : runs)
        for (int b = run.first; b <= run.last; ++b)
            table[b] = static_cast<unsigned char>(run.plain);
    return table;
}

constexpr auto no_accents_1250 = make_accent_table(accents_1250);
constexpr auto no_accents_1252 = make_accent_table(accents_1252);

constexpr std::array<uint32_t, 256> make_crc_table()
{
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto crc_table = make_crc_table();

// The locale names handed out by save_ctype_locale, owned here until their
// restore.
std::vector<std::unique_ptr<char[]>> saved_locale_names;

}  // namespace

const char* convert_utf8_to_cp(int code_page, const char* text)
{
    static std::array<char, kResultSize> result;
    if (code_page <= 0 || code_page == kUtf8CodePage || !text || !*text)
        return text;
    return convert_into(outgoing, code_page, text, result);
}

const char* convert_cp_to_utf8(int code_page, const char* text)
{
    static std::array<char, kResultSize> result;
    if (code_page <= 0 || !text)
        return text;
    return convert_into(incoming, code_page, text, result);
}

int convert_cp_to_utf8_in_place(int code_page, int size, char* buffer)
{
    if (code_page <= 0 || size <= 0 || !buffer)
        return 0;
    if (!switch_converter(incoming, code_page))
        return 0;
    size_t input_room = std::min(static_cast<size_t>(size), kWorkSize);
    size_t length = strnlen(buffer, input_room);
    if (length < input_room)
        ++length;  // the terminator flushes a stateful code page
    std::array<char, kWorkSize> work{};
    ConversionResult r = run_conversion(incoming, buffer, length, work.data(), kWorkSize - 1);
    size_t produced = strnlen(work.data(), r.written);
    size_t kept = platform::utf8_prefix_length(work.data(), produced, static_cast<size_t>(size) - 1);
    memcpy(buffer, work.data(), kept);
    buffer[kept] = '\0';
    return 1;
}

int converter_open_count() { return open_count; }

int get_mapset_code_page()
{
    switch (mapset_cp_type) {
    case 1:
        return system_code_page;
    case 2:
        return user_code_page;
    default:
        return language_default_code_page;
    }
}

int convert_to_mapset_code_page(const char** out_text, uint32_t* out_code_page, const char* text, int code_page)
{
    static std::array<char, kNameBufferSize> name;
    *out_text = text;
    *out_code_page = 0;
    if (code_page < 0)
        code_page = get_mapset_code_page();
    // A negative setting is no code page at all, like 0.
    if (code_page <= 0 || code_page == kUtf8CodePage || !text || !*text)
        return 1;
    if (!switch_converter(outgoing, code_page))
        return 0;
    name.fill('\0');
    ConversionResult r = run_conversion(outgoing, text, strlen(text) + 1, name.data(), kNameRoom);
    // A full buffer cuts the name; anything else that stopped early is a
    // character the code page does not have.
    if (r.error != 0 && r.error != E2BIG)
        return 0;
    *out_text = name.data();
    *out_code_page = static_cast<uint32_t>(code_page);
    return 1;
}

int set_mapset_name_option(TaskOptions* options, const char* text, int code_page)
{
    const char* converted = nullptr;
    int ok = convert_to_mapset_code_page(&converted, &options->mapset_name_result, text, code_page);
    options->mapset_name = converted ? converted : "";
    return ok;
}

uint32_t compute_crc32(const void* buffer, size_t n)
{
    const unsigned char* p = static_cast<const unsigned char*>(buffer);
    uint32_t c = 0xFFFFFFFFu;
    for (size_t i = 0; i < n; ++i)
        c = crc_table[(c ^ p[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

int init_locale()
{
    static std::string locale_name;
    locale_name = platform::user_locale_name();
    user_locale_name = locale_name.empty() ? nullptr : locale_name.c_str();
    // Numbers, collation and character classes all stay those of "C".
    setlocale(LC_ALL, "C");
    windows_language_id = platform::user_language_id();
    english_texts = (windows_language_id & 0x3FF) != 0x15;
    return windows_language_id & 0x3FF;
}

char* save_ctype_locale()
{
    int code_page = platform::current_ctype_code_page();
    char name_text[16];
    snprintf(name_text, sizeof name_text, code_page ? ".%d" : "C", code_page);
    std::string name = name_text;
    auto copy = std::make_unique<char[]>(name.size() + 1);
    memcpy(copy.get(), name.c_str(), name.size() + 1);
    saved_locale_names.push_back(std::move(copy));
    return saved_locale_names.back().get();
}

void restore_ctype_locale(char* saved)
{
    if (!saved)
        return;
    int code_page = 0;
    if (saved[0] == '.')
        code_page = atoi(saved + 1);
    platform::set_current_ctype_code_page(code_page);
    auto it = std::find_if(saved_locale_names.begin(), saved_locale_names.end(),
                           [saved](const std::unique_ptr<char[]>& p) { return p.get() == saved; });
    if (it != saved_locale_names.end())
        saved_locale_names.erase(it);
}

int set_ctype_code_page(int code_page)
{
    if (code_page <= 0)
        return 0;
    return platform::set_current_ctype_code_page(code_page) ? 1 : 0;
}

int get_ansi_code_page() { return platform::ansi_code_page(); }

int convert_label_case(int mode, char* text, int length, int code_page)
{
    if (!text && length > 0)
        return 0;
    if (mode == 4) {
        const std::array<unsigned char, 256>* table = code_page == 1250   ? &no_accents_1250
                                                      : code_page == 1252 ? &no_accents_1252
                                                                          : nullptr;
        if (!table)
            return 0;
        for (int i = 0; i < length; ++i)
            text[i] = static_cast<char>((*table)[static_cast<unsigned char>(text[i])]);
        return 1;
    }
    if (mode < 1 || mode > 3)
        return 0;
    // The current code page always has tables: it was accepted when set.
    const platform::CodePageCtype& t = *platform::code_page_ctype(platform::current_ctype_code_page());
    bool word_start = true;
    for (int i = 0; i < length; ++i) {
        unsigned char b = static_cast<unsigned char>(text[i]);
        if (t.is_lead[b]) {
            // A double-byte character: its trail byte may look like an ASCII
            // letter but must not change.
            ++i;
            word_start = true;
            continue;
        }
        bool upper = mode == 1 || (mode == 3 && word_start);
        if (mode == 3) {
            if (!t.is_alpha[b] && !t.is_digit[b]) {
                word_start = true;
                continue;
            }
            word_start = false;
        }
        text[i] = static_cast<char>(upper ? t.upper[b] : t.lower[b]);
    }
    return 1;
}
