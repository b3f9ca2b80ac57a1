// The settings store of the window program (portable file or per-user
// preferences), and the colour schemes that a change of colours brings to
// the toolkit and the window's parts.
#include "gui/settings.h"

#include <sys/stat.h>

#include <memory>

#include <FL/Fl.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Preferences.H>
#include <FL/filename.H>

#include "core/codepage.h"
#include "gui/file_guard.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "gui/options_tab.h"
#include "gui/preferences_group.h"
#include "operations/task_bridge.h"
#include "platform/platform.h"

int PositionX = 100, PositionY = 150, PositionW = 620, PositionH = 510;
int Scheme = 0;
int Color = 0;
int UserColor = 0xE0E8F0;
int Language = 0;
std::string LanguageName;
std::string LanguageFile;
int LanguageCode = -1;
int Verbose = 1;
int Advanced = 0;
int Experimental = 0;
int Compiler = 0;
std::string CgpsmapperPath, MapTkPath, MkgmapPath;
int portable_settings = 0;

const char* const settings_vendor = "TarnwickTools";
const char* const older_settings_vendor = "Tarnwick";

ColourScheme system_colours;
ColourScheme user_colours;
const ColourScheme gray_colours{0x00000000, 0xE0E0E000, 0xF8F8F800};
const ColourScheme green_colours{0x00000000, 0x8DC6A700, 0xE2F0E900};
const ColourScheme blue_colours{0x00000000, 0xAEC6F600, 0xEAF0FC00};

const char* scheme_name() { return Scheme == 1 ? "gtk+" : Scheme == 2 ? "plastic" : "none"; }

namespace {

// Releases before 7000 stored the compiler paths in the system code page.
constexpr int FIRST_UTF8_PATHS_VERSION = 7000;

std::string portable_settings_path() { return std::string(program_dir) + "Tarnwick.ini"; }

bool portable_settings_exist()
{
    struct stat st;
    return fl_stat(portable_settings_path().c_str(), &st) == 0 && (st.st_mode & S_IFMT) == S_IFREG;
}

// Cuts a text as the toolkit's fixed buffers would, but never inside a
// UTF-8 character.
void cut_text(std::string& text, size_t limit)
{
    text.resize(platform::utf8_prefix_length(text.data(), text.size(), limit));
}

// The store's file; a store read from defaults alone is null.
std::string read_text(Fl_Preferences* store, const char* key, size_t limit)
{
    std::string text;
    if (!store || !read_preference_text(*store, key, text))
        return {};
    cut_text(text, limit);
    return text;
}

int read_number(Fl_Preferences* store, const char* key, int fallback)
{
    return store ? read_preference_int(*store, key, fallback) : fallback;
}

void read_compiler_path(Fl_Preferences* store, const char* key, int version, std::string& path)
{
    path = read_text(store, key, COMPILER_PATH_MAX);
    if (is_blank_text(path.c_str())) {
        path.clear();
        return;
    }
    if (version < FIRST_UTF8_PATHS_VERSION) {
        std::string buffer = path;
        buffer.resize(COMPILER_PATH_MAX + 1, '\0');
        if (convert_cp_to_utf8_in_place(system_code_page, static_cast<int>(buffer.size()), buffer.data()))
            path = buffer.c_str();
    }
}

// The per-user store's file under a vendor name.
std::string user_store_path(const char* vendor) { return user_preferences_path(vendor, "Tarnwick"); }

// The store read at start: the portable file, else the per-user store, else
// the one under the older vendor name. Each file is looked at before the
// toolkit reads it; a refused one leaves the defaults (null), not an older
// store.
std::unique_ptr<Fl_Preferences> open_settings_store()
{
    if (portable_settings_exist()) {
        portable_settings = 1;
        if (!admit_settings_file(portable_settings_path()))
            return nullptr;
        return std::make_unique<Fl_Preferences>(portable_settings_path().c_str(), settings_vendor, nullptr);
    }
    if (!admit_settings_file(user_store_path(settings_vendor)))
        return nullptr;
    auto store = std::make_unique<Fl_Preferences>(Fl_Preferences::USER, settings_vendor, "Tarnwick");
    if (read_preference_int(*store, "Version", 0) != 0)
        return store;
    store.reset();
    if (!admit_settings_file(user_store_path(older_settings_vendor)))
        return nullptr;
    return std::make_unique<Fl_Preferences>(Fl_Preferences::USER, older_settings_vendor, "Tarnwick");
}

const char* written_path(const std::string& path) { return is_blank_text(path.c_str()) ? "" : path.c_str(); }

}  // namespace

