#pragma once

#include <memory>

#include "platform/Keyboard.h"
#include "platform/Scheduler.h"
#include "platform/linux/x11/X11KeyboardConnection.h"

namespace sayvo {

// Keyboard monitors on X11.
// Global: XInput2 raw key events on the root window (observe only; raw events
// never repeat) and XKB state events for modifier changes, read from a private
// X connection through a socket notifier on the Qt main loop. Modifier keys
// and the fn key (keysym XF86Fn) are reported as flags-changed events, every
// other key as key-down/key-up with the current modifier set. Events typed
// into Sayvo's own focused window go to the local monitors instead.
// Local: an application event filter on Sayvo's own windows; a handler that
// returns nothing consumes the event.
// Thread: main (GUI) thread only; needs a QGuiApplication.
// Failure: without an X display or the XInput2 extension, global monitors
// cannot be installed (no token); local monitors still work.
class X11KeyboardMonitor final : public KeyboardMonitoring {
public:
    // The clock times how long our own synthetic keys may take to come back.
    explicit X11KeyboardMonitor(const Scheduler& clock);
    ~X11KeyboardMonitor() override;
    X11KeyboardMonitor(const X11KeyboardMonitor&) = delete;
    X11KeyboardMonitor& operator=(const X11KeyboardMonitor&) = delete;

    std::optional<MonitorToken> addGlobalMonitor(std::uint64_t eventMask,
                                                 GlobalHandler handler) override;
    std::optional<MonitorToken> addLocalMonitor(std::uint64_t eventMask,
                                                LocalHandler handler) override;
    void removeMonitor(MonitorToken token) override;
    // As Linux desktops write shortcuts: "Ctrl+Alt+D", "Super+H".
    ModifierNotation modifierNotation() const override {
        return {"Ctrl", "Alt", "Shift", "Super", "+"};
    }

    bool hasFunctionKey() const override;
    // From the keysym of the layout in use; the key's code where it has none.
    KeyRole keyRole(std::uint16_t keyCode) const override;
    std::string keyName(std::uint16_t keyCode) const override;
    std::uint64_t currentModifierFlags() const override;
    // An X passive grab on the root window (as desktop shortcut daemons
    // take theirs); modifier-only hotkeys are never reserved.
    KeyReservation reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) override;
    void releaseReservedKey() override;

    // Whether system-wide observation works on this display.
    bool canObserveGlobally() const;
    const X11KeyboardConnection& connection() const;
    // Posts synthetic keys that no monitor of ours hears: the global ones by
    // the server's ordering, the local ones (when our window has the focus
    // and gets them) by matching the next such events within a second.
    void postUnobserved(const std::vector<X11FakeKey>& keys);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace sayvo
