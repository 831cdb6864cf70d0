#include "XTestKeys.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {
Display* dpy(void* d) {
    return static_cast<Display*>(d);
}
constexpr KeySym kFnKeysym = 0x10081000 + 0x1D0;  // XF86XK_Fn
constexpr unsigned kSpareKeycode = 247;
}  // namespace

XTestKeys::XTestKeys() : display_(XOpenDisplay(nullptr)) {}
XTestKeys::~XTestKeys() {
    if (display_) XCloseDisplay(dpy(display_));
}

unsigned XTestKeys::keycodeOf(const std::string& name) const {
    return XKeysymToKeycode(dpy(display_), XStringToKeysym(name.c_str()));
}

void XTestKeys::pressKeycode(unsigned keycode) {
    XTestFakeKeyEvent(dpy(display_), keycode, True, CurrentTime);
    XSync(dpy(display_), False);
}

void XTestKeys::releaseKeycode(unsigned keycode) {
    XTestFakeKeyEvent(dpy(display_), keycode, False, CurrentTime);
    XSync(dpy(display_), False);
}

void XTestKeys::press(const std::string& name) {
    pressKeycode(keycodeOf(name));
}
void XTestKeys::release(const std::string& name) {
    releaseKeycode(keycodeOf(name));
}

unsigned XTestKeys::mapSpareKeycodeToFn() {
    KeySym sym = kFnKeysym;
    XChangeKeyboardMapping(dpy(display_), kSpareKeycode, 1, &sym, 1);
    XSync(dpy(display_), False);
    return kSpareKeycode;
}

void XTestKeys::restoreKeycode(unsigned keycode) {
    KeySym none = NoSymbol;
    XChangeKeyboardMapping(dpy(display_), static_cast<int>(keycode), 1, &none, 1);
    XSync(dpy(display_), False);
}

void XTestKeys::setAutoRepeat(bool on) {
    if (on) {
        XAutoRepeatOn(dpy(display_));
    } else {
        XAutoRepeatOff(dpy(display_));
    }
    XSync(dpy(display_), False);
}

void XTestKeys::focusWindow(unsigned long window) {
    XSetInputFocus(dpy(display_), window, RevertToParent, CurrentTime);
    XSync(dpy(display_), False);
}

void XTestKeys::grabKeyboard() {
    XGrabKeyboard(dpy(display_), DefaultRootWindow(dpy(display_)), False, GrabModeAsync,
                  GrabModeAsync, CurrentTime);
    XSync(dpy(display_), False);
}

void XTestKeys::ungrabKeyboard() {
    XUngrabKeyboard(dpy(display_), CurrentTime);
    XSync(dpy(display_), False);
}
