#pragma once

#include <QLocalServer>
#include <QObject>
#include <QString>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>

namespace sayvo {

// The first instance's answer on the session bus: the desktop's standard
// org.freedesktop.Application interface. Thread: GUI thread only.
class ApplicationBusObject : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    std::function<void()> onActivate;

public slots:
    Q_SCRIPTABLE void Activate(const QVariantMap& platformData);
};

// One Sayvo per user session, so one hotkey grab and one paste per dictation.
// The first instance owns the application id on the session bus; without a
// bus it holds an flock()ed file in $XDG_RUNTIME_DIR (which the kernel lets go
// when the holder dies, so a crash leaves nothing that blocks) and listens on
// a socket beside it. A later instance asks the first to show its panel.
// Thread: GUI thread only; needs the QApplication.
class SingleInstance {
public:
    enum class Claim {
        first,        // this process is the one instance
        anotherRuns,  // call activateRunning(), then exit
        unguarded,    // neither a bus nor a runtime folder: run, and say so
    };

    explicit SingleInstance(QString applicationId);
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    Claim claim();
    // Why the claim could not guard, for the user.
    QString unguardedReason() const { return unguardedReason_; }
    // As a later instance: asks the running one to show its panel. The
    // error, in words for the user, when it did not answer.
    std::optional<QString> activateRunning();

    // As the first instance: another one started.
    std::function<void()> onActivate;

private:
    std::optional<Claim> claimBusName();
    std::optional<Claim> claimLockFile();
    std::optional<QString> activateOverBus();
    std::optional<QString> activateOverSocket();
    void activated();

    QString applicationId_;
    QString objectPath_;
    QString runtimeDirectory_;
    QString unguardedReason_;
    bool overBus_ = false;
    bool ownsBusName_ = false;
    int lockFd_ = -1;
    ApplicationBusObject busObject_;
    std::unique_ptr<QLocalServer> server_;
};

}  // namespace sayvo
