#include "x_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Windows may vanish mid-walk; the default handler would exit the process.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

// One property as 32-bit items (Xlib hands them out as longs).
std::vector<long> longProperty(Display* dpy, Window w, const char* name, Atom type) {
    std::vector<long> out;
    const Atom atom = XInternAtom(dpy, name, True);
    if (atom == None) return out;
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, atom, 0, 32, False, type, &actualType, &format, &count, &after,
                           &data) == Success &&
        data) {
        if (format == 32) {
            const long* values = reinterpret_cast<const long*>(data);
            out.assign(values, values + count);
        }
        XFree(data);
    }
    return out;
}

}  // namespace

XWindows::XWindows() {
    XSetErrorHandler(ignoreXErrors);
    display_ = XOpenDisplay(nullptr);
}

XWindows::~XWindows() {
    if (display_) XCloseDisplay(display_);
}

std::vector<XWindowInfo> XWindows::all() {
    std::vector<XWindowInfo> out;
    if (!display_) return out;
    walk(DefaultRootWindow(display_), true, out);
    return out;
}

void XWindows::walk(unsigned long window, bool parentViewable, std::vector<XWindowInfo>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes attrs{};
        if (!XGetWindowAttributes(display_, children[i], &attrs)) continue;
        const bool viewable = parentViewable && attrs.map_state == IsViewable;
        out.push_back({children[i], nameOf(children[i]), pidOf(children[i]), viewable});
        walk(children[i], viewable, out);
    }
    if (children) XFree(children);
}

std::string XWindows::nameOf(unsigned long window) {
    const Atom netName = XInternAtom(display_, "_NET_WM_NAME", False);
    const Atom utf8 = XInternAtom(display_, "UTF8_STRING", False);
    Atom actualType = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    std::string name;
    if (XGetWindowProperty(display_, window, netName, 0, 1024, False, utf8, &actualType, &format,
                           &count, &after, &data) == Success &&
        data) {
        if (format == 8) name.assign(reinterpret_cast<const char*>(data), count);
        XFree(data);
    }
    if (!name.empty()) return name;
    char* legacy = nullptr;
    if (XFetchName(display_, window, &legacy) && legacy) {
        name = legacy;
        XFree(legacy);
    }
    return name;
}

long XWindows::pidOf(unsigned long window) {
    const auto values = longProperty(display_, window, "_NET_WM_PID", XA_CARDINAL);
    return values.empty() ? -1 : values.front();
}

std::optional<XWindowInfo> XWindows::findViewable(const std::string& name, long pid) {
    for (const auto& w : all()) {
        if (w.viewable && w.name == name && w.pid == pid) return w;
    }
    return std::nullopt;
}

std::vector<XWindowInfo> XWindows::viewableOf(long pid) {
    std::vector<XWindowInfo> out;
    for (const auto& w : all()) {
        if (w.viewable && w.pid == pid) out.push_back(w);
    }
    return out;
}

std::optional<bool> XWindows::acceptsInputHint(unsigned long window) {
    XWMHints* hints = XGetWMHints(display_, window);
    if (!hints) return std::nullopt;
    std::optional<bool> input;
    if (hints->flags & InputHint) input = hints->input != False;
    XFree(hints);
    return input;
}

std::optional<bool> XWindows::wantsDecorations(unsigned long window) {
    // Motif layout: flags, functions, decorations, input mode, status.
    constexpr long kDecorationsFlag = 1L << 1;
    const Atom motif = XInternAtom(display_, "_MOTIF_WM_HINTS", True);
    if (motif == None) return std::nullopt;
    const auto values = longProperty(display_, window, "_MOTIF_WM_HINTS", AnyPropertyType);
    if (values.size() < 3 || !(values[0] & kDecorationsFlag)) return std::nullopt;
    return values[2] != 0;
}

bool XWindows::hasFocus(unsigned long window) {
    Window focus = None;
    int revert = 0;
    XGetInputFocus(display_, &focus, &revert);
    // PointerRoot and None are not windows of ours.
    while (focus != None && focus != PointerRoot) {
        if (focus == window) return true;
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display_, focus, &root, &parent, &children, &count)) return false;
        if (children) XFree(children);
        if (parent == root) return false;
        focus = parent;
    }
    return false;
}

std::optional<XRect> XWindows::geometry(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return std::nullopt;
    Window child = 0;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(display_, window, attributes.root, 0, 0, &x, &y, &child)) {
        return std::nullopt;
    }
    return XRect{x, y, attributes.width, attributes.height};
}

XRect XWindows::screen() {
    return {0, 0, DisplayWidth(display_, DefaultScreen(display_)),
            DisplayHeight(display_, DefaultScreen(display_))};
}

std::string XWindows::pixels(unsigned long window) {
    XWindowAttributes attributes{};
    if (!XGetWindowAttributes(display_, window, &attributes)) return {};
    XImage* image = XGetImage(display_, window, 0, 0, static_cast<unsigned>(attributes.width),
                              static_cast<unsigned>(attributes.height), AllPlanes, ZPixmap);
    if (!image) return {};
    std::string bytes(image->data, static_cast<std::size_t>(image->bytes_per_line) *
                                       static_cast<std::size_t>(image->height));
    XDestroyImage(image);
    return bytes;
}
