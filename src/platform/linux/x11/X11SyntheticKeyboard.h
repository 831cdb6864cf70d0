#pragma once

#include <map>
#include <vector>

#include "platform/SyntheticKeyboard.h"
#include "platform/linux/x11/X11KeyboardMonitor.h"

namespace sayvo {

// Synthetic keys through XTest. A key-down first releases the modifiers the
// user still holds (they are not pressed again afterwards: the user may have
// let go meanwhile, and they would stick), then presses the event's own
// modifiers and the key; the key-up releases the key and those modifiers.
// The command flag becomes Ctrl, the modifier of commands here, so the
// logic's command-V is the desktop's paste. Letter keys are found by their
// letter in the current layout, so the paste is Ctrl+V on any layout.
// Sayvo's own monitors never hear these keys.
// Thread: main (GUI) thread only.
// Failure: without XTEST no source and no event is made.
class X11SyntheticKeyboard final : public SyntheticKeyboard {
public:
    explicit X11SyntheticKeyboard(X11KeyboardMonitor& monitor);

    std::unique_ptr<KeyEventSource> createEventSource() override;
    std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource* source,
                                                         std::uint16_t keyCode,
                                                         bool keyDown) override;
    // The tap location has no meaning on X11: every key enters at the server.
    void post(const SyntheticKeyEvent& event) override;

private:
    unsigned keycodeFor(std::uint16_t keyCode) const;
    std::vector<unsigned> modifierKeycodesFor(std::uint64_t flags) const;

    X11KeyboardMonitor& monitor_;
    std::map<unsigned, std::vector<unsigned>> modifiersPressedWith_;  // by key
};

}  // namespace sayvo
