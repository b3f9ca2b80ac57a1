// Windows of another process on the display, through a connection of our
// own (the in-process window keeps the toolkit's).
#include "tests/gui/program_window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <vector>

namespace {

// A window may go while it is looked at: its errors are no test's business.
int ignore_error(Display*, XErrorEvent*) { return 0; }

class Connection {
public:
    Connection() : display_(XOpenDisplay(nullptr)), old_handler_(XSetErrorHandler(ignore_error)) {}
    ~Connection()
    {
        if (display_)
            XCloseDisplay(display_);
        XSetErrorHandler(old_handler_);
    }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;
    Display* display() const { return display_; }

private:
    Display* display_;
    XErrorHandler old_handler_;
};

long window_pid(Display* d, Window w, Atom pid_atom)
{
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, after = 0;
    unsigned char* data = nullptr;
    long pid = -1;
    if (XGetWindowProperty(d, w, pid_atom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &after, &data) ==
            Success &&
        data && type == XA_CARDINAL && format == 32 && items == 1)
        pid = *reinterpret_cast<long*>(data);
    if (data)
        XFree(data);
    return pid;
}

void collect(Display* d, Window w, Atom pid_atom, pid_t pid, std::vector<Window>& found)
{
    if (window_pid(d, w, pid_atom) == pid)
        found.push_back(w);
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int n = 0;
    if (!XQueryTree(d, w, &root, &parent, &children, &n))
        return;
    for (unsigned int i = 0; i < n; ++i)
        collect(d, children[i], pid_atom, pid, found);
    if (children)
        XFree(children);
}

std::vector<Window> windows_of(Display* d, pid_t pid)
{
    std::vector<Window> found;
    collect(d, DefaultRootWindow(d), XInternAtom(d, "_NET_WM_PID", False), pid, found);
    return found;
}

}  // namespace

bool process_window_shown(pid_t pid)
{
    Connection c;
    if (!c.display())
        return false;
    for (Window w : windows_of(c.display(), pid)) {
        XWindowAttributes attributes;
        if (XGetWindowAttributes(c.display(), w, &attributes) && attributes.map_state == IsViewable)
            return true;
    }
    return false;
}

bool close_process_windows(pid_t pid)
{
    Connection c;
    if (!c.display())
        return false;
    std::vector<Window> windows = windows_of(c.display(), pid);
    for (Window w : windows) {
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = w;
        e.xclient.message_type = XInternAtom(c.display(), "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = static_cast<long>(XInternAtom(c.display(), "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(c.display(), w, False, NoEventMask, &e);
    }
    XSync(c.display(), False);
    return !windows.empty();
}
