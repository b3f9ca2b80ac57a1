// The task bridge: one task of the window program over a list of file
// names, and the program's version.
//
// Each pomost_ entry resets the counters, takes the task's time, installs
// the tab's options as task_options, builds and reads the input list, runs
// one core operation, logs the summary line and frees the list. The entries
// own the list for that time only; the names stay the caller's. The console
// builds its own list and shares only the version text.
#pragma once

#include "core/input_file.h"
#include "core/messages.h"
#include "core/task_options.h"

// "0.9.73.1232b" once make_version_text has run; empty before.
extern char version_text[32];
// The version as one number (9073) once make_version_text has run.
extern int version_number;

extern MessageText TWERIF;
extern MessageText TWWRCB;
extern MessageText InpFiS;

// Builds version_text and version_number; both programs call it first at start.
void make_version_text();

// The errors line when error_count is not 0, else the warnings line when
// warning_count is not 0, else nothing.
void report_task_result();

// Empties list, then appends one InputFile per name and reads them in order.
// read_all: every input is read whatever the results, and the result is 1;
// otherwise the first input that can't be read ends the reading (those after
// it stay unread) with 0. A count of 0 or less gives an empty list and 1.
// A Stop ends the reading in either mode with 0, counting no error for the
// read it cut short.
int build_input_list(int count, const char* const* names, InputList& list, int read_all);

// The information report of every input (a Stop ends it between inputs),
// then, with verbose, the map-ID check over the inputs that were read.
void pomost_info(const TaskOptions& options, int count, const char* const* names);
void pomost_join(const TaskOptions& options, int count, const char* const* names);
// The split; its split_result goes back into options whatever it returned.
void pomost_split(TaskOptions& options, int count, const char* const* names);
// In-place changes of each input (a Stop ends them between inputs); the
// Write road never lets a TYP input replace another file's TYP subfile.
void pomost_write(const TaskOptions& options, int count, const char* const* names);
// The same for the Change road, which hands the whole list to each change.
void pomost_chang(const TaskOptions& options, int count, const char* const* names);

// Runs every core module's loader in the group "twk_all" of the file (or
// with no group when file is null), in the fixed module order.
int load_core_messages(LanguageGroup* file, int code_page, int write);

// Loaders of the operations' message tables.
int load_messages_bridge(LanguageGroup* group, int code_page, int write);
int load_messages_dd(LanguageGroup* group, int code_page, int write);
int load_messages_gw(LanguageGroup* group, int code_page, int write);
int load_messages_size(LanguageGroup* group, int code_page, int write);
int load_messages_pd(LanguageGroup* group, int code_page, int write);
int load_messages_pl(LanguageGroup* group, int code_page, int write);
