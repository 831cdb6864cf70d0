#include "platform/linux/x11/X11KeyboardConnection.h"

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <optional>

#include "platform/linux/KeyCodeTranslation.h"
#include "platform/linux/x11/X11Extensions.h"

namespace sayvo {

namespace {
struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
// XF86XK_Fn: the header builds it with a helper macro that it undefines again.
constexpr KeySym kFnKeysym = 0x10081000 + 0x1D0;

// Xlib reports errors through one process-wide handler; a grab installs its
// own for the length of one round trip.
bool grabRefused = false;
int noteRefusedGrab(Display*, XErrorEvent* error) {
    if (error->error_code == BadAccess) grabRefused = true;
    return 0;
}

struct Grab {
    unsigned keycode = 0;
    unsigned modifiers = 0;  // X mask
    std::uint16_t portableKeyCode = 0;
};
}  // namespace

struct X11KeyboardConnection::Impl {
    std::unique_ptr<Display, DisplayCloser> display;
    int xiOpcode = 0;
    int xkbEventBase = 0;
    bool hasXTest = false;
    unsigned altMask = Mod1Mask;
    unsigned superMask = Mod4Mask;
    std::uint64_t modifierFlags = 0;  // from the last XKB state
    bool fnHeld = false;
    std::set<unsigned> pressed;  // X keycodes down, as raw events told
    std::optional<Grab> grab;
    // Events queued before the current grab took hold, and whether one of
    // them is being handled: the grab does not apply to those.
    int preGrabEvents = 0;
    bool handlingPreGrabEvent = false;

    // The variants that Caps Lock and Num Lock make of a modifier mask.
    std::vector<unsigned> lockVariants(unsigned modifiers) const {
        unsigned numLock = XkbKeysymToModifiers(display.get(), XK_Num_Lock);
        if (numLock == 0) numLock = Mod2Mask;
        return {modifiers, modifiers | LockMask, modifiers | numLock,
                modifiers | LockMask | numLock};
    }

    void ungrab() {
        if (!grab || !display) return;
        Display* dpy = display.get();
        for (unsigned variant : lockVariants(grab->modifiers)) {
            XUngrabKey(dpy, static_cast<int>(grab->keycode), variant, DefaultRootWindow(dpy));
        }
        XSync(dpy, False);
        grab.reset();
    }

    void open() {
        display.reset(XOpenDisplay(nullptr));
        if (!display) return;
        Display* dpy = display.get();
        int error = 0;
        int major = XkbMajorVersion, minor = XkbMinorVersion;
        if (!XkbQueryExtension(dpy, nullptr, &xkbEventBase, &error, &major, &minor) ||
            !hasXInput21(dpy, &xiOpcode)) {
            display.reset();
            return;
        }
        unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
        XISetMask(bits, XI_RawKeyPress);
        XISetMask(bits, XI_RawKeyRelease);
        XIEventMask mask{XIAllMasterDevices, static_cast<int>(sizeof bits), bits};
        XISelectEvents(dpy, DefaultRootWindow(dpy), &mask, 1);
        XkbSelectEvents(dpy, XkbUseCoreKbd, XkbStateNotifyMask | XkbMapNotifyMask,
                        XkbStateNotifyMask | XkbMapNotifyMask);
        XkbSelectEventDetails(dpy, XkbUseCoreKbd, XkbStateNotify, XkbModifierStateMask,
                              XkbModifierStateMask);
        int xtestEvent = 0, xtestError = 0, xtestMajor = 0, xtestMinor = 0;
        hasXTest = XTestQueryExtension(dpy, &xtestEvent, &xtestError, &xtestMajor, &xtestMinor);
        readModifierMasks();
        // A grabbed key held down repeats as presses alone, without the
        // release-press pairs that would end the hotkey.
        Bool detectable = False;
        XkbSetDetectableAutoRepeat(dpy, True, &detectable);
        XkbStateRec state{};
        if (XkbGetState(dpy, XkbUseCoreKbd, &state) == Success) modifierFlags = toFlags(state.mods);
        XFlush(dpy);
    }

    void readModifierMasks() {
        if (unsigned alt = XkbKeysymToModifiers(display.get(), XK_Alt_L)) altMask = alt;
        if (unsigned super = XkbKeysymToModifiers(display.get(), XK_Super_L)) superMask = super;
    }

    std::uint64_t toFlags(unsigned state) const {
        std::uint64_t flags = 0;
        if (state & ShiftMask) flags |= ModifierFlag::shift;
        if (state & LockMask) flags |= ModifierFlag::capsLock;
        if (state & ControlMask) flags |= ModifierFlag::control;
        if (state & altMask) flags |= ModifierFlag::option;
        if (state & superMask) flags |= ModifierFlag::command;
        return flags;
    }

