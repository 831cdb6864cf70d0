#include "portal/PortalSyntheticKeyboard.h"

#include <utility>

#include "platform/Keyboard.h"

namespace sayvo {
namespace {

// In the order they go down; they come up in reverse.
std::vector<int> modifierCodes(std::uint64_t flags) {
    std::vector<int> codes;
    if (flags & (ModifierFlag::command | ModifierFlag::control)) {
        codes.push_back(PortalSyntheticKeyboard::leftControl);
    }
    if (flags & ModifierFlag::option) codes.push_back(PortalSyntheticKeyboard::leftAlt);
    if (flags & ModifierFlag::shift) codes.push_back(PortalSyntheticKeyboard::leftShift);
    return codes;
}

}  // namespace

PortalSyntheticKeyboard::PortalSyntheticKeyboard(RemoteDesktopPortal& portal,
                                                 PortalAppRegistration& registration,
                                                 Preferences& preferences,
                                                 const Translations& translations,
                                                 EvdevCodeOf evdevCodeOf)
    : portal_(portal),
      registration_(registration),
      preferences_(preferences),
      translations_(translations),
      evdevCodeOf_(std::move(evdevCodeOf)) {
    portal_.setSessionClosedHandler([this] { sessionClosed(); });
}

std::unique_ptr<KeyEventSource> PortalSyntheticKeyboard::createEventSource() {
    return std::make_unique<KeyEventSource>();
}

std::optional<SyntheticKeyEvent> PortalSyntheticKeyboard::createKeyboardEvent(const KeyEventSource*,
                                                                              std::uint16_t keyCode,
                                                                              bool keyDown) {
    if (!evdevCodeOf_(keyCode)) return std::nullopt;
    return SyntheticKeyEvent{keyCode, keyDown, 0};
}

void PortalSyntheticKeyboard::post(const SyntheticKeyEvent& event) {
    const auto code = evdevCodeOf_(event.keyCode);
    if (!code) return;
    const std::vector<int> modifiers = modifierCodes(event.flags);
    if (event.keyDown) {
        for (const int modifier : modifiers) waiting_.push_back({modifier, true});
        waiting_.push_back({*code, true});
    } else {
        waiting_.push_back({*code, false});
        for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) {
            waiting_.push_back({*it, false});
        }
    }
    switch (state_) {
        case State::started:
            for (const Key& key : std::exchange(waiting_, {})) send(key);
            break;
        case State::none:
            // Nothing went down through a session that is gone: nothing to let go.
            if (!event.keyDown) {
                waiting_.clear();
                break;
            }
            openSession();
            break;
        case State::opening:
            break;
    }
}

void PortalSyntheticKeyboard::openSession() {
    if (!portal_.available()) {
        fail(noPortalText);
        return;
    }
    state_ = State::opening;
    const std::uint64_t generation = ++generation_;
    registration_.afterRegistration([this, generation] {
        if (generation != generation_) return;
        portal_.createSession(
            [this, generation](PortalOutcome outcome, const std::string& session) {
                if (generation == generation_) {
                    session_ = session;
                    sessionCreated(outcome, session);
                }
            });
    });
}

void PortalSyntheticKeyboard::sessionCreated(PortalOutcome outcome, const std::string& session) {
    if (outcome != PortalOutcome::success || session.empty()) {
        fail(outcome == PortalOutcome::cancelled ? refusedText : failedText);
        return;
    }
    const std::uint64_t generation = generation_;
    const std::string token = portal_.restoresSessions()
                                  ? preferences_.stringForKey(restoreTokenKey).value_or("")
                                  : std::string();
    restoring_ = !token.empty();
    portal_.selectDevices(session, RemoteDesktopPortal::keyboardDevice, token,
                          [this, generation](PortalOutcome result) {
                              if (generation == generation_) devicesSelected(result);
                          });
}

void PortalSyntheticKeyboard::devicesSelected(PortalOutcome outcome) {
    if (outcome != PortalOutcome::success) {
        fail(outcome == PortalOutcome::cancelled ? refusedText : failedText);
        return;
    }
    const std::uint64_t generation = generation_;
    portal_.start(session_, [this, generation](PortalOutcome result, unsigned devices,
                                               const std::string& token) {
        if (generation == generation_) started(result, devices, token);
    });
}

void PortalSyntheticKeyboard::started(PortalOutcome outcome, unsigned devices,
                                      const std::string& restoreToken) {
    // A token is good for one session: the next one needs the new token, and
    // a grant the desktop would not restore must not be offered again, so
    // that the next paste asks the user afresh.
    if (outcome == PortalOutcome::success && !restoreToken.empty()) {
        preferences_.setString(restoreTokenKey, restoreToken);
    } else if (restoring_) {
        preferences_.setString(restoreTokenKey, "");
    }
    if (outcome != PortalOutcome::success) {
        fail(restoring_                            ? grantNotRestoredText
             : outcome == PortalOutcome::cancelled ? refusedText
                                                   : failedText);
        return;
    }
    if (!(devices & RemoteDesktopPortal::keyboardDevice)) {
        fail(noKeyboardText);
        return;
    }
    state_ = State::started;
    problem_.reset();
    send({leftShift, true});
    send({leftShift, false});
    for (const Key& key : std::exchange(waiting_, {})) send(key);
}

void PortalSyntheticKeyboard::sessionClosed() {
    if (state_ == State::none) return;
    // Keys still waiting for this session are lost with it; a started one
    // that ends quietly is simply opened again at the next key.
    const bool keysLost = !waiting_.empty();
    ++generation_;
    state_ = State::none;
    session_.clear();
    if (keysLost) fail(closedText);
}

void PortalSyntheticKeyboard::fail(const Text& why) {
    ++generation_;
    state_ = State::none;
    session_.clear();
    waiting_.clear();
    problem_ = translations_.text(why);
    if (failed_) failed_(*problem_);
}

void PortalSyntheticKeyboard::send(const Key& key) {
    portal_.notifyKeyboardKeycode(session_, key.code, key.pressed);
}

}  // namespace sayvo
