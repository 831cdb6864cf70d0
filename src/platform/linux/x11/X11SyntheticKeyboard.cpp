#include "platform/linux/x11/X11SyntheticKeyboard.h"

#include <X11/keysym.h>

#include <algorithm>

#include "platform/Keyboard.h"
#include "platform/linux/KeyCodeTranslation.h"

namespace sayvo {

X11SyntheticKeyboard::X11SyntheticKeyboard(X11KeyboardMonitor& monitor) : monitor_(monitor) {}

std::unique_ptr<KeyEventSource> X11SyntheticKeyboard::createEventSource() {
    if (!monitor_.connection().canPost()) return nullptr;
    return std::make_unique<KeyEventSource>();
}

std::optional<SyntheticKeyEvent> X11SyntheticKeyboard::createKeyboardEvent(const KeyEventSource*,
                                                                           std::uint16_t keyCode,
                                                                           bool keyDown) {
    if (!monitor_.connection().canPost() || keycodeFor(keyCode) == 0) return std::nullopt;
    return SyntheticKeyEvent{keyCode, keyDown, monitor_.connection().currentFlags()};
}

void X11SyntheticKeyboard::post(const SyntheticKeyEvent& event) {
    const unsigned key = keycodeFor(event.keyCode);
    if (key == 0) return;
    std::vector<X11FakeKey> keys;
    if (event.keyDown) {
        for (const unsigned held : monitor_.connection().heldModifierKeycodes()) {
            keys.push_back({held, false});
        }
        const auto modifiers = modifierKeycodesFor(event.flags);
        for (const unsigned modifier : modifiers) keys.push_back({modifier, true});
        keys.push_back({key, true});
        modifiersPressedWith_[key] = modifiers;
    } else {
        keys.push_back({key, false});
        const auto pressed = modifiersPressedWith_.find(key);
        if (pressed != modifiersPressedWith_.end()) {
            for (auto it = pressed->second.rbegin(); it != pressed->second.rend(); ++it) {
                keys.push_back({*it, false});
            }
            modifiersPressedWith_.erase(pressed);
        }
    }
    monitor_.postUnobserved(keys);
}

unsigned X11SyntheticKeyboard::keycodeFor(std::uint16_t keyCode) const {
    // On another layout V is elsewhere: a letter goes by its letter, and
    // Insert by its name (a remapped keyboard may have it anywhere).
    const auto keysym = keyCode == KeyCode::insert ? XK_Insert : letterKeysymForPortable(keyCode);
    if (keysym) {
        if (const unsigned code = monitor_.connection().keycodeForKeysym(*keysym)) return code;
    }
    const auto code = x11KeycodeForPortable(keyCode);
    return code && *code <= 255 ? *code : 0;
}

std::vector<unsigned> X11SyntheticKeyboard::modifierKeycodesFor(std::uint64_t flags) const {
    std::vector<unsigned> codes;
    const auto add = [&](std::uint64_t flag, unsigned long keysym) {
        if (!(flags & flag)) return;
        const unsigned code = monitor_.connection().keycodeForKeysym(keysym);
        if (code != 0 && std::find(codes.begin(), codes.end(), code) == codes.end()) {
            codes.push_back(code);
        }
    };
    add(ModifierFlag::command, XK_Control_L);
    add(ModifierFlag::control, XK_Control_L);
    add(ModifierFlag::option, XK_Alt_L);
    add(ModifierFlag::shift, XK_Shift_L);
    return codes;
}

}  // namespace sayvo