    std::uint64_t currentFlags() const {
        return modifierFlags | (fnHeld ? ModifierFlag::function : 0);
    }

    void onRawKey(unsigned keycode, bool press,
                  const std::function<void(const KeyEvent&)>& deliver) {
        // Key-ups of keys that are not down (xdotool sends them) and repeated
        // downs are not new facts.
        if (press == (pressed.count(keycode) != 0)) return;
        if (press) {
            pressed.insert(keycode);
        } else {
            pressed.erase(keycode);
        }
        const std::uint16_t code = portableKeyCodeForX11(keycode);
        const KeySym sym = XkbKeycodeToKeysym(display.get(), static_cast<::KeyCode>(keycode), 0, 0);
        if (sym == kFnKeysym || code == sayvo::KeyCode::function) {
            fnHeld = press;
            deliver({KeyEventType::flagsChanged, sayvo::KeyCode::function, currentFlags(), false});
            return;
        }
        // Modifier keys are reported by the XKB state change they cause.
        if (modifierFlagOfKey(code) || code == KeyCode::capsLock) return;
        deliver({press ? KeyEventType::keyDown : KeyEventType::keyUp, code, currentFlags(), false});
    }

    void handleNextEvent(const std::function<void(const KeyEvent&)>& deliver) {
        Display* dpy = display.get();
        XEvent event;
        XNextEvent(dpy, &event);
        if (event.xcookie.type == GenericEvent && event.xcookie.extension == xiOpcode &&
            XGetEventData(dpy, &event.xcookie)) {
            const auto* raw = static_cast<const XIRawEvent*>(event.xcookie.data);
            const int type = event.xcookie.evtype;
            const auto keycode = static_cast<unsigned>(raw->detail);
            XFreeEventData(dpy, &event.xcookie);
            if (type == XI_RawKeyPress || type == XI_RawKeyRelease) {
                onRawKey(keycode, type == XI_RawKeyPress, deliver);
            }
        } else if ((event.type == KeyPress || event.type == KeyRelease) && grab &&
                   event.xkey.keycode == grab->keycode) {
            // The server keeps raw events of a grabbed key from the grabbing
            // client once the grab is active: the release comes only this way.
            onRawKey(event.xkey.keycode, event.type == KeyPress, deliver);
        } else if (event.type == xkbEventBase) {
            auto& xkb = reinterpret_cast<XkbEvent&>(event);
            if (xkb.any.xkb_type == XkbStateNotify) {
                onModifierState(xkb.state.mods, xkb.state.keycode, deliver);
            } else if (xkb.any.xkb_type == XkbMapNotify) {
                XkbRefreshKeyboardMapping(&xkb.map);
                readModifierMasks();
            }
        }
    }

