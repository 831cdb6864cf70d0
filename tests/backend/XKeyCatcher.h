#pragma once

#include <string>
#include <vector>

// A plain X window of another client that holds the keyboard focus and writes
// down every key it receives, as a target application would see them.
class XKeyCatcher {
public:
    XKeyCatcher();
    ~XKeyCatcher();
    XKeyCatcher(const XKeyCatcher&) = delete;
    XKeyCatcher& operator=(const XKeyCatcher&) = delete;

    void focus();
    // Takes Ctrl+Alt+<key>, as another program's shortcut would.
    void grabWithControlAlt(const char* keysymName);
    // The keys received ("+a" pressed, "-a" released) until `count` arrived or
    // a second passed, plus any that follow within a short grace.
    std::vector<std::string> collect(std::size_t count);

private:
    void* display_ = nullptr;
    unsigned long window_ = 0;
};
