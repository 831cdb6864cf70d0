#include "platform/linux/portal/QtRemoteDesktopPortal.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>

#include "platform/linux/portal/PortalRequest.h"

namespace sayvo {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
constexpr int kAnswerTimeoutMs = 30000;

QVariant objectPath(const std::string& path) {
    return QVariant::fromValue(QDBusObjectPath(QString::fromStdString(path)));
}

}  // namespace

QtRemoteDesktopPortal::QtRemoteDesktopPortal(QDBusConnection bus)
    : bus_(std::move(bus)), session_(bus_, kInterface) {}

bool QtRemoteDesktopPortal::available() const {
    return session_.available();
}

void QtRemoteDesktopPortal::createSession(SessionReply reply) {
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), PortalRequest::uniqueToken("sayvo_paste_")}};
    session_.create(options, std::move(reply));
}

bool QtRemoteDesktopPortal::restoresSessions() const {
    return session_.version() >= 2;
}

void QtRemoteDesktopPortal::selectDevices(const std::string& session, unsigned devices,
                                          const std::string& restoreToken, Reply reply) {
    QVariantMap options{{QStringLiteral("types"), devices}};
    if (restoresSessions()) {
        options.insert(QStringLiteral("persist_mode"), 2u);  // until the user revokes it
        if (!restoreToken.empty()) {
            options.insert(QStringLiteral("restore_token"), QString::fromStdString(restoreToken));
        }
    }
    PortalRequest::call(
        bus_, kInterface, QStringLiteral("SelectDevices"), {objectPath(session)}, options,
        [reply = std::move(reply)](PortalOutcome outcome, const QVariantMap&) { reply(outcome); },
        kAnswerTimeoutMs);
}

// No timeout: a desktop that asks the user waits for the answer.
void QtRemoteDesktopPortal::start(const std::string& session, StartReply reply) {
    PortalRequest::call(
        bus_, kInterface, QStringLiteral("Start"), {objectPath(session), QString()}, {},
        [reply = std::move(reply)](PortalOutcome outcome, const QVariantMap& results) {
            reply(outcome, results.value(QStringLiteral("devices")).toUInt(),
                  results.value(QStringLiteral("restore_token")).toString().toStdString());
        },
        0);
}

void QtRemoteDesktopPortal::notifyKeyboardKeycode(const std::string& session, int keycode,
                                                  bool pressed) {
    QDBusMessage message = QDBusMessage::createMethodCall(kPortalService, kPortalPath, kInterface,
                                                          QStringLiteral("NotifyKeyboardKeycode"));
    message << objectPath(session) << QVariantMap() << keycode << uint(pressed ? 1 : 0);
    keys_.append(message);
    if (!keyInFlight_) sendNextKey();
}

void QtRemoteDesktopPortal::sendNextKey() {
    keyInFlight_ = !keys_.isEmpty();
    if (!keyInFlight_) return;
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(keys_.takeFirst()), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* w) {
        w->deleteLater();
        sendNextKey();
    });
}

}  // namespace sayvo
