#include <gtest/gtest.h>

#include "FakeServices.h"
#include "hotkey/HotkeyCombo.h"
#include "platform/Keyboard.h"
#include "portal/ShortcutPortalKeyboard.h"

using namespace sayvo;

using M = std::uint64_t;
constexpr M kShift = ModifierFlag::shift, kControl = ModifierFlag::control,
            kOption = ModifierFlag::option, kCommand = ModifierFlag::command;

TEST(HotkeyComboTest, DisplayStringShowsModifiersInFixedOrderThenTheLabel) {
    const struct {
        HotkeyCombo combo;
        std::string text;
    } cases[] = {{{49, 0xFFFFFF, true}, "fn"},  // fn ignores the other fields
                 {{49, kOption, false}, "⌥Space"},
                 {{0, kCommand | kShift | kControl, false}, "⌃⇧⌘A"},
                 {{127, kCommand, false}, "⌘Key127"},  // just past the table
                 {{53, ModifierFlag::capsLock | ModifierFlag::function, false}, "⎋"},
                 {{126, kOption | kShift, false}, "⌥⇧↑"}};
    for (const auto& c : cases) EXPECT_EQ(c.combo.displayString(), c.text);
}

// The US positions are not in order: a shifted entry names another key.
TEST(HotkeyComboTest, LabelsFollowTheUSPositions) {
    std::string labels;
    for (std::uint16_t code = 0; code <= 53; ++code) labels += HotkeyCombo::keyCodeToString(code);
    EXPECT_EQ(labels, "ASDFHGZXCVKey10BQWERYT123465=97-80]OU[IP↩LJ'K;\\,/NM.⇥Space`⌫Key52⎋");
    std::string functionKeys;
    for (std::uint16_t code : {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111, 105, 107,
                               113, 123, 124, 125, 126})
        functionKeys += HotkeyCombo::keyCodeToString(code) + " ";
    EXPECT_EQ(functionKeys, "F1 F2 F3 F4 F5 F6 F7 F8 F9 F10 F11 F12 F13 F14 F15 ← → ↓ ↑ ");
}

TEST(HotkeyComboTest, StoredValuesThisProgramNeverWritesAreNotUsed) {
    using V = sim::FakePreferences::Value;
    const struct {
        const char* name;
        V keyCode, modifiers, isFnKey;
    } cases[] = {
        {"negative key code", std::int64_t{-1}, std::int64_t{0}, false},
        {"negative modifiers", std::int64_t{49}, std::int64_t{-0x80000}, false},
        {"modifier bits that never match", std::int64_t{49}, std::int64_t{0x800000}, false},
        {"string key code", std::string("49"), std::int64_t{0}, false},
        {"float modifiers", std::int64_t{49}, 524288.0, false},
        {"fn flag as integer, no integers", std::string("x"), std::string("y"), std::int64_t{1}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::FakePreferences prefs;
        prefs.raw = {{"hotkeyKeyCode", c.keyCode},
                     {"hotkeyModifiers", c.modifiers},
                     {"hotkeyIsFnKey", c.isFnKey}};
        EXPECT_EQ(loadStoredHotkey(prefs), std::nullopt);
    }
    // fn false defers to the integers; with one missing there is nothing to use.
    sim::FakePreferences prefs;
    prefs.raw = {{"hotkeyIsFnKey", false}, {"hotkeyKeyCode", std::int64_t{0}}};
    EXPECT_EQ(loadStoredHotkey(prefs), std::nullopt);
    prefs.raw["hotkeyModifiers"] = std::int64_t{0};
    EXPECT_EQ(loadStoredHotkey(prefs), (HotkeyCombo{0, 0, false})) << "A, the first code";
}

// GNOME's and the portal's notations: what Sayvo writes, and any GNOME binding it reads back.
TEST(HotkeyComboTest, AcceleratorsAreWrittenByKeysymAndGnomesAreReadInWords) {
    const struct {
        std::uint16_t key;
        M modifiers;
        const char *portal, *accelerator, *words;
    } written[] = {
        {KeyCode::space, kControl | kOption, "CTRL+ALT+space", "<Control><Alt>space",
         "Ctrl+Alt+Space"},
        {KeyCode::v, kShift | kCommand, "SHIFT+LOGO+v", "<Shift><Super>v", "Shift+Super+V"},
        {27, kControl, "CTRL+minus", "<Control>minus", "Ctrl+Minus"},
        {36, kControl, "CTRL+Return", "<Control>Return", "Ctrl+Return"},
        {51, 0, "BackSpace", "BackSpace", "BackSpace"},
        {122, kOption, "ALT+F1", "<Alt>F1", "Alt+F1"}};
    for (const auto& c : written) {
        EXPECT_EQ(ShortcutPortalKeyboard::portalTrigger(c.key, c.modifiers), c.portal);
        EXPECT_EQ(HotkeyCombo::gnomeAccelerator(c.key, c.modifiers), c.accelerator);
        EXPECT_EQ(HotkeyCombo::describeGnomeAccelerator(c.accelerator), c.words);
    }
    const std::pair<const char*, const char*> read[] = {{"<Primary><ALT>F9", "Ctrl+Alt+F9"},
                                                        {"disabled", ""},
                                                        {"", ""},
                                                        {"<Hyper>a", ""},
                                                        {"<Control", ""}};
    for (const auto& [accelerator, words] : read)
        EXPECT_EQ(HotkeyCombo::describeGnomeAccelerator(accelerator), words) << accelerator;
    // The portal's description of a binding, for the hotkey row: GNOME's, then KDE's.
    const std::pair<const char*, const char*> described[] = {
        {"Press <Control><Alt>space", "Ctrl+Alt+Space"},
        {"Ctrl+Alt+Space", "Ctrl+Alt+Space"},
        {"Press <Hyper>x", "Press <Hyper>x"}};
    for (const auto& [description, words] : described)
        EXPECT_EQ(ShortcutPortalKeyboard::readableTrigger(description), words);
}
