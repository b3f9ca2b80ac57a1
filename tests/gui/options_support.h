// What the settings, language, Options, help and debug tests share: a
// HOME of the test's own (the toolkit's per-user store lands there), a
// program directory (language files, help pages, the portable settings
// file), scripted answers for the colour chooser and the overwrite
// question, and the makings of hostile settings and language files.
#pragma once

#include <chrono>
#include <cstdlib>
#include <deque>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "tests/gui/gui_fixture.h"

#include "gui/main_window.h"

class TempFolder {
public:
    TempFolder()
    {
        char name[] = "/tmp/tarnwick-folder-XXXXXX";
        if (mkdtemp(name))
            path_ = name;
    }
    ~TempFolder()
    {
        if (!path_.empty()) {
            std::string command = "rm -rf '" + path_ + "'";
            if (system(command.c_str()) != 0) {
            }
        }
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    // The folder with its final '/'.
    std::string dir() const { return path_ + "/"; }
    std::string file(const std::string& name) const { return dir() + name; }
    void write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream out(file(name), std::ios::binary);
        out << bytes;
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(file(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    std::string path_;
};

// Points HOME at a folder of its own for as long as it lives.
class TempHome {
public:
    TempHome()
    {
        if (const char* old = getenv("HOME"))
            old_ = old;
        setenv("HOME", folder_.dir().c_str(), 1);
    }
    ~TempHome()
    {
        if (old_)
            setenv("HOME", old_->c_str(), 1);
        else
            unsetenv("HOME");
    }
    const TempFolder& folder() const { return folder_; }
    std::string prefs_file(const char* vendor) const
    {
        return folder_.dir() + ".fltk/" + vendor + "/Tarnwick.prefs";
    }

private:
    TempFolder folder_;
    std::optional<std::string> old_;
};

// The fixture's scripted dialogs, with the colour chooser and the overwrite
// question answered from a script too.
class OptionDialogs : public ScriptedDialogs {
public:
    std::vector<std::string> colour_titles;
    std::deque<std::optional<int>> colours;  // 0xRRGGBB, nullopt: cancel
    std::vector<std::string> questions;
    std::deque<bool> overwrite_answers;      // empty: No

    bool choose_colour(const std::string& title, unsigned char& r, unsigned char& g, unsigned char& b) override
    {
        colour_titles.push_back(title);
        std::optional<int> answer;
        if (!colours.empty()) {
            answer = colours.front();
            colours.pop_front();
        }
        if (!answer)
            return false;
        r = static_cast<unsigned char>(*answer >> 16);
        g = static_cast<unsigned char>(*answer >> 8);
        b = static_cast<unsigned char>(*answer);
        return true;
    }
    bool ask_overwrite(const std::string& question) override
    {
        questions.push_back(question);
        if (overwrite_answers.empty())
            return false;
        bool yes = overwrite_answers.front();
        overwrite_answers.pop_front();
        return yes;
    }
};

// A started window with a HOME of its own, the program directory of the
// test, and the dialogs above.
class OptionsGuiTest : public GuiTest {
protected:
    TempHome home;
    TempFolder program;
    OptionDialogs option_dialogs;

    void SetUp() override
    {
        GuiTest::SetUp();
        if (IsSkipped())
            return;
        set_gui_dialogs(&option_dialogs);
        override_program_dir(program.dir().c_str());
    }
    void TearDown() override
    {
        GuiTest::TearDown();
        override_program_dir(nullptr);
    }
};

// The three lines the toolkit writes at the top of a preferences file (and
// skips when it reads one).
inline const std::string prefs_header =
    "; FLTK preferences file format 1.0\n; vendor: TarnwickTools\n; application: Tarnwick\n\n";

// A preferences file of unique keys, one a line, of about bytes.
inline std::string many_prefs_keys(size_t bytes)
{
    std::string text = prefs_header + "[.]\n\n";
    for (int i = 0; text.size() < bytes; ++i)
        text += "k" + std::to_string(i) + ":" + std::to_string(i) + "\n";
    return text;
}

inline double seconds_since(std::chrono::steady_clock::time_point begin)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
}
