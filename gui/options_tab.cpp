// The Options tab: its widgets bound to the settings, their callbacks, the
// hidden debug button and the texts of group GUI_Options.
#include "gui/options_tab.h"

#include <climits>
#include <cstdint>
#include <string>
#include <vector>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Choice.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>

#include "core/codepage.h"
#include "gui/debug_window.h"
#include "gui/gui_dialogs.h"
#include "gui/help.h"
#include "gui/languages.h"
#include "gui/main_window.h"
#include "gui/settings.h"
#include "gui/tab_kit.h"
#include "gui/widgets.h"
#include "platform/platform.h"

OptionsTab options_tab;

MessageText OptionsLanFil{"LanFil", "Language file", "Plik języka"};
MessageText OptionsAllFil{"AllFil", "All Files (*)", "Wszystkie pliki (*)"};
MessageText OptionsOvrFil{"OvrFil", "This file exists already:\n%s\nOverwrite it?",
                          "Ten plik już istnieje:\n%s\nZastąpić go?"};

namespace {

// The labels of the left column are padded alike, so the fields line up.
MessageText Appear{"Appear", "Appearance ", "Wygląd     "};
MessageText Colorr{"Colorr", "Color      ", "Kolory     "};
MessageText Langua{"Langua", "Language   ", "Język      "};
MessageText VerOut{"VerOut", "Verbose output", "Szczegółowe komunikaty"};
MessageText AdvOpt{"AdvOpt", "Advanced options", "Opcje zaawansowane"};
MessageText ExpOpt{"ExpOpt", "Experimental options", "Opcje eksperymentalne"};
MessageText Cgpsma{"Cgpsma", "cGPSmapper", "cGPSmapper"};
MessageText MaptkT{"MaptkT", "MapTk", "MapTk"};
MessageText MkGmap{"MkGmap", "mkgmap", "mkgmap"};
MessageText TxHelp{"TxHelp", "?", "?"};
MessageText MCWEOC{"MCWEOC",
                   "Maps created with experimental options can lock your GPS!\n"
                   "Do not load this maps to internal GPS memory, use flash cards instead.\n",
                   "Mapy utworzone z opcjami eksperymentalnymi mogą zablokować GPS!\n"
                   "Nie wgrywaj tych map do pamięci wewnętrznej GPS, używaj kart pamięci.\n"};
MessageText SavTra{"SavTra", "Save translation", "Zapisz tłumaczenie"};
MessageText System{"System", "System", "System"};
MessageText GtkPPT{"GtkPPT", "GTK+", "GTK+"};
MessageText Plasti{"Plasti", "Plastic", "Plastic"};
MessageText Grayyy{"Grayyy", "Gray", "Szary"};
MessageText Greenn{"Greenn", "Green", "Zielony"};
MessageText Blueee{"Blueee", "Blue", "Niebieski"};
MessageText Userrr{"Userrr", "User", "Użytkownika"};
MessageText SelCol{"SelCol", "Select color", "Wybierz kolor"};
MessageText MapCod{"MapCod", "Mapset code page ", "Strona kodowa map "};
MessageText GuLaDe{"GuLaDe", "GUI language default", "Domyślna dla języka"};

MessageText* const options_table[] = {
    &Appear, &Colorr, &Langua, &VerOut, &AdvOpt, &ExpOpt, &Cgpsma, &MaptkT,
    &MkGmap, &TxHelp, &MCWEOC, &SavTra, &OptionsLanFil, &OptionsAllFil, &System, &GtkPPT,
    &Plasti, &Grayyy, &Greenn, &Blueee, &Userrr, &SelCol, &MapCod, &GuLaDe,
    &OptionsOvrFil,
};

// The longest compiler path the field hands on; a longer one is forgotten.
constexpr size_t COMPILER_FIELD_MAX = 1199;
// Row 0's name is the "System" text, at most this long, and one blank.
constexpr size_t SYSTEM_NAME_MAX = 48;

void redraw_main_window()
{
    if (main_window)
        main_window->redraw();
}

void fill_language_choice()
{
    std::vector<std::string> items;
    for (const LanguageEntry& row : language_table)
        items.push_back(row.name);
    refill_choice(options_tab.language, items);
}

std::string& kept_compiler_path(int compiler)
{
    return compiler == 1 ? MapTkPath : compiler == 2 ? MkgmapPath : CgpsmapperPath;
}

const char* compiler_title(int compiler)
{
    return compiler == 1 ? MaptkT.text() : compiler == 2 ? MkGmap.text() : Cgpsma.text();
}

void update_colour_button()
{
    Fl_Button* button = options_tab.colour_button;
    if (!button)
        return;
    if (options_tab.colour->value() == 4) {
        button->activate();
        button->show();
    } else {
        button->deactivate();
        button->hide();
    }
}

void run_advanced_hooks()
{
    for (const WindowPart& part : window_parts)
        if (part.advanced)
            part.advanced();
}

void scheme_cb(Fl_Widget*, void*)
{
    int index = options_tab.scheme->value();
    if (index == Scheme)
        return;
    Scheme = index;
    Fl::scheme(scheme_name());
    redraw_main_window();
}

void colour_cb(Fl_Widget*, void*)
{
    int index = options_tab.colour->value();
    if (index == Color)
        return;
    Color = index;
    update_colour_button();
    recolour_all();
    redraw_main_window();
}

void colour_button_cb(Fl_Widget*, void*)
{
    unsigned char r = static_cast<unsigned char>(UserColor >> 16);
    unsigned char g = static_cast<unsigned char>(UserColor >> 8);
    unsigned char b = static_cast<unsigned char>(UserColor);
    if (!gui_dialogs().choose_colour(SelCol.text(), r, g, b))
        return;
    UserColor = r << 16 | g << 8 | b;
    recolour_all();
    redraw_main_window();
}

void language_cb(Fl_Widget*, void*)
{
    int index = options_tab.language->value();
    if (index == start_language_row)
        return;
    start_language_row = index;
    // Loading relabels and refills this very choice: it runs once the
    // callback has returned.
    Fl::add_timeout(0.0, load_language_later, reinterpret_cast<void*>(static_cast<intptr_t>(index)));
}

void template_cb(Fl_Widget*, void*) { write_language_template(); }

void verbose_cb(Fl_Widget*, void*) { Verbose = options_tab.verbose->value(); }

void advanced_cb(Fl_Widget*, void*)
{
    Advanced = options_tab.advanced->value();
    apply_advanced_state();
    run_advanced_hooks();
}

void experimental_cb(Fl_Widget*, void*)
{
    Experimental = options_tab.experimental->value();
    if (Experimental && !experimental_allowed)
        gui_dialogs().message(MCWEOC.text());
    run_advanced_hooks();
}

// The kept path follows the field as it is typed, so a split started
// without a change of compiler runs the path that is shown.
void compiler_path_cb(Fl_Widget*, void*)
{
    std::string typed = options_tab.compiler_path->value();
    kept_compiler_path(Compiler) =
        is_blank_text(typed.c_str()) || typed.size() > COMPILER_FIELD_MAX ? std::string() : typed;
}

void compiler_cb(Fl_Widget*, void*)
{
    int index = options_tab.compiler->value();
    if (index == Compiler)
        return;
    compiler_path_cb(nullptr, nullptr);
    options_tab.compiler_path->value(kept_compiler_path(index).c_str());
    Compiler = index;
}

void browse_cb(Fl_Widget*, void*)
{
    ChooserRequest request;
    request.title = compiler_title(Compiler);
    request.filter = "*";
    request.type = Fl_File_Chooser::SINGLE;
    request.directory = ".";
    request.value = options_tab.compiler_path->value();
    request.preview_switch = false;
    ChooserResult chosen = gui_dialogs().choose(request);
    if (!chosen.paths.empty() && !chosen.paths.front().empty()) {
        options_tab.compiler_path->value(chosen.paths.front().c_str());
        compiler_path_cb(nullptr, nullptr);
    }
}

void code_page_cb(Fl_Widget*, void*) { set_code_page_type(options_tab.code_page->value()); }

// The code page of the field's whole text; false for a text that is no
// code page (a negative number, or one beyond an int), which counts as 0.
bool typed_code_page(const char* typed, int& code_page)
{
    code_page = 0;
    if (is_blank_text(typed))
        return true;
    FieldNumber n = read_field_number(typed);
    if (!n.within(0, INT_MAX))
        return false;
    code_page = static_cast<int>(n.value);
    return true;
}

// The setting follows the text as it is typed, so a task started without
// leaving the field sees the code page that is shown.
void user_code_page_cb(Fl_Widget*, void*) { typed_code_page(options_tab.user_code_page->value(), user_code_page); }

// A text that is no code page is put right once the whole of it is there:
// corrected at each keystroke, "-5" would become "5" (the "-" alone is no
// number and would turn into "0" before the 5 is typed).
void settle_user_code_page()
{
    if (!typed_code_page(options_tab.user_code_page->value(), user_code_page))
        options_tab.user_code_page->value("0");
}

// The user code page field: settled when it is left or confirmed with Enter.
class CodePageInput : public Fl_Int_Input_W {
public:
    using Fl_Int_Input_W::Fl_Int_Input_W;
    int handle(int event) override
    {
        int used = Fl_Int_Input_W::handle(event);
        if (event == FL_UNFOCUS ||
            (event == FL_KEYBOARD && (Fl::event_key() == FL_Enter || Fl::event_key() == FL_KP_Enter)))
            settle_user_code_page();
        return used;
    }
};

void debug_cb(Fl_Widget*, void*) { open_debug_window(); }

void help_cb(Fl_Widget*, void*) { open_help_topic("options"); }

// The widgets are named in options_tab until the group goes with the main
// window; a window built again must not find the old pointers.
class OptionsGroup : public Fl_Group {
public:
    OptionsGroup() : Fl_Group(0, 25, 620, 485) {}
    ~OptionsGroup() override
    {
        clear();
        if (options_tab.group == this)
            options_tab = OptionsTab();
    }
};

Fl_Choice* new_choice(int x, int y, int w, const char* label, Fl_Callback* cb)
{
    Fl_Choice* choice = new Fl_Choice(x, y, w, 25, label);
    choice->add(" ");
    choice->value(0);
    choice->callback(cb);
    return choice;
}

}  // namespace

