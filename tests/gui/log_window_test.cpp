// The Log tab: batching and the Stop poll, the 16 MiB cap, the task frame,
// search with its wrap and not-found rules, Save, Clear and GUI_Log's texts.
// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include "gui/log_window.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include <FL/Fl_Button.H>
#include <FL/Fl_File_Chooser.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Tabs.H>
#include <FL/Fl_Text_Buffer.H>

#include "core/host.h"
#include "gui/files_tab.h"
#include "gui/main_window.h"
#include "gui/widgets.h"
#include "operations/task_bridge.h"
#include "tests/support/test_support.h"

namespace {

std::string tail(const std::string& s, size_t n) { return s.size() > n ? s.substr(s.size() - n) : s; }

std::pair<int, int> log_selection()
{
    int s = -1, e = -1;
    if (!log_buffer->selection_position(&s, &e))
        return {-1, -1};
    return {s, e};
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char name[] = "/tmp/tarnwick-log-test-XXXXXX";
        path = mkdtemp(name) ? name : "";
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
};

using LogTask = GuiTest;

TEST_F(LogTask, ThirtyPendingMessagesWaitAndTheThirtyFirstFlushes)
{
    start();
    const int interval = log_flush_interval_ms;
    log_flush_interval_ms = 0;
    begin_task();
    settle();
    for (int i = 0; pending_log_lines < 30; ++i)
        log_message("step %d\n", i);
    const int shown = log_display->insert_position();
    // An X event still waiting (a busy machine delivers them late) would
    // flush at once, as it should: none may wait when the count is tested.
    settle();
    EXPECT_EQ(poll_stop_request(), 0);
    EXPECT_EQ(pending_log_lines, 30);
    EXPECT_EQ(log_display->insert_position(), shown);
    EXPECT_EQ(log_buffer->length(), shown);
    EXPECT_LT(static_cast<size_t>(shown), log_text().size());

    log_message("one more\n");
    settle();
    EXPECT_EQ(poll_stop_request(), 0);
    EXPECT_EQ(pending_log_lines, 0);
    EXPECT_EQ(log_display->insert_position(), log_buffer->length());

    // A display brought up to date a moment ago waits for its interval,
    // but never past a Stop.
    log_flush_interval_ms = 60000;
    for (int i = 0; pending_log_lines < 40; ++i)
        log_message("later %d\n", i);
    settle();
    EXPECT_EQ(poll_stop_request(), 0);
    EXPECT_EQ(pending_log_lines, 40);
    stop_requested = 1;
    EXPECT_EQ(poll_stop_request(), 1);
    EXPECT_EQ(pending_log_lines, 0);
    stop_requested = 0;
    log_flush_interval_ms = interval;

    // Formatting is never cut: a path of 10,000 bytes is logged whole.
    const std::string path = "/maps/" + std::string(10000, 'q') + ".img";
    log_message("Cannot open %s\n", path.c_str());
    end_task();
    const std::string want = "later 39\nCannot open " + path + "\n\nEnd.\n";
    EXPECT_EQ(tail(log_text(), want.size()), want);
}

TEST_F(LogTask, TheFrameSwitchesTabsAndButtonsAndStopEndsWithUserBreak)
{
    start();
    for (bool stop : {true, false}) {
        SCOPED_TRACE(stop ? "stopped, empty list" : "one file listed");
        if (!stop)
            add_file("/nonexistent/a.img", -1);
        main_tabs->value(files_group);
        begin_task();
        settle();
        EXPECT_EQ(main_tabs->value(), log_group);
        for (Fl_Group* g : {files_group, options_group, join_group, split_group, write_group, change_group})
            EXPECT_FALSE(g->active());
        for (Fl_Button* b : {log_search_button, log_next_button, log_save_button, log_clear_button})
            EXPECT_FALSE(b->active()) << b->label();
        EXPECT_TRUE(log_stop_button->visible());

        log_message("working\n");
        if (stop)
            log_stop_button->do_callback();
        // Stop flushes even with one message pending.
        EXPECT_EQ(poll_stop_request(), stop ? 1 : 0);
        EXPECT_EQ(pending_log_lines, stop ? 0 : 2);  // the separator and one line
        end_task();
        EXPECT_EQ(stop_requested, 0);
        const std::string end = stop ? "working\n\nUser break!\n" : "working\n\nEnd.\n";
        EXPECT_EQ(tail(log_text(), end.size()), end);
        EXPECT_TRUE(files_group->active());
        EXPECT_TRUE(options_group->active());
        for (Fl_Group* g : {join_group, split_group, write_group, change_group})
            EXPECT_EQ(g->active() != 0, !stop);  // only with a file listed
        for (Fl_Button* b : {log_search_button, log_next_button, log_save_button, log_clear_button})
            EXPECT_TRUE(b->active()) << b->label();
        EXPECT_FALSE(log_stop_button->visible());
    }
}

// Stop pressed while thousands of files are read: the reading ends at once,
// no later file is announced, and the read that Stop cut short is no error.
TEST_F(LogTask, StopWhileFilesAreReadEndsTheReadingWithTheUserBreakAlone)
{
    start();
    const int interval = log_flush_interval_ms;
    log_flush_interval_ms = 0;
    // A copy: the write road must not reach a file the tests ship.
    ScratchDir dir;
    const std::string file = dir.file("11000001.img");
    write_file(file, read_file(data_path("single/plain/11000001.img")));
    const std::vector<const char*> names(6000, file.c_str());
    const std::string announced = "Reading file " + file + ".\n";
    using Task = void (*)(const TaskOptions&, int, const char* const*);
    const std::pair<const char*, Task> tasks[] = {{"info", pomost_info}, {"write", pomost_write}};
    for (const auto& [what, task] : tasks) {
        SCOPED_TRACE(what);
        log_buffer->text("");
        begin_task();
        settle();
        // The first time the task lets the window handle events (after 30
        // announced files), the user presses Stop.
        struct Press {
            static void stop(void*)
            {
                log_stop_button->do_callback();
                Fl::remove_check(stop);
            }
        };
        Fl::add_check(Press::stop);
        TaskOptions options;
        options.announce_files = 1;
        task(options, static_cast<int>(names.size()), names.data());
        Fl::remove_check(Press::stop);
        end_task();
        // After the task's first line: the files announced before the Stop
        // (how many depends on when the window got to handle events), then
        // the user's break and nothing else.
        std::string log = log_text();
        log.erase(0, log.find("=\n") + 2);
        size_t count = 0;
        for (size_t at; (at = log.find(announced)) != std::string::npos; ++count)
            log.erase(at, announced.size());
        EXPECT_LE(count, 40u);
        EXPECT_EQ(log, "\nUser break!\n");
    }
    log_flush_interval_ms = interval;
}

using LogTrim = GuiTest;

TEST_F(LogTrim, SixteenMiBAndOneByteIsCutAtTheLineEndBeforeTheLine)
{
    start();
    // Line k (from 1) is "k:" padded to 100 bytes after a first line of 117,
    // so the position 15 MiB from the end falls inside line 10485.
    std::string text = std::string(116, 'f') + "\n";
    for (int k = 1; text.size() < 0x1000001; ++k) {
        std::string line = std::to_string(k) + ":";
        line.resize(99, '.');
        text += line + "\n";
    }
    ASSERT_EQ(text.size(), 0x1000001u);
    log_buffer->text(text.substr(0, 0x1000000).c_str());
    flush_log();
    EXPECT_EQ(log_buffer->length(), 0x1000000);  // at the cap: kept whole

    const size_t last_line = text.size() - 100;
    log_buffer->text(text.substr(0, last_line).c_str());
    log_message("%s", text.c_str() + last_line);
    const std::string kept = log_text();
    const size_t line_start = text.find("\n10485:") + 1;
    EXPECT_EQ(kept.size(), text.size() - (line_start - 1));
    EXPECT_TRUE(kept == text.substr(line_start - 1));
    EXPECT_EQ(log_display->insert_position(), log_buffer->length());

    // Nothing is cut when the line found starts at 0 or 1.
    Fl_Text_Buffer one_line;
    one_line.text(("\n" + std::string(0x1000000, 'y')).c_str());
    EXPECT_EQ(trim_text_buffer(&one_line, LOG_TRIM_ABOVE, LOG_TRIM_KEEP), 0);
}

using LogButtons = GuiTest;

TEST_F(LogButtons, ClearKeepsTheLastLineEnd)
{
    start();
    log_message("first\nsecond\n");
    log_clear_button->do_callback();
    EXPECT_EQ(log_text(), "\n");
    log_buffer->text("");
    log_clear_button->do_callback();
    EXPECT_EQ(log_text(), "");
}

TEST_F(LogButtons, SaveWritesTheLogExactlyOrShowsTheError)
{
    start();
    TempDir dir;
    set_dialog_start_dir("/tmp");
    log_message("saved line łódź\n");
    const std::string file = dir.path + "/log.txt";
    dialogs.choices.push_back({{file}, dir.path});
    log_save_button->do_callback();
    ASSERT_EQ(dialogs.requests.size(), 1u);
    EXPECT_EQ(dialogs.request_titles[0], "Save log");
    EXPECT_EQ(dialogs.request_directories[0], "/tmp");
    EXPECT_EQ(dialogs.requests[0].type, Fl_File_Chooser::CREATE);
    std::ifstream in(file, std::ios::binary);
    std::stringstream saved;
    saved << in.rdbuf();
    EXPECT_EQ(saved.str(), log_text());
    EXPECT_STREQ(dialog_start_dir, dir.path.c_str());
    EXPECT_TRUE(dialogs.messages.empty());

    // Into a folder; a chooser folder of 1022 bytes is not remembered.
    dialogs.choices.push_back({{dir.path}, "/" + std::string(1021, 'd')});
    log_save_button->do_callback();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{std::string("Save error (") + strerror(EISDIR) + ")"}));
    EXPECT_STREQ(dialog_start_dir, dir.path.c_str());
}

