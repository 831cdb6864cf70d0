#include "hotkey/HotkeyCombo.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "platform/Keyboard.h"

namespace sayvo {

namespace {

const char* labelFor(std::uint16_t keyCode) {
    static const std::array<const char*, 127> labels = [] {
        std::array<const char*, 127> t{};
        const char* letters0to9[] = {"A", "S", "D", "F", "H", "G", "Z", "X", "C", "V"};
        for (int i = 0; i <= 9; ++i) t[i] = letters0to9[i];
        const char* row11to47[] = {"B", "Q", "W", "E", "R", "Y",  "T", "1", "2", "3", "4", "6", "5",
                                   "=", "9", "7", "-", "8", "0",  "]", "O", "U", "[", "I", "P", "↩",
                                   "L", "J", "'", "K", ";", "\\", ",", "/", "N", "M", "."};
        for (int i = 11; i <= 47; ++i) t[i] = row11to47[i - 11];
        t[48] = "⇥";
        t[49] = "Space";
        t[50] = "`";
        t[51] = "⌫";
        t[53] = "⎋";
        t[KeyCode::function] = "fn";
        t[64] = "F17";
        t[79] = "F18";
        t[80] = "F19";
        t[90] = "F20";
        t[106] = "F16";
        t[96] = "F5";
        t[97] = "F6";
        t[98] = "F7";
        t[99] = "F3";
        t[100] = "F8";
        t[101] = "F9";
        t[103] = "F11";
        t[105] = "F13";
        t[107] = "F14";
        t[109] = "F10";
        t[111] = "F12";
        t[113] = "F15";
        t[118] = "F4";
        t[120] = "F2";
        t[122] = "F1";
        t[123] = "←";
        t[124] = "→";
        t[125] = "↓";
        t[126] = "↑";
        return t;
    }();
    return keyCode < labels.size() ? labels[keyCode] : nullptr;
}

}  // namespace

std::string HotkeyCombo::keyCodeToString(std::uint16_t keyCode) {
    if (const char* label = labelFor(keyCode)) return label;
    return "Key" + std::to_string(keyCode);
}

std::string HotkeyCombo::keysymName(std::uint16_t keyCode) {
    static const std::array<std::pair<const char*, const char*>, 21> kKeysyms{{
        {"Space", "space"},   {"↩", "Return"},       {"⇥", "Tab"},
        {"⌫", "BackSpace"},   {"⎋", "Escape"},       {"←", "Left"},
        {"→", "Right"},       {"↓", "Down"},         {"↑", "Up"},
        {"fn", ""},           {"-", "minus"},        {"=", "equal"},
        {"[", "bracketleft"}, {"]", "bracketright"}, {"\\", "backslash"},
        {";", "semicolon"},   {"'", "apostrophe"},   {",", "comma"},
        {".", "period"},      {"/", "slash"},        {"`", "grave"},
    }};
    std::string key = keyCodeToString(keyCode);
    for (const auto& [label, keysym] : kKeysyms) {
        if (key == label) return keysym;
    }
    if (key.size() == 1 && key[0] >= 'A' && key[0] <= 'Z') key[0] = char(key[0] - 'A' + 'a');
    return key;
}

std::string HotkeyCombo::gnomeAccelerator(std::uint16_t keyCode, std::uint64_t modifiers) {
    const ModifierNotation gnome{"<Control>", "<Alt>", "<Shift>", "<Super>", ""};
    return modifierString(modifiers, gnome) + keysymName(keyCode);
}

std::string HotkeyCombo::describeGnomeAccelerator(const std::string& accelerator) {
    static const std::array<std::pair<const char*, const char*>, 7> kModifiers{{
        {"<control>", "Ctrl"},
        {"<primary>", "Ctrl"},
        {"<ctrl>", "Ctrl"},
        {"<alt>", "Alt"},
        {"<shift>", "Shift"},
        {"<super>", "Super"},
        {"<meta>", "Meta"},
    }};
    std::string rest = accelerator, text;
    while (rest.starts_with('<')) {
        const auto end = rest.find('>');
        if (end == std::string::npos) return {};
        std::string name = rest.substr(0, end + 1);
        for (char& c : name) c = char(std::tolower(static_cast<unsigned char>(c)));
        const auto* known = std::find_if(kModifiers.begin(), kModifiers.end(),
                                         [&](const auto& m) { return name == m.first; });
        if (known == kModifiers.end()) return {};
        text += std::string(known->second) + "+";
        rest.erase(0, end + 1);
    }
    if (rest.empty() || rest == "disabled") return {};
    rest[0] = char(std::toupper(static_cast<unsigned char>(rest[0])));
    return text + rest;
}

std::string HotkeyCombo::modifierString(std::uint64_t modifiers, const ModifierNotation& notation) {
    std::string text;
    if (modifiers & ModifierFlag::control) text += notation.control + notation.separator;
    if (modifiers & ModifierFlag::option) text += notation.option + notation.separator;
    if (modifiers & ModifierFlag::shift) text += notation.shift + notation.separator;
    if (modifiers & ModifierFlag::command) text += notation.command + notation.separator;
    return text;
}

std::string HotkeyCombo::displayString(const ModifierNotation& notation,
                                       const std::string& keyName) const {
    if (isFnKey) return "fn";
    return modifierString(modifiers, notation) +
           (keyName.empty() ? keyCodeToString(keyCode) : keyName);
}

bool hasStoredHotkeyValues(const Preferences& preferences) {
    for (const std::string* key :
         {&HotkeyPreference::keyCode, &HotkeyPreference::modifiers, &HotkeyPreference::isFnKey}) {
        if (preferences.integerForKey(*key) || preferences.boolForKey(*key) ||
            preferences.stringForKey(*key)) {
            return true;
        }
    }
    return false;
}

std::optional<HotkeyCombo> loadStoredHotkey(const Preferences& preferences) {
    if (preferences.boolForKey(HotkeyPreference::isFnKey).value_or(false))
        return HotkeyCombo::fnKey;
    const auto keyCode = preferences.integerForKey(HotkeyPreference::keyCode);
    const auto modifiers = preferences.integerForKey(HotkeyPreference::modifiers);
    if (!keyCode || !modifiers) return std::nullopt;
    // Values this program never writes would make a hotkey that can never be
    // pressed; the preset serves the user better than a dead key.
    // Key codes name a US-layout position (below 128) or, from 1000 on, a key
    // beyond that layout; a modifier key alone is never the hotkey's key.
    const bool knownKey =
        (*keyCode >= 0 && *keyCode < 128) || (*keyCode >= 1000 && *keyCode < 2000);
    if (!knownKey || isModifierKey(static_cast<std::uint16_t>(*keyCode))) return std::nullopt;
    if (*modifiers < 0 || (static_cast<std::uint64_t>(*modifiers) & ~hotkeyModifierMask) != 0) {
        return std::nullopt;
    }
    return HotkeyCombo{static_cast<std::uint16_t>(*keyCode), static_cast<std::uint64_t>(*modifiers),
                       false};
}

void storeHotkey(Preferences& preferences, const HotkeyCombo& hotkey) {
    preferences.setInteger(HotkeyPreference::keyCode, hotkey.keyCode);
    preferences.setInteger(HotkeyPreference::modifiers,
                           static_cast<std::int64_t>(hotkey.modifiers));
    preferences.setBool(HotkeyPreference::isFnKey, hotkey.isFnKey);
}

}  // namespace sayvo
