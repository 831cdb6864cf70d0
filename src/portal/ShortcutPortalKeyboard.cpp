#include "portal/ShortcutPortalKeyboard.h"

#include <algorithm>
#include <utility>

#include "hotkey/HotkeyCombo.h"

namespace sayvo {

ShortcutPortalKeyboard::ShortcutPortalKeyboard(GlobalShortcutsPortal& portal,
                                               PortalAppRegistration& registration,
                                               KeyboardMonitoring& ownWindows,
                                               const Translations& translations,
                                               std::function<void()> openShortcutSettings)
    : DesktopBoundKeyboard(ownWindows),
      portal_(portal),
      translations_(translations),
      registration_(registration),
      openShortcutSettings_(std::move(openShortcutSettings)) {}

std::optional<MonitorToken> ShortcutPortalKeyboard::addGlobalMonitor(std::uint64_t eventMask,
                                                                     GlobalHandler handler) {
    const MonitorToken token = newToken();
    globals_[token] = {eventMask, std::move(handler)};
    return token;
}

void ShortcutPortalKeyboard::removeMonitor(MonitorToken token) {
    globals_.erase(token);
    DesktopBoundKeyboard::removeMonitor(token);
}

KeyReservation ShortcutPortalKeyboard::reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) {
    releaseReservedKey();
    if (isModifierKey(keyCode)) return KeyReservation::unavailable;
    if (!portal_.available()) {
        fail(noPortalText);
        return KeyReservation::unavailable;
    }
    keyCode_ = keyCode;
    modifiers_ = modifiers;
    reserved_ = true;
    // A session that ended is opened again; one under way or bound is kept,
    // since the desktop's binding, not ours, decides the key from then on.
    if (state_ == State::idle || state_ == State::failed) openSession();
    return KeyReservation::reserved;
}

// A hold under way still ends with its key-up: the hotkey logic would
// otherwise take the key for held until the next release.
void ShortcutPortalKeyboard::releaseReservedKey() {
    reserved_ = false;
}

std::optional<std::string> ShortcutPortalKeyboard::problem() const {
    switch (state_) {
        case State::idle:
        case State::creatingSession:
        case State::binding:
            return translations_.text(pendingText);
        case State::failed:
            return failure_;
        case State::bound:
            if (trigger_.empty()) return translations_.text(unboundText);
            return std::nullopt;
    }
    return std::nullopt;
}

// Keys by their keysym names: GNOME binds nothing it cannot parse ("Space"
// shows as disabled), and KDE takes either.
std::string ShortcutPortalKeyboard::readableTrigger(const std::string& description) {
    const auto accelerator = description.find('<');
    if (accelerator == std::string::npos) return description;
    std::string words = HotkeyCombo::describeGnomeAccelerator(description.substr(accelerator));
    return words.empty() ? description : words;
}

std::string ShortcutPortalKeyboard::portalTrigger(std::uint16_t keyCode, std::uint64_t modifiers) {
    const ModifierNotation portal{"CTRL", "ALT", "SHIFT", "LOGO", "+"};
    return HotkeyCombo::modifierString(modifiers, portal) + HotkeyCombo::keysymName(keyCode);
}

std::vector<GlobalShortcutsPortal::Shortcut> ShortcutPortalKeyboard::shortcuts() const {
    return {
        {shortcutId, translations_.text(shortcutDescription), portalTrigger(keyCode_, modifiers_)}};
}

