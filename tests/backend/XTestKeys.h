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
    void pressKeycode(unsigned keycode) { fake(keycode, true); }
    void releaseKeycode(unsigned keycode) { fake(keycode, false); }
    // Maps an unused keycode to the fn keysym, XF86Fn (as xmodmap would), and returns it.
    unsigned mapSpareKeycodeToFn() { return map(247, 0x100811D0); }
    void restoreKeycode(unsigned keycode) { map(keycode, 0); }
    void setAutoRepeat(bool on);
    void focusWindow(unsigned long window);
    // Takes the whole keyboard for this client, as a held hotkey's grab does.
    void grabKeyboard();
    void ungrabKeyboard();

protected:
    void* display_ = nullptr;

private:
    unsigned keycodeOf(const std::string& keysymName) const;
    void fake(unsigned keycode, bool down);
    unsigned map(unsigned keycode, unsigned long keysym);
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
