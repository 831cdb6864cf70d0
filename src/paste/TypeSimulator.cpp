#include "paste/TypeSimulator.h"

namespace sayvo {

bool TypeSimulator::writePasteboard(const Platform& platform, const std::string& text) {
    platform.pasteboard.clearContents();
    return platform.pasteboard.setString(text);
}

bool TypeSimulator::typeText(const Platform& platform, const std::string& text) {
    if (!writePasteboard(platform, text)) return false;
    platform.scheduler.postAfter(pasteDelay, [platform] { pasteText(platform); });
    return true;
}

void TypeSimulator::pasteText(const Platform& platform) {
    SyntheticKeyboard& keyboard = platform.syntheticKeyboard;
    const auto source = keyboard.createEventSource();
    // The flags are replaced, not added to: a modifier the user still holds
    // would turn the paste into another command.
    for (const bool keyDown : {true, false}) {
        auto event = keyboard.createKeyboardEvent(source.get(), pasteKeyCode, keyDown);
        if (!event) continue;
        event->flags = pasteFlags;
        keyboard.post(*event);
    }
}

}  // namespace sayvo
