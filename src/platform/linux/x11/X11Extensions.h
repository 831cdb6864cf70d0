#pragma once

// Xlib's Display, declared without Xlib's macros.
struct _XDisplay;

namespace sayvo {

// Whether the display offers XInput 2.1 or later, which the keyboard monitor
// needs for raw key events on the root window; fills in the extension's
// major opcode.
bool hasXInput21(_XDisplay* display, int* opcode = nullptr);

// What the X server offers, asked over a short connection of its own.
struct X11Extensions {
    bool connected = false;  // a display could be opened at all
    bool xinput2 = false;    // XInputExtension 2.1 or later
    bool xtest = false;
};

// Thread: any. Blocks for one round trip to the X server.
X11Extensions queryX11Extensions();

}  // namespace sayvo
