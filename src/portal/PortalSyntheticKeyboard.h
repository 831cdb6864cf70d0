#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/Preferences.h"
#include "platform/SyntheticKeyboard.h"
#include "platform/Translations.h"
#include "portal/PortalAppRegistration.h"
#include "portal/RemoteDesktopPortal.h"

namespace sayvo {

// Synthetic keys through a RemoteDesktop portal session, as evdev key codes:
// the key-down presses the event's modifiers, then the key; the key-up lets
// go of them in reverse. Command and Control both become Ctrl, so the
// logic's command-V is the desktop's paste. One session serves the whole
// run. It is opened at the first key, not before, since the desktop may ask
// the user or show that Sayvo controls the keyboard; keys posted meanwhile
// wait for it. A new session first taps Shift, which some compositors drop.
// The desktop's grant is kept with the preferences (owner-only), so that
// where it can restore sessions the user is asked once, not at every start.
// Thread: main thread only.
// Failure: keys of a session the desktop refuses or ends are dropped and the
// failure handler hears why; the next key asks for a session again.
class PortalSyntheticKeyboard final : public SyntheticKeyboard {
public:
    // The evdev code of a portable key code; nothing for codes that name no key.
    using EvdevCodeOf = std::function<std::optional<int>(std::uint16_t)>;

    static constexpr int leftShift = 42;
    static constexpr int leftControl = 29;
    static constexpr int leftAlt = 56;
    static constexpr int leftMeta = 125;
    static constexpr Text noPortalText = SAYVO_TEXT(
        "PortalSyntheticKeyboard",
        "桌面不提供远程输入（RemoteDesktop 门户），无法自动粘贴。文字已在剪贴板中，请按 Ctrl+V");
    static constexpr Text refusedText = SAYVO_TEXT(
        "PortalSyntheticKeyboard", "没有获准向其他应用发送按键。文字已在剪贴板中，请按 Ctrl+V");
    static constexpr Text failedText = SAYVO_TEXT(
        "PortalSyntheticKeyboard", "无法打开远程输入会话。文字已在剪贴板中，请按 Ctrl+V");
    static constexpr Text noKeyboardText = SAYVO_TEXT(
        "PortalSyntheticKeyboard", "桌面没有允许 Sayvo 使用键盘。文字已在剪贴板中，请按 Ctrl+V");
    static constexpr Text grantNotRestoredText =
        SAYVO_TEXT("PortalSyntheticKeyboard",
                   "桌面不再接受之前的授权，下次粘贴时会重新询问。文字已在剪贴板中，请按 Ctrl+V");
    static constexpr Text closedText =
        SAYVO_TEXT("PortalSyntheticKeyboard", "远程输入会话已结束。文字已在剪贴板中，请按 Ctrl+V");

    static inline const std::string restoreTokenKey = "remoteDesktopRestoreToken";

    PortalSyntheticKeyboard(RemoteDesktopPortal& portal, PortalAppRegistration& registration,
                            Preferences& preferences, const Translations& translations,
                            EvdevCodeOf evdevCodeOf);
    PortalSyntheticKeyboard(const PortalSyntheticKeyboard&) = delete;
    PortalSyntheticKeyboard& operator=(const PortalSyntheticKeyboard&) = delete;

    std::unique_ptr<KeyEventSource> createEventSource() override;
    std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource* source,
                                                         std::uint16_t keyCode,
                                                         bool keyDown) override;
    // The tap location has no meaning here: every key enters at the compositor.
    void post(const SyntheticKeyEvent& event) override;
    void setDeliveryFailureHandler(std::function<void(const std::string&)> handler) override {
        failed_ = std::move(handler);
    }

    bool mayAskTheUser() const override { return state_ != State::started; }

    // Why the last keys could not be sent; nothing while none failed since.
    std::optional<std::string> problem() const { return problem_; }

private:
    enum class State { none, opening, started };
    struct Key {
        int code;
        bool pressed;
    };

    void openSession();
    void sessionCreated(PortalOutcome outcome, const std::string& session);
    void devicesSelected(PortalOutcome outcome);
    void started(PortalOutcome outcome, unsigned devices, const std::string& restoreToken);
    void sessionClosed();
    void fail(const Text& why);
    void send(const Key& key);

    RemoteDesktopPortal& portal_;
    PortalAppRegistration& registration_;
    Preferences& preferences_;
    const Translations& translations_;
    EvdevCodeOf evdevCodeOf_;
    bool restoring_ = false;  // the session opening was offered a stored grant
    std::function<void(const std::string&)> failed_;
    State state_ = State::none;
    std::string session_;
    std::vector<Key> waiting_;
    std::optional<std::string> problem_;
    // Replies of a session given up on must not act on the next one.
    std::uint64_t generation_ = 0;
};

}  // namespace sayvo
