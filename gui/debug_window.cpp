// The debug window: its trace buffer and cap, its category filter, search
// and clear.
#include "gui/debug_window.h"

#include <algorithm>
#include <iterator>
#include <memory>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Pack.H>
#include <FL/Fl_Text_Buffer.H>

#include "core/host.h"
#include "gui/gui_dialogs.h"
#include "gui/log_window.h"
#include "gui/widgets.h"
#include "platform/platform.h"

Fl_Double_Window* debug_window = nullptr;
int debug_window_open = 0;
Fl_Text_Display_W* debug_display = nullptr;
Fl_Text_Buffer* debug_buffer = nullptr;
std::string debug_search_text;
int32_t debug_search_position = 0;
DebugControls debug_controls;

namespace {

struct Category {
    const char* label;
    uint32_t bit;
};
const Category categories[13] = {
    {"(00) GUI", DBG_GUI},       {"(01) twk", DBG_TWK},       {"(02) read", DBG_READ},
    {"(03) split", DBG_SPLIT},   {"(04) Maps.", DBG_MAPS},    {"(05) join", DBG_JOIN},
    {"(06) write", DBG_WRITE},   {"(07) NT", DBG_NT},         {"(08) info", DBG_INFO},
    {"(09) memory", DBG_MEMORY}, {"(10) MDR", DBG_MDR},       {"(11) DEM", DBG_DEM},
    {"(12) decode", DBG_DECODE},
};

// The window owns the buffer its display shows (a display never deletes
// its buffer); the display goes first.
class DebugWindow : public Fl_Double_Window {
public:
    DebugWindow() : Fl_Double_Window(780, 580, "Tarnwick Debug"), buffer_(65536, 1024) {}
    ~DebugWindow() override { clear(); }
    Fl_Text_Buffer* buffer() { return &buffer_; }

private:
    Fl_Text_Buffer buffer_;
};

void show_page(bool filter_page)
{
    DebugControls& c = debug_controls;
    c.toggle->label(filter_page ? "Output" : "Filter");
    Fl_Widget* output[] = {debug_display, c.search, c.next, c.clear};
    for (Fl_Widget* w : output) {
        if (filter_page)
            w->hide();
        else
            w->show();
    }
    if (filter_page)
        c.filter->show();
    else
        c.filter->hide();
    debug_window->redraw();
}

void toggle_cb(Fl_Widget* w, void*) { show_page(static_cast<Fl_Button*>(w)->value() != 0); }

void category_cb(Fl_Widget* w, void* data)
{
    uint32_t bit = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(data));
    if (static_cast<Fl_Check_Button*>(w)->value())
        debug_categories |= bit;
    else
        debug_categories &= ~bit;
    debug_categories |= DBG_ALWAYS;
}

void search_cb(Fl_Widget*, void*) { debug_search(); }
void next_cb(Fl_Widget*, void*) { debug_search_next(); }
void clear_cb(Fl_Widget*, void*) { clear_debug_trace(); }

Fl_Button* new_button(int x, const char* label, Fl_Callback* cb)
{
    Fl_Button* b = new Fl_Button(x, 10, 80, 25, label);
    b->callback(cb);
    return b;
}

void build_debug_window()
{
    DebugWindow* window = new DebugWindow();
    debug_window = window;
    debug_buffer = window->buffer();
    DebugControls& c = debug_controls;
    c.toggle = new Fl_Button(10, 10, 80, 25, "Output");
    c.toggle->type(FL_TOGGLE_BUTTON);
    c.toggle->value(1);
    c.toggle->callback(toggle_cb);
    c.search = new_button(140, "Search", search_cb);
    c.search->shortcut(FL_F + 7);
    c.next = new_button(240, " Next ", next_cb);
    c.next->shortcut(FL_F + 3);
    c.clear = new_button(690, "Clear ", clear_cb);
    debug_display = new Fl_Text_Display_W(5, 45, 770, 530);
    debug_display->textfont(FL_COURIER);
    debug_display->buffer(debug_buffer);

    c.filter = new Fl_Group(5, 45, 770, 530);
    for (int column = 0; column < 2; ++column) {
        int first = column ? 8 : 0, last = column ? 13 : 8;
        Fl_Pack* pack = new Fl_Pack(column ? 220 : 20, 55, 200, (last - first) * 30);
        for (int i = first; i < last; ++i) {
            Fl_Check_Button* box = new Fl_Check_Button(0, 0, 200, 30, categories[i].label);
            box->value((debug_categories & categories[i].bit) ? 1 : 0);
            box->callback(category_cb, reinterpret_cast<void*>(static_cast<uintptr_t>(categories[i].bit)));
            c.categories[i] = box;
        }
        pack->end();
    }
    c.filter->end();

    window->resizable(debug_display);
    window->size_range(400, 360);
    window->end();
    show_page(true);
}

std::string fixed_not_found_text(const std::string& text)
{
    std::string shown = text;
    std::string more;
    if (text.size() > 30) {
        shown.resize(platform::utf8_prefix_length(text.data(), text.size(), 30));
        more = "...";
    }
    return "[" + shown + more + "] not found.";
}

bool ask_debug_search_text()
{
    std::string answer;
    if (!gui_dialogs().input("Search", "Enter search text:", debug_search_text, answer) || answer.empty())
        return false;
    debug_search_text = answer;
    return true;
}

}  // namespace

void open_debug_window()
{
    if (debug_window) {
        debug_window->show();
        debug_window_open = 1;
        return;
    }
    build_debug_window();
    debug_window_open = 1;
    debug_window->show();
    debug_message(DBG_ALWAYS, "Debug start.\n");
}

void close_debug_window()
{
    if (!debug_window_open)
        return;
    debug_window_open = 0;
    debug_window->hide();
    delete debug_window;
    debug_window = nullptr;
    debug_display = nullptr;
    debug_buffer = nullptr;
    debug_controls = DebugControls();
}

int debug_trace_wanted(uint32_t mask)
{
    return debug_window_open ? static_cast<int>(mask & debug_categories) : 0;
}

void append_debug_text(const char* text)
{
    if (!debug_window_open || !debug_buffer || !text)
        return;
    debug_buffer->append(text);
    int removed = trim_text_buffer(debug_buffer, DEBUG_TRACE_LIMIT, DEBUG_TRACE_LIMIT);
    debug_search_position = std::max(0, debug_search_position - removed);
    debug_display->insert_position(debug_buffer->length());
    debug_display->show_insert_position();
}

void debug_search()
{
    if (!ask_debug_search_text())
        return;
    debug_search_position = 0;
    debug_find();
}

void debug_search_next()
{
    if (debug_search_text.empty()) {
        debug_search();
        return;
    }
    debug_find();
}

void debug_find()
{
    if (!debug_buffer || debug_search_text.empty())
        return;
    int found = 0;
    if (!debug_buffer->search_forward(debug_search_position, debug_search_text.c_str(), &found, 0)) {
        gui_dialogs().message(fixed_not_found_text(debug_search_text));
        return;
    }
    int end = found + static_cast<int>(debug_search_text.size());
    debug_buffer->highlight(found, end);
    scroll_to_found(debug_display, found);
    debug_search_position = end;
}

void clear_debug_trace()
{
    if (!debug_buffer)
        return;
    int length = debug_buffer->length();
    if (length > 0)
        debug_buffer->remove(0, length - 1);
    debug_search_position = std::min(debug_search_position, debug_buffer->length());
}