Fl_Group* build_options_tab()
{
    OptionsTab& t = options_tab;
    t = OptionsTab();
    t.group = new OptionsGroup();
    t.scheme = new_choice(100, 45, 160, Appear.text(), scheme_cb);
    t.colour = new_choice(100, 80, 160, Colorr.text(), colour_cb);
    t.colour_button = new_button(340, 80, 180, SelCol.text(), colour_button_cb);
    t.language = new_choice(100, 115, 160, Langua.text(), language_cb);
    t.template_button = new_button(340, 115, 180, SavTra.text(), template_cb);
    t.verbose = new_check(10, 150, 200, VerOut.text(), verbose_cb);
    t.advanced = new_check(10, 185, 200, AdvOpt.text(), advanced_cb);
    t.experimental = new_check(10, 220, 200, ExpOpt.text(), experimental_cb);
    t.compiler = new_choice(10, 290, 140, nullptr, compiler_cb);
    t.compiler_path = new Fl_Input_W(160, 290, 415, 25);
    t.compiler_path->callback(compiler_path_cb);
    t.compiler_path->when(FL_WHEN_CHANGED);
    t.browse = new_button(585, 290, 25, "..", browse_cb);
    t.code_page = new_choice(200, 330, 200, MapCod.text(), code_page_cb);
    t.user_code_page = new CodePageInput(420, 330, 60, 25);
    t.user_code_page->callback(user_code_page_cb);
    t.user_code_page->when(FL_WHEN_CHANGED);
    if (debug_button_enabled) {
        t.debug = new Fl_Button(619, 255, 0, 0);
        t.debug->box(FL_NO_BOX);
        t.debug->shortcut(FL_ALT + 'g');
        t.debug->callback(debug_cb);
    }
    t.help = new_button(585, 480, 25, TxHelp.text(), help_cb);
    end_tab_group(t.group);

    t.verbose->value(Verbose ? 1 : 0);
    t.advanced->value(Advanced ? 1 : 0);
    if (!Advanced)
        Experimental = 0;
    t.experimental->value(Experimental ? 1 : 0);
    if (Compiler != 1 && Compiler != 2)
        Compiler = 0;
    t.compiler_path->value(kept_compiler_path(Compiler).c_str());
    set_code_page_type(mapset_cp_type);
    apply_advanced_state();
    return t.group;
}

