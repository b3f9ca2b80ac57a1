// The Log tab: the log text and its cap, batching and the Stop poll, the
// task frame around every task of the window, search, Save, Clear, and the
// texts of group GUI_Log.
#include "gui/log_window.h"

#include <algorithm>
#include <chrono>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Double_Window.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Multi_Browser.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Buffer.H>
#include <FL/fl_utf8.h>

#include "core/files.h"
#include "core/host.h"
#include "core/text_format.h"
#include "gui/files_tab.h"
#include "gui/gui_dialogs.h"
#include "gui/help.h"
#include "gui/main_window.h"
#include "gui/widgets.h"
#include "platform/platform.h"

Fl_Text_Display_W* log_display = nullptr;
Fl_Text_Buffer* log_buffer = nullptr;
int log_batching = 0;
int32_t pending_log_lines = 0;
int log_flush_interval_ms = 40;
static std::chrono::steady_clock::time_point last_log_flush;
// Text logged during a task waits here and enters the buffer in one insert
// per flush: every insert makes the display measure its visible lines again,
// which cost more than the report that was being logged.
static std::string waiting_log_text;
std::string search_text;
int32_t search_position = 0;

Fl_Button* log_search_button = nullptr;
Fl_Button* log_next_button = nullptr;
Fl_Button* log_save_button = nullptr;
Fl_Button* log_stop_button = nullptr;
Fl_Button* log_clear_button = nullptr;
Fl_Button* log_help_button = nullptr;

MessageText LogSearch{"Search", "Search", "Szukaj", 72};
static MessageText NextTx{"NextTx", "Next", "Dalej", 68};
static MessageText SaveTx{"SaveTx", "Save", "Zapisz", 68};
static MessageText StopTx{"StopTx", "Stop", "Stop", 68};
static MessageText ClearT{"ClearT", "Clear ", "Wyczyść", 72};
static MessageText HelpTx{"HelpTx", "?", "?", 62};
static MessageText SSNoFo{"SSNoFo", "[%.30s%s] not found.", "[%.30s%s] nie znaleziono.", 100};
static MessageText EnSeTe{"EnSeTe", "Enter search text:", "Podaj szukany tekst:", 96};
MessageText LogCopyTx{"CopyTx", "Copy", "Kopiuj", 68};
static MessageText SavLog{"SavLog", "Save log", "Zapisz log", 76};
static MessageText WriErr{"WriErr", "Save error", "Błąd zapisu", 80};

static MessageText* const log_table[] = {
    &LogSearch, &NextTx, &SaveTx, &StopTx, &ClearT, &HelpTx, &SSNoFo, &EnSeTe, &LogCopyTx, &SavLog, &WriErr,
};

namespace {

// The Log tab owns the buffer its display shows (a display never deletes
// its buffer): the buffer goes with the window, after the display has let
// go of it, and a rebuilt window gets a fresh one.
class LogTab : public Fl_Group {
public:
    // The buffer moves its whole text whenever an insert outgrows the gap
    // before its end; a gap of 1 KiB made a long report cost the square of
    // its length, so the gap is as large as a busy stretch of log.
    LogTab() : Fl_Group(0, 25, 620, 485), buffer_(std::make_unique<Fl_Text_Buffer>(65536, LOG_BUFFER_GAP)) {}
    ~LogTab() override
    {
        clear();
        if (log_buffer == buffer_.get()) {
            log_buffer = nullptr;
            log_display = nullptr;
            log_search_button = log_next_button = log_save_button = nullptr;
            log_stop_button = log_clear_button = log_help_button = nullptr;
        }
    }
    Fl_Text_Buffer* buffer() const { return buffer_.get(); }

private:
    std::unique_ptr<Fl_Text_Buffer> buffer_;
};

std::string selection_of(Fl_Text_Buffer* buffer)
{
    if (!buffer || !buffer->selected())
        return {};
    char* text = buffer->selection_text();
    std::string s = text ? text : "";
    free(text);
    return s;
}

// The search ignores letter case, so a selection the search found counts
// as the search text in any case.
bool same_text(const std::string& a, const std::string& b)
{
    return !a.empty() && !b.empty() && fl_utf_strcasecmp(a.c_str(), b.c_str()) == 0;
}

void show_not_found(const std::string& text) { gui_dialogs().message(not_found_text(text)); }

void select_found(int pos, int length)
{
    log_buffer->select(pos, pos + length);
    scroll_to_found(log_display, pos);
    search_position = pos + length;
}

void search_action()
{
    int32_t start = -1;
    int same = 0;
    if (!ask_search_text(start, same))
        return;
    if (start >= 0)
        search_position = start;
    search_log(same);
}

void search_cb(Fl_Widget*, void*) { search_action(); }

void next_cb(Fl_Widget*, void*)
{
    if (search_text.empty()) {
        search_action();
        return;
    }
    search_log(same_text(selection_of(log_buffer), search_text));
}

void save_cb(Fl_Widget*, void*)
{
    ChooserRequest request;
    request.title = SavLog.text();
    request.filter = "*";
    request.type = Fl_File_Chooser::CREATE;
    request.directory = dialog_start_dir;
    ChooserResult chosen = gui_dialogs().choose(request);
    if (chosen.paths.empty())
        return;
    if (main_window)
        main_window->cursor(FL_CURSOR_WAIT);
    if (!chosen.directory.empty() && chosen.directory.size() <= 1021)
        set_dialog_start_dir(chosen.directory.c_str());
    save_log_to(chosen.paths.front().c_str());
    if (main_window)
        main_window->cursor(FL_CURSOR_DEFAULT);
}

void stop_cb(Fl_Widget*, void*) { stop_requested = 1; }

void clear_cb(Fl_Widget*, void*) { clear_log(); }

void help_cb(Fl_Widget*, void*) { open_help_topic("log"); }

Fl_Button* add_button(int x, int w, MessageText& text, Fl_Callback* cb)
{
    Fl_Button* b = new Fl_Button(x, 40, w, 25, text.text());
    b->callback(cb);
    return b;
}

void label_buttons()
{
    struct Labelled {
        Fl_Button* button;
        const MessageText& text;
    };
    const Labelled buttons[] = {
        {log_search_button, LogSearch}, {log_next_button, NextTx},   {log_save_button, SaveTx},
        {log_stop_button, StopTx},      {log_clear_button, ClearT}, {log_help_button, HelpTx},
    };
    for (const Labelled& l : buttons)
        if (l.button) {
            l.button->label(l.text.text());
            l.button->redraw();
        }
}

void set_task_buttons_active(bool active)
{
    for (Fl_Button* b : {log_search_button, log_next_button, log_save_button, log_clear_button})
        if (b) {
            if (active)
                b->activate();
            else
                b->deactivate();
        }
    if (log_stop_button) {
        if (active)
            log_stop_button->hide();
        else
            log_stop_button->show();
    }
    if (log_group)
        log_group->redraw();
    if (main_tabs)
        main_tabs->redraw();
}

}  // namespace

