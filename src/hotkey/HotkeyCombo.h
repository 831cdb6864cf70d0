#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/Keyboard.h"
#include "platform/Preferences.h"

namespace sayvo {

// The push-to-talk key: the fn key alone, or one key with a set of modifiers.
// A plain value; equality compares all three fields.
struct HotkeyCombo {
    std::uint16_t keyCode = 0;
    std::uint64_t modifiers = 0;
    bool isFnKey = false;

    static const HotkeyCombo fnKey;
    // Where the keyboard has no fn key: no desktop we know binds it, while
    // Alt+Space opens the window menu and Ctrl/Super+Space switch input methods.
    static const HotkeyCombo controlOptionSpace;

    // "fn", or the modifiers in the fixed order control, option, shift,
    // command followed by the key's label: "⌃⌥D", or "Ctrl+Alt+D" in words.
    // The keyboard's own name for the key, where given, replaces the label.
    std::string displayString(const ModifierNotation& notation = {},
                              const std::string& keyName = {}) const;
    // The modifiers alone, each followed by the separator: "⌃⌥", "Ctrl+Alt+".
    static std::string modifierString(std::uint64_t modifiers, const ModifierNotation& notation);
    // The key's label, or "Key<n>" for a key without one.
    static std::string keyCodeToString(std::uint16_t keyCode);
    // The key's keysym name, as desktops write shortcuts ("space", "minus").
    static std::string keysymName(std::uint16_t keyCode);
    // GNOME's accelerator notation, "<Control><Alt>space".
    static std::string gnomeAccelerator(std::uint16_t keyCode, std::uint64_t modifiers);
    // An accelerator in GNOME's notation in words, "Ctrl+Alt+Space"; empty
    // for an empty or disabled one.
    static std::string describeGnomeAccelerator(const std::string& accelerator);

    bool operator==(const HotkeyCombo&) const = default;
};

inline const HotkeyCombo HotkeyCombo::fnKey{KeyCode::function, 0, true};
inline const HotkeyCombo HotkeyCombo::controlOptionSpace{
    KeyCode::space, ModifierFlag::control | ModifierFlag::option, false};

// Preference keys of the stored hotkey.
namespace HotkeyPreference {
inline const std::string keyCode = "hotkeyKeyCode";
inline const std::string modifiers = "hotkeyModifiers";
inline const std::string isFnKey = "hotkeyIsFnKey";
}  // namespace HotkeyPreference

// The stored hotkey, or nothing when none is stored or what is stored is not
// something this program writes (it can never match, so it is not used).
std::optional<HotkeyCombo> loadStoredHotkey(const Preferences& preferences);
// Whether anything at all is stored under the hotkey's keys, usable or not.
bool hasStoredHotkeyValues(const Preferences& preferences);

// The modifiers a hotkey can hold; caps lock and fn never count.
constexpr std::uint64_t hotkeyModifierMask =
    ModifierFlag::shift | ModifierFlag::control | ModifierFlag::option | ModifierFlag::command;
void storeHotkey(Preferences& preferences, const HotkeyCombo& hotkey);

}  // namespace sayvo
