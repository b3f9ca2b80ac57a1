// The settings store (per-user, older vendor, portable file beside the
// program) and the colour schemes.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/settings.h"

#include <sys/stat.h>

#include <filesystem>

#include <FL/Fl.H>
#include <FL/Fl_Preferences.H>

#include "core/codepage.h"
#include "gui/file_guard.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "operations/task_bridge.h"
#include "tests/gui/options_support.h"
#include "tests/support/test_support.h"

namespace {

// A temporary HOME and program directory; the settings of the process are
// put back to their defaults first (a store that does not exist).
class Settings : public ::testing::Test {
protected:
    TempHome home;
    TempFolder program;

    void SetUp() override
    {
        set_program_dir(program.dir());
        make_version_text();
        system_code_page = 1252;
        start_language_row = 1;
        language_table.clear();
        build_language_table();
    }
    void TearDown() override { set_program_dir(""); }

    // Reads the store named by a path, as the toolkit reads it.
    static int stored_int(Fl_Preferences& p, const char* key)
    {
        int v = -12345;
        p.get(key, v, -12345);
        return v;
    }
    static std::string stored_text(Fl_Preferences& p, const char* key)
    {
        char* t = nullptr;
        p.get(key, t, "<missing>");
        std::string s = t;
        free(t);
        return s;
    }
};

TEST_F(Settings, FirstStartTakesEveryDefault)
{
    Scheme = 2;
    Color = 3;
    Verbose = 0;
    CgpsmapperPath = "left over";
    ASSERT_EQ(read_settings(), 1);
    EXPECT_EQ(portable_settings, 0);
    EXPECT_EQ(Scheme, 0);
    EXPECT_STREQ(scheme_name(), "none");
    EXPECT_EQ(Color, 0);
    EXPECT_EQ(UserColor, 0xE0E8F0);
    EXPECT_EQ(Language, 0);
    EXPECT_EQ(LanguageName, "");
    EXPECT_EQ(LanguageFile, "");
    EXPECT_EQ(LanguageCode, -1);
    EXPECT_EQ(mapset_cp_type, 0);
    EXPECT_EQ(user_code_page, 1252);
    EXPECT_EQ(Verbose, 1);
    EXPECT_EQ(Advanced, 0);
    EXPECT_EQ(Experimental, 0);
    EXPECT_EQ(CgpsmapperPath, "");
    EXPECT_EQ(Compiler, 0);
    EXPECT_EQ(PositionX, 100);
    EXPECT_EQ(PositionY, 150);
    EXPECT_EQ(PositionW, 620);
    EXPECT_EQ(PositionH, 510);
    // Reading never creates a store.
    struct stat st;
    EXPECT_NE(stat(home.prefs_file(settings_vendor).c_str(), &st), 0);
}

TEST_F(Settings, RoundTripThroughThePerUserStore)
{
    read_settings();
    Scheme = 1;
    Color = 4;
    UserColor = 0x123456;
    start_language_row = 2;
    mapset_cp_type = 2;
    user_code_page = 1250;
    Verbose = 0;
    Advanced = 1;
    Experimental = 1;
    Compiler = 2;
    CgpsmapperPath = "/opt/cgps/cgpsmapper";
    MapTkPath = "   ";
    MkgmapPath = "/usr/share/java/mkgmap.jar";
    PositionX = 11;
    PositionY = 22;
    PositionW = 700;
    PositionH = 600;
    ASSERT_EQ(write_settings(), 1);

    {
        Fl_Preferences stored(home.prefs_file(settings_vendor).c_str(), "x", nullptr);
        EXPECT_EQ(stored_int(stored, "Version"), version_number);
        EXPECT_EQ(stored_text(stored, "LanguageName"), "polski");
        EXPECT_EQ(stored_text(stored, "LanguageFile"), "");
        EXPECT_EQ(stored_int(stored, "LanguageCode"), 1045);
        EXPECT_EQ(stored_text(stored, "MapTk"), "");  // blank is written empty
        EXPECT_EQ(stored_int(stored, "Advanced options"), 1);
    }

    Scheme = Color = UserColor = Language = Verbose = Advanced = Experimental = Compiler = 0;
    mapset_cp_type = user_code_page = 0;
    CgpsmapperPath = MapTkPath = MkgmapPath = "";
    read_settings();
    EXPECT_EQ(Scheme, 1);
    EXPECT_EQ(Color, 4);
    EXPECT_EQ(UserColor, 0x123456);
    EXPECT_EQ(Language, 2);
    EXPECT_EQ(LanguageName, "polski");
    EXPECT_EQ(LanguageCode, 1045);
    EXPECT_EQ(mapset_cp_type, 2);
    EXPECT_EQ(user_code_page, 1250);
    EXPECT_EQ(Verbose, 0);
    EXPECT_EQ(Advanced, 1);
    EXPECT_EQ(Experimental, 1);
    EXPECT_EQ(Compiler, 2);
    EXPECT_EQ(CgpsmapperPath, "/opt/cgps/cgpsmapper");
    EXPECT_EQ(MapTkPath, "");
    EXPECT_EQ(MkgmapPath, "/usr/share/java/mkgmap.jar");
    EXPECT_EQ(PositionX, 11);
    EXPECT_EQ(PositionH, 600);
}

TEST_F(Settings, AStoreWithoutVersionGivesWayToTheOlderVendorsStore)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Scheme", 1);  // no Version: taken as absent
        Fl_Preferences older(Fl_Preferences::USER, older_settings_vendor, "Tarnwick");
        older.set("Version", 8000);
        older.set("Scheme", 2);
        older.set("Color", 3);
    }
    read_settings();
    EXPECT_EQ(Scheme, 2);
    EXPECT_EQ(Color, 3);

    // Writing goes to the current vendor's store, never the older one.
    Scheme = 1;
    write_settings();
    Fl_Preferences older(home.prefs_file(older_settings_vendor).c_str(), "x", nullptr);
    EXPECT_EQ(stored_int(older, "Scheme"), 2);
    read_settings();
    EXPECT_EQ(Scheme, 1);
}

