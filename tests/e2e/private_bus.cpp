#include "private_bus.h"

#include <QDBusError>

namespace {
const QString kConnectionName = QStringLiteral("e2e");
constexpr int kStartTimeoutMs = 10000;
}  // namespace

PrivateBus::~PrivateBus() {
    if (connected_) QDBusConnection::disconnectFromBus(kConnectionName);
    if (daemon_.state() != QProcess::NotRunning) {
        daemon_.terminate();
        if (!daemon_.waitForFinished(3000)) {
            daemon_.kill();
            daemon_.waitForFinished(3000);
        }
    }
}

bool PrivateBus::start(QString* error) {
    daemon_.setProgram(QStringLiteral("dbus-daemon"));
    daemon_.setArguments({QStringLiteral("--session"), QStringLiteral("--nofork"),
                          QStringLiteral("--print-address=1")});
    daemon_.setProcessChannelMode(QProcess::SeparateChannels);
    daemon_.setReadChannel(QProcess::StandardOutput);
    daemon_.start();
    if (!daemon_.waitForStarted(kStartTimeoutMs)) {
        *error = QStringLiteral("dbus-daemon did not start: ") + daemon_.errorString();
        return false;
    }
    // The address is printed as one line once the bus listens.
    while (!daemon_.canReadLine()) {
        if (!daemon_.waitForReadyRead(kStartTimeoutMs)) {
            *error = QStringLiteral("dbus-daemon printed no address: ") +
                     QString::fromLocal8Bit(daemon_.readAllStandardError());
            return false;
        }
    }
    address_ = QString::fromLocal8Bit(daemon_.readLine()).trimmed();
    QDBusConnection bus = QDBusConnection::connectToBus(address_, kConnectionName);
    connected_ = true;
    if (!bus.isConnected()) {
        *error =
            QStringLiteral("cannot connect to %1: %2").arg(address_, bus.lastError().message());
        return false;
    }
    return true;
}

QDBusConnection PrivateBus::connection() const {
    return QDBusConnection(kConnectionName);
}
