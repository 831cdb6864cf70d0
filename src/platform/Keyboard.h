#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace sayvo {

// Portable modifier bits; every backend reports these, whatever its native ones.
namespace ModifierFlag {
constexpr std::uint64_t capsLock = 0x10000;
constexpr std::uint64_t shift = 0x20000;
constexpr std::uint64_t control = 0x40000;
constexpr std::uint64_t option = 0x80000;    // Alt on Linux
constexpr std::uint64_t command = 0x100000;  // Super on Linux
constexpr std::uint64_t function = 0x800000;
}  // namespace ModifierFlag

// Portable key codes (the hardware-position codes of the US layout), e.g.
// 0 = A, 9 = V, 49 = Space, 53 = Escape, 63 = fn. Backends translate theirs.
namespace KeyCode {
constexpr std::uint16_t v = 9;
constexpr std::uint16_t space = 49;
constexpr std::uint16_t escape = 53;
constexpr std::uint16_t insert = 114;  // Help on Apple keyboards
// The modifier keys, left and right, lie together in 54-62.
constexpr std::uint16_t rightCommand = 54;
constexpr std::uint16_t command = 55;
constexpr std::uint16_t shift = 56;
constexpr std::uint16_t capsLock = 57;
constexpr std::uint16_t option = 58;
constexpr std::uint16_t control = 59;
constexpr std::uint16_t rightShift = 60;
constexpr std::uint16_t rightOption = 61;
constexpr std::uint16_t rightControl = 62;
constexpr std::uint16_t function = 63;
}  // namespace KeyCode

// The modifier bit a key sets while held (shift, control, option, command,
// left or right); nothing for every other key, fn and Caps Lock included.
constexpr std::optional<std::uint64_t> modifierFlagOfKey(std::uint16_t keyCode) {
    switch (keyCode) {
        case KeyCode::shift:
        case KeyCode::rightShift:
            return ModifierFlag::shift;
        case KeyCode::control:
        case KeyCode::rightControl:
            return ModifierFlag::control;
        case KeyCode::option:
        case KeyCode::rightOption:
            return ModifierFlag::option;
        case KeyCode::command:
        case KeyCode::rightCommand:
            return ModifierFlag::command;
        default:
            return std::nullopt;
    }
}

// A key that modifies others rather than standing for itself: the four
// modifiers above and fn.
constexpr bool isModifierKey(std::uint16_t keyCode) {
    return modifierFlagOfKey(keyCode).has_value() || keyCode == KeyCode::function;
}

enum class KeyEventType { keyDown, keyUp, flagsChanged };

// Event masks for the monitors.
namespace KeyEventMask {
constexpr std::uint64_t keyDown = 0x400;
constexpr std::uint64_t keyUp = 0x800;
constexpr std::uint64_t flagsChanged = 0x1000;
}  // namespace KeyEventMask

constexpr std::uint64_t maskOf(KeyEventType type) {
    switch (type) {
        case KeyEventType::keyDown:
            return KeyEventMask::keyDown;
        case KeyEventType::keyUp:
            return KeyEventMask::keyUp;
        case KeyEventType::flagsChanged:
            return KeyEventMask::flagsChanged;
    }
    return 0;
}

// One keyboard event. A flags-changed event carries the key that changed the
// modifiers and the whole modifier set after the change.
struct KeyEvent {
    KeyEventType type = KeyEventType::keyDown;
    std::uint16_t keyCode = 0;
    std::uint64_t modifierFlags = 0;
    bool isRepeat = false;
};

using MonitorToken = std::uint64_t;

// What a key does on its own on the user's layout, which decides whether it
// may be a hotkey without a modifier: a global hotkey is taken from every
// application, so a key that types would no longer type.
enum class KeyRole {
    types,         // enters, edits or moves through text: letters, digits, Space, Return, arrows
    standsAlone,   // types nothing: function keys, Pause, Scroll Lock, Menu, media keys
    selectsLevel,  // picks another level of the layout (AltGr): typing needs it as it is
};