TEST_F(Settings, BothStoresEmptyGiveTheDefaults)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Scheme", 1);
    }
    read_settings();
    EXPECT_EQ(Scheme, 0);
}

TEST_F(Settings, APortableFileBesideTheProgramWins)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Version", 9073);
        current.set("Scheme", 2);
    }
    // A directory of that name is no settings file.
    ASSERT_EQ(mkdir(program.file("Tarnwick.ini").c_str(), 0700), 0);
    read_settings();
    EXPECT_EQ(portable_settings, 0);
    EXPECT_EQ(Scheme, 2);
    rmdir(program.file("Tarnwick.ini").c_str());

    program.write("Tarnwick.ini", "; FLTK preferences file format 1.0\n; vendor: a\n; application: b\n\n[.]\n\n"
                                   "Scheme:1\nPositionX:33\n");
    read_settings();
    EXPECT_EQ(portable_settings, 1);
    EXPECT_EQ(Scheme, 1);
    EXPECT_EQ(PositionX, 33);
    // No version in a portable file: no fallback to any other store.
    EXPECT_EQ(Color, 0);

    Color = 2;
    write_settings();
    Fl_Preferences ini(program.file("Tarnwick.ini").c_str(), "x", nullptr);
    EXPECT_EQ(stored_int(ini, "Color"), 2);
    Fl_Preferences user(home.prefs_file(settings_vendor).c_str(), "x", nullptr);
    EXPECT_EQ(stored_int(user, "Color"), -12345);
    portable_settings = 0;
}

