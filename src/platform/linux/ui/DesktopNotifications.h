#pragma once

#include <QString>

namespace sayvo {

// The desktop's notification service (org.freedesktop.Notifications) on the
// session bus. It shows notices whatever the tray: a StatusNotifier tray, an
// XEmbed one or none at all (GNOME without its extension).
// Thread: GUI thread only.
class DesktopNotifications {
public:
    // Whether a service is running, or the bus can start one.
    static bool available();
    // Sends the notice without waiting for the answer; false when it could
    // not even be sent.
    static bool notify(const QString& title, const QString& body, bool isWarning);
};

}  // namespace sayvo
