#include "platform/linux/desktop/SingleInstance.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QMetaObject>
#include <QStandardPaths>
#include <QString>
#include <QThread>
#include <cerrno>
#include <utility>

#include "platform/linux/StderrLine.h"

namespace sayvo {

namespace {
// Long enough for a busy first instance, short enough that a hung one does
// not leave the user's launcher waiting.
constexpr int kAnswerTimeoutMs = 5000;
const QByteArray kDoneAnswer = "ok\n";
constexpr qint64 kLongestRequest = 64;
constexpr int kListenWaitAttempts = 40;
constexpr unsigned long kListenWaitStepMs = 50;
const QString kApplicationInterface = QStringLiteral("org.freedesktop.Application");

// The action names, on the bus and on the socket alike.
const std::pair<InstanceRequest, QString> kRequestNames[] = {
    {InstanceRequest::showPanel, QStringLiteral("activate")},
    {InstanceRequest::toggle, QStringLiteral("toggle")},
    {InstanceRequest::start, QStringLiteral("start")},
    {InstanceRequest::stop, QStringLiteral("stop")},
    {InstanceRequest::hotkeyRun, QStringLiteral("hotkey")},
};
QString nameOf(InstanceRequest request) {
    for (const auto& [known, name] : kRequestNames)
        if (known == request) return name;
    return {};
}
std::optional<InstanceRequest> requestNamed(const QString& name) {
    for (const auto& [request, known] : kRequestNames)
        if (known == name) return request;
    return std::nullopt;
}
}  // namespace

void ApplicationBusObject::Activate(const QVariantMap&) {
    if (onRequest) onRequest(InstanceRequest::showPanel);
}

void ApplicationBusObject::ActivateAction(const QString& name, const QVariantList&,
                                          const QVariantMap&) {
    const auto request = requestNamed(name);
    if (!request || *request == InstanceRequest::showPanel) {
        sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("no action ") + name);
        return;
    }
    if (onRequest) onRequest(*request);
}

SingleInstance::SingleInstance(QString applicationId)
    : applicationId_(std::move(applicationId)),
      objectPath_(u'/' + QString(applicationId_).replace(u'.', u'/')),
      // $XDG_RUNTIME_DIR, or the private folder Qt makes when it is unset.
      runtimeDirectory_(QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation)) {
    busObject_.onRequest = [this](InstanceRequest request) { received(request); };
}

SingleInstance::~SingleInstance() {
    if (ownsBusName_) {
        QDBusConnection bus = QDBusConnection::sessionBus();
        bus.unregisterObject(objectPath_);
        bus.unregisterService(applicationId_);
    }
    if (server_) server_->close();  // removes the socket file
    lockFd_.reset();
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
    return Claim::anotherRuns;
}

std::optional<SingleInstance::Claim> SingleInstance::claimLockFile() {
    const QFileInfo folder(runtimeDirectory_);
    if (runtimeDirectory_.isEmpty() || !folder.isDir() || !folder.isWritable()) {
        unguardedReason_ =
            QCoreApplication::translate("SingleInstance", "没有会话总线，运行时文件夹也不可写：%1")
                .arg(runtimeDirectory_);
        return std::nullopt;
    }
    const QString base = runtimeDirectory_ + u'/' + applicationId_;
    switch (lock(base + QStringLiteral(".lock"))) {
        case Lock::heldElsewhere:
            return Claim::anotherRuns;
        case Lock::failed:
            return std::nullopt;
        case Lock::taken:
            break;
    }
    listen(base + QStringLiteral(".socket"));
    return Claim::first;
}

SingleInstance::Lock SingleInstance::lock(const QString& path) {
    const QByteArray lockPath = QFile::encodeName(path);
    lockFd_.reset(::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600));
    if (lockFd_.get() < 0) {
        unguardedReason_ = QCoreApplication::translate("SingleInstance", "无法打开 %1")
                               .arg(QFile::decodeName(lockPath));
        return Lock::failed;
    }
    if (::flock(lockFd_.get(), LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        lockFd_.reset();
        if (error == EWOULDBLOCK) {
            lockHeldElsewhere_ = true;
            return Lock::heldElsewhere;
        }
        unguardedReason_ = QCoreApplication::translate("SingleInstance", "无法锁定 %1")
                               .arg(QFile::decodeName(lockPath));
        return Lock::failed;
    }
    // For whoever looks: the holder's process id.
    const QByteArray pid = QByteArray::number(::getpid()) + '\n';
    if (::ftruncate(lockFd_.get(), 0) == 0) {
        [[maybe_unused]] const auto written = ::write(lockFd_.get(), pid.constData(), pid.size());
    }
    return Lock::taken;
}

