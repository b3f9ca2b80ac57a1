// The window program's test harness and the binary's main: every test gets
// a HOME of its own, so no test reads or writes a real user's settings or
// another test's.
#include "tests/gui/gui_fixture.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

#include <FL/Fl.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Text_Buffer.H>

#include "core/host.h"
#include "core/task_options.h"
#include "gui/log_window.h"
#include "gui/main_window.h"
#include "tests/support/test_run.h"

void ScriptedDialogs::message(const std::string& text) { messages.push_back(text); }

bool ScriptedDialogs::input(const std::string& title, const std::string& prompt, const std::string& initial,
                            std::string& answer)
{
    input_titles.push_back(title);
    prompts.push_back(prompt);
    initials.push_back(initial);
    if (answers.empty() || !answers.front()) {
        if (!answers.empty())
            answers.pop_front();
        return false;
    }
    answer = *answers.front();
    answers.pop_front();
    return true;
}

ChooserResult ScriptedDialogs::choose(const ChooserRequest& request)
{
    requests.push_back(request);
    request_titles.push_back(request.title ? request.title : "");
    request_directories.push_back(request.directory ? request.directory : "");
    if (choices.empty())
        return {};
    ChooserResult r = choices.front();
    choices.pop_front();
    return r;
}

const Fl_Menu_Item* ScriptedDialogs::popup(const Fl_Menu_Item* items, int, int)
{
    std::vector<std::string> labels;
    int n = 0;
    for (const Fl_Menu_Item* m = items; m && m->label(); ++m, ++n)
        labels.push_back(m->label());
    popups.push_back(labels);
    int pick = -1;
    if (!popup_choices.empty()) {
        pick = popup_choices.front();
        popup_choices.pop_front();
    }
    return pick >= 0 && pick < n ? items + pick : nullptr;
}

bool have_display() { return getenv("DISPLAY") && *getenv("DISPLAY"); }

// The run's own folder; every test gets a HOME of its own below it, so no
// test sees the settings an earlier one wrote at its end.
static std::string run_folder;

// Set before a derived fixture's members are built, so one that wants a
// HOME of its own choosing still gets it.
GuiTest::GuiTest()
{
    static int homes = 0;
    std::string home = run_folder + "/home-" + std::to_string(++homes);
    std::error_code ignored;
    std::filesystem::create_directories(home, ignored);
    setenv("HOME", home.c_str(), 1);
}

void GuiTest::SetUp()
{
    if (!have_display())
        GTEST_SKIP() << "no display (run under xvfb-run)";
    error_count = 0;
    warning_count = 0;
    stop_requested = 0;
    english_texts = 1;
    clear_task_options(task_options);
    set_gui_dialogs(&dialogs);
}

void GuiTest::TearDown()
{
    if (started_)
        gui_finish();
    started_ = false;
    set_gui_dialogs(nullptr);
}

void GuiTest::start(std::vector<std::string> args)
{
    argument_texts_ = {"Tarnwick"};
    for (std::string& a : args)
        argument_texts_.push_back(a);
    argv_.clear();
    for (std::string& a : argument_texts_)
        argv_.push_back(a.data());
    argv_.push_back(nullptr);
    gui_start(static_cast<int>(argument_texts_.size()), argv_.data());
    started_ = true;
    settle();
}

std::string GuiTest::log_text() const { return log_contents(); }

void GuiTest::settle() const
{
    for (int i = 0; i < 20 && Fl::check(); ++i)
        if (!Fl::ready())
            break;
}

int main(int argc, char** argv)
{
    // A HOME of the run's own even outside the fixture: the toolkit's
    // preferences land there.
    char folder[] = "/tmp/tarnwick-gui-test-XXXXXX";
    if (!mkdtemp(folder))
        return 1;
    run_folder = folder;
    setenv("HOME", folder, 1);
    ::testing::InitGoogleTest(&argc, argv);
    int result = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(run_folder, ignored);
    return test_run_result(result);
}
