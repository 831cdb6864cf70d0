#include "XKeyCatcher.h"

#include <X11/Xlib.h>

#include <chrono>
#include <thread>

#define DPY static_cast<Display*>(display_)

XKeyCatcher::XKeyCatcher() : display_(XOpenDisplay(nullptr)) {
    if (!display_) return;
    window_ = XCreateSimpleWindow(DPY, DefaultRootWindow(DPY), 0, 0, 200, 50, 0, 0, 0);
    XSelectInput(DPY, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(DPY, window_);
    // Focus can only go to a viewable window.
    for (XEvent event; XNextEvent(DPY, &event), event.type != MapNotify;) {
    }
}

XKeyCatcher::~XKeyCatcher() {
    if (display_) XCloseDisplay(DPY);
}

void XKeyCatcher::focus() {
    XSetInputFocus(DPY, window_, RevertToParent, CurrentTime);
    XSync(DPY, False);
}

void XKeyCatcher::grabWithControlAlt(const char* keysymName) {
    XGrabKey(DPY, XKeysymToKeycode(DPY, XStringToKeysym(keysymName)), ControlMask | Mod1Mask,
             DefaultRootWindow(DPY), False, GrabModeAsync, GrabModeAsync);
    XSync(DPY, False);
}

std::vector<std::string> XKeyCatcher::collect(std::size_t count) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::string> keys;
    auto end = Clock::now() + std::chrono::seconds(1);
    for (bool graceStarted = false; Clock::now() < end;) {
        while (XPending(DPY) > 0) {
            XEvent event;
            XNextEvent(DPY, &event);
            if (event.type != KeyPress && event.type != KeyRelease) continue;
            const char* name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
            keys.push_back((event.type == KeyPress ? "+" : "-") + std::string(name ? name : "?"));
        }
        if (keys.size() >= count && !graceStarted) {
            graceStarted = true;
            end = std::min(end, Clock::now() + std::chrono::milliseconds(100));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return keys;
}
