#pragma once

#include <QDBusConnection>
#include <QObject>

#include "platform/linux/portal/PortalSession.h"
#include "portal/HostRegistryPortal.h"

namespace sayvo {

// org.freedesktop.host.portal.Registry (xdg-desktop-portal 1.18 and later)
// on the session bus the other portals use: the registration holds for that
// connection only.
// Thread: main thread only; needs a QCoreApplication.
// Failure: without a session bus or the interface, available() is false; an
// error reply (no installed entry for the id) or no answer in 5 s is `failed`.
class QtHostRegistryPortal final : public QObject, public HostRegistryPortal {
    Q_OBJECT
public:
    explicit QtHostRegistryPortal(QDBusConnection bus = QDBusConnection::sessionBus());

    bool available() const override { return interface_.available(); }
    void registerApp(const std::string& appId, std::function<void(PortalOutcome)> reply) override;

private:
    QDBusConnection bus_;
    PortalSession interface_;  // asked whether the portal offers it; no session is made
};

}  // namespace sayvo
