// The window program's own widget classes and its counted allocations.
//
// Each class changes only event handling (and the list its drawing): a
// right-button Copy/Paste menu on input fields, Copy/Search and Ctrl+Insert
// on text displays, Ctrl+A, drops and column lines on the file list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>

#include <FL/Fl_File_Input.H>
#include <FL/Fl_Float_Input.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Int_Input.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Text_Display.H>

class Fl_Widget;

// malloc/free counted in the core's allocation_count and free_count, so the
// debug lines of live blocks cover the window's blocks too.
void* gui_malloc(size_t size);
void gui_free(void* block);

// One behaviour over the four input classes: a right-button Copy/Paste menu.
template <class Base>
class Fl_Input_Menu : public Base {
public:
    Fl_Input_Menu(int x, int y, int w, int h, const char* label = nullptr) : Base(x, y, w, h, label) {}
    int handle(int event) override;
};

// The four names the tab builders use.
class Fl_Input_W : public Fl_Input_Menu<Fl_Input> {
public:
    using Fl_Input_Menu<Fl_Input>::Fl_Input_Menu;
};
class Fl_Int_Input_W : public Fl_Input_Menu<Fl_Int_Input> {
public:
    using Fl_Input_Menu<Fl_Int_Input>::Fl_Input_Menu;
};
class Fl_Float_Input_W : public Fl_Input_Menu<Fl_Float_Input> {
public:
    using Fl_Input_Menu<Fl_Float_Input>::Fl_Input_Menu;
};
class Fl_File_Input_W : public Fl_Input_Menu<Fl_File_Input> {
public:
    using Fl_Input_Menu<Fl_File_Input>::Fl_Input_Menu;
};

class Fl_Text_Display_W : public Fl_Text_Display {
public:
    Fl_Text_Display_W(int x, int y, int w, int h, const char* label = nullptr)
        : Fl_Text_Display(x, y, w, h, label) {}
    int handle(int event) override;
    // Line number (from 1) of the top line shown.
    int top_line() const { return mTopLineNum; }
};

// Column widths shared by the Files list and its headers; a 0 ends them.
extern int file_list_columns[4];

class Fl_Multi_Browser_W : public Fl_Multi_Browser {
public:
    Fl_Multi_Browser_W(int x, int y, int w, int h, const char* label = nullptr)
        : Fl_Multi_Browser(x, y, w, h, label) {}
    // A deferred drop call must not outlive the list it names.
    ~Fl_Multi_Browser_W() override;
    int handle(int event) override;
    void draw() override;

    // The header boxes whose widths the first two columns follow.
    Fl_Widget* column_headers[2] = {nullptr, nullptr};

    // The timeout that each drop schedules; calls add_dropped_files(list).
    static void add_dropped_files_cb(void* list);

    // Detaches and returns the oldest drop not yet taken ("" when none).
    // add_dropped_files calls it once per call, before it walks the text:
    // every drop gets its own text and its own deferred call, so a drop that
    // arrives while an earlier one is being walked (the walk runs
    // Fl::check()) queues behind it instead of replacing its text.
    std::string take_drop();
    // Drops received and not yet taken.
    size_t pending_drop_count() const { return pending_drops_.size(); }

    // Where column lines fall strictly inside the inner box, left to right;
    // returns how many there are.
    int column_line_positions(int out[4]);

private:
    std::deque<std::string> pending_drops_;
};
