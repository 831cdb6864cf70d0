#pragma once

namespace sayvo {

// What the X server offers, asked over a short connection of its own.
struct X11Extensions {
    bool connected = false;  // a display could be opened at all
    bool xinput2 = false;    // XInputExtension 2.0 or later
    bool xtest = false;
};

// Thread: any. Blocks for one round trip to the X server.
X11Extensions queryX11Extensions();

}  // namespace sayvo
