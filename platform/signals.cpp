// Break signals: noted by a handler that does nothing else, and held off
// with the signal mask while a file must not be left half changed.
#include <pthread.h>
#include <signal.h>

#include "platform/platform.h"

namespace platform {

namespace {

constexpr int break_signals[] = {SIGINT, SIGTERM, SIGHUP};

volatile sig_atomic_t noted_signal = 0;
struct sigaction previous[3];
int catch_depth = 0;

// Only a sig_atomic_t store is safe in a handler; everything else happens
// where the run looks at the note.
extern "C" void note_break_signal(int signal_number) { noted_signal = signal_number; }

sigset_t break_signal_set()
{
    sigset_t set;
    sigemptyset(&set);
    for (int s : break_signals)
        sigaddset(&set, s);
    return set;
}

// The mask before the outermost hold, put back when it ends; a nested hold
// must not unblock what an outer one still needs held.
sigset_t mask_before_hold;
int hold_depth = 0;

}  // namespace

BreakSignalCatch::BreakSignalCatch()
{
    if (catch_depth++)
        return;
    noted_signal = 0;
    struct sigaction action {};
    action.sa_handler = note_break_signal;
    sigemptyset(&action.sa_mask);
    // Reads and writes between files go on after a signal; the note is seen
    // at the next file.
    action.sa_flags = SA_RESTART;
    for (int i = 0; i < 3; ++i)
        sigaction(break_signals[i], &action, &previous[i]);
}

BreakSignalCatch::~BreakSignalCatch()
{
    if (--catch_depth)
        return;
    for (int i = 0; i < 3; ++i)
        sigaction(break_signals[i], &previous[i], nullptr);
}

int caught_break_signal() { return noted_signal; }

BreakSignalHold::BreakSignalHold()
{
    if (hold_depth++)
        return;
    sigset_t set = break_signal_set();
    pthread_sigmask(SIG_BLOCK, &set, &mask_before_hold);
}

BreakSignalHold::~BreakSignalHold()
{
    if (--hold_depth)
        return;
    pthread_sigmask(SIG_SETMASK, &mask_before_hold, nullptr);
}

}  // namespace platform
