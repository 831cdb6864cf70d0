#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace sayvo {

// What synthetic events are made from; backends may keep state in it.
class KeyEventSource {
public:
    virtual ~KeyEventSource() = default;
};

// A synthetic keyboard event between its creation and its posting.
struct SyntheticKeyEvent {
    std::uint16_t keyCode = 0;  // portable key code
    bool keyDown = true;
    std::uint64_t flags = 0;  // ModifierFlag bits the event carries
};

// Typing as if on the keyboard, into whatever application has the focus.
// A backend delivers a posted key with the command flag as its own platform's
// command shortcut (on Linux: Ctrl), so command-V pastes everywhere.
// Thread: main thread only.
// Failure: creation may give nothing; posting never reports at once. Without
// accessibility trust the system may drop posted events silently.
class SyntheticKeyboard {
public:
    virtual ~SyntheticKeyboard() = default;

    // Nothing when the system gives no source; events can still be made.
    virtual std::unique_ptr<KeyEventSource> createEventSource() = 0;
    // An event for the key, its flags taken from the source's (or the
    // system's) current modifiers. Nothing when the event cannot be made.
    virtual std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource* source,
                                                                 std::uint16_t keyCode,
                                                                 bool keyDown) = 0;
    // Sends the event on; does not wait for any application to handle it.
    virtual void post(const SyntheticKeyEvent& event) = 0;

    // Told later when posted keys could not be delivered (the desktop refused
    // or ended the session they need), with a message for the user. Backends
    // that cannot know never call it.
    virtual void setDeliveryFailureHandler(std::function<void(const std::string&)> handler) {
        (void)handler;
    }
    // True while posted keys would wait for the desktop, which may first ask
    // the user (a consent dialog): nothing of Sayvo's should cover that.
    virtual bool mayAskTheUser() const { return false; }
};

}  // namespace sayvo
