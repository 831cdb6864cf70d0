#include "XTestKeys.h"

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

#include <algorithm>
#include <chrono>
#include <thread>

#define DPY static_cast<Display*>(display_)

XTestKeys::XTestKeys() : display_(XOpenDisplay(nullptr)) {}

XTestKeys::~XTestKeys() {
    if (display_) XCloseDisplay(DPY);
}

unsigned XTestKeys::keycodeOf(const std::string& name) const {
    return XKeysymToKeycode(DPY, XStringToKeysym(name.c_str()));
}

void XTestKeys::fake(unsigned keycode, bool down) {
    XTestFakeKeyEvent(DPY, keycode, down, CurrentTime);
    XSync(DPY, False);
}

void XTestKeys::setAutoRepeat(bool on) {
    on ? XAutoRepeatOn(DPY) : XAutoRepeatOff(DPY);
    XSync(DPY, False);
}

void XTestKeys::focusWindow(unsigned long window) {
    XSetInputFocus(DPY, window, RevertToParent, CurrentTime);
    XSync(DPY, False);
}

XKeyCatcher::XKeyCatcher() {
    if (!display_) return;
    window_ = XCreateSimpleWindow(DPY, DefaultRootWindow(DPY), 0, 0, 200, 50, 0, 0, 0);
    XSelectInput(DPY, window_, KeyPressMask | KeyReleaseMask | StructureNotifyMask);
    XMapWindow(DPY, window_);
    // Focus can only go to a viewable window.
    for (XEvent event; XNextEvent(DPY, &event), event.type != MapNotify;) continue;
}

void XKeyCatcher::grabWithControlAlt(const char* keysymName) {
    XGrabKey(DPY, XKeysymToKeycode(DPY, XStringToKeysym(keysymName)), ControlMask | Mod1Mask,
             DefaultRootWindow(DPY), False, GrabModeAsync, GrabModeAsync);
    XSync(DPY, False);
}

std::vector<std::string> XKeyCatcher::collect(std::size_t count) {
    std::vector<std::string> keys;
    for (int msLeft = 1000; msLeft > 0; msLeft -= 2) {
        for (XEvent event; XPending(DPY) > 0;) {
            XNextEvent(DPY, &event);
            if (event.type != KeyPress && event.type != KeyRelease) continue;
            const char* name = XKeysymToString(XLookupKeysym(&event.xkey, 0));
            keys.push_back((event.type == KeyPress ? "+" : "-") + std::string(name ? name : "?"));
        }
        if (keys.size() >= count) msLeft = std::min(msLeft, 100);  // the grace
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return keys;
}