void SingleInstance::listen(const QString& socketPath) {
    // The lock is ours, so a socket left by a crashed holder is stale.
    QLocalServer::removeServer(socketPath);
    server_ = std::make_unique<QLocalServer>();
    server_->setSocketOptions(QLocalServer::UserAccessOption);
    QObject::connect(server_.get(), &QLocalServer::newConnection, server_.get(), [this] {
        while (QLocalSocket* socket = server_->nextPendingConnection()) {
            QObject::connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
            QObject::connect(socket, &QLocalSocket::readyRead, socket,
                             [this, socket] { readRequest(socket); });
        }
    });
    if (!server_->listen(socketPath)) {
        // Still the one instance; a later one just cannot reach this one.
        printToStderr(server_->errorString().toStdString());
    }
}

void SingleInstance::readRequest(QLocalSocket* socket) {
    if (!socket->canReadLine()) {
        // Every request is a short line; anything longer is no client of ours.
        if (socket->bytesAvailable() > kLongestRequest) socket->abort();
        return;
    }
    const auto request = requestNamed(QString::fromUtf8(socket->readLine()).trimmed());
    if (request) {
        socket->write(kDoneAnswer);
        received(*request);
    }
    socket->disconnectFromServer();
}

// The bus when the running instance owns the name there; else its socket.
std::optional<QString> SingleInstance::send(InstanceRequest request) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    const bool onBus = bus.isConnected() && bus.interface() &&
                       bus.interface()->isServiceRegistered(applicationId_).value();
    return onBus ? sendOverBus(request) : sendOverSocket(request);
}

std::optional<QString> SingleInstance::sendOverBus(InstanceRequest request) {
    const bool activate = request == InstanceRequest::showPanel;
    QDBusMessage call = QDBusMessage::createMethodCall(
        applicationId_, objectPath_, kApplicationInterface,
        activate ? QStringLiteral("Activate") : QStringLiteral("ActivateAction"));
    if (!activate) call << nameOf(request) << QVariantList();
    call << QVariantMap();
    const QDBusMessage answer =
        QDBusConnection::sessionBus().call(call, QDBus::Block, kAnswerTimeoutMs);
    if (answer.type() == QDBusMessage::ReplyMessage) return std::nullopt;
    return answer.errorMessage();
}

std::optional<QString> SingleInstance::sendOverSocket(InstanceRequest request) {
    QLocalSocket socket;
    const QString path = runtimeDirectory_ + u'/' + applicationId_ + QStringLiteral(".socket");
    // A holder of the lock that started a moment ago may not listen yet.
    const int attempts = lockHeldElsewhere_ ? kListenWaitAttempts : 1;
    for (int attempt = 1;; ++attempt) {
        socket.connectToServer(path);
        if (socket.waitForConnected(kAnswerTimeoutMs)) break;
        const bool nobodyListens = socket.error() == QLocalSocket::ServerNotFoundError ||
                                   socket.error() == QLocalSocket::ConnectionRefusedError;
        if (!nobodyListens) return socket.errorString();
        if (attempt == attempts)
            return QCoreApplication::translate("SingleInstance", "Sayvo 没有在运行");
        QThread::msleep(kListenWaitStepMs);
    }
    socket.write(nameOf(request).toUtf8() + '\n');
    if (!socket.waitForBytesWritten(kAnswerTimeoutMs)) return socket.errorString();
    while (!socket.canReadLine()) {
        if (!socket.waitForReadyRead(kAnswerTimeoutMs)) return socket.errorString();
    }
    if (socket.readLine() != kDoneAnswer)
        return QCoreApplication::translate("SingleInstance", "没有回应");
    return std::nullopt;
}

// Out of the bus's or the socket's own handler, in a later turn of the loop.
void SingleInstance::received(InstanceRequest request) {
    QMetaObject::invokeMethod(
        &busObject_,
        [this, request] {
            if (onRequest) onRequest(request);
        },
        Qt::QueuedConnection);
}

}  // namespace sayvo
