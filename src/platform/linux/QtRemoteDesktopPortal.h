#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <optional>

#include "platform/portal/RemoteDesktopPortal.h"

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
    void selectDevices(const std::string& session, unsigned devices, Reply reply) override;
    void start(const std::string& session, StartReply reply) override;
    void notifyKeyboardKeycode(const std::string& session, int keycode, bool pressed) override;
    void setSessionClosedHandler(std::function<void()> handler) override {
        closedHandler_ = std::move(handler);
    }

private Q_SLOTS:
    void closed(const QVariantMap& details);

private:
    void sendNextKey();
    void watchSession(const QString& session);
    void sessionEnded();

    QDBusConnection bus_;
    QDBusServiceWatcher portalWatcher_;
    mutable std::optional<bool> available_;
    std::function<void()> closedHandler_;
    QString session_;
    // xdg-desktop-portal handles calls on worker threads: keys sent without
    // waiting for each answer reach the compositor out of order.
    QList<QDBusMessage> keys_;
    bool keyInFlight_ = false;
};

}  // namespace sayvo
