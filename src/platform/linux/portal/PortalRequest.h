#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>
#include <functional>

#include "portal/PortalOutcome.h"

namespace sayvo {

inline const QString kPortalService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString kPortalPath = QStringLiteral("/org/freedesktop/portal/desktop");

// One call of a desktop portal method that answers later through the
// Response signal of a Request object. The Response is subscribed to before
// the call is made (its path follows from our bus name and the handle token),
// so a quick answer is never missed. The object deletes itself once done.
// Thread: the thread of the connection's owner (the main thread).
// Failure: an error reply, a Response that never comes within the timeout,
// or the portal leaving the bus all end in `failed`.
class PortalRequest final : public QObject {
    Q_OBJECT
public:
    using Done = std::function<void(PortalOutcome, const QVariantMap& results)>;

    // Calls `method` with `arguments` and then `options` (given a handle_token).
    // A timeout of 0 waits for as long as the user takes to answer a dialog.
    static void call(const QDBusConnection& bus, const QString& interface, const QString& method,
                     const QVariantList& arguments, QVariantMap options, Done done,
                     int timeoutMilliseconds);

    // A session_handle_token or handle_token no other request of this process uses.
    static QString uniqueToken(const QString& prefix);

private Q_SLOTS:
    void response(uint code, const QVariantMap& results);

private:
    PortalRequest(const QDBusConnection& bus, Done done);
    void finish(PortalOutcome outcome, const QVariantMap& results);
    void listenAt(const QString& path);

    QDBusConnection bus_;
    Done done_;
    QString path_;
    bool finished_ = false;
};

// The value of a session handle in a Response: a string in some portal
// versions, an object path in others.
QString sessionHandleOf(const QVariantMap& results);

}  // namespace sayvo
