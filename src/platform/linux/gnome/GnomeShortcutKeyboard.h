#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "hotkey/DesktopBoundKeyboard.h"
#include "platform/Translations.h"
#include "platform/linux/gnome/GnomeCustomShortcut.h"

namespace sayvo {

// The keyboard on GNOME without the GlobalShortcuts portal (GNOME 43 to 47):
// the hotkey is a custom shortcut in GNOME's settings, added there when the
// user asks for it in the panel, and its runs come to the running Sayvo over
// the session bus, where a ShortcutRepeatReader reads the hold from them.
// Thread: main thread only.
// Failure: a refused write of GNOME's settings says why in problem().
class GnomeShortcutKeyboard final : public DesktopBoundKeyboard {
public:
    static constexpr Text unboundText = SAYVO_TEXT(
        "GnomeShortcutKeyboard", "在面板中点按快捷键按钮，把它添加到 GNOME 的键盘快捷键");
    static constexpr Text writeFailedText =
        SAYVO_TEXT("GnomeShortcutKeyboard", "无法写入 GNOME 的键盘快捷键设置");

    GnomeShortcutKeyboard(GnomeCustomShortcut& shortcut, KeyboardMonitoring& ownWindows,
                          std::function<void()> openShortcutSettings);
    GnomeShortcutKeyboard(const GnomeShortcutKeyboard&) = delete;
    GnomeShortcutKeyboard& operator=(const GnomeShortcutKeyboard&) = delete;

    // The runs never come through here: no key event is ever delivered.
    std::optional<MonitorToken> addGlobalMonitor(std::uint64_t, GlobalHandler) override {
        return newToken();
    }
    // The key to add when asked; GNOME's binding, once there, is what counts.
    KeyReservation reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) override;

    std::string desktopTrigger() const override;
    std::string bindingDesktop() const override { return "GNOME"; }
    // Adds the shortcut where there is none; else GNOME's own settings open.
    void openDesktopShortcutSettings() override;

    // Why the hotkey does not work now; nothing once GNOME has it bound.
    std::optional<std::string> problem() const;

private:
    GnomeCustomShortcut& shortcut_;
    std::function<void()> openShortcutSettings_;
    std::uint16_t keyCode_ = KeyCode::space;
    std::uint64_t modifiers_ = ModifierFlag::control | ModifierFlag::option;
    bool writeFailed_ = false;
};

}  // namespace sayvo
