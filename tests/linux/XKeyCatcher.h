#pragma once

#include <string>
#include <vector>

// A plain X window of another client that holds the keyboard focus and writes
// down every key it receives, as a target application would see them.
class XKeyCatcher {
public:
    struct Key {
        std::string keysym;
        bool press = true;
        unsigned state = 0;  // core modifier state at the event
        bool operator==(const Key&) const = default;
    };
    static constexpr unsigned shiftMask = 1;
    static constexpr unsigned controlMask = 4;
    static constexpr unsigned altMask = 8;  // Mod1 on Xvfb's keymap

    XKeyCatcher();
    ~XKeyCatcher();
    XKeyCatcher(const XKeyCatcher&) = delete;
    XKeyCatcher& operator=(const XKeyCatcher&) = delete;

    unsigned long window() const { return window_; }
    // Gives this window the keyboard focus.
    void focus();
    // Takes a key with these core modifiers for this client, as another
    // program's shortcut would.
    void grab(const char* keysymName, unsigned modifiers);
    // The keys received until `count` arrived or `timeoutMs` passed, plus any
    // that follow within a short grace.
    std::vector<Key> collect(std::size_t count, int timeoutMs = 3000);

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};
