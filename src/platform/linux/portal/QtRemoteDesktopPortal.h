#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QList>
#include <QObject>
#include <QVariantMap>

#include "platform/linux/portal/PortalSession.h"
#include "portal/RemoteDesktopPortal.h"

namespace sayvo {

// org.freedesktop.portal.RemoteDesktop (version 1) on the session bus.
// Thread: main thread only; needs a QCoreApplication.
// Failure: without a session bus or the interface, available() is false and
// every call replies `failed`; the portal leaving the bus closes the session.
class QtRemoteDesktopPortal final : public QObject, public RemoteDesktopPortal {
    Q_OBJECT
public:
    explicit QtRemoteDesktopPortal(QDBusConnection bus = QDBusConnection::sessionBus());

    bool available() const override;
    void createSession(SessionReply reply) override;
    bool restoresSessions() const override;
    void selectDevices(const std::string& session, unsigned devices,
                       const std::string& restoreToken, Reply reply) override;
    void start(const std::string& session, StartReply reply) override;
    void notifyKeyboardKeycode(const std::string& session, int keycode, bool pressed) override;
    void setSessionClosedHandler(std::function<void()> handler) override {
        session_.ended = std::move(handler);
    }

private:
    void sendNextKey();

    QDBusConnection bus_;
    PortalSession session_;
    // xdg-desktop-portal handles calls on worker threads: keys sent without
    // waiting for each answer reach the compositor out of order.
    QList<QDBusMessage> keys_;
    bool keyInFlight_ = false;
};

}  // namespace sayvo
