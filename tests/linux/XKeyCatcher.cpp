#include "XKeyCatcher.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <chrono>
#include <thread>

namespace {
Display* dpy(void* d) {
    return static_cast<Display*>(d);
}
}  // namespace

XKeyCatcher::XKeyCatcher() {
    Display* d = XOpenDisplay(nullptr);
    display_ = d;
    if (!d) return;
    window_ = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 200, 50, 0, 0, 0);
    XSelectInput(d, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(d, window_);
    // Focus can only go to a viewable window.
    for (XEvent event;;) {
        XNextEvent(d, &event);
        if (event.type == MapNotify) break;
    }
}

XKeyCatcher::~XKeyCatcher() {
    if (display_) {
        XDestroyWindow(dpy(display_), window_);
        XCloseDisplay(dpy(display_));
    }
}

void XKeyCatcher::focus() {
    XSetInputFocus(dpy(display_), window_, RevertToParent, CurrentTime);
    XSync(dpy(display_), False);
}

void XKeyCatcher::grab(const char* keysymName, unsigned modifiers) {
    Display* d = dpy(display_);
    const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(keysymName));
    XGrabKey(d, code, modifiers, DefaultRootWindow(d), False, GrabModeAsync, GrabModeAsync);
    XSync(d, False);
}

std::vector<XKeyCatcher::Key> XKeyCatcher::collect(std::size_t count, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    std::vector<Key> keys;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto graceEnd = Clock::time_point::max();
    Display* d = dpy(display_);
    while (Clock::now() < std::min(deadline, graceEnd)) {
        while (XPending(d) > 0) {
            XEvent event;
            XNextEvent(d, &event);
            if (event.type != KeyPress && event.type != KeyRelease) continue;
            const KeySym sym = XLookupKeysym(&event.xkey, 0);
            const char* name = XKeysymToString(sym);
            keys.push_back({name ? name : "?", event.type == KeyPress, event.xkey.state});
        }
        if (keys.size() >= count && graceEnd == Clock::time_point::max()) {
            graceEnd = Clock::now() + std::chrono::milliseconds(100);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return keys;
}
