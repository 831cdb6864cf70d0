#include "XWindows.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace {

// Windows may vanish mid-walk; the default handler would exit the process.
int ignoreXErrors(Display*, XErrorEvent*) {
    return 0;
}

// A property's items, of any type: chars for format 8, longs for format 32
// (Xlib hands 32-bit items out as longs).
template <typename Item>
std::vector<Item> itemsOf(Display* dpy, Window w, const char* name) {
    std::vector<Item> out;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(dpy, w, XInternAtom(dpy, name, False), 0, 1024, False, AnyPropertyType,
                           &type, &format, &count, &after, &data) == Success &&
        data) {
        const Item* items = reinterpret_cast<const Item*>(data);
        if (format == (sizeof(Item) == 1 ? 8 : 32)) out.assign(items, items + count);
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
    if (display_) walk(DefaultRootWindow(display_), true, out);
    return out;
}

void XWindows::walk(unsigned long window, bool parentViewable, std::vector<XWindowInfo>& out) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display_, window, &root, &parent, &children, &count)) return;
    for (unsigned int i = 0; i < count; ++i) {
        XWindowAttributes a{};
        if (!XGetWindowAttributes(display_, children[i], &a)) continue;
        const bool viewable = parentViewable && a.map_state == IsViewable;
        const auto name = itemsOf<char>(display_, children[i], "WM_NAME");
        const auto pid = property(children[i], "_NET_WM_PID");
        out.push_back({children[i], std::string(name.begin(), name.end()),
                       pid.empty() ? -1 : pid.front(), viewable, a.x, a.y, a.width, a.height});
        walk(children[i], viewable, out);
    }
    if (children) XFree(children);
}

std::optional<XWindowInfo> XWindows::findViewable(const std::string& name, long pid) {
    for (const auto& w : all()) {
        if (w.viewable && w.name == name && w.pid == pid) return w;
    }
    return std::nullopt;
}

std::vector<long> XWindows::property(unsigned long window, const char* name) {
    return itemsOf<long>(display_, window, name);
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

int XWindows::screenWidth() {
    return DisplayWidth(display_, DefaultScreen(display_));
}

int XWindows::screenHeight() {
    return DisplayHeight(display_, DefaultScreen(display_));
}

std::string XWindows::pixels(unsigned long window) {
    XWindowAttributes a{};
    if (!XGetWindowAttributes(display_, window, &a)) return {};
    XImage* image = XGetImage(display_, window, 0, 0, unsigned(a.width), unsigned(a.height),
                              AllPlanes, ZPixmap);
    if (!image) return {};
    std::string bytes(image->data, std::size_t(image->bytes_per_line) * std::size_t(image->height));
    XDestroyImage(image);
    return bytes;
}