using LogSearching = GuiTest;

TEST_F(LogSearching, NextWrapsAndSaysNotFoundWhenOnlyTheSelectionMatches)
{
    start();
    log_buffer->text("alpha beta\nGamma ALPHA\none needle\n");
    dialogs.answers.push_back("Alpha");
    log_search_button->do_callback();
    EXPECT_EQ(log_selection(), std::make_pair(0, 5));
    log_next_button->do_callback();
    EXPECT_EQ(log_selection(), std::make_pair(17, 22));
    log_next_button->do_callback();
    EXPECT_EQ(log_selection(), std::make_pair(0, 5));
    EXPECT_TRUE(dialogs.messages.empty());

    dialogs.answers.push_back("needle");
    log_search_button->do_callback();
    EXPECT_EQ(dialogs.initials.back(), "alpha");  // the selection is proposed
    EXPECT_EQ(dialogs.input_titles, (std::vector<std::string>{"Search", "Search"}));
    ASSERT_EQ(log_selection(), std::make_pair(27, 33));
    log_next_button->do_callback();
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"[needle] not found."}));
    EXPECT_EQ(log_selection(), std::make_pair(27, 33));
}

TEST_F(LogSearching, NotFoundShowsAtMostThirtyBytesOfWholeCharacters)
{
    start();
    log_buffer->text("nothing to find here\n");
    log_buffer->select(0, 7);
    const std::string thirty = "abcdefghijklmnopqrstuvwxyz0123";
    const std::pair<std::string, std::string> cases[] = {
        {thirty, "[" + thirty + "] not found."},
        {thirty + "4", "[" + thirty + "...] not found."},
        // 29 bytes and a two-byte letter: the cut falls before the letter.
        {thirty.substr(0, 29) + "ł", "[" + thirty.substr(0, 29) + "...] not found."},
        {"100% %s %n", "[100% %s %n] not found."},
    };
    for (const auto& [text, shown] : cases) {
        dialogs.messages.clear();
        dialogs.answers.push_back(text);
        log_search_button->do_callback();
        EXPECT_EQ(dialogs.messages, (std::vector<std::string>{shown})) << text;
        EXPECT_EQ(log_selection(), std::make_pair(0, 7)) << text;
        EXPECT_EQ(search_position, 7) << text;
    }
}

