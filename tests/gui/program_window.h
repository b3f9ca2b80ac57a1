// The top-level windows of another process on the test's display, found by
// the process id the toolkit stores with each (_NET_WM_PID): whether one is
// shown, and closing it as a window manager would. Kept apart from the
// tests' own code: the X11 headers define None, Bool and Status.
#pragma once

#include <sys/types.h>

// True when a window of process pid is mapped and viewable.
bool process_window_shown(pid_t pid);
// Sends WM_DELETE_WINDOW to every window of process pid; false when it has
// none or the display cannot be opened.
bool close_process_windows(pid_t pid);