int read_settings()
{
    portable_settings = 0;
    std::unique_ptr<Fl_Preferences> store = open_settings_store();
    Fl_Preferences* s = store.get();
    int version = read_number(s, "Version", 0);
    Scheme = read_number(s, "Scheme", 0);
    Color = read_number(s, "Color", 0);
    UserColor = read_number(s, "UserColor", 0xE0E8F0);
    Language = read_number(s, "Language", 0);
    LanguageName = read_text(s, "LanguageName", LANGUAGE_NAME_MAX);
    LanguageFile = read_text(s, "LanguageFile", LANGUAGE_FILE_MAX);
    LanguageCode = read_number(s, "LanguageCode", -1);
    mapset_cp_type = read_number(s, "MapsetCPType", 0);
    user_code_page = read_number(s, "UserCodePage", 1252);
    Verbose = read_number(s, "Verbose", 1);
    Advanced = read_number(s, "Advanced options", 0);
    Experimental = read_number(s, "Experimental", 0);
    read_compiler_path(s, "Cgpsmapper", version, CgpsmapperPath);
    read_compiler_path(s, "MapTk", version, MapTkPath);
    read_compiler_path(s, "Mkgmap", version, MkgmapPath);
    Compiler = read_number(s, "Compiler", 0);
    PositionX = read_number(s, "PositionX", 100);
    PositionY = read_number(s, "PositionY", 150);
    PositionW = read_number(s, "PositionW", 620);
    PositionH = read_number(s, "PositionH", 510);
    // A negative code page is no code page: the default stands in for it.
    if (user_code_page < 0)
        user_code_page = 1252;
    if (!Advanced)
        Experimental = 0;
    return 1;
}

int write_settings()
{
    // The toolkit reads the file before it writes it: one it would choke on
    // (refused at start and left in place) is not written.
    if (!settings_file_writable(portable_settings ? portable_settings_path() : user_store_path(settings_vendor)))
        return 0;
    std::unique_ptr<Fl_Preferences> store;
    if (portable_settings)
        store = std::make_unique<Fl_Preferences>(portable_settings_path().c_str(), settings_vendor, nullptr);
    else
        store = std::make_unique<Fl_Preferences>(Fl_Preferences::USER, settings_vendor, "Tarnwick");
    Fl_Preferences& s = *store;
    s.set("Version", version_number);
    s.set("Scheme", Scheme);
    s.set("Color", Color);
    s.set("UserColor", UserColor);
    const LanguageEntry* row = nullptr;
    if (start_language_row >= 0 && start_language_row < static_cast<int>(language_table.size()))
        row = &language_table[start_language_row];
    s.set("Language", start_language_row);
    s.set("LanguageName", row ? row->name.c_str() : "");
    s.set("LanguageFile", row ? row->file_name.c_str() : "");
    s.set("LanguageCode", row ? row->program_code : -1);
    s.set("MapsetCPType", mapset_cp_type);
    s.set("UserCodePage", user_code_page);
    s.set("Verbose", Verbose);
    s.set("Advanced options", Advanced);
    s.set("Experimental", Experimental);

    // The path of the compiler in use is what its field shows now, edited
    // or not; the other two are the kept ones.
    const char* field = compiler_path_field_text();
    if (Compiler == 2) {
        s.set("Mkgmap", written_path(field ? std::string(field) : MkgmapPath));
        s.set("Cgpsmapper", written_path(CgpsmapperPath));
        s.set("MapTk", written_path(MapTkPath));
    } else if (Compiler == 1) {
        s.set("MapTk", written_path(field ? std::string(field) : MapTkPath));
        s.set("Cgpsmapper", written_path(CgpsmapperPath));
        s.set("Mkgmap", written_path(MkgmapPath));
    } else {
        s.set("Cgpsmapper", written_path(field ? std::string(field) : CgpsmapperPath));
        s.set("MapTk", written_path(MapTkPath));
        s.set("Mkgmap", written_path(MkgmapPath));
        Compiler = 0;
    }
    s.set("Compiler", Compiler);
    if (main_window) {
        PositionX = main_window->x();
        PositionY = main_window->y();
        PositionW = main_window->w();
        PositionH = main_window->h();
    }
    s.set("PositionX", PositionX);
    s.set("PositionY", PositionY);
    s.set("PositionW", PositionW);
    s.set("PositionH", PositionH);
    s.flush();
    return 1;
}

