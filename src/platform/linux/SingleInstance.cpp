#include "platform/linux/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMetaObject>
#include <QStandardPaths>
#include <QString>
#include <cerrno>
#include <iostream>
#include <utility>

namespace sayvo {

namespace {
// Long enough for a busy first instance, short enough that a hung one does
// not leave the user's launcher waiting.
constexpr int kAnswerTimeoutMs = 5000;
const QByteArray kActivateRequest = "activate\n";
const QByteArray kActivatedAnswer = "ok\n";
const QString kApplicationInterface = QStringLiteral("org.freedesktop.Application");
}  // namespace

void ApplicationBusObject::Activate(const QVariantMap&) {
    if (onActivate) onActivate();
}

SingleInstance::SingleInstance(QString applicationId)
    : applicationId_(std::move(applicationId)),
      objectPath_(u'/' + QString(applicationId_).replace(u'.', u'/')),
      // $XDG_RUNTIME_DIR, or the private folder Qt makes when it is unset.
      runtimeDirectory_(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)) {
    busObject_.onActivate = [this] { activated(); };
}

SingleInstance::~SingleInstance() {
    if (ownsBusName_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(objectPath_);
        bus.unregisterService(applicationId_);
    }
    if (server_) server_->close();  // removes the socket file
    if (lockFd_ >= 0) ::close(lockFd_);
}

SingleInstance::Claim SingleInstance::claim() {
    if (auto claimed = claimBusName()) return *claimed;
    if (auto claimed = claimLockFile()) return *claimed;
    return Claim::unguarded;
}

std::optional<SingleInstance::Claim> SingleInstance::claimBusName() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface()) return std::nullopt;
    if (!bus.registerObject(objectPath_, &busObject_, QDBusConnection::ExportScriptableSlots))
        return std::nullopt;
    const auto reply =
        bus.interface()->registerService(applicationId_, QDBusConnectionInterface::DontQueueService,
                                         QDBusConnectionInterface::DontAllowReplacement);
    if (reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered) {
        ownsBusName_ = true;
        return Claim::first;
    }
    bus.unregisterObject(objectPath_);
    // A bus that refuses the name for any other reason (a policy) guards nothing.
    if (!reply.isValid() || !bus.interface()->isServiceRegistered(applicationId_).value())
        return std::nullopt;
    overBus_ = true;
    return Claim::anotherRuns;
}

std::optional<SingleInstance::Claim> SingleInstance::claimLockFile() {
    const QFileInfo folder(runtimeDirectory_);
    if (runtimeDirectory_.isEmpty() || !folder.isDir() || !folder.isWritable()) {
        unguardedReason_ =
            QStringLiteral("没有会话总线，运行时文件夹也不可写：") + runtimeDirectory_;
        return std::nullopt;
    }
    const QString base = runtimeDirectory_ + u'/' + applicationId_;
    const QByteArray lockPath = QFile::encodeName(base + QStringLiteral(".lock"));
    lockFd_ = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd_ < 0) {
        unguardedReason_ = QStringLiteral("无法打开 ") + QFile::decodeName(lockPath);
        return std::nullopt;
    }
    if (::flock(lockFd_, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(lockFd_);
        lockFd_ = -1;
        if (error == EWOULDBLOCK) return Claim::anotherRuns;
        unguardedReason_ = QStringLiteral("无法锁定 ") + QFile::decodeName(lockPath);
        return std::nullopt;
    }
    // For whoever looks: the holder's process id.
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(lockFd_, 0) == 0) {
        [[maybe_unused]] const auto written = ::write(lockFd_, pid.constData(), pid.size());
    }
    // The lock is ours, so a socket left by a crashed holder is stale.
    const QString socketPath = base + QStringLiteral(".socket");
    QLocalServer::removeServer(socketPath);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket, [this, socket] {
                if (!socket->canReadLine()) return;
                if (socket->readLine() == kActivateRequest) {
                    socket->write(kActivatedAnswer);
                    activated();
                }
                socket->disconnectFromServer();
            });
        }
    });
    if (!server_->listen(socketPath)) {
        // Still the one instance; a later one just cannot reach this one.
        std::cerr << "sayvo: " << server_->errorString().toStdString() << std::endl;
    }
    return Claim::first;
}

std::optional<QString> SingleInstance::activateRunning() {
    return overBus_ ? activateOverBus() : activateOverSocket();
}

std::optional<QString> SingleInstance::activateOverBus() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        applicationId_, objectPath_, kApplicationInterface, QStringLiteral("Activate"));
    call << QVariantMap();
    const QDBusMessage answer =
        QDBusConnection::sessionBus().call(call, QDBus::Block, kAnswerTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage) return std::nullopt;
    return answer.errorMessage();
}

std::optional<QString> SingleInstance::activateOverSocket() {
    QLocalSocket socket;
    socket.connectToServer(runtimeDirectory_ + u'/' + applicationId_ + QStringLiteral(".socket"));
    if (!socket.waitForConnected(kAnswerTimeoutMs)) return socket.errorString();
    socket.write(kActivateRequest);
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs)) return socket.errorString();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs)) return socket.errorString();
    }
    if (socket.readLine() != kActivatedAnswer) return QStringLiteral("没有回应");
    return std::nullopt;
}

// Out of the bus's or the socket's own handler, in a later turn of the loop.
void SingleInstance::activated() {
    QMetaObject::invokeMethod(
        &busObject_,
        [this] {
            if (onActivate) onActivate();
        },
        Qt::QueuedConnection);
}

}  // namespace sayvo
