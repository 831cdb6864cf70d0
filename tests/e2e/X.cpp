#include "E2e.h"
// Xlib last: its macros (None, Bool, Status...) would break Qt and gtest.
#include <X11/Xlib.h>

static Display* display() {
    // Windows may vanish mid-query; the default handler would exit the process.
    static Display* const display =
        (XSetErrorHandler([](Display*, XErrorEvent*) { return 0; }), XOpenDisplay(nullptr));
    return display;
}

// Without a window manager, every application window is a child of the root.
std::vector<XWindow> xWindows() {
    Window root = DefaultRootWindow(display()), parent = 0, *children = nullptr;
    unsigned int count = 0;
    XQueryTree(display(), root, &root, &parent, &children, &count);
    std::vector<XWindow> out;
    for (unsigned int i = 0; i <= count; ++i) {
        const Window window = i == 0 ? root : children[i - 1];
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display(), window, &a)) continue;
        const auto name = xProperty(window, "WM_NAME");
        const auto pid = xProperty(window, "_NET_WM_PID");
        out.push_back({window, std::string(name.begin(), name.end()), pid.empty() ? -1 : pid[0],
                       a.map_state == IsViewable, a.x, a.y, a.width, a.height});
    }
    if (children) XFree(children);
    return out;
}

// Format 8 items come one a long too, so that WM_NAME reads as well.
std::vector<long> xProperty(unsigned long window, const char* name) {
    Atom type = 0, count = 0, after = 0;  // all unsigned long
    int format = 0;
    unsigned char* data = nullptr;
    std::vector<long> items;
    if (XGetWindowProperty(display(), window, XInternAtom(display(), name, False), 0, 1024, False,
                           AnyPropertyType, &type, &format, &count, &after, &data) != Success)
        return items;
    for (unsigned long i = 0; i < count; ++i)
        items.push_back(format == 32 ? reinterpret_cast<long*>(data)[i] : data[i]);
    XFree(data);
    return items;
}

unsigned long xFocus() {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display(), &focus, &revert);
    return focus;
}
