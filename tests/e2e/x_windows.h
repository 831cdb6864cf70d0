#pragma once

#include <optional>
#include <string>
#include <vector>

// What the tests need to know about one X window.
struct XWindowInfo {
    unsigned long id = 0;
    std::string name;       // _NET_WM_NAME, else WM_NAME
    long pid = -1;          // _NET_WM_PID, -1 if unset
    bool viewable = false;  // mapped, and so are all its ancestors
};

struct XRect {
    int x = 0, y = 0, width = 0, height = 0;
};

// Read-only view of the X server named by DISPLAY. Xlib types stay in the
// .cpp so its macros (None, Bool, Status...) cannot clash with Qt or gtest.
class XWindows {
public:
    XWindows();
    ~XWindows();
    XWindows(const XWindows&) = delete;
    XWindows& operator=(const XWindows&) = delete;

    bool connected() const { return display_ != nullptr; }

    // Every window below the root, walked recursively: without a window
    // manager there is no _NET_CLIENT_LIST, and with one, clients sit in frames.
    std::vector<XWindowInfo> all();

    std::optional<XWindowInfo> findViewable(const std::string& name, long pid);
    std::vector<XWindowInfo> viewableOf(long pid);

    // WM_HINTS input field; nullopt when the window sets no input hint.
    std::optional<bool> acceptsInputHint(unsigned long window);
    // False when _MOTIF_WM_HINTS asks for no decorations; nullopt when absent.
    std::optional<bool> wantsDecorations(unsigned long window);
    // True if the X input focus is the window or inside it.
    bool hasFocus(unsigned long window);
    // Where the window is on the screen; nullopt once it is gone.
    std::optional<XRect> geometry(unsigned long window);
    XRect screen();
    // The window's pixels as they are on screen now; empty if unreadable.
    std::string pixels(unsigned long window);

private:
    void walk(unsigned long window, bool parentViewable, std::vector<XWindowInfo>& out);
    std::string nameOf(unsigned long window);
    long pidOf(unsigned long window);

    struct _XDisplay* display_ = nullptr;
};
