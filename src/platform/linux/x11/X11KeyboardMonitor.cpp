#include "platform/linux/x11/X11KeyboardMonitor.h"

#include <QAbstractEventDispatcher>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QSocketNotifier>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "platform/linux/KeyCodeTranslation.h"
#include "platform/linux/KeysymNames.h"

namespace sayvo {

namespace {
struct Monitor {
    MonitorToken token = 0;
    std::uint64_t mask = 0;
    KeyboardMonitoring::GlobalHandler global;
    KeyboardMonitoring::LocalHandler local;
};
}  // namespace

struct X11KeyboardMonitor::Impl : public QObject {
    X11KeyboardConnection connection;
    std::unique_ptr<QSocketNotifier> notifier;
    std::vector<Monitor> monitors;
    MonitorToken nextToken = 1;
    bool localFnHeld = false;
    // Our own synthetic keys on their way to our focused window.
    std::vector<X11FakeKey> unheardLocally;
    std::vector<X11FakeKey> deferred;  // posted while the grabbed hotkey was down
    const Scheduler& clock;
    double unheardUntil = 0;

    explicit Impl(const Scheduler& clock) : clock(clock) {
        if (connection.isOpen()) {
            notifier = std::make_unique<QSocketNotifier>(connection.fileDescriptor(),
                                                         QSocketNotifier::Read);
            QObject::connect(notifier.get(), &QSocketNotifier::activated, this,
                             [this] { drain(); });
            // A round trip (a grab, a look at the keymap) reads waiting events
            // into Xlib's queue without a word from the socket: they are
            // handled before the loop sleeps, not at the next key.
            QObject::connect(QAbstractEventDispatcher::instance(),
                             &QAbstractEventDispatcher::aboutToBlock, this, [this] {
                                 if (connection.hasQueuedEvents()) drain();
                             });
            drain();
        }
        qApp->installEventFilter(this);
    }

    ~Impl() override {
        if (qApp) qApp->removeEventFilter(this);
    }

    void drain() {
        connection.drain([this](const KeyEvent& event) { deliverGlobal(event); });
        if (!deferred.empty() && !connection.isGrabbedKeyDown()) {
            std::vector<X11FakeKey> keys;
            keys.swap(deferred);
            postUnobserved(keys);
        }
    }

    bool isInstalled(MonitorToken token) const {
        for (const auto& m : monitors) {
            if (m.token == token) return true;
        }
        return false;
    }

    static bool ownWindowHasFocus() {
        const QWindow* focused = QGuiApplication::focusWindow();
        return focused && focused->isVisible();
    }

    bool isGrabbedEvent(const KeyEvent& event) const {
        return event.type != KeyEventType::flagsChanged && connection.isGrabbed(event.keyCode);
    }

    void deliverGlobal(const KeyEvent& event) {
        // Keys typed into our own focused window belong to the local monitors.
        // Qt can go on naming a hidden panel as focused (the server moved the
        // focus back to the root without a word): a hidden window types nothing.
        // A grabbed key never reaches our windows either: it stays global.
        if (ownWindowHasFocus() && !isGrabbedEvent(event)) return;
        const auto snapshot = monitors;  // a handler may add or remove monitors
        for (const auto& monitor : snapshot) {
            if (monitor.global && (monitor.mask & maskOf(event.type)) &&
                isInstalled(monitor.token)) {
                monitor.global(event);
            }
        }
    }

    std::optional<KeyEvent> translateLocal(const QKeyEvent& key) {
        const bool press = key.type() == QEvent::KeyPress;
        const std::uint16_t code = portableKeyCodeForX11(key.nativeScanCode());
        std::uint64_t flags = connection.flagsForNativeState(key.nativeModifiers());
        if (X11KeyboardConnection::isFnKeysym(key.nativeVirtualKey()) ||
            code == KeyCode::function) {
            if (key.isAutoRepeat()) return std::nullopt;
            localFnHeld = press;
            return KeyEvent{KeyEventType::flagsChanged, KeyCode::function,
                            flags | (press ? ModifierFlag::function : 0), false};
        }
        if (localFnHeld) flags |= ModifierFlag::function;
        if (const auto bit = modifierFlagOfKey(code)) {
            if (key.isAutoRepeat()) return std::nullopt;
            // The native state is from before this key: apply the key itself.
            flags = press ? (flags | *bit) : (flags & ~*bit);
            return KeyEvent{KeyEventType::flagsChanged, code, flags, false};
        }
        // X repeats a held key as release-press pairs, and Qt spots the pair
        // only when both have arrived: ask the server whether the key is still
        // down. Reporting a repeat's release would end a held hotkey.
        if (!press && (key.isAutoRepeat() || connection.isKeyDown(key.nativeScanCode()))) {
            return std::nullopt;
        }
        return KeyEvent{press ? KeyEventType::keyDown : KeyEventType::keyUp, code, flags,
                        key.isAutoRepeat()};
    }