TEST_F(Settings, PathsOfReleasesBefore7000ComeFromTheSystemCodePage)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Version", 6999);
        current.set("Cgpsmapper", "/maps/caf\xE9/cgpsmapper");
        current.set("MapTk", " \t ");
    }
    read_settings();
    EXPECT_EQ(CgpsmapperPath, "/maps/caf\xC3\xA9/cgpsmapper");
    EXPECT_EQ(MapTkPath, "");
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Version", 7000);
        current.set("Cgpsmapper", "/maps/caf\xC3\xA9/cgpsmapper");
    }
    read_settings();
    EXPECT_EQ(CgpsmapperPath, "/maps/caf\xC3\xA9/cgpsmapper");

    // A portable file without a Version is as old as one before 7000.
    program.write("Tarnwick.ini", "; FLTK preferences file format 1.0\n; vendor: a\n; application: b\n\n[.]\n\n"
                                   "Mkgmap:/maps/na\xEFve/mkgmap.jar\n");
    read_settings();
    EXPECT_EQ(portable_settings, 1);
    EXPECT_EQ(MkgmapPath, "/maps/na\xC3\xAFve/mkgmap.jar");
    EXPECT_EQ(CgpsmapperPath, "");
    portable_settings = 0;
}

TEST_F(Settings, ExperimentalNeedsAdvancedAndAnUnknownCompilerIsSavedAsCgpsmapper)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Version", 9073);
        current.set("Advanced options", 0);
        current.set("Experimental", 1);
        current.set("Compiler", 5);
        current.set("Cgpsmapper", "/bin/cgps");
    }
    read_settings();
    EXPECT_EQ(Experimental, 0);
    EXPECT_EQ(Compiler, 5);
    write_settings();
    EXPECT_EQ(Compiler, 0);
    Fl_Preferences user(home.prefs_file(settings_vendor).c_str(), "x", nullptr);
    EXPECT_EQ(stored_int(user, "Compiler"), 0);
    EXPECT_EQ(stored_text(user, "Cgpsmapper"), "/bin/cgps");
}

TEST_F(Settings, NumbersThatDoNotFitAreWrongNotWrapped)
{
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("Version", 9073);
        current.set("Scheme", "4294967297");  // 2^32 + 1 would wrap to 1
        current.set("PositionW", "99999999999999999999");
        current.set("UserCodePage", "12abc");
        current.set("Color", " 2 ");
        current.set("UserColor", "-1");
    }
    read_settings();
    EXPECT_EQ(Scheme, 0);
    EXPECT_EQ(PositionW, 620);
    EXPECT_EQ(user_code_page, 1252);
    EXPECT_EQ(Color, 2);
    EXPECT_EQ(UserColor, -1);
    {
        Fl_Preferences current(Fl_Preferences::USER, settings_vendor, "Tarnwick");
        current.set("UserCodePage", -850);  // a negative code page is refused
    }
    read_settings();
    EXPECT_EQ(user_code_page, 1252);
}

