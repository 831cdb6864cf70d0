#pragma once

#include <string>

// Presses and releases keys through XTest on the test's X display, as a user
// at the keyboard would. Kept apart so X's macros stay out of the tests.
class XTestKeys {
public:
    XTestKeys();
    ~XTestKeys();
    bool isOpen() const { return display_ != nullptr; }

    void press(const std::string& keysymName);
    void release(const std::string& keysymName);
    void pressKeycode(unsigned keycode);
    void releaseKeycode(unsigned keycode);
    unsigned keycodeOf(const std::string& keysymName) const;
    // Maps an unused keycode to the fn keysym (as xmodmap would) and returns it.
    unsigned mapSpareKeycodeToFn();
    void restoreKeycode(unsigned keycode);
    void setAutoRepeat(bool on);
    // Gives the keyboard focus to a window, as clicking into it would.
    void focusWindow(unsigned long window);
    // Takes the whole keyboard for this client, as a held hotkey's grab does.
    void grabKeyboard();
    void ungrabKeyboard();

private:
    void* display_ = nullptr;
};
