// What the task tabs' tests share: a fixture that puts back what a test
// changes, a double of the bridge entries that keeps each call's record
// and names, a click on a box, a collector's log, a language group held in
// memory, and copies of data files for one run by the window and one by
// twk, compared byte by byte.
#pragma once

// gtest first: the X11 headers behind some FLTK headers define None and Bool.
#include "tests/gui/gui_fixture.h"

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "core/messages.h"
#include "core/task_options.h"
#include "gui/log_window.h"
#include "gui/settings.h"
#include "tests/support/test_support.h"

class Fl_Button;
class Fl_Check_Button;

// What a tab handed to its bridge entry.
struct BridgeCall {
    TaskOptions record;
    std::vector<std::string> names;
};
// Every call since the test started, in order.
extern std::vector<BridgeCall> bridge_calls;
// The double itself: fits every entry of task_calls but split's.
void record_bridge_call(const TaskOptions& record, int count, const char* const* names);

// A record as every tab starts it: cleared, with the mapset code page of
// Options. A name converted to that code page is marked with it, or with
// none for UTF-8 (converted_name_code_page).
TaskOptions tab_record();
uint32_t converted_name_code_page();

// Presses the run button for every file, then the one for the selected
// files with only line selected: both runs reach the bridge with the
// expected record (compared as fields shows it), the first with every path
// and the second with the path of that line.
void expect_both_runs(Fl_Button* all, Fl_Button* selected, int line, const std::vector<std::string>& paths,
                      std::string (*fields)(const TaskOptions&), const TaskOptions& expected);

// Checks a box the way a click does: value, then its callback.
void click_check(Fl_Check_Button* box, int on = 1);

// A task tab's test: no bridge call kept from before it; after it the
// real bridge, the switches as they were and the English texts.
class TabTest : public GuiTest {
protected:
    int kept_advanced = Advanced, kept_experimental = Experimental, kept_verbose = Verbose;

    void SetUp() override;
    void TearDown() override;
    static void check(Fl_Check_Button* box, int on = 1) { click_check(box, on); }
};

// Runs a tab's collector; messages receives what it logged.
template <class Result>
Result collect_logged(Result (*collect)(TaskOptions&), TaskOptions& record, std::string& messages)
{
    size_t before = log_contents().size();
    Result ok = collect(record);
    messages = log_contents().substr(before);
    return ok;
}

// Presses a run button; what the log got from the run's opening line on
// ("" when that line is missing).
std::string run_logged(Fl_Button* button, const std::string& opening);
// Presses a run button of a tab holding wrong values: every refusal is
// logged, in order, right after the run's opening line and before its frame
// ends, and nothing reaches the bridge.
void expect_refused_run(Fl_Button* button, const std::string& opening, const std::vector<std::string>& refusals);

// A language file's group held in memory.
class MemoryGroup : public LanguageGroup {
public:
    std::map<std::string, std::string> values;
    bool get(const char* key, std::string& value) override;
    bool set(const char* key, const std::string& value) override;
    std::unique_ptr<LanguageGroup> subgroup(const char*) override { return std::make_unique<MemoryGroup>(); }
};

// A tab's texts as its loader writes them into a language file, in
// English and then (the Polish language loaded) in Polish: count of each,
// and every Polish text keeps the conversions of its English one. Returns
// the Polish ones.
MemoryGroup polish_texts_of(int (*load)(LanguageGroup* group, int code_page, int write), size_t count);

// Each data file copied into dir/window and into dir/console, under its
// own name (a TYP file's name goes into the FAT).
struct TwinFiles {
    std::vector<std::string> window, console;
};
TwinFiles twin_copies(const ScratchDir& dir, const std::vector<std::string>& sources);

// The bytes of the header that hold the time of writing, and the checksum
// that follows from them.
bool holds_time_of_writing(size_t offset);
// Where two files part ("" when nowhere); with but_time, the bytes that
// hold the time of writing may differ.
std::string first_difference(const std::string& a, const std::string& b, bool but_time = false);
// The low byte of the sum of all bytes, which a header's checksum keeps.
uint8_t byte_sum(const std::string& bytes);
