// The window program under test: the real main window built in-process,
// modal dialogs answered from a script, a display needed (xvfb-run).
#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "gui/gui_dialogs.h"

// Dialog answers given in advance; every text shown is kept.
class ScriptedDialogs : public GuiDialogs {
public:
    std::vector<std::string> messages;      // texts of message boxes, in order
    std::vector<std::string> input_titles;  // window titles of text questions
    std::vector<std::string> prompts;       // prompts of text questions
    std::vector<std::string> initials;      // their proposed texts
    std::deque<std::optional<std::string>> answers;  // nullopt: cancel
    std::vector<ChooserRequest> requests;   // choosers opened
    std::vector<std::string> request_titles;
    std::vector<std::string> request_directories;
    std::deque<ChooserResult> choices;      // empty result: cancel
    std::deque<int> popup_choices;          // index of the item picked, -1 none
    std::vector<std::vector<std::string>> popups;  // item labels of each popup

    void message(const std::string& text) override;
    bool input(const std::string& title, const std::string& prompt, const std::string& initial,
               std::string& answer) override;
    ChooserResult choose(const ChooserRequest& request) override;
    const Fl_Menu_Item* popup(const Fl_Menu_Item* items, int x, int y) override;
};

// Starts the window with the given arguments (program name added) after
// resetting the shared state; skips the test when there is no display.
class GuiTest : public ::testing::Test {
protected:
    ScriptedDialogs dialogs;

    GuiTest();
    void SetUp() override;
    void TearDown() override;
    // Builds and shows the main window as `Tarnwick args...` would.
    void start(std::vector<std::string> args = {"-E"});
    // The whole text of the log.
    std::string log_text() const;
    // Runs the toolkit until nothing is pending.
    void settle() const;

private:
    bool started_ = false;
    std::vector<std::string> argument_texts_;
    std::vector<char*> argv_;
};

// True when a display is there (GUI tests skip otherwise).
bool have_display();
