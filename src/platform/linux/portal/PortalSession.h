#pragma once

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <optional>
#include <string>

#include "portal/PortalOutcome.h"

namespace sayvo {

// The one session this process keeps with a portal interface: whether the
// portal offers the interface at all, and the session's end, by its Closed
// signal or by the portal leaving the bus.
// Thread: main thread only; needs a QCoreApplication.
// Failure: without a bus the interface is never available.
class PortalSession final : public QObject {
    Q_OBJECT
public:
    PortalSession(QDBusConnection bus, QString interface);

    // Asked once until the portal leaves the bus. The portal starts on
    // demand, so the first answer may take a moment (at most 5 s).
    bool available() const;
    // The interface's version; 0 where it is not available.
    unsigned version() const;
    // Makes a session with these options (a session_handle_token among
    // them) and follows it from then on, in place of the one before.
    void create(const QVariantMap& options,
                std::function<void(PortalOutcome, const std::string& session)> reply);
    // The session followed now; empty when there is none.
    const QString& path() const { return session_; }
    // Told once when the session followed ends.
    std::function<void()> ended;

private Q_SLOTS:
    void closed(const QVariantMap& details);

private:
    void follow(const QString& session);
    void end();

    QDBusConnection bus_;
    QString interface_;
    QDBusServiceWatcher portalWatcher_;
    mutable std::optional<bool> available_;
    mutable unsigned version_ = 0;
    QString session_;
};

}  // namespace sayvo