void ShortcutPortalKeyboard::openSession() {
    state_ = State::creatingSession;
    const std::uint64_t generation = ++generation_;
    GlobalShortcutsPortal::Events events;
    events.activated = [this, generation](const std::string& id) {
        if (generation == generation_) activated(id);
    };
    events.deactivated = [this, generation](const std::string& id) {
        if (generation == generation_) deactivated(id);
    };
    events.shortcutsChanged = [this, generation](const auto& bindings) {
        if (generation == generation_ && state_ == State::bound) adoptBindings(bindings);
    };
    events.sessionClosed = [this, generation] {
        if (generation == generation_) sessionClosed();
    };
    portal_.setEvents(std::move(events));
    registration_.afterRegistration([this, generation] {
        if (generation != generation_) return;
        portal_.createSession(
            sessionToken, shortcuts(),
            [this, generation](PortalOutcome outcome, const std::string& session) {
                if (generation == generation_) sessionCreated(outcome, session);
            });
    });
}

void ShortcutPortalKeyboard::sessionCreated(PortalOutcome outcome, const std::string& session) {
    if (state_ != State::creatingSession) return;
    if (outcome != PortalOutcome::success || session.empty()) {
        fail(outcome == PortalOutcome::cancelled ? refusedText : failedText);
        return;
    }
    state_ = State::binding;
    const std::uint64_t generation = generation_;
    portal_.bindShortcuts(session, shortcuts(),
                          [this, generation](PortalOutcome result, const auto& bindings) {
                              if (generation == generation_) shortcutsBound(result, bindings);
                          });
}

void ShortcutPortalKeyboard::shortcutsBound(
    PortalOutcome outcome, const std::vector<GlobalShortcutsPortal::Binding>& bindings) {
    if (state_ != State::binding) return;
    // xdg-desktop-portal-gnome 48 answers "failed" to binds that worked: the
    // results tell, unless the user cancelled.
    const bool boundOurs = std::any_of(bindings.begin(), bindings.end(), [](const auto& binding) {
        return binding.id == shortcutId;
    });
    if (outcome == PortalOutcome::cancelled || (outcome == PortalOutcome::failed && !boundOurs)) {
        fail(outcome == PortalOutcome::cancelled ? refusedText : failedText);
        return;
    }
    state_ = State::bound;
    adoptBindings(bindings);
}

void ShortcutPortalKeyboard::adoptBindings(
    const std::vector<GlobalShortcutsPortal::Binding>& bindings) {
    std::string trigger;
    for (const auto& binding : bindings) {
        if (binding.id == shortcutId) trigger = readableTrigger(binding.triggerDescription);
    }
    trigger_ = std::move(trigger);
    announceTriggerChange();
}

void ShortcutPortalKeyboard::fail(const Text& why) {
    ++generation_;  // whatever the old session still says is not heard
    state_ = State::failed;
    failure_ = translations_.text(why);
    const bool hadTrigger = !trigger_.empty();
    trigger_.clear();
    if (held_) {
        held_ = false;
        deliver(KeyEventType::keyUp);
    }
    if (hadTrigger) announceTriggerChange();
}

// The desktop repeats the activation while the key is held: one press is one key-down.
void ShortcutPortalKeyboard::activated(const std::string& id) {
    if (id != shortcutId || !reserved_ || held_ || state_ != State::bound) return;
    held_ = true;
    deliver(KeyEventType::keyDown);
}

void ShortcutPortalKeyboard::deactivated(const std::string& id) {
    if (id != shortcutId || !held_) return;
    held_ = false;
    deliver(KeyEventType::keyUp);
}

// A dictation under way ends as if the key were let go: nothing would ever
// end it otherwise. A bound session is asked for again at once: a portal
// that restarted (after an update, say) starts again on the request. One that
// ends before it is bound is left ended, or the two would go round for good.
void ShortcutPortalKeyboard::sessionClosed() {
    const bool wasBound = state_ == State::bound;
    fail(closedText);
    if (wasBound && reserved_) openSession();
}

void ShortcutPortalKeyboard::deliver(KeyEventType type) {
    const KeyEvent event{type, keyCode_, modifiers_, false};
    const auto snapshot = globals_;  // a handler may remove monitors
    for (const auto& [token, monitor] : snapshot) {
        if (monitor.first & maskOf(type)) monitor.second(event);
    }
}

}  // namespace sayvo
