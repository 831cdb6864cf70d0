#include "platform/linux/ui/DesktopNotifications.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace sayvo {

namespace {
const QString kService = QStringLiteral("org.freedesktop.Notifications");
}  // namespace

bool DesktopNotifications::available() {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return false;
    if (bus.interface()->isServiceRegistered(kService)) return true;
    const QDBusReply<QStringList> activatable = bus.interface()->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(kService);
}

bool DesktopNotifications::notify(const QString& title, const QString& body, bool isWarning) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                       kService, QStringLiteral("Notify"));
    const QVariantMap hints{{QStringLiteral("desktop-entry"), QStringLiteral("app.sayvo.Sayvo")},
                            {QStringLiteral("urgency"), QVariant::fromValue<uchar>(1)}};
    call << QStringLiteral("Sayvo") << 0u
         << (isWarning ? QStringLiteral("dialog-warning") : QStringLiteral("dialog-information"))
         << title << body << QStringList() << hints << -1;
    return QDBusConnection::sessionBus().send(call);
}

}  // namespace sayvo