void init_colour_schemes()
{
    Fl::get_system_colors();
    system_colours = {Fl::get_color(FL_FOREGROUND_COLOR), Fl::get_color(FL_BACKGROUND_COLOR),
                      Fl::get_color(FL_BACKGROUND2_COLOR)};
    derive_user_colours();
    apply_colour_scheme();
}

void derive_user_colours()
{
    // Only the 24 colour bits count: a stored value with more cannot shift
    // into the toolkit's colour form whole.
    uint32_t rgb = static_cast<uint32_t>(UserColor) & 0xFFFFFF;
    Fl_Color base = rgb ? static_cast<Fl_Color>(rgb << 8) : FL_BLACK;
    Fl_Color c = Fl::get_color(base);
    int r = (c >> 24) & 0xFF, g = (c >> 16) & 0xFF, b = (c >> 8) & 0xFF;
    int luminance = (30 * r + 59 * g + 11 * b) / 100;
    Fl_Color text, background2;
    if (luminance > 240) {
        text = FL_BLACK;
        background2 = fl_color_average(base, FL_BLACK, 0.8f);
    } else if (luminance >= 128) {
        text = FL_BLACK;
        background2 = fl_color_average(base, FL_WHITE, 0.25f);
    } else if (luminance >= 60) {
        text = FL_WHITE;
        background2 = fl_color_average(base, FL_BLACK, 0.6f);
    } else {
        text = FL_WHITE;
        background2 = fl_color_average(base, FL_WHITE, 0.67f);
    }
    user_colours = {Fl::get_color(text), Fl::get_color(base), Fl::get_color(background2)};
}

const ColourScheme& colour_scheme(int color)
{
    switch (color) {
    case 1:
        return gray_colours;
    case 2:
        return green_colours;
    case 3:
        return blue_colours;
    case 4:
        return user_colours;
    default:
        return system_colours;
    }
}

void apply_colour_scheme()
{
    if (Color == 4)
        derive_user_colours();
    const ColourScheme& scheme = colour_scheme(Color);
    auto bytes = [](Fl_Color c, uchar& r, uchar& g, uchar& b) {
        r = static_cast<uchar>(c >> 24);
        g = static_cast<uchar>(c >> 16);
        b = static_cast<uchar>(c >> 8);
    };
    uchar r, g, b;
    bytes(scheme.foreground, r, g, b);
    Fl::foreground(r, g, b);
    bytes(scheme.background, r, g, b);
    Fl::background(r, g, b);
    bytes(scheme.background2, r, g, b);
    Fl::background2(r, g, b);
}

void recolour_all()
{
    apply_colour_scheme();
    // The parts that keep colours of their own take the new ones.
    for (const WindowPart& part : window_parts)
        if (part.recolour)
            part.recolour();
}
