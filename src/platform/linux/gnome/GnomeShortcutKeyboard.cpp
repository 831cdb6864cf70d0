#include "platform/linux/gnome/GnomeShortcutKeyboard.h"

#include "hotkey/HotkeyCombo.h"

namespace sayvo {

GnomeShortcutKeyboard::GnomeShortcutKeyboard(GnomeCustomShortcut& shortcut,
                                             KeyboardMonitoring& ownWindows,
                                             std::function<void()> openShortcutSettings)
    : shortcut_(shortcut),
      ownWindows_(ownWindows),
      openShortcutSettings_(std::move(openShortcutSettings)) {
    shortcut_.changed = [this] {
        if (triggerChanged_) triggerChanged_();
    };
}

std::optional<MonitorToken> GnomeShortcutKeyboard::addLocalMonitor(std::uint64_t eventMask,
                                                                   LocalHandler handler) {
    const auto inner = ownWindows_.addLocalMonitor(eventMask, std::move(handler));
    if (!inner) return std::nullopt;
    const MonitorToken token = nextToken_++;
    localTokens_[token] = *inner;
    return token;
}

void GnomeShortcutKeyboard::removeMonitor(MonitorToken token) {
    if (const auto it = localTokens_.find(token); it != localTokens_.end()) {
        ownWindows_.removeMonitor(it->second);
        localTokens_.erase(it);
    }
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
    if (triggerChanged_) triggerChanged_();
}

std::optional<std::string> GnomeShortcutKeyboard::problem() const {
    if (writeFailed_) return writeFailedText;
    if (desktopTrigger().empty()) return unboundText;
    return std::nullopt;
}

}  // namespace sayvo
