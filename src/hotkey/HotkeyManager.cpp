#include "hotkey/HotkeyManager.h"

namespace sayvo {

std::shared_ptr<HotkeyManager> HotkeyManager::create(Preferences& preferences,
                                                     KeyboardMonitoring& keyboard,
                                                     Scheduler& scheduler,
                                                     const Translations& translations) {
    return std::shared_ptr<HotkeyManager>(
        new HotkeyManager(preferences, keyboard, scheduler, translations));
}

HotkeyManager::HotkeyManager(Preferences& preferences, KeyboardMonitoring& keyboard,
                             Scheduler& scheduler, const Translations& translations)
    : preferences_(preferences),
      keyboard_(keyboard),
      scheduler_(scheduler),
      translations_(translations) {
    loadHotkey();
    if (keyboard_.desktopOwnsBindings()) {
        keyboard_.setDesktopTriggerHandler([this] { desktopTrigger = keyboard_.desktopTrigger(); });
    }
}

HotkeyManager::~HotkeyManager() {
    if (keyboard_.desktopOwnsBindings()) keyboard_.setDesktopTriggerHandler({});
    stopListening();
}

std::string HotkeyManager::displayString() const {
    if (keyboard_.desktopOwnsBindings() && !desktopTrigger.get().empty()) return desktopTrigger;
    const HotkeyCombo& hotkey = currentHotkey;
    return hotkey.displayString(keyboard_.modifierNotation(),
                                hotkey.isFnKey ? "" : keyboard_.keyName(hotkey.keyCode));
}

void HotkeyManager::startListening() {
    stopListening();
    bool taken = false;
    if (currentHotkey.get().isFnKey) {
        startFnKeyListening();
    } else {
        taken = !startRegularKeyListening();
    }
    // Told again for each attempt that finds it taken, so a second taken
    // combination is heard of too.
    if (taken || isHotkeyTaken) isHotkeyTaken = taken;
}

void HotkeyManager::stopListening() {
    for (auto* token : {&flagsMonitor_, &keyMonitor_, &localKeyMonitor_}) {
        if (*token) keyboard_.removeMonitor(**token);
        token->reset();
    }
    if (keyReserved_) keyboard_.releaseReservedKey();
    keyReserved_ = false;
}

void HotkeyManager::startFnKeyListening() {
    std::weak_ptr<HotkeyManager> weak = weak_from_this();
    flagsMonitor_ =
        keyboard_.addGlobalMonitor(KeyEventMask::flagsChanged, [weak](const KeyEvent& e) {
            if (auto self = weak.lock()) self->handleFnKey(e);
        });
    localKeyMonitor_ = keyboard_.addLocalMonitor(
        KeyEventMask::flagsChanged, [weak](const KeyEvent& e) -> std::optional<KeyEvent> {
            if (auto self = weak.lock()) self->handleFnKey(e);
            return e;
        });
}

// False when another program holds the combination: then nothing watches for
// it either, or one press would start a dictation here and there and paste twice.
bool HotkeyManager::startRegularKeyListening() {
    // A key that types something is taken from the other applications, or
    // holding it would type into the one the user dictates into; fn types nothing.
    const HotkeyCombo& hotkey = currentHotkey;
    const KeyReservation reservation = keyboard_.reserveKey(hotkey.keyCode, hotkey.modifiers);
    if (reservation == KeyReservation::heldElsewhere) return false;
    keyReserved_ = reservation == KeyReservation::reserved;
    std::weak_ptr<HotkeyManager> weak = weak_from_this();
    const auto mask = KeyEventMask::keyDown | KeyEventMask::keyUp;
    keyMonitor_ = keyboard_.addGlobalMonitor(mask, [weak](const KeyEvent& e) {
        if (auto self = weak.lock()) self->handleKeyEvent(e);
    });
    localKeyMonitor_ =
        keyboard_.addLocalMonitor(mask, [weak](const KeyEvent& e) -> std::optional<KeyEvent> {
            auto self = weak.lock();
            if (self && self->handleKeyEvent(e)) return std::nullopt;
            return e;
        });
    return true;
}

void HotkeyManager::handleFnKey(const KeyEvent& event) {
    const bool fnDown = (event.modifierFlags & ModifierFlag::function) != 0;
    if (fnDown && !isKeyHeld && !isListeningForHotkey) {
        isKeyHeld = true;
        reportKeyDown();
    } else if (!fnDown && isKeyHeld) {
        isKeyHeld = false;
        reportKeyUp();
    }
}

bool HotkeyManager::handleKeyEvent(const KeyEvent& event) {
    if (isListeningForHotkey) return false;
    const HotkeyCombo& hotkey = currentHotkey;
    if (event.keyCode != hotkey.keyCode) return false;
    const std::uint64_t flags = event.modifierFlags & hotkeyModifierMask;
    // People often let go of the modifier first: while held, the release of
    // the key itself ends the hotkey whatever modifiers remain.
    if (event.type == KeyEventType::keyUp && isKeyHeld) {
        isKeyHeld = false;
        reportKeyUp();
        return true;
    }
    if (flags != hotkey.modifiers) return false;
    if (event.type == KeyEventType::keyDown && !isKeyHeld) {
        isKeyHeld = true;
        reportKeyDown();
        return true;
    }
    return false;
}

void HotkeyManager::reportKeyDown() {
    std::weak_ptr<HotkeyManager> weak = weak_from_this();
    scheduler_.post([weak] {
        auto self = weak.lock();
        if (self && self->onKeyDown_) self->onKeyDown_();
    });
}

void HotkeyManager::reportKeyUp() {
    std::weak_ptr<HotkeyManager> weak = weak_from_this();
    scheduler_.post([weak] {
        auto self = weak.lock();
        if (self && self->onKeyUp_) self->onKeyUp_();
    });
}

void HotkeyManager::startRecordingHotkey() {
    captureRefusal = "";
    isListeningForHotkey = true;
    stopListening();
}

void HotkeyManager::stopRecordingHotkey() {
    captureRefusal = "";
    isListeningForHotkey = false;
    startListening();
}

bool HotkeyManager::recordHotkey(const KeyEvent& event) {
    if (!isListeningForHotkey) return false;
    if ((event.modifierFlags & ModifierFlag::function) && event.keyCode == KeyCode::function) {
        adoptHotkey(HotkeyCombo::fnKey);
        return true;
    }
    // Pressed alone, a modifier key neither ends nor changes a capture.
    if (modifierFlagOfKey(event.keyCode)) return false;
    const HotkeyCombo hotkey{event.keyCode, event.modifierFlags & hotkeyModifierMask, false};
    if (auto refusal = refusalOf(hotkey)) {
        captureRefusal = std::move(*refusal);
        return false;
    }
    adoptHotkey(hotkey);
    return true;
}

std::optional<std::string> HotkeyManager::refusalOf(const HotkeyCombo& hotkey) const {
    const std::string name = keyName(hotkey.keyCode);
    switch (keyboard_.keyRole(hotkey.keyCode)) {
        case KeyRole::selectsLevel:
            return withArguments(
                translations_.text(SAYVO_TEXT("HotkeyManager", "%1 用于输入字符，不能作为快捷键")),
                {name});
        case KeyRole::types:
            // Shift alone still types: Shift+A is "A".
            if ((hotkey.modifiers & ~ModifierFlag::shift) == 0)
                return withArguments(
                    translations_.text(
                        SAYVO_TEXT("HotkeyManager", "%1 会影响打字，请加上 Ctrl、Alt 或 Super")),
                    {HotkeyCombo::modifierString(hotkey.modifiers, keyboard_.modifierNotation()) +
                     name});
            return std::nullopt;
        case KeyRole::standsAlone:
            return std::nullopt;
    }
    return std::nullopt;
}

std::string HotkeyManager::keyName(std::uint16_t keyCode) const {
    std::string name = keyboard_.keyName(keyCode);
    return name.empty() ? HotkeyCombo::keyCodeToString(keyCode) : name;
}

void HotkeyManager::adoptHotkey(const HotkeyCombo& hotkey) {
    captureRefusal = "";
    currentHotkey = hotkey;
    saveHotkey();
    isListeningForHotkey = false;
    startListening();
}

void HotkeyManager::saveHotkey() {
    storeHotkey(preferences_, currentHotkey);
    hasStoredHotkey_ = true;
}

// The default is chosen afresh at each start and never stored, so a keyboard
// that gains an fn key later gets it.
void HotkeyManager::loadHotkey() {
    const auto stored = loadStoredHotkey(preferences_);
    // A desktop that binds the key itself takes no fn, and its settings are
    // where the key changes: the preset stands in, and the stored fn stays
    // for the next X11 session.
    const bool fnUnbindable = stored && stored->isFnKey && keyboard_.desktopOwnsBindings();
    hasStoredHotkey_ = stored && !fnUnbindable;
    storedHotkeyUnusable_ = !stored && hasStoredHotkeyValues(preferences_);
    currentHotkey =
        hasStoredHotkey_
            ? *stored
            : (keyboard_.hasFunctionKey() ? HotkeyCombo::fnKey : HotkeyCombo::controlOptionSpace);
}

}  // namespace sayvo