// The role of a key from its portable code alone, for keyboards that cannot
// say more: function keys and the codes of keys without a US-layout position
// (media keys) stand alone, every other key types.
constexpr KeyRole keyRoleFromCode(std::uint16_t keyCode) {
    // F1-F20 and the volume keys.
    constexpr std::uint16_t typingNothing[] = {64,  72,  73,  74,  79,  80,  90,  96,
                                               97,  98,  99,  100, 101, 103, 105, 106,
                                               107, 109, 111, 113, 118, 120, 122};
    for (const std::uint16_t code : typingNothing) {
        if (code == keyCode) return KeyRole::standsAlone;
    }
    return keyCode >= 1000 ? KeyRole::standsAlone : KeyRole::types;
}

// How the desktop writes a shortcut's modifiers: symbols run together
// ("⌃⌥D") or words joined by a separator ("Ctrl+Alt+D").
struct ModifierNotation {
    std::string control = "⌃";
    std::string option = "⌥";
    std::string shift = "⇧";
    std::string command = "⌘";
    std::string separator;
};

// What came of taking a key for this application alone.
enum class KeyReservation {
    reserved,       // other applications no longer receive it
    heldElsewhere,  // another program holds the combination already
    unavailable,    // this keyboard or system cannot reserve it; it is observed only
};

// Observing the keyboard.
// Thread: main thread; handlers are called on the main thread.
// Failure: a monitor that cannot be installed gives no token and never fires.
class KeyboardMonitoring {
public:
    using GlobalHandler = std::function<void(const KeyEvent&)>;
    // Returns the event to pass on to the window, or nothing to consume it.
    using LocalHandler = std::function<std::optional<KeyEvent>(const KeyEvent&)>;

    virtual ~KeyboardMonitoring() = default;

    // Events addressed to other applications, system-wide; observe only.
    virtual std::optional<MonitorToken> addGlobalMonitor(std::uint64_t eventMask,
                                                         GlobalHandler handler) = 0;
    // Events addressed to this application's own windows; may consume them.
    virtual std::optional<MonitorToken> addLocalMonitor(std::uint64_t eventMask,
                                                        LocalHandler handler) = 0;
    // Unknown or already removed tokens are ignored.
    virtual void removeMonitor(MonitorToken token) = 0;

    // The desktop's way of writing a hotkey's modifiers.
    virtual ModifierNotation modifierNotation() const { return {}; }

    // What the key does on the current layout.
    virtual KeyRole keyRole(std::uint16_t keyCode) const { return keyRoleFromCode(keyCode); }
    // The key's name on the current layout ("Ö", "F5", "Pause"); empty where
    // the keyboard cannot say, and the logic's own label serves.
    virtual std::string keyName(std::uint16_t keyCode) const {
        (void)keyCode;
        return {};
    }

    // The modifiers held down now, system-wide; 0 where that cannot be known.
    virtual std::uint64_t currentModifierFlags() const { return 0; }

    // Whether the keyboard reports an fn key of its own.
    virtual bool hasFunctionKey() const { return true; }

    // Takes the key with exactly these modifiers (Caps Lock and Num Lock
    // aside) for this application alone: other applications get none of its
    // presses, repeats and releases, while the global monitors still see
    // them. Replaces an earlier reservation.
    virtual KeyReservation reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) {
        (void)keyCode;
        (void)modifiers;
        return KeyReservation::unavailable;
    }
    // Gives the reserved key back to the other applications; nothing if none.
    virtual void releaseReservedKey() {}

    // Where the desktop keeps the hotkey's binding itself (a Wayland
    // compositor), the user changes it there: Sayvo neither captures one nor
    // knows which key it is, only what the desktop calls it.
    virtual bool desktopOwnsBindings() const { return false; }
    // The desktop's words for the bound key, "Ctrl+Alt+Space"; empty while
    // it has bound none.
    virtual std::string desktopTrigger() const { return {}; }
    // Called whenever desktopTrigger() may have changed.
    virtual void setDesktopTriggerHandler(std::function<void()> handler) { (void)handler; }
    // Where Sayvo adds the binding to the desktop's settings itself, when
    // asked: the desktop's name, said beside the binding; empty elsewhere.
    virtual std::string bindingDesktop() const { return {}; }
    virtual void openDesktopShortcutSettings() {}
};

}  // namespace sayvo
