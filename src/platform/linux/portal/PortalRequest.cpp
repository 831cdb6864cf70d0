#include "platform/linux/portal/PortalRequest.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>
#include <atomic>

namespace sayvo {

namespace {
const QString kRequestInterface = QStringLiteral("org.freedesktop.portal.Request");
}

QString PortalRequest::uniqueToken(const QString& prefix) {
    static std::atomic<unsigned> counter{0};
    return prefix + QString::number(++counter);
}

PortalRequest::PortalRequest(const QDBusConnection& bus, Done done)
    : bus_(bus), done_(std::move(done)) {}

void PortalRequest::call(const QDBusConnection& bus, const QString& interface,
                         const QString& method, const QVariantList& arguments, QVariantMap options,
                         Done done, int timeoutMilliseconds) {
    auto* request = new PortalRequest(bus, std::move(done));
    const QString token = uniqueToken(QStringLiteral("sayvo_request_"));
    options.insert(QStringLiteral("handle_token"), token);
    // /org/freedesktop/portal/desktop/request/SENDER/TOKEN, SENDER being our
    // unique name without its colon and with its dots as underscores.
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    request->listenAt(kPortalPath + QStringLiteral("/request/") + sender + QLatin1Char('/') +
                      token);

    QDBusMessage message =
        QDBusMessage::createMethodCall(kPortalService, kPortalPath, interface, method);
    QVariantList all = arguments;
    all.append(options);
    message.setArguments(all);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message), request);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, request,
                     [request](QDBusPendingCallWatcher* call) {
                         call->deleteLater();
                         const QDBusPendingReply<QDBusObjectPath> reply = *call;
                         if (reply.isError()) {
                             request->finish(PortalOutcome::failed, {});
                             return;
                         }
                         // Older portals ignore the token and name another path.
                         if (reply.value().path() != request->path_) {
                             request->listenAt(reply.value().path());
                         }
                     });
    if (timeoutMilliseconds > 0) {
        QTimer::singleShot(timeoutMilliseconds, request,
                           [request] { request->finish(PortalOutcome::failed, {}); });
    }
}

void PortalRequest::listenAt(const QString& path) {
    if (!path_.isEmpty()) {
        bus_.disconnect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                        SLOT(response(uint, QVariantMap)));
    }
    path_ = path;
    bus_.connect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                 SLOT(response(uint, QVariantMap)));
}

void PortalRequest::response(uint code, const QVariantMap& results) {
    finish(code == 0   ? PortalOutcome::success
           : code == 1 ? PortalOutcome::cancelled
                       : PortalOutcome::failed,
           results);
}

void PortalRequest::finish(PortalOutcome outcome, const QVariantMap& results) {
    if (finished_) return;
    finished_ = true;
    bus_.disconnect(kPortalService, path_, kRequestInterface, QStringLiteral("Response"), this,
                    SLOT(response(uint, QVariantMap)));
    // Never from within the call that asked: the caller's state may be mid-change.
    QTimer::singleShot(0, this, [this, outcome, results] {
        if (done_) done_(outcome, results);
        deleteLater();
    });
}

QString sessionHandleOf(const QVariantMap& results) {
    const QVariant handle = results.value(QStringLiteral("session_handle"));
    if (handle.canConvert<QDBusObjectPath>() && handle.metaType().id() != QMetaType::QString) {
        return handle.value<QDBusObjectPath>().path();
    }
    return handle.toString();
}

}  // namespace sayvo
