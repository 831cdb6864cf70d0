#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "core/Observable.h"
#include "core/SharedInstance.h"
#include "hotkey/HotkeyCombo.h"
#include "platform/Keyboard.h"
#include "platform/Preferences.h"
#include "platform/Scheduler.h"
#include "platform/Translations.h"

namespace sayvo {

// Watches the keyboard system-wide for the push-to-talk hotkey and reports
// exactly one key-down per press and one key-up per release, posted to the
// main queue. Also captures a new hotkey and keeps it in the preferences.
// Listening is watching for the current hotkey (startListening/stopListening).
// Capture (isListeningForHotkey, start/stopRecordingHotkey, recordHotkey) suspends listening.
// Thread: main thread only. Event handlers and posted reports hold the
// manager weakly. Make it with create(); the process-wide one is shared().
class HotkeyManager : public Observable, public std::enable_shared_from_this<HotkeyManager> {
public:
    using Action = std::function<void()>;

    static std::shared_ptr<HotkeyManager> create(Preferences& preferences,
                                                 KeyboardMonitoring& keyboard, Scheduler& scheduler,
                                                 const Translations& translations);
    ~HotkeyManager();

    // The process-wide instance, installed by the entry point (SharedInstance::Scope).
    static HotkeyManager& shared() { return SharedInstance<HotkeyManager>::get(); }

    Published<HotkeyCombo> currentHotkey{*this, HotkeyCombo::fnKey};
    // A capture is under way.
    Published<bool> isListeningForHotkey{*this, false};
    Published<bool> isKeyHeld{*this, false};
    // Another program holds the current hotkey: it cannot be taken for Sayvo.
    Published<bool> isHotkeyTaken{*this, false};
    // Where the desktop owns the binding: its words for the key, empty while
    // it has bound none.
    Published<std::string> desktopTrigger{*this, ""};

    // The hotkey as the user knows it: the desktop's binding where it owns
    // one, else the current hotkey in the desktop's notation.
    std::string displayString() const;

    // No hotkey is stored: the current one is the keyboard's default, fn
    // where the keyboard has one, else Ctrl+Alt+Space.
    bool usesDefaultHotkey() const { return !hasStoredHotkey_; }
    // Something is stored that can never work as a hotkey (a modifier alone,
    // a code that names no key): the default stands in for it.
    bool storedHotkeyIsUnusable() const { return storedHotkeyUnusable_; }

    void setKeyDownCallback(Action action) { onKeyDown_ = std::move(action); }
    void setKeyUpCallback(Action action) { onKeyUp_ = std::move(action); }

    // (Re)starts watching for the current hotkey; removes every monitor first.
    void startListening();
    void stopListening();

    // Capture: watching is suspended until an offered event is taken or the
    // capture is cancelled.
    void startRecordingHotkey();
    void stopRecordingHotkey();
    // Offers a key-down or flags-changed event; true when it became the hotkey.
    // A key refused as a hotkey leaves the capture going, with the reason in
    // captureRefusal until the capture ends.
    bool recordHotkey(const KeyEvent& event);
    Published<std::string> captureRefusal{*this, ""};

private:
    HotkeyManager(Preferences& preferences, KeyboardMonitoring& keyboard, Scheduler& scheduler,
                  const Translations& translations);

    void startFnKeyListening();
    bool startRegularKeyListening();
    void handleFnKey(const KeyEvent& event);
    bool handleKeyEvent(const KeyEvent& event);
    void reportKeyDown();
    void reportKeyUp();
    void saveHotkey();
    void loadHotkey();
    void adoptHotkey(const HotkeyCombo& hotkey);
    // Why the combination cannot be the hotkey; nothing when it can.
    std::optional<std::string> refusalOf(const HotkeyCombo& hotkey) const;
    std::string keyName(std::uint16_t keyCode) const;

    Preferences& preferences_;
    KeyboardMonitoring& keyboard_;
    Scheduler& scheduler_;
    const Translations& translations_;
    std::optional<MonitorToken> flagsMonitor_;
    std::optional<MonitorToken> keyMonitor_;
    std::optional<MonitorToken> localKeyMonitor_;
    bool keyReserved_ = false;
    bool hasStoredHotkey_ = false;
    bool storedHotkeyUnusable_ = false;
    Action onKeyDown_;
    Action onKeyUp_;
};

}  // namespace sayvo