namespace {

void write_user_store(const TempHome& home, const std::string& text)
{
    const std::string path = home.prefs_file(settings_vendor);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

// Each file below would overrun the reader's buffer, crash it on a null
// group or keep it busy for minutes: it is set aside under a name of its
// own, the settings start from defaults, and the next save writes afresh.
TEST_F(Settings, AFileTheReaderCannotTakeIsSetAsideAndTheDefaultsStand)
{
    struct Case {
        const char* what;
        bool portable;
        std::string text;
        const char* suffix;
    };
    const std::string long_group = "[./" + std::string(150, 'g') + "]\n";
    const Case cases[] = {
        {"a long group line beside the program", true, prefs_header + long_group + "PositionX:10\n", ".refused"},
        {"a group outside the root in the user's store", false, prefs_header + "[abc]\nPositionX:10\n", ".refused"},
        {"300,000 keys (4 MiB) in the user's store", false, many_prefs_keys(4 << 20), ".too-large"},
        {"20,000 keys (under 1 MiB) beside the program", true, many_prefs_keys(300000), ".too-large"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        forget_refused_files();
        std::filesystem::remove_all(home.folder().file(".fltk"));
        std::filesystem::remove(program.file("Tarnwick.ini"));
        const std::string path = c.portable ? program.file("Tarnwick.ini") : home.prefs_file(settings_vendor);
        if (c.portable)
            program.write("Tarnwick.ini", c.text);
        else
            write_user_store(home, c.text);
        // An older store that would otherwise be read instead.
        {
            Fl_Preferences older(Fl_Preferences::USER, older_settings_vendor, "Tarnwick");
            older.set("Version", 9000);
            older.set("PositionX", 333);
        }
        PositionX = 5;
        auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(read_settings(), 1);
        EXPECT_LT(seconds_since(begin), 4.0);  // the reader took minutes
        EXPECT_EQ(PositionX, 100);
        EXPECT_EQ(portable_settings, c.portable ? 1 : 0);
        EXPECT_FALSE(std::filesystem::exists(path));
        EXPECT_EQ(read_file(path + c.suffix), c.text);

        PositionX = 44;
        EXPECT_EQ(write_settings(), 1);
        PositionX = 5;
        read_settings();
        EXPECT_EQ(PositionX, 44);
        EXPECT_EQ(read_file(path + c.suffix), c.text);
    }
    forget_refused_files();
}

TEST(ColourSchemes, UserColoursFollowTheBrightnessOfTheUserColour)
{
    struct Case {
        int user;
        Fl_Color text, background, background2;
    };
    const Case cases[] = {
        {0xFFFFFF, 0x00000000, 0xFFFFFF00, 0xCCCCCC00},  // L 255: towards black by 0.8
        {0x000000, 0xFFFFFF00, 0x00000000, 0x54545400},  // FL_BLACK, L 0: towards white
        {0x3C3C3C, 0xFFFFFF00, 0x3C3C3C00, 0x24242400},  // L 60: white text, towards black
        {0x808080, 0x00000000, 0x80808000, 0xDFDFDF00},  // L 128: black text, towards white
        {0xF0F0F0, 0x00000000, 0xF0F0F000, 0xFBFBFB00},  // L 240: still towards white
        {0x3B3B3B, 0xFFFFFF00, 0x3B3B3B00, 0x7B7B7B00},  // L 59: towards white by 0.67
    };
    int kept = UserColor;
    for (const Case& c : cases) {
        UserColor = c.user;
        derive_user_colours();
        EXPECT_EQ(user_colours.foreground, c.text) << std::hex << c.user;
        EXPECT_EQ(user_colours.background, c.background) << std::hex << c.user;
        EXPECT_EQ(user_colours.background2, c.background2) << std::hex << c.user;
    }
    UserColor = kept;
    EXPECT_EQ(&colour_scheme(0), &system_colours);
    EXPECT_EQ(&colour_scheme(7), &system_colours);
    EXPECT_EQ(&colour_scheme(-1), &system_colours);
    EXPECT_EQ(colour_scheme(2).background, 0x8DC6A700u);
    EXPECT_EQ(colour_scheme(3).background2, 0xEAF0FC00u);
}

class ColourSchemesOnScreen : public GuiTest {
protected:
    TempHome home;
};

TEST_F(ColourSchemesOnScreen, ASchemeReachesTheToolkitAndSystemBringsTheStartColoursBack)
{
    start();
    ColourScheme start_colours = system_colours;
    EXPECT_EQ(Fl::get_color(FL_BACKGROUND2_COLOR), start_colours.background2);

    Color = 2;
    recolour_all();
    EXPECT_EQ(Fl::get_color(FL_BACKGROUND2_COLOR), 0xE2F0E900u);
    EXPECT_EQ(Fl::get_color(FL_FOREGROUND_COLOR), 0x00000000u);
    Fl_Color bg = Fl::get_color(FL_BACKGROUND_COLOR);
    EXPECT_NEAR(static_cast<int>(bg >> 16 & 0xFF), 0xC6, 1);  // the gray ramp is rebuilt around it

    Color = 4;
    UserColor = 0x202020;
    recolour_all();
    EXPECT_EQ(Fl::get_color(FL_FOREGROUND_COLOR), 0xFFFFFF00u);

    Color = 0;
    recolour_all();
    EXPECT_EQ(Fl::get_color(FL_BACKGROUND2_COLOR), start_colours.background2);
    EXPECT_EQ(Fl::get_color(FL_FOREGROUND_COLOR), start_colours.foreground);
}

}  // namespace