void show_settings_in_options()
{
    OptionsTab& t = options_tab;
    if (!t.group)
        return;
    t.scheme->value(Scheme);
    t.colour->value(Color);
    t.language->value(start_language_row);
    t.compiler->value(Compiler);
    set_code_page_type(mapset_cp_type);
    update_colour_button();
}

void set_code_page_type(int type)
{
    Fl_Int_Input_W* field = options_tab.user_code_page;
    if (type != 1 && type != 2)
        type = 0;
    int shown = type == 1 ? system_code_page : type == 2 ? user_code_page : language_default_code_page;
    if (field) {
        field->value(std::to_string(shown).c_str());
        if (type == 2)
            field->activate();
        else
            field->deactivate();
        field->redraw();
    }
    mapset_cp_type = type;
    if (options_tab.code_page)
        options_tab.code_page->value(type);
}

void apply_advanced_state()
{
    OptionsTab& t = options_tab;
    if (!t.group)
        return;
    if (Advanced) {
        t.experimental->activate();
        t.template_button->activate();
        t.template_button->show();
    } else {
        t.experimental->deactivate();
        t.experimental->value(0);
        Experimental = 0;
        t.template_button->deactivate();
        t.template_button->hide();
    }
    update_colour_button();
}

const char* compiler_path_field_text()
{
    return options_tab.compiler_path ? options_tab.compiler_path->value() : nullptr;
}

