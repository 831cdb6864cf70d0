#include "paste/TypeSimulator.h"

#include "core/Utf8.h"

namespace sayvo {

bool TypeSimulator::writePasteboard(const Platform& platform, const std::string& text) {
    platform.pasteboard.clearContents();
    return platform.pasteboard.setString(text);
}

std::string TypeSimulator::textToPaste(const std::string& transcript) {
    return endsInSpacedScript(transcript) ? transcript + " " : transcript;
}

std::optional<TypeSimulator::PasteKeys> TypeSimulator::preparePaste(const Platform& platform,
                                                                    const std::string& transcript) {
    const std::string text = textToPaste(transcript);
    if (!writePasteboard(platform, text)) return std::nullopt;
    if (!platform.pasteboard.hasPrimarySelection()) return commandV;
    if (!platform.pasteboard.setPrimarySelection(text)) return std::nullopt;
    return shiftInsert;
}

bool TypeSimulator::typeText(const Platform& platform, const std::string& transcript) {
    const auto keys = preparePaste(platform, transcript);
    if (!keys) return false;
    platform.scheduler.postAfter(pasteDelay, [platform, keys] { pasteText(platform, *keys); });
    return true;
}

void TypeSimulator::pasteText(const Platform& platform, PasteKeys keys) {
    SyntheticKeyboard& keyboard = platform.syntheticKeyboard;
    const auto source = keyboard.createEventSource();
    // The flags are replaced, not added to: a modifier the user still holds
    // would turn the paste into another command.
    for (const bool keyDown : {true, false}) {
        auto event = keyboard.createKeyboardEvent(source.get(), keys.keyCode, keyDown);
        if (!event) continue;
        event->flags = keys.flags;
        keyboard.post(*event);
    }
}

}  // namespace sayvo
