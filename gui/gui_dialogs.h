// The one seam of every modal dialog of the window program.
//
// The default answers through FLTK (fl_message, fl_input, Fl_File_Chooser,
// popup menus); the tests install scripted answers and read back the texts
// that were shown. Callers never format user texts into a dialog's format.
#pragma once

#include <string>
#include <vector>

struct Fl_Menu_Item;

struct ChooserRequest {
    const char* title = "";
    const char* filter = "*";  // tab-separated list of patterns
    int type = 0;              // Fl_File_Chooser type bits
    const char* directory = "";
    const char* value = "";    // a file to start at: its folder, its name filled in
    bool preview_switch = true;  // false: the Preview box is hidden too
};

struct ChooserResult {
    std::vector<std::string> paths;  // empty when cancelled
    std::string directory;           // the chooser's directory at the end
};

class GuiDialogs {
public:
    virtual ~GuiDialogs() = default;
    // An information box with one Close button, the text shown as it is.
    virtual void message(const std::string& text);
    // A text question in a window titled title; false when cancelled.
    virtual bool input(const std::string& title, const std::string& prompt, const std::string& initial,
                       std::string& answer);
    virtual ChooserResult choose(const ChooserRequest& request);
    // A popup menu at x, y; the chosen item or null.
    virtual const Fl_Menu_Item* popup(const Fl_Menu_Item* items, int x, int y);
    // The colour chooser at r, g, b; false when cancelled (r, g, b untouched).
    virtual bool choose_colour(const std::string& title, unsigned char& r, unsigned char& g, unsigned char& b);
    // A question with No and Yes (the text shown as it is); true for Yes.
    // No is the answer of Enter, Escape and the close box alike.
    virtual bool ask_overwrite(const std::string& question);
};

// The dialogs in force (FLTK's unless a test installed others).
GuiDialogs& gui_dialogs();
// Installs dialogs (null: FLTK's again); the caller keeps ownership.
void set_gui_dialogs(GuiDialogs* dialogs);