Fl_Group* build_log_tab()
{
    LogTab* tab = new LogTab;
    log_buffer = tab->buffer();
    waiting_log_text.clear();
    log_batching = 0;
    pending_log_lines = 0;
    search_text.clear();
    search_position = 0;

    log_search_button = add_button(10, 80, LogSearch, search_cb);
    log_search_button->shortcut(FL_F + 7);
    log_next_button = add_button(100, 80, NextTx, next_cb);
    log_next_button->shortcut(FL_F + 3);
    log_save_button = add_button(190, 80, SaveTx, save_cb);
    log_save_button->shortcut(FL_CTRL + 's');
    log_stop_button = add_button(320, 100, StopTx, stop_cb);
    log_stop_button->hide();
    log_clear_button = add_button(475, 80, ClearT, clear_cb);
    log_help_button = add_button(585, 25, HelpTx, help_cb);

    log_display = new Fl_Text_Display_W(5, 75, 610, 430);
    log_display->textfont(FL_COURIER);
    log_display->buffer(log_buffer);
    tab->resizable(log_display);
    tab->end();
    return tab;
}

int trim_text_buffer(Fl_Text_Buffer* buffer, int limit, int keep)
{
    int length = buffer->length();
    if (length <= limit)
        return 0;
    int start = buffer->line_start(length - keep);
    if (start < 2)
        return 0;
    // The kept text starts with the line end before that line.
    buffer->remove(0, start - 1);
    return start - 1;
}


static void move_waiting_text()
{
    if (!waiting_log_text.empty() && log_buffer)
        log_buffer->append(waiting_log_text.c_str());
    waiting_log_text.clear();
}

std::string log_contents()
{
    std::string text;
    if (log_buffer) {
        char* t = log_buffer->text();
        text = t;
        free(t);
    }
    return text + waiting_log_text;
}

void flush_log()
{
    pending_log_lines = 0;
    last_log_flush = std::chrono::steady_clock::now();
    move_waiting_text();
    if (!log_buffer)
        return;
    int removed = trim_text_buffer(log_buffer, LOG_TRIM_ABOVE, LOG_TRIM_KEEP);
    search_position = std::max(0, search_position - removed);
    if (log_display) {
        log_display->insert_position(log_buffer->length());
        log_display->show_insert_position();
    }
}

void append_log_text(const char* text)
{
    if (!log_buffer || !text)
        return;
    if (log_batching) {
        waiting_log_text += text;
        if (waiting_log_text.size() >= LOG_WAITING_LIMIT)
            move_waiting_text();
        ++pending_log_lines;
        return;
    }
    waiting_log_text += text;
    flush_log();
}

