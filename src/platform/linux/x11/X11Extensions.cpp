#include "platform/linux/x11/X11Extensions.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>

#include <memory>

namespace sayvo {

namespace {
struct DisplayCloser {
    void operator()(Display* display) const { XCloseDisplay(display); }
};
}  // namespace

bool hasXInput21(Display* display, int* opcode) {
    int xiOpcode = 0, event = 0, error = 0;
    // The server answers with the highest version it speaks up to the one asked.
    int major = 2, minor = 1;
    if (!XQueryExtension(display, "XInputExtension", &xiOpcode, &event, &error) ||
        XIQueryVersion(display, &major, &minor) != Success ||
        (major == 2 && minor < 1) || major < 2)
        return false;
    if (opcode) *opcode = xiOpcode;
    return true;
}

X11Extensions queryX11Extensions() {
    X11Extensions found;
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) return found;
    found.connected = true;
    found.xinput2 = hasXInput21(display.get());
    int event = 0, error = 0;
    int testMajor = 0, testMinor = 0;
    found.xtest = XTestQueryExtension(display.get(), &event, &error, &testMajor, &testMinor);
    return found;
}

}  // namespace sayvo