    void onModifierState(unsigned mods, unsigned keycode,
                         const std::function<void(const KeyEvent&)>& deliver) {
        const std::uint64_t flags = toFlags(mods);
        if (flags == modifierFlags) return;
        modifierFlags = flags;
        deliver(
            {KeyEventType::flagsChanged, portableKeyCodeForX11(keycode), currentFlags(), false});
    }
};

X11KeyboardConnection::X11KeyboardConnection() : impl_(std::make_unique<Impl>()) {
    impl_->open();
}
X11KeyboardConnection::~X11KeyboardConnection() {
    impl_->ungrab();
}

bool X11KeyboardConnection::hasFnKey() const {
    return keycodeForKeysym(kFnKeysym) != 0;
}

KeyReservation X11KeyboardConnection::grabKey(std::uint16_t keyCode, std::uint64_t modifiers) {
    impl_->ungrab();
    Display* dpy = impl_->display.get();
    const auto keycode = x11KeycodeForPortable(keyCode);
    if (!dpy || !keycode) return KeyReservation::unavailable;
    unsigned mask = 0;
    if (modifiers & ModifierFlag::shift) mask |= ShiftMask;
    if (modifiers & ModifierFlag::control) mask |= ControlMask;
    if (modifiers & ModifierFlag::option) mask |= impl_->altMask;
    if (modifiers & ModifierFlag::command) mask |= impl_->superMask;

    XSync(dpy, False);
    // A key typed into one of our windows just now, the capture of this very
    // hotkey say, was not grabbed when it happened.
    impl_->preGrabEvents = XEventsQueued(dpy, QueuedAlready);
    grabRefused = false;
    XErrorHandler previous = XSetErrorHandler(noteRefusedGrab);
    for (unsigned variant : impl_->lockVariants(mask)) {
        XGrabKey(dpy, static_cast<int>(*keycode), variant, DefaultRootWindow(dpy), False,
                 GrabModeAsync, GrabModeAsync);
    }
    XSync(dpy, False);
    XSetErrorHandler(previous);
    impl_->grab = Grab{*keycode, mask, keyCode};
    if (grabRefused) {
        // Some variants may have been granted: give those back too.
        impl_->ungrab();
        return KeyReservation::heldElsewhere;
    }
    return KeyReservation::reserved;
}

void X11KeyboardConnection::ungrabKey() {
    impl_->ungrab();
}

bool X11KeyboardConnection::isGrabbedKeyDown() const {
    return impl_->grab && impl_->pressed.count(impl_->grab->keycode) != 0;
}

bool X11KeyboardConnection::isGrabbed(std::uint16_t keyCode) const {
    return impl_->grab && !impl_->handlingPreGrabEvent && impl_->grab->portableKeyCode == keyCode;
}

bool X11KeyboardConnection::isOpen() const {
    return impl_->display != nullptr;
}

int X11KeyboardConnection::fileDescriptor() const {
    return impl_->display ? ConnectionNumber(impl_->display.get()) : -1;
}

std::uint64_t X11KeyboardConnection::flagsForNativeState(unsigned state) const {
    return impl_->toFlags(state);
}

bool X11KeyboardConnection::isFnKeysym(unsigned keysym) {
    return keysym == kFnKeysym;
}

void X11KeyboardConnection::drain(const std::function<void(const KeyEvent&)>& deliver) {
    Display* dpy = impl_->display.get();
    if (!dpy) return;
    // Xlib may queue events during any call, handlers included: read until none is left.
    while (XPending(dpy) > 0) {
        impl_->handlingPreGrabEvent = impl_->preGrabEvents > 0;
        if (impl_->handlingPreGrabEvent) --impl_->preGrabEvents;
        impl_->handleNextEvent(deliver);
        impl_->handlingPreGrabEvent = false;
    }
}

bool X11KeyboardConnection::hasQueuedEvents() const {
    return impl_->display && XEventsQueued(impl_->display.get(), QueuedAlready) > 0;
}

bool X11KeyboardConnection::canPost() const {
    return impl_->display && impl_->hasXTest;
}

bool X11KeyboardConnection::isKeyDown(unsigned keycode) const {
    Display* dpy = impl_->display.get();
    if (!dpy || keycode > 255) return false;
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    return (keys[keycode / 8] >> (keycode % 8)) & 1;
}

std::vector<unsigned> X11KeyboardConnection::heldModifierKeycodes() const {
    std::vector<unsigned> held;
    Display* dpy = impl_->display.get();
    if (!dpy) return held;
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    XModifierKeymap* map = XGetModifierMapping(dpy);
    if (!map) return held;
    for (int i = 0; i < 8 * map->max_keypermod; ++i) {
        const unsigned code = map->modifiermap[i];
        if (code == 0 || code > 255) continue;
        const bool down = (keys[code / 8] >> (code % 8)) & 1;
        if (down && std::find(held.begin(), held.end(), code) == held.end()) held.push_back(code);
    }
    XFreeModifiermap(map);
    return held;
}

unsigned X11KeyboardConnection::keycodeForKeysym(unsigned long keysym) const {
    if (!impl_->display) return 0;
    return XKeysymToKeycode(impl_->display.get(), keysym);
}

unsigned long X11KeyboardConnection::keysymOf(std::uint16_t keyCode) const {
    Display* dpy = impl_->display.get();
    const auto keycode = x11KeycodeForPortable(keyCode);
    if (!dpy || !keycode || *keycode > 255) return NoSymbol;
    XkbStateRec state{};
    const unsigned group = XkbGetState(dpy, XkbUseCoreKbd, &state) == Success ? state.group : 0;
    return XkbKeycodeToKeysym(dpy, static_cast<::KeyCode>(*keycode), static_cast<int>(group), 0);
}

std::uint64_t X11KeyboardConnection::currentFlags() const {
    return impl_->currentFlags();
}

void X11KeyboardConnection::postUnobserved(const std::vector<X11FakeKey>& keys,
                                           const std::function<void(const KeyEvent&)>& deliver) {
    if (!canPost()) return;
    Display* dpy = impl_->display.get();
    drain(deliver);
    for (const auto& key : keys) {
        XTestFakeKeyEvent(dpy, key.keycode, key.press ? True : False, CurrentTime);
    }
    // The server sends the events our keys cause before the reply to this
    // round trip, so afterwards they are all in the queue and nothing else is.
    XSync(dpy, False);
    const auto ignore = [](const KeyEvent&) {};
    for (int queued = XEventsQueued(dpy, QueuedAlready); queued > 0; --queued) {
        impl_->handleNextEvent(ignore);
    }
}

}  // namespace sayvo
