// The window program's settings and its colour schemes.
//
// The settings are read once at start, before the language is chosen and
// the window is built, and written once at exit, so a program that ends
// abnormally leaves the previous store as it was. The store is a portable
// Tarnwick.ini beside the program when one exists, else the toolkit's
// per-user preferences. The mapset code-page settings (MapsetCPType,
// UserCodePage) live in the core as mapset_cp_type and user_code_page.
#pragma once

#include <string>

#include <FL/Enumerations.H>

extern int PositionX, PositionY, PositionW, PositionH;
extern int Scheme;        // toolkit scheme: 0 "none", 1 "gtk+", 2 "plastic"
extern int Color;         // colour scheme 0..4; -1 when the choice has no item
extern int UserColor;     // the user colour, 0xRRGGBB
extern int Language;      // language row saved last; only its sign is read
extern std::string LanguageName;  // that row's name
extern std::string LanguageFile;  // its language file ("" for a built-in row)
extern int LanguageCode;  // its ProgramCode (LANGID)
extern int Verbose;       // detailed log output of every task
extern int Advanced;      // "Advanced options": the tabs show their advanced rows
extern int Experimental;  // the experimental rows (only with -X)
extern int Compiler;      // 0 cGPSmapper, 1 MapTk, 2 mkgmap
extern std::string CgpsmapperPath, MapTkPath, MkgmapPath;

// Set when the store in use is Tarnwick.ini beside the program; exit then
// writes there too.
extern int portable_settings;

// The vendor names of the per-user store; the older one is where earlier
// releases kept their settings, read when the current store is absent.
extern const char* const settings_vendor;
extern const char* const older_settings_vendor;

// Longest texts the store keeps (bytes, without the terminating NUL).
constexpr size_t LANGUAGE_NAME_MAX = 47;
constexpr size_t LANGUAGE_FILE_MAX = 17;
constexpr size_t COMPILER_PATH_MAX = 1197;

// The toolkit scheme name of the Scheme setting.
const char* scheme_name();
// Opens the store, reads every setting (defaults for what is missing or not
// a number that fits) and closes it. A store file the toolkit could not read
// safely is refused first (gui/file_guard.h): all defaults. Returns 1.
int read_settings();
// Writes every setting to the store read at start. Returns 1; 0 when the
// file there could not be read safely and so is left as it is.
int write_settings();

// Three toolkit colours 0xRRGGBB00: text, background, and the background
// of input fields and lists.
struct ColourScheme {
    Fl_Color foreground = 0;
    Fl_Color background = 0;
    Fl_Color background2 = 0;
};
extern ColourScheme system_colours;  // "System": the toolkit's at start
extern ColourScheme user_colours;    // "User": derived from UserColor
extern const ColourScheme gray_colours, green_colours, blue_colours;

// Keeps the toolkit's own colours as "System", derives "User" and applies
// the Color scheme. Once at start, before the window is built.
void init_colour_schemes();
// "User" from UserColor: its colour as background, black or white text by
// its brightness, and an input background a shade towards black or white.
void derive_user_colours();
// The scheme of a Color value ("System" for anything outside 1..4).
const ColourScheme& colour_scheme(int color);
// Applies the Color scheme to the toolkit.
void apply_colour_scheme();
// Applies the Color scheme, then lets every tab adjust to it.
void recolour_all();
