// Linux stand-ins for the Windows services: user language and locale from
// the environment, the ANSI code page table, the program directory, and the
// character tables of Windows code pages.
//
// glibc offers no locale for a Windows code page, so the tables are built
// here, once per code page: each byte 0x80..0xFF is decoded with iconv,
// classified and case-mapped with the wide-character functions of C.UTF-8,
// and mapped back with iconv. A mapping whose result has no single-byte form
// in the code page leaves the byte as it is.
#include "platform/platform.h"

#include <iconv.h>
#include <locale.h>
#include <unistd.h>
#include <wctype.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>

namespace platform {

namespace {

// The locale setting that names the user's language. POSIX treats a
// variable that is set but empty as not set.
std::string user_locale_setting()
{
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = getenv(name);
        if (value && *value)
            return value;
    }
    return "";
}

// "zh_TW.Big5@x" -> "zh_TW": language and territory only.
std::string language_and_territory(const std::string& setting)
{
    return setting.substr(0, setting.find_first_of(".@"));
}

struct LanguageCodePage {
    const char* language;  // "pl", or "zh_CN" where the territory decides
    int code_page;
};

const LanguageCodePage ansi_code_pages[] = {
    {"pl", 1250}, {"cs", 1250}, {"sk", 1250}, {"hu", 1250}, {"hr", 1250},
    {"sl", 1250}, {"ro", 1250}, {"ru", 1251}, {"uk", 1251}, {"bg", 1251},
    {"sr", 1251}, {"el", 1253}, {"tr", 1254}, {"he", 1255}, {"ar", 1256},
    {"et", 1257}, {"lt", 1257}, {"lv", 1257}, {"vi", 1258}, {"th", 874},
    {"ja", 932},  {"zh_CN", 936}, {"ko", 949}, {"zh_TW", 950},
};

int current_code_page = 0;

void fill_ascii(CodePageCtype& t)
{
    for (int b = 0; b < 256; ++b) {
        t.upper[b] = t.lower[b] = static_cast<unsigned char>(b);
        t.is_alpha[b] = t.is_digit[b] = t.is_lead[b] = 0;
    }
    for (int b = 'a'; b <= 'z'; ++b) {
        t.upper[b] = static_cast<unsigned char>(b - 'a' + 'A');
        t.lower[b - 'a' + 'A'] = static_cast<unsigned char>(b);
        t.is_alpha[b] = t.is_alpha[b - 'a' + 'A'] = 1;
    }
    for (int b = '0'; b <= '9'; ++b)
        t.is_digit[b] = 1;
}

// An iconv handle closed when it goes out of scope.
class IconvHandle {
public:
    IconvHandle(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~IconvHandle()
    {
        if (ok())
            iconv_close(cd_);
    }
    IconvHandle(const IconvHandle&) = delete;
    IconvHandle& operator=(const IconvHandle&) = delete;
    bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

    // Converts a whole input from a fresh state, pending output flushed.
    // Returns the bytes written, or -1 with errno set (EINVAL: the input
    // ends inside a multi-byte character).
    long convert(const void* input, size_t length, void* output, size_t room)
    {
        iconv(cd_, nullptr, nullptr, nullptr, nullptr);
        char* in = static_cast<char*>(const_cast<void*>(input));
        char* out = static_cast<char*>(output);
        size_t out_left = room;
        if (iconv(cd_, &in, &length, &out, &out_left) == static_cast<size_t>(-1))
            return -1;
        if (iconv(cd_, nullptr, nullptr, &out, &out_left) == static_cast<size_t>(-1))
            return -1;
        return static_cast<long>(room - out_left);
    }

private:
    iconv_t cd_;
};

// The byte of a character in the code page, or -1 when it has no
// single-byte form there.
int encode_one(IconvHandle& encoder, wchar_t w)
{
    unsigned char out[8];
    if (encoder.convert(&w, sizeof w, out, sizeof out) != 1)
        return -1;
    return out[0];
}

std::unique_ptr<CodePageCtype> build_tables(int code_page)
{
    auto t = std::make_unique<CodePageCtype>();
    t->code_page = code_page;
    fill_ascii(*t);
    if (code_page == 0)
        return t;
    char name[16];
    snprintf(name, sizeof name, "CP%u", static_cast<unsigned>(code_page));
    IconvHandle decoder("WCHAR_T", name);
    IconvHandle encoder(name, "WCHAR_T");
    if (!decoder.ok() || !encoder.ok())
        return nullptr;
    // Without C.UTF-8 the high bytes keep the "C" rules: unchanged, no class.
    locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (unicode == static_cast<locale_t>(0))
        return t;
    for (int b = 0x80; b < 0x100; ++b) {
        unsigned char byte = static_cast<unsigned char>(b);
        wchar_t w[4];
        long n = decoder.convert(&byte, 1, w, sizeof w);
        if (n < 0 && errno == EINVAL) {
            t->is_lead[b] = 1;
            continue;
        }
        if (n != static_cast<long>(sizeof(wchar_t)))
            continue;  // no character in this code page
        t->is_alpha[b] = iswalpha_l(static_cast<wint_t>(w[0]), unicode) != 0;
        t->is_digit[b] = iswdigit_l(static_cast<wint_t>(w[0]), unicode) != 0;
        int up = encode_one(encoder, static_cast<wchar_t>(towupper_l(static_cast<wint_t>(w[0]), unicode)));
        int low = encode_one(encoder, static_cast<wchar_t>(towlower_l(static_cast<wint_t>(w[0]), unicode)));
        if (up >= 0)
            t->upper[b] = static_cast<unsigned char>(up);
        if (low >= 0)
            t->lower[b] = static_cast<unsigned char>(low);
    }
    freelocale(unicode);
    return t;
}

}  // namespace

int user_language_id()
{
    return user_locale_setting().starts_with("pl") ? 0x0415 : 0x0409;
}

std::string user_locale_name()
{
    std::string setting = user_locale_setting();
    size_t dot = setting.rfind('.');
    return dot == std::string::npos ? setting : setting.substr(0, dot);
}

int ansi_code_page()
{
    std::string locale = language_and_territory(user_locale_setting());
    std::string language = locale.substr(0, locale.find('_'));
    for (const LanguageCodePage& entry : ansi_code_pages)
        if (language == entry.language || locale == entry.language)
            return entry.code_page;
    return 1252;
}

std::string program_directory()
{
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return "";
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            break;
        }
        path.resize(path.size() * 2);  // may have been cut: try again
    }
    size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return "";
    return slash == 0 ? "/" : path.substr(0, slash);
}