int load_messages_gui_options(LanguageGroup* group, int code_page, int write)
{
    load_message_table(options_table, group, code_page, write);
    if (write)
        return 1;
    std::string system_name = System.text();
    system_name.resize(platform::utf8_prefix_length(system_name.data(), system_name.size(), SYSTEM_NAME_MAX));
    if (!language_table.empty())
        language_table[0].name = system_name + " ";

    OptionsTab& t = options_tab;
    if (!t.group)
        return 1;
    t.scheme->label(Appear.text());
    t.colour->label(Colorr.text());
    t.colour_button->label(SelCol.text());
    t.language->label(Langua.text());
    t.template_button->label(SavTra.text());
    t.verbose->label(VerOut.text());
    t.advanced->label(AdvOpt.text());
    t.experimental->label(ExpOpt.text());
    t.code_page->label(MapCod.text());
    t.help->label(TxHelp.text());
    refill_choice(t.scheme, {System.text(), GtkPPT.text(), Plasti.text()});
    refill_choice(t.colour, {System.text(), Grayyy.text(), Greenn.text(), Blueee.text(), Userrr.text()});
    fill_language_choice();
    refill_choice(t.compiler, {Cgpsma.text(), MaptkT.text(), MkGmap.text()});
    refill_choice(t.code_page, {GuLaDe.text(), System.text(), Userrr.text()});
    // The choice had only its placeholder before the first load, so its
    // index would lose a saved type: the setting is what the choice shows.
    // The field shows the new language's default code page.
    set_code_page_type(mapset_cp_type);
    t.group->redraw();
    return 1;
}
