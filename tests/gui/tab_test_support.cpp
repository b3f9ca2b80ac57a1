// The task tabs' shared test helpers.
#include "tests/gui/tab_test_support.h"

#include <filesystem>

#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>

#include "core/codepage.h"
#include "core/host.h"
#include "core/img_format.h"
#include "gui/files_tab.h"
#include "gui/languages.h"
#include "gui/widgets.h"
#include "gui/task_calls.h"

std::vector<BridgeCall> bridge_calls;

void TabTest::SetUp()
{
    GuiTest::SetUp();
    bridge_calls.clear();
}

void TabTest::TearDown()
{
    GuiTest::TearDown();
    reset_task_calls();
    Advanced = kept_advanced;
    Experimental = kept_experimental;
    Verbose = kept_verbose;
    english_texts = 1;
}

void record_bridge_call(const TaskOptions& record, int count, const char* const* names)
{
    bridge_calls.push_back({record, std::vector<std::string>(names, names + count)});
}

TaskOptions tab_record()
{
    TaskOptions record;
    clear_task_options(record);
    int code_page = get_mapset_code_page();
    record.code_page = code_page > 0 ? uint32_t(code_page) : 0;
    return record;
}

uint32_t converted_name_code_page()
{
    int code_page = get_mapset_code_page();
    return code_page > 0 && code_page != 65001 ? uint32_t(code_page) : 0;
}

void expect_both_runs(Fl_Button* all, Fl_Button* selected, int line, const std::vector<std::string>& paths,
                      std::string (*fields)(const TaskOptions&), const TaskOptions& expected)
{
    size_t before = bridge_calls.size();
    all->do_callback();
    file_list->deselect();
    file_list->select(line);
    selected->do_callback();
    ASSERT_EQ(bridge_calls.size(), before + 2);
    EXPECT_EQ(fields(bridge_calls[before].record), fields(expected));
    EXPECT_EQ(bridge_calls[before].names, paths);
    EXPECT_EQ(fields(bridge_calls[before + 1].record), fields(expected));
    EXPECT_EQ(bridge_calls[before + 1].names, std::vector<std::string>{paths[line - 1]});
}

void click_check(Fl_Check_Button* box, int on)
{
    box->value(on);
    box->do_callback();
}

std::string run_logged(Fl_Button* button, const std::string& opening)
{
    size_t before = log_contents().size();
    button->do_callback();
    std::string logged = log_contents().substr(before);
    size_t at = logged.find(opening);
    return at == std::string::npos ? std::string() : logged.substr(at);
}

void expect_refused_run(Fl_Button* button, const std::string& opening, const std::vector<std::string>& refusals)
{
    size_t calls = bridge_calls.size();
    std::string logged = run_logged(button, opening);
    EXPECT_EQ(bridge_calls.size(), calls);
    std::string lines = opening;
    for (const std::string& refusal : refusals)
        lines += refusal + "\n";
    EXPECT_EQ(logged.substr(0, lines.size()), lines);
    EXPECT_EQ(logged.find("\nEnd.\n"), lines.size()) << logged;
}

bool MemoryGroup::get(const char* key, std::string& value)
{
    auto it = values.find(key);
    if (it == values.end())
        return false;
    value = it->second;
    return true;
}

bool MemoryGroup::set(const char* key, const std::string& value)
{
    values[key] = value;
    return true;
}

MemoryGroup polish_texts_of(int (*load)(LanguageGroup* group, int code_page, int write), size_t count)
{
    MemoryGroup english, polish;
    load(&english, 65001, 1);
    load_language(2);
    load(&polish, 65001, 1);
    EXPECT_EQ(english.values.size(), count);
    EXPECT_EQ(polish.values.size(), count);
    for (const auto& [key, text] : english.values) {
        const std::string& translated = polish.values[key];
        EXPECT_EQ(conversions_match(text.c_str(), translated.c_str()), 1) << key << ": " << translated;
    }
    return polish;
}

TwinFiles twin_copies(const ScratchDir& dir, const std::vector<std::string>& sources)
{
    TwinFiles files;
    std::filesystem::create_directory(dir.file("window"));
    std::filesystem::create_directory(dir.file("console"));
    for (const std::string& source : sources) {
        std::string name = std::filesystem::path(source).filename().string();
        files.window.push_back(dir.file("window/" + name));
        files.console.push_back(dir.file("console/" + name));
        std::filesystem::copy_file(data_path(source), files.window.back());
        std::filesystem::copy_file(data_path(source), files.console.back());
    }
    return files;
}

bool holds_time_of_writing(size_t offset)
{
    return offset == ImgHeader::update_month || offset == ImgHeader::update_year || offset == ImgHeader::checksum ||
           (offset >= ImgHeader::date && offset < ImgHeader::date + ImgHeader::date_length);
}

std::string first_difference(const std::string& a, const std::string& b, bool but_time)
{
    if (a.size() != b.size())
        return "sizes " + std::to_string(a.size()) + " and " + std::to_string(b.size());
    for (size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && !(but_time && holds_time_of_writing(i)))
            return "byte " + std::to_string(i);
    return "";
}

uint8_t byte_sum(const std::string& bytes)
{
    unsigned sum = 0;
    for (unsigned char c : bytes)
        sum += c;
    return static_cast<uint8_t>(sum);
}