int show_banner_box(int) { return 0; }

const CodePageCtype* code_page_ctype(int code_page)
{
    // Unknown code pages are remembered as null, so iconv is asked once.
    static std::map<int, std::unique_ptr<CodePageCtype>> tables;
    if (code_page < 0)
        return nullptr;
    auto it = tables.find(code_page);
    if (it == tables.end())
        it = tables.emplace(code_page, build_tables(code_page)).first;
    return it->second.get();
}

size_t utf8_prefix_length(const char* text, size_t length, size_t limit)
{
    if (length <= limit)
        return length;
    size_t end = limit;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return end;
}

int current_ctype_code_page() { return current_code_page; }

bool set_current_ctype_code_page(int code_page)
{
    if (!code_page_ctype(code_page))
        return false;
    current_code_page = code_page;
    return true;
}

}  // namespace platform

namespace platform {

namespace {

// strerror_r comes in two kinds: the GNU one returns the text, the POSIX
// one fills the buffer and returns 0.
[[maybe_unused]] const char* strerror_result(const char* text, const char*) { return text; }
[[maybe_unused]] const char* strerror_result(int failed, const char* buffer) { return failed ? "" : buffer; }

}  // namespace

std::string error_text(int error)
{
    char buffer[256] = {};
    std::string text = strerror_result(strerror_r(error, buffer, sizeof buffer), buffer);
    return text.empty() ? "error " + std::to_string(error) : text;
}

}  // namespace platform