    void postUnobserved(const std::vector<X11FakeKey>& keys) {
        // While the reserved hotkey is held, its grab sends every key to us:
        // the keys wait for its release to reach the focused application.
        if (connection.isGrabbedKeyDown()) {
            deferred.insert(deferred.end(), keys.begin(), keys.end());
            return;
        }
        connection.postUnobserved(keys, [this](const KeyEvent& event) { deliverGlobal(event); });
        if (ownWindowHasFocus()) {
            if (clock.now() > unheardUntil) unheardLocally.clear();
            unheardLocally.insert(unheardLocally.end(), keys.begin(), keys.end());
            unheardUntil = clock.now() + 1.0;
        }
    }

    bool isOwnSyntheticKey(const QKeyEvent& key) {
        if (unheardLocally.empty()) return false;
        if (clock.now() > unheardUntil) {
            unheardLocally.clear();
            return false;
        }
        const bool press = key.type() == QEvent::KeyPress;
        const auto it =
            std::find_if(unheardLocally.begin(), unheardLocally.end(), [&](const X11FakeKey& fake) {
                return fake.keycode == key.nativeScanCode() && fake.press == press;
            });
        if (it == unheardLocally.end()) return false;
        unheardLocally.erase(it);
        return true;
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if ((event->type() != QEvent::KeyPress && event->type() != QEvent::KeyRelease) ||
            !watched->isWindowType()) {
            return false;
        }
        // The window still gets it; our monitors do not.
        if (isOwnSyntheticKey(static_cast<const QKeyEvent&>(*event))) return false;
        const auto translated = translateLocal(static_cast<const QKeyEvent&>(*event));
        if (!translated) return false;
        bool consumed = false;
        const auto snapshot = monitors;
        for (const auto& monitor : snapshot) {
            if (monitor.local && (monitor.mask & maskOf(translated->type)) &&
                isInstalled(monitor.token) && !monitor.local(*translated)) {
                consumed = true;
            }
        }
        return consumed;
    }
};

X11KeyboardMonitor::X11KeyboardMonitor(const Scheduler& clock)
    : impl_(std::make_unique<Impl>(clock)) {}
X11KeyboardMonitor::~X11KeyboardMonitor() = default;

std::uint64_t X11KeyboardMonitor::currentModifierFlags() const {
    return impl_->connection.currentFlags();
}

KeyRole X11KeyboardMonitor::keyRole(std::uint16_t keyCode) const {
    const unsigned long keysym = impl_->connection.keysymOf(keyCode);
    return keysym ? keyRoleOfKeysym(keysym) : keyRoleFromCode(keyCode);
}

std::string X11KeyboardMonitor::keyName(std::uint16_t keyCode) const {
    return keyNameOfKeysym(impl_->connection.keysymOf(keyCode));
}

bool X11KeyboardMonitor::hasFunctionKey() const {
    return impl_->connection.hasFnKey();
}

KeyReservation X11KeyboardMonitor::reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) {
    return impl_->connection.grabKey(keyCode, modifiers);
}

void X11KeyboardMonitor::releaseReservedKey() {
    impl_->connection.ungrabKey();
}

bool X11KeyboardMonitor::canObserveGlobally() const {
    return impl_->connection.isOpen();
}

const X11KeyboardConnection& X11KeyboardMonitor::connection() const {
    return impl_->connection;
}

void X11KeyboardMonitor::postUnobserved(const std::vector<X11FakeKey>& keys) {
    impl_->postUnobserved(keys);
}

std::optional<MonitorToken> X11KeyboardMonitor::addGlobalMonitor(std::uint64_t eventMask,
                                                                 GlobalHandler handler) {
    if (!impl_->connection.isOpen() || !handler) return std::nullopt;
    const MonitorToken token = impl_->nextToken++;
    impl_->monitors.push_back({token, eventMask, std::move(handler), nullptr});
    return token;
}

std::optional<MonitorToken> X11KeyboardMonitor::addLocalMonitor(std::uint64_t eventMask,
                                                                LocalHandler handler) {
    if (!handler) return std::nullopt;
    const MonitorToken token = impl_->nextToken++;
    impl_->monitors.push_back({token, eventMask, nullptr, std::move(handler)});
    return token;
}

void X11KeyboardMonitor::removeMonitor(MonitorToken token) {
    std::erase_if(impl_->monitors, [token](const Monitor& m) { return m.token == token; });
}

}  // namespace sayvo
