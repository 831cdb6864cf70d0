#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <set>

#include "platform/Keyboard.h"

namespace sayvo {

// A private X connection that observes the keyboard system-wide: XInput2 raw
// key events on the root window and XKB modifier-state events. Turns them into
// portable events: modifier keys and the fn key (keysym XF86Fn) as
// flags-changed, every other key as key-down/key-up with the current modifiers.
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
    // The portable modifier bits of a core X modifier state.
    std::uint64_t flagsForNativeState(unsigned state) const;
    // Whether an X keysym is the fn key's.
    static bool isFnKeysym(unsigned keysym);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sayvo
