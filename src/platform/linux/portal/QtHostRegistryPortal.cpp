#include "platform/linux/portal/QtHostRegistryPortal.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>

#include "platform/linux/portal/PortalRequest.h"

namespace sayvo {
namespace {
const QString kInterface = QStringLiteral("org.freedesktop.host.portal.Registry");
constexpr int kAnswerTimeoutMs = 5000;
}  // namespace

QtHostRegistryPortal::QtHostRegistryPortal(QDBusConnection bus)
    : bus_(std::move(bus)), interface_(bus_, kInterface) {}

void QtHostRegistryPortal::registerApp(const std::string& appId,
                                       std::function<void(PortalOutcome)> reply) {
    QDBusMessage call = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kInterface,
                                                       QStringLiteral("Register"));
    call << QString::fromStdString(appId) << QVariantMap();
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kAnswerTimeoutMs), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [reply = std::move(reply)](QDBusPendingCallWatcher* done) {
                done->deleteLater();
                reply(done->isError() ? PortalOutcome::failed : PortalOutcome::success);
            });
}

}  // namespace sayvo
