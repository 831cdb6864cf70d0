#include "platform/linux/wayland/WaylandSession.h"

#include <cstdlib>
#include <string_view>

#include "platform/linux/KeyCodeTranslation.h"
#include "platform/linux/desktop/SettingsProgram.h"
#include "platform/linux/services/QtPasteboard.h"
#include "platform/linux/ui/QtTranslations.h"
#include "platform/linux/wayland/WlrDataControlPasteboard.h"

namespace sayvo {
namespace {

// The desktop's own shortcut settings, where the compositor keeps the binding.
void openShortcutSettings() {
    const SettingsProgram candidates[] = {
        {"systemsettings", {"kcm_keys"}},
        {"kcmshell5", {"kcm_keys"}},
        {"gnome-control-center", {"keyboard"}},
    };
    startSettingsProgram(candidates);
}

// Without data-control only X11 clients see what Sayvo copies while it lacks
// the focus: a paste into a Wayland application would insert whatever the
// clipboard held before. So the write counts as refused, and the text stays
// in the indicator, without a paste.
class XWaylandOnlyPasteboard final : public Pasteboard {
public:
    void clearContents() override { x11_.clearContents(); }
    bool setString(const std::string& text) override {
        x11_.setString(text);
        return false;
    }
    std::optional<std::string> string() const override { return x11_.string(); }

private:
    QtPasteboard x11_;
};

std::string desktopName() {
    const char* desktop = std::getenv("XDG_CURRENT_DESKTOP");
    return desktop && *desktop ? desktop : "Wayland";
}

// "GNOME", "ubuntu:GNOME", "GNOME-Classic:GNOME": a list, any member.
bool onGnome() {
    const std::string desktops = ":" + desktopName() + ":";
    return desktops.find(":GNOME:") != std::string::npos ||
           desktops.find(":GNOME-Classic:") != std::string::npos;
}

const QString portalConnection = QStringLiteral("sayvo-portals");

}  // namespace

bool WaylandSession::isCurrent() {
    const char* type = std::getenv("XDG_SESSION_TYPE");
    const char* display = std::getenv("WAYLAND_DISPLAY");
    return type && std::string_view(type) == "wayland" && display && *display;
}

WaylandSession::WaylandSession(KeyboardMonitoring& ownWindows, Preferences& preferences,
                               const Translations& translations, const std::string& applicationId)
    // The portal ties a connection to an app id at its first method call, and
    // Qt's own connection may have asked already (its GNOME theme reads the
    // colour scheme): the app id goes first on a connection of ours.
    : portalBus_(QDBusConnection::connectToBus(QDBusConnection::SessionBus, portalConnection)),
      registry_(portalBus_),
      registration_(registry_, applicationId),
      shortcutsPortal_(portalBus_),
      keyboard_(shortcutsPortal_, registration_, ownWindows, translations, openShortcutSettings),
      gnomeShortcut_(applicationId),
      remoteDesktop_(portalBus_),
      syntheticKeyboard_(remoteDesktop_, registration_, preferences, translations,
                         evdevCodeForPortable) {
    const bool gnome = onGnome();
    if (gnome && gnomeShortcut_.available() && !shortcutsPortal_.available()) {
        gnomeKeyboard_ = std::make_unique<GnomeShortcutKeyboard>(gnomeShortcut_, ownWindows,
                                                                 openShortcutSettings);
    }
    std::string whyNot;
    pasteboard_ = WlrDataControlPasteboard::connect(&whyNot);
    if (pasteboard_) return;
    // mutter hands the X11 clipboard of a client without the focus to Wayland
    // applications (checked on GNOME 43 and 48); other compositors do not.
    if (gnome) {
        pasteboard_ = std::make_unique<QtPasteboard>();
        pasteboardKind_ =
            translated(SAYVO_TEXT("WaylandSession", "XWayland（GNOME 转给 Wayland 应用）"));
        return;
    }
    pasteboardProblem_ = whyNot;
    pasteboard_ = std::make_unique<XWaylandOnlyPasteboard>();
}

WaylandSession::~WaylandSession() {
    QDBusConnection::disconnectFromBus(portalConnection);
}

std::vector<PermissionStatus> WaylandSession::statusItems() const {
    const std::optional<std::string> hotkeyProblem =
        gnomeKeyboard_ ? gnomeKeyboard_->problem() : keyboard_.problem();
    const std::optional<std::string> pasteProblem = syntheticKeyboard_.problem();
    const bool canPaste = remoteDesktop_.available() && !pasteProblem;
    return {
        {translated(SAYVO_TEXT("WaylandSession", "Wayland 会话")), true, desktopName()},
        {translated(SAYVO_TEXT("WaylandSession", "全局快捷键")), !hotkeyProblem,
         hotkeyProblem.value_or(
             gnomeKeyboard_
                 ? withArguments(translated(SAYVO_TEXT("WaylandSession", "%1（GNOME 键盘快捷键）")),
                                 {gnomeKeyboard_->desktopTrigger()})
                 : keyboard_.desktopTrigger())},
        {translated(SAYVO_TEXT("WaylandSession", "粘贴")), canPaste,
         canPaste
             ? translated(SAYVO_TEXT("WaylandSession",
                                     "由桌面的远程输入（RemoteDesktop 门户）发送 Shift+Insert"))
             : pasteProblem.value_or(translated(PortalSyntheticKeyboard::noPortalText))},
        {translated(SAYVO_TEXT("WaylandSession", "剪贴板")), pasteboardProblem_.empty(),
         pasteboardProblem_.empty() ? pasteboardKind_ : pasteboardProblem_},
    };
}

std::string WaylandSession::startupWarning() const {
    std::vector<std::string> missing;
    if (gnomeKeyboard_) {
        if (gnomeKeyboard_->desktopTrigger().empty())
            missing.push_back(translated(
                SAYVO_TEXT("WaylandSession", "请在面板中把快捷键添加到 GNOME 的键盘快捷键")));
    } else if (!shortcutsPortal_.available()) {
        missing.push_back(
            translated(SAYVO_TEXT("WaylandSession", "没有全局快捷键门户，请用 sayvo --toggle")));
    }
    if (!remoteDesktop_.available())
        missing.push_back(
            translated(SAYVO_TEXT("WaylandSession", "没有远程输入门户，文字只放到剪贴板")));
    if (!pasteboardProblem_.empty()) missing.push_back(pasteboardProblem_);
    // Each one ends with the separator, the last one too.
    const std::string separator = translated(SAYVO_TEXT("WaylandSession", "；"));
    std::string line;
    for (const std::string& item : missing) line += item + separator;
    return line;
}

}  // namespace sayvo
