#pragma once

#include <string>
#include <vector>

// Presses and releases keys through XTest on the test's X display, as a user
// at the keyboard would. Kept apart so X's macros stay out of the tests.
class XTestKeys {
public:
    XTestKeys();
    ~XTestKeys();
    bool isOpen() const { return display_ != nullptr; }

    void press(const std::string& keysymName) { fake(keycodeOf(keysymName), true); }
    void release(const std::string& keysymName) { fake(keycodeOf(keysymName), false); }
    void setAutoRepeat(bool on);
    void focusWindow(unsigned long window);

protected:
    void* display_ = nullptr;

private:
    unsigned keycodeOf(const std::string& keysymName) const;
    void fake(unsigned keycode, bool down);
};

// Another client's window, as a target application that writes down its keys.
class XKeyCatcher : public XTestKeys {
public:
    XKeyCatcher();
    unsigned long window() const { return window_; }
    // Takes Ctrl+Alt+<key>, as another program's shortcut would.
    void grabWithControlAlt(const char* keysymName);
    // The keys received ("+a", "-a") once `count` came, or a second passed, and a grace.
    std::vector<std::string> collect(std::size_t count);

private:
    unsigned long window_ = 0;
};
