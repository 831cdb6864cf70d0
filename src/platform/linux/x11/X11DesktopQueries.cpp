#include "platform/linux/x11/X11DesktopQueries.h"

#include <QGuiApplication>
#include <string>

// Xlib last: its macros (None, Bool, Status) clash with Qt's names.
#include <X11/Xlib.h>

namespace sayvo {

namespace {
Display* qtDisplay() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

// A query about a window that vanished meanwhile must not end the process.
int ignoreErrors(Display*, XErrorEvent*) {
    return 0;
}
}  // namespace

std::optional<QPoint> focusedWindowCenter() {
    Display* display = qtDisplay();
    if (!display) return std::nullopt;
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(display, &focus, &revert);
    // None and PointerRoot: no window holds the focus.
    if (focus == None || focus == PointerRoot) return std::nullopt;

    auto* previous = XSetErrorHandler(ignoreErrors);
    std::optional<QPoint> center;
    XWindowAttributes attributes{};
    int x = 0, y = 0;
    Window child = 0;
    if (XGetWindowAttributes(display, focus, &attributes) &&
        XTranslateCoordinates(display, focus, attributes.root, 0, 0, &x, &y, &child)) {
        center = QPoint(x + attributes.width / 2, y + attributes.height / 2);
    }
    XSync(display, False);
    XSetErrorHandler(previous);
    return center;
}

bool compositingManagerRunning() {
    Display* display = qtDisplay();
    if (!display) return true;
    const std::string name = "_NET_WM_CM_S" + std::to_string(DefaultScreen(display));
    const Atom selection = XInternAtom(display, name.c_str(), False);
    return XGetSelectionOwner(display, selection) != 0;
}

void sendPendingRequests() {
    if (Display* display = qtDisplay()) XFlush(display);
}

}  // namespace sayvo