TEST_F(LogSearching, PolishTexts)
{
    start({"-E", "-P"});
    const std::pair<Fl_Button*, const char*> labels[] = {
        {log_search_button, "Szukaj"}, {log_next_button, "Dalej"},    {log_save_button, "Zapisz"},
        {log_stop_button, "Stop"},     {log_clear_button, "Wyczyść"}, {log_help_button, "?"},
    };
    for (const auto& [button, label] : labels)
        EXPECT_STREQ(button->label(), label);
    EXPECT_STREQ(LogCopyTx.text(), "Kopiuj");
    dialogs.answers.push_back("brak");
    log_search_button->do_callback();
    TempDir dir;
    dialogs.choices.push_back({{dir.path}, dir.path});
    log_save_button->do_callback();
    EXPECT_EQ(dialogs.prompts, (std::vector<std::string>{"Podaj szukany tekst:"}));
    EXPECT_EQ(dialogs.input_titles, (std::vector<std::string>{"Szukaj"}));
    EXPECT_EQ(dialogs.request_titles, (std::vector<std::string>{"Zapisz log"}));
    EXPECT_EQ(dialogs.messages, (std::vector<std::string>{"[brak] nie znaleziono.",
                                                          std::string("Błąd zapisu (") + strerror(EISDIR) + ")"}));
}

}  // namespace
