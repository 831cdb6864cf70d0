#include "platform/linux/X11Extensions.h"

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

X11Extensions queryX11Extensions() {
    X11Extensions found;
    const std::unique_ptr<Display, DisplayCloser> display(XOpenDisplay(nullptr));
    if (!display) return found;
    found.connected = true;
    int opcode = 0, event = 0, error = 0;
    int major = 2, minor = 0;
    found.xinput2 = XQueryExtension(display.get(), "XInputExtension", &opcode, &event, &error) &&
                    XIQueryVersion(display.get(), &major, &minor) == Success && major >= 2;
    int testMajor = 0, testMinor = 0;
    found.xtest = XTestQueryExtension(display.get(), &event, &error, &testMajor, &testMinor);
    return found;
}

}  // namespace sayvo
