#pragma once

#include <optional>
#include <string>
#include <vector>

// What the tests need to know about one X window.
struct XWindowInfo {
    unsigned long id = 0;
    std::string name;                         // WM_NAME
    long pid = -1;                            // _NET_WM_PID, -1 if unset
    bool viewable = false;                    // mapped, and so are all its ancestors
    int x = 0, y = 0, width = 0, height = 0;  // x, y within its parent
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
    // A property's 32-bit items (WM_HINTS, _MOTIF_WM_HINTS...); empty if unset.
    std::vector<long> property(unsigned long window, const char* name);
    // True if the X input focus is the window or inside it.
    bool hasFocus(unsigned long window);
    int screenWidth();
    int screenHeight();
    // The window's pixels as they are on screen now; empty if unreadable.
    std::string pixels(unsigned long window);

private:
    void walk(unsigned long window, bool parentViewable, std::vector<XWindowInfo>& out);

    struct _XDisplay* display_ = nullptr;
};
