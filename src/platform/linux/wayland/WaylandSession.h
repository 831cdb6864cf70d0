#pragma once

#include <QDBusConnection>
#include <memory>
#include <string>
#include <vector>

#include "platform/Pasteboard.h"
#include "platform/SystemPermissions.h"
#include "platform/linux/gnome/GnomeCustomShortcut.h"
#include "platform/linux/gnome/GnomeShortcutKeyboard.h"
#include "platform/linux/portal/QtGlobalShortcutsPortal.h"
#include "platform/linux/portal/QtHostRegistryPortal.h"
#include "platform/linux/portal/QtRemoteDesktopPortal.h"
#include "portal/PortalSyntheticKeyboard.h"
#include "portal/ShortcutPortalKeyboard.h"

namespace sayvo {

// The services that differ on a Wayland session, where only the compositor
// sees keys typed elsewhere and gives the clipboard to the focused client:
// the hotkey through the GlobalShortcuts portal (on GNOME before 48, a custom
// shortcut in GNOME's settings), the paste through the RemoteDesktop portal,
// the clipboard through wlr-data-control on a Wayland connection of our own
// (on GNOME, the X11 one, which mutter hands to Wayland applications too).
// Sayvo's windows stay on XWayland, so `ownWindows` (its local monitors, the
// notation) is the X11 keyboard there.
// Thread: main thread only; needs a QGuiApplication.
// Failure: each missing piece is reported by statusItems(); where the
// compositor has no data-control, the clipboard is the X11 one, which native
// Wayland applications see only while Sayvo has the focus.
class WaylandSession {
public:
    // A Wayland session with a compositor to talk to.
    static bool isCurrent();

    // The preferences keep the desktop's grant to paste; the portals are
    // told `applicationId` first, where the desktop asks for one.
    WaylandSession(KeyboardMonitoring& ownWindows, Preferences& preferences,
                   const Translations& translations, const std::string& applicationId);
    ~WaylandSession();
    WaylandSession(const WaylandSession&) = delete;
    WaylandSession& operator=(const WaylandSession&) = delete;

    KeyboardMonitoring& keyboard() {
        return gnomeKeyboard_ ? static_cast<KeyboardMonitoring&>(*gnomeKeyboard_) : keyboard_;
    }
    SyntheticKeyboard& syntheticKeyboard() { return syntheticKeyboard_; }
    Pasteboard& pasteboard() { return *pasteboard_; }

    // The status view's items for the hotkey, the paste and the clipboard.
    std::vector<PermissionStatus> statusItems() const;
    // The line said on standard error at start, naming what will not work.
    std::string startupWarning() const;

private:
    QDBusConnection portalBus_;  // first: every portal below talks over it
    QtHostRegistryPortal registry_;
    PortalAppRegistration registration_;
    QtGlobalShortcutsPortal shortcutsPortal_;
    ShortcutPortalKeyboard keyboard_;
    GnomeCustomShortcut gnomeShortcut_;
    std::unique_ptr<GnomeShortcutKeyboard> gnomeKeyboard_;  // GNOME without the portal
    QtRemoteDesktopPortal remoteDesktop_;
    PortalSyntheticKeyboard syntheticKeyboard_;
    std::unique_ptr<Pasteboard> pasteboard_;
    std::string pasteboardProblem_;
    std::string pasteboardKind_ = "wlr-data-control";
};

}  // namespace sayvo
