#pragma once

#include <functional>

#include "core/Observable.h"

namespace sayvo {

// Turns presses and releases of the user's hotkey into key-down and key-up
// reports on the main thread. Until system-wide keyboard monitoring exists,
// listening installs nothing and no report is ever made.
// Thread: main thread only.
class HotkeyManager : public Observable {
public:
    using Action = std::function<void()>;

    void setKeyDownCallback(Action action) { keyDown_ = std::move(action); }
    void setKeyUpCallback(Action action) { keyUp_ = std::move(action); }
    void startListening() { isListening_ = true; }
    void stopListening() { isListening_ = false; }
    bool isListening() const { return isListening_; }

    // The process-wide instance, made by the entry point.
    static HotkeyManager& shared();

protected:
    Action keyDown_;
    Action keyUp_;
    bool isListening_ = false;
};

}  // namespace sayvo
