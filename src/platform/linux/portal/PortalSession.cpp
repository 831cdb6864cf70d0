#include "platform/linux/portal/PortalSession.h"

#include <QDBusMessage>
#include <QDBusVariant>

#include "platform/linux/portal/PortalRequest.h"

namespace sayvo {
namespace {
const QString kSessionInterface = QStringLiteral("org.freedesktop.portal.Session");
constexpr int kFirstAnswerWaitMs = 5000;
constexpr int kAnswerTimeoutMs = 30000;
}  // namespace

PortalSession::PortalSession(QDBusConnection bus, QString interface)
    : bus_(std::move(bus)),
      interface_(std::move(interface)),
      portalWatcher_(kPortalService, bus_, QDBusServiceWatcher::WatchForUnregistration) {
    connect(&portalWatcher_, &QDBusServiceWatcher::serviceUnregistered, this, [this] {
        available_.reset();
        end();
    });
}

bool PortalSession::available() const {
    if (!available_) {
        if (!bus_.isConnected()) return false;
        QDBusMessage get = QDBusMessage::createMethodCall(
            kPortalService, kPortalPath, QStringLiteral("org.freedesktop.DBus.Properties"),
            QStringLiteral("Get"));
        get << interface_ << QStringLiteral("version");
        const QDBusMessage reply = bus_.call(get, QDBus::Block, kFirstAnswerWaitMs);
        available_ = reply.type() == QDBusMessage::ReplyMessage;
        if (*available_ && !reply.arguments().isEmpty()) {
            version_ = qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toUInt();
        }
    }
    return *available_;
}

unsigned PortalSession::version() const {
    return available() ? version_ : 0;
}

void PortalSession::create(const QVariantMap& options,
                           std::function<void(PortalOutcome, const std::string&)> reply) {
    PortalRequest::call(
        bus_, interface_, QStringLiteral("CreateSession"), {}, options,
        [this, reply = std::move(reply)](PortalOutcome outcome, const QVariantMap& results) {
            const QString session = sessionHandleOf(results);
            if (outcome == PortalOutcome::success) follow(session);
            reply(outcome, session.toStdString());
        },
        kAnswerTimeoutMs);
}

void PortalSession::follow(const QString& session) {
    if (!session_.isEmpty()) {
        bus_.disconnect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                        SLOT(closed(QVariantMap)));
    }
    session_ = session;
    if (session_.isEmpty()) return;
    bus_.connect(kPortalService, session_, kSessionInterface, QStringLiteral("Closed"), this,
                 SLOT(closed(QVariantMap)));
}

void PortalSession::closed(const QVariantMap&) {
    end();
}

void PortalSession::end() {
    if (session_.isEmpty()) return;
    follow(QString());
    if (ended) ended();
}

}  // namespace sayvo
