// The window program's own widget classes: context menus on input fields
// and text displays, Ctrl+Insert, the file list's Ctrl+A, drops and column
// lines; and the counted allocation pair of the window's code.
// Before any toolkit header: the X11 headers behind them define CurrentTime.
#include "core/files.h"

#include "gui/widgets.h"

#include <cstdlib>
#include <cstring>

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_draw.H>

#include "gui/files_tab.h"
#include "gui/gui_dialogs.h"
#include "gui/log_window.h"
#include "gui/main_window.h"

int file_list_columns[4] = {310, 70, 2000, 0};

void* gui_malloc(size_t size)
{
    void* block = malloc(size);
    if (block)
        ++allocation_count;
    return block;
}

void gui_free(void* block)
{
    // Counted even for null, as the core's free_memory counts.
    ++free_count;
    free(block);
}

static bool right_button() { return Fl::event_button() == FL_RIGHT_MOUSE; }

template <class Base>
int Fl_Input_Menu<Base>::handle(int event)
{
    if (event == FL_RELEASE && right_button())
        return 1;  // the base class would move the cursor or the selection
    if (event != FL_PUSH || !right_button())
        return Base::handle(event);
    // The menu acts on the field under the mouse, so that field takes the
    // focus first.
    if (Fl::focus() != this) {
        Fl::focus(this);
        Base::handle(FL_FOCUS);
    }
    const Fl_Menu_Item items[] = {{MainCopyTx.text(), 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                                  {PasteT.text(), 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                                  {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}};
    const Fl_Menu_Item* picked = gui_dialogs().popup(items, Fl::event_x(), Fl::event_y());
    if (picked == &items[0])
        this->copy(1);
    else if (picked == &items[1])
        Fl::paste(*this, 1);
    return 1;
}

template class Fl_Input_Menu<Fl_Input>;
template class Fl_Input_Menu<Fl_Int_Input>;
template class Fl_Input_Menu<Fl_Float_Input>;
template class Fl_Input_Menu<Fl_File_Input>;

static void copy_selection(Fl_Text_Buffer* buffer)
{
    if (!buffer || !buffer->selected())
        return;
    char* text = buffer->selection_text();
    Fl::copy(text, static_cast<int>(strlen(text)), 1);
    free(text);
}

int Fl_Text_Display_W::handle(int event)
{
    if (event == FL_RELEASE && right_button())
        return 1;
    if (event == FL_KEYBOARD && Fl::event_key() == FL_Insert && (Fl::event_state() & FL_CTRL)) {
        // Consumed even without a selection: the base class would otherwise
        // treat it as a plain Insert.
        copy_selection(buffer());
        return 1;
    }
    if (event != FL_PUSH || !right_button())
        return Fl_Text_Display::handle(event);
    if (Fl::focus() != this) {
        Fl::focus(this);
        Fl_Text_Display::handle(FL_FOCUS);
    }
    if (!buffer() || !buffer()->selected())
        return 1;
    const Fl_Menu_Item items[] = {{LogCopyTx.text(), 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                                  {LogSearch.text(), 0, nullptr, nullptr, 0, 0, 0, 0, 0},
                                  {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}};
    const Fl_Menu_Item* picked = gui_dialogs().popup(items, Fl::event_x(), Fl::event_y());
    if (picked == &items[0])
        copy_selection(buffer());
    else if (picked == &items[1])
        search_selection(this);
    return 1;
}

Fl_Multi_Browser_W::~Fl_Multi_Browser_W() { Fl::remove_timeout(add_dropped_files_cb, this); }

int Fl_Multi_Browser_W::handle(int event)
{
    switch (event) {
    case FL_KEYBOARD:
        if (Fl::event_key() == 'a' && (Fl::event_state() & FL_CTRL)) {
            for (int line = 1; line <= size(); ++line)
                select(line, 1);
            return 1;
        }
        break;
    case FL_PASTE: {
        // The list is filled after the drop event has ended: filling runs
        // Fl::check(), which must not run inside the toolkit's drop handling.
        const char* text = Fl::event_text();
        int length = Fl::event_length();
        pending_drops_.emplace_back(text && length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string());
        Fl::add_timeout(0.0, add_dropped_files_cb, this);
        return 1;
    }
    case FL_DND_ENTER:
    case FL_DND_DRAG:
    case FL_DND_LEAVE:
    case FL_DND_RELEASE:
        return 1;  // drops are welcome anywhere on the list
    default:
        break;
    }
    return Fl_Multi_Browser::handle(event);
}

std::string Fl_Multi_Browser_W::take_drop()
{
    if (pending_drops_.empty())
        return {};
    std::string text = std::move(pending_drops_.front());
    pending_drops_.pop_front();
    return text;
}

void Fl_Multi_Browser_W::add_dropped_files_cb(void* list) { add_dropped_files(static_cast<Fl_Multi_Browser_W*>(list)); }

int Fl_Multi_Browser_W::column_line_positions(int out[4])
{
    int bx, by, bw, bh;
    bbox(bx, by, bw, bh);
    int n = 0;
    int at = x() - hposition();
    for (int i = 0; i < 4 && file_list_columns[i]; ++i) {
        at += file_list_columns[i];
        if (at > bx && at < bx + bw)
            out[n++] = at;
    }
    return n;
}

void Fl_Multi_Browser_W::draw()
{
    // The user may have dragged the headers (they lie in a tile).
    for (int i = 0; i < 2; ++i)
        if (column_headers[i])
            file_list_columns[i] = column_headers[i]->w();
    Fl_Multi_Browser::draw();
    int bx, by, bw, bh;
    bbox(bx, by, bw, bh);
    int lines[4];
    int n = column_line_positions(lines);
    fl_color(FL_BACKGROUND_COLOR);
    for (int i = 0; i < n; ++i)
        fl_line(lines[i], by, lines[i], by + bh - 1);
}