int poll_log_and_stop()
{
    // More than 30 waiting lines flush only when the display has not been
    // brought up to date for a while: a long report polls after every few
    // lines, and redrawing the display each time cost more than the report.
    if (!stop_requested && !Fl::ready()) {
        if (pending_log_lines <= 30)
            return stop_requested;
        auto now = std::chrono::steady_clock::now();
        if (now - last_log_flush < std::chrono::milliseconds(log_flush_interval_ms))
            return stop_requested;
    }
    flush_log();
    Fl::check();
    return stop_requested;
}

void begin_task()
{
    log_batching = 1;
    stop_requested = 0;
    log_message("\n%s\n", std::string(68, '=').c_str());
    for (Fl_Group* g : {files_group, options_group, join_group, split_group, write_group, change_group})
        if (g)
            g->deactivate();
    if (main_tabs && log_group)
        main_tabs->value(log_group);
    set_task_buttons_active(false);
}

void end_task()
{
    log_batching = 0;
    for (Fl_Group* g : {files_group, options_group})
        if (g)
            g->activate();
    if (file_list && file_list->size() > 0)
        for (Fl_Group* g : {join_group, split_group, write_group, change_group})
            if (g)
                g->activate();
    set_task_buttons_active(true);
    Fl::check();
    if (stop_requested) {
        stop_requested = 0;
        log_message("%s", UseBre.text());
    } else {
        log_message("%s", EndTxt.text());
    }
}

void report_task_out_of_memory()
{
    log_message("%s", fn_OuOfMe.text());
    ++error_count;
}

std::string not_found_text(const std::string& text)
{
    std::string shown = text;
    const char* more = "";
    if (text.size() > 30) {
        // Cut at a character start: a cut inside a UTF-8 sequence would
        // show as a broken character.
        shown.resize(platform::utf8_prefix_length(text.data(), text.size(), 30));
        more = "...";
    }
    std::string message;
    append_format(message, SSNoFo.text(), shown.c_str(), more);
    return message;
}

int ask_search_text(int32_t& start, int& same_as_selection)
{
    start = -1;
    same_as_selection = 0;
    std::string selected = selection_of(log_buffer);
    if (!selected.empty()) {
        int s = 0, e = 0;
        log_buffer->selection_position(&s, &e);
        start = e;
    }
    std::string answer;
    if (!gui_dialogs().input(LogSearch.text(), EnSeTe.text(), selected.empty() ? search_text : selected, answer) ||
        answer.empty())
        return 0;
    search_text = answer;
    same_as_selection = same_text(answer, selected);
    return 1;
}

void search_log(int same_as_selection)
{
    if (search_text.empty() || !log_buffer)
        return;
    const int length = static_cast<int>(search_text.size());
    const int old_position = search_position;
    int found = 0;
    if (!log_buffer->search_forward(search_position, search_text.c_str(), &found, 0)) {
        if (search_position == 0 || !log_buffer->search_forward(0, search_text.c_str(), &found, 0)) {
            show_not_found(search_text);
            return;
        }
        // Found again only where the selection already is: no other one.
        if (same_as_selection && found + length == old_position)
            show_not_found(search_text);
    }
    select_found(found, length);
}

void search_selection(Fl_Text_Display* display)
{
    Fl_Text_Buffer* shown = display ? display->buffer() : nullptr;
    std::string text = selection_of(shown);
    if (text.empty() || !log_buffer)
        return;
    // Another display's positions mean nothing in the log: its selection is
    // searched for from the log's start.
    const bool in_log = shown == log_buffer;
    int sel_start = 0, sel_end = 0;
    shown->selection_position(&sel_start, &sel_end);
    const int from = in_log ? sel_end : 0;
    int found = 0;
    if (!log_buffer->search_forward(from, text.c_str(), &found, 0)) {
        if (from == 0 || !log_buffer->search_forward(0, text.c_str(), &found, 0)) {
            show_not_found(text);
            return;
        }
    }
    if (in_log && found == sel_start)
        show_not_found(text);
    select_found(found, static_cast<int>(text.size()));
    search_text = text;
}

void scroll_to_found(Fl_Text_Display* display, int pos)
{
    if (!display || !display->buffer())
        return;
    int line = display->buffer()->count_lines(0, pos) + 1;
    display->scroll(line <= 6 ? line : line - 5, 0);
}

void save_log_to(const char* path)
{
    if (!log_buffer)
        return;
    errno = 0;
    if (log_buffer->outputfile(path, 0, log_buffer->length(), 131072) == 0)
        return;
    int error = errno ? errno : EIO;
    gui_dialogs().message(std::string(WriErr.text()) + " (" + strerror(error) + ")");
}

void clear_log()
{
    if (!log_buffer || log_buffer->length() == 0)
        return;
    // The last byte, normally the final line end, stays.
    log_buffer->remove(0, log_buffer->length() - 1);
    search_position = 0;
}

int load_messages_gui_log(LanguageGroup* group, int code_page, int write)
{
    int result = load_message_table(log_table, group, code_page, write);
    if (!write)
        label_buttons();
    return result;
}
