#include "platform/linux/gnome/GnomeShortcutKeyboard.h"

#include "hotkey/HotkeyCombo.h"
#include "platform/linux/ui/QtTranslations.h"

namespace sayvo {

GnomeShortcutKeyboard::GnomeShortcutKeyboard(GnomeCustomShortcut& shortcut,
                                             KeyboardMonitoring& ownWindows,
                                             std::function<void()> openShortcutSettings)
    : DesktopBoundKeyboard(ownWindows),
      shortcut_(shortcut),
      openShortcutSettings_(std::move(openShortcutSettings)) {
    shortcut_.changed = [this] { announceTriggerChange(); };
}

KeyReservation GnomeShortcutKeyboard::reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) {
    if (isModifierKey(keyCode)) return KeyReservation::unavailable;
    keyCode_ = keyCode;
    modifiers_ = modifiers;
    return KeyReservation::reserved;
}

std::string GnomeShortcutKeyboard::desktopTrigger() const {
    return HotkeyCombo::describeGnomeAccelerator(shortcut_.accelerator());
}

void GnomeShortcutKeyboard::openDesktopShortcutSettings() {
    if (!desktopTrigger().empty()) {
        if (openShortcutSettings_) openShortcutSettings_();
        return;
    }
    writeFailed_ = !shortcut_.bind(HotkeyCombo::gnomeAccelerator(keyCode_, modifiers_));
    announceTriggerChange();
}

std::optional<std::string> GnomeShortcutKeyboard::problem() const {
    if (writeFailed_) return translated(writeFailedText);
    if (desktopTrigger().empty()) return translated(unboundText);
    return std::nullopt;
}

}  // namespace sayvo
