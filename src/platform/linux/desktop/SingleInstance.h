#pragma once

#include <QDBusContext>
#include <QLocalServer>
#include <QLocalSocket>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

#include "platform/linux/UniqueFd.h"

namespace sayvo {

// What a later launch asks of the running instance.
enum class InstanceRequest {
    showPanel,  // a plain launch
    toggle,     // sayvo --toggle: a tray click
    start,      // sayvo --start: the hotkey pressed
    stop,       // sayvo --stop: the hotkey let go
    hotkeyRun,  // a desktop shortcut that runs at the press and every autorepeat
};

// The first instance's answer on the session bus: the desktop's standard
// org.freedesktop.Application interface; ActivateAction takes "toggle",
// "start", "stop" and "hotkey". Thread: GUI thread only.
class ApplicationBusObject : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    std::function<void(InstanceRequest)> onRequest;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
    Q_SCRIPTABLE void ActivateAction(const QString& name, const QVariantList& parameter,
                                     const QVariantMap& platformData);
};

// One Sayvo per user session, so one hotkey grab and one paste per dictation.
// The first instance owns the application id on the session bus; without a
// bus it holds an flock()ed file in the runtime folder ($XDG_RUNTIME_DIR; the
// kernel lets go of it when the holder dies, so a crash leaves nothing that
// blocks) and listens on a socket beside it. A later instance hands the first
// its request. Thread: main thread only; needs the Qt application object.
class SingleInstance {
public:
    enum class Claim {
        first,        // this process is the one instance
        anotherRuns,  // send() the request, then exit
        unguarded,    // neither a bus nor a runtime folder: run, and say so
    };

    explicit SingleInstance(QString applicationId);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Claim claim();
    // Why the claim could not guard, for the user.
    QString unguardedReason() const { return unguardedReason_; }
    // As a later instance, or with no claim at all (a command entry): hands
    // the running one this request. The error, in words for the user, when
    // none runs or it did not answer.
    std::optional<QString> send(InstanceRequest request);

    // As the first instance: what a later one asked.
    std::function<void(InstanceRequest)> onRequest;

private:
    std::optional<Claim> claimBusName();
    std::optional<Claim> claimLockFile();
    enum class Lock { taken, heldElsewhere, failed };
    Lock lock(const QString& path);
    void listen(const QString& socketPath);
    void readRequest(QLocalSocket* socket);
    std::optional<QString> sendOverBus(InstanceRequest request);
    std::optional<QString> sendOverSocket(InstanceRequest request);
    void received(InstanceRequest request);

    QString applicationId_;
    QString objectPath_;
    QString runtimeDirectory_;
    QString unguardedReason_;
    bool ownsBusName_ = false;
    bool lockHeldElsewhere_ = false;
    UniqueFd lockFd_;
    ApplicationBusObject busObject_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace sayvo
