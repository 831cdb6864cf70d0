#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>

#include "hotkey/DesktopBoundKeyboard.h"
#include "platform/Translations.h"
#include "portal/GlobalShortcutsPortal.h"
#include "portal/PortalAppRegistration.h"

namespace sayvo {

// The keyboard where the desktop alone sees keys typed elsewhere (a Wayland
// compositor). The reserved key becomes one shortcut of the GlobalShortcuts
// portal; its activation and deactivation reach the global monitors as that
// key's key-down and key-up, so the hotkey logic runs unchanged.
// The session is opened at the first reservation and kept: its fixed token
// lets the desktop keep the user's binding across runs. One that closes once
// bound is opened again.
// Thread: main thread only.
// Failure: without the portal a reservation is `unavailable`; a refused,
// failed or closed session leaves the key dead and says why in problem().
class ShortcutPortalKeyboard final : public DesktopBoundKeyboard {
public:
    static inline const std::string shortcutId = "push-to-talk";
    static inline const std::string sessionToken = "sayvo";
    static constexpr Text shortcutDescription =
        SAYVO_TEXT("ShortcutPortalKeyboard", "按住说话（Sayvo）");
    static constexpr Text noPortalText =
        SAYVO_TEXT("ShortcutPortalKeyboard",
                   "桌面不提供全局快捷键（GlobalShortcuts 门户），请在桌面设置中把 sayvo --toggle "
                   "绑定到一个键");
    static constexpr Text refusedText =
        SAYVO_TEXT("ShortcutPortalKeyboard", "桌面拒绝了 Sayvo 的全局快捷键");
    static constexpr Text failedText =
        SAYVO_TEXT("ShortcutPortalKeyboard", "无法向桌面注册全局快捷键");
    static constexpr Text closedText =
        SAYVO_TEXT("ShortcutPortalKeyboard", "桌面结束了 Sayvo 的全局快捷键");
    static constexpr Text unboundText =
        SAYVO_TEXT("ShortcutPortalKeyboard", "桌面没有为 Sayvo 分配按键，请在快捷键设置中设置");
    static constexpr Text pendingText =
        SAYVO_TEXT("ShortcutPortalKeyboard", "正在向桌面注册快捷键…");

    ShortcutPortalKeyboard(GlobalShortcutsPortal& portal, PortalAppRegistration& registration,
                           KeyboardMonitoring& ownWindows, const Translations& translations,
                           std::function<void()> openShortcutSettings);
    ShortcutPortalKeyboard(const ShortcutPortalKeyboard&) = delete;
    ShortcutPortalKeyboard& operator=(const ShortcutPortalKeyboard&) = delete;

    std::optional<MonitorToken> addGlobalMonitor(std::uint64_t eventMask,
                                                 GlobalHandler handler) override;
    void removeMonitor(MonitorToken token) override;
    KeyReservation reserveKey(std::uint16_t keyCode, std::uint64_t modifiers) override;
    void releaseReservedKey() override;

    std::string desktopTrigger() const override { return trigger_; }
    void openDesktopShortcutSettings() override {
        if (openShortcutSettings_) openShortcutSettings_();
    }

    // Why the hotkey does not work now; nothing once the desktop bound a key.
    std::optional<std::string> problem() const;

    // The portal's notation of a key with modifiers, "CTRL+ALT+space".
    static std::string portalTrigger(std::uint16_t keyCode, std::uint64_t modifiers);
    // The desktop's description of a binding as the keys in words: GNOME
    // says "Press <Control><Alt>space" (in its own language), KDE
    // "Ctrl+Alt+Space" already.
    static std::string readableTrigger(const std::string& description);

private:
    enum class State { idle, creatingSession, binding, bound, failed };

    void openSession();
    void sessionCreated(PortalOutcome outcome, const std::string& session);
    void shortcutsBound(PortalOutcome outcome, const std::vector<GlobalShortcutsPortal::Binding>&);
    void fail(const Text& why);
    void adoptBindings(const std::vector<GlobalShortcutsPortal::Binding>& bindings);
    void activated(const std::string& id);
    void deactivated(const std::string& id);
    void sessionClosed();
    void deliver(KeyEventType type);
    std::vector<GlobalShortcutsPortal::Shortcut> shortcuts() const;

    GlobalShortcutsPortal& portal_;
    const Translations& translations_;
    PortalAppRegistration& registration_;
    std::function<void()> openShortcutSettings_;
    std::map<MonitorToken, std::pair<std::uint64_t, GlobalHandler>> globals_;
    State state_ = State::idle;
    std::string failure_;
    std::string trigger_;
    std::uint16_t keyCode_ = 0;
    std::uint64_t modifiers_ = 0;
    bool reserved_ = false;
    bool held_ = false;
    // Replies of a session given up on must not act on the next one.
    std::uint64_t generation_ = 0;
};

}  // namespace sayvo
