#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QObject>
#include <QVariantMap>

#include "platform/linux/portal/PortalSession.h"
#include "portal/GlobalShortcutsPortal.h"

namespace sayvo {

// org.freedesktop.portal.GlobalShortcuts (version 1) on the session bus.
// The shortcut list goes into CreateSession's options as well, which
// xdg-desktop-portal-kde 5.27 reads instead of BindShortcuts' list.
// Thread: main thread only; needs a QCoreApplication.
// Failure: without a session bus or the interface, available() is false and
// every call replies `failed`; the portal leaving the bus closes the session.
class QtGlobalShortcutsPortal final : public QObject, public GlobalShortcutsPortal {
    Q_OBJECT
public:
    explicit QtGlobalShortcutsPortal(QDBusConnection bus = QDBusConnection::sessionBus());

    bool available() const override;
    void createSession(const std::string& token, const std::vector<Shortcut>& shortcuts,
                       SessionReply reply) override;
    void bindShortcuts(const std::string& session, const std::vector<Shortcut>& shortcuts,
                       BindReply reply) override;
    void setEvents(Events events) override;

private Q_SLOTS:
    // Whole messages: QtDBus matches no typed slot to these signals.
    void activated(const QDBusMessage& message);
    void deactivated(const QDBusMessage& message);
    void shortcutsChanged(const QDBusMessage& message);

private:
    // The shortcut id of a signal about our session; empty for any other.
    QString ourShortcut(const QDBusMessage& message) const;

    QDBusConnection bus_;
    PortalSession session_;
    Events events_;
};

}  // namespace sayvo
