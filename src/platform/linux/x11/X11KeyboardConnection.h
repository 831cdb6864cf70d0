#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "platform/Keyboard.h"

namespace sayvo {

// One synthetic key event to post.
struct X11FakeKey {
    unsigned keycode = 0;  // X keycode
    bool press = true;
};

// A private X connection that observes the keyboard system-wide: XInput2 raw
// key events on the root window and XKB modifier-state events. Turns them into
// portable events: modifier keys and the fn key (keysym XF86Fn) as
// flags-changed, every other key as key-down/key-up with the current modifiers.
// Also posts synthetic keys through XTest on the same connection, so it can
// tell the events those keys cause from everything else.
// Kept free of Qt so the X headers' macros stay in one file.
// Thread: one thread (the main thread in Sayvo).
class X11KeyboardConnection {
public:
    X11KeyboardConnection();
    ~X11KeyboardConnection();
    X11KeyboardConnection(const X11KeyboardConnection&) = delete;
    X11KeyboardConnection& operator=(const X11KeyboardConnection&) = delete;

    // False without a display, XKB or XInput 2.1.
    bool isOpen() const;
    // Readable when events wait; -1 when not open.
    int fileDescriptor() const;
    // Reads every queued event and reports the resulting key events.
    void drain(const std::function<void(const KeyEvent&)>& deliver);
    // Whether events already read from the socket wait in Xlib's queue: a
    // round trip reads them, and the socket then no longer says so.
    bool hasQueuedEvents() const;
    // Whether synthetic keys can be posted (the XTEST extension is there).
    bool canPost() const;
    // Whether the key with this X keycode is down at the server now.
    bool isKeyDown(unsigned keycode) const;
    // X keycodes of the modifier keys held down now.
    std::vector<unsigned> heldModifierKeycodes() const;
    // The keycode that gives the keysym in the current layout; 0 when none.
    unsigned keycodeForKeysym(unsigned long keysym) const;
    // The keysym a key (portable code) gives unshifted in the layout in use
    // now; 0 (NoSymbol) when none.
    unsigned long keysymOf(std::uint16_t keyCode) const;
    // The portable modifier bits in effect now, as last told by the server.
    std::uint64_t currentFlags() const;
    // Sends the keys and waits until the server has handled them. Events that
    // were already waiting are delivered first; the ones these keys cause are
    // taken in (the modifier state follows them) but not delivered.
    void postUnobserved(const std::vector<X11FakeKey>& keys,
                        const std::function<void(const KeyEvent&)>& deliver);
    // The portable modifier bits of a core X modifier state.
    std::uint64_t flagsForNativeState(unsigned state) const;
    // Whether an X keysym is the fn key's.
    static bool isFnKeysym(unsigned keysym);
    // Whether the keymap gives some key the fn keysym.
    bool hasFnKey() const;

    // Grabs the key (portable code) with exactly these portable modifiers on
    // the root window, also with Caps Lock and Num Lock on, so that no other
    // client receives it; the raw events still arrive. Replaces the previous
    // grab. When another client holds one of the variants (BadAccess) or the
    // key has no X keycode, nothing stays grabbed.
    KeyReservation grabKey(std::uint16_t keyCode, std::uint64_t modifiers);
    void ungrabKey();
    // Whether an event's key is the grabbed one.
    bool isGrabbed(std::uint16_t keyCode) const;
    // Whether the grabbed key is held: the server then sends every key to us.
    bool isGrabbedKeyDown() const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sayvo
