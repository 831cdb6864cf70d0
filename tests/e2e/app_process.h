#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTemporaryDir>

// The application under test, in a fresh config and runtime directory, on the
// given bus. Killed on destruction if still running.
class AppProcess {
public:
    explicit AppProcess(QString program) : program_(std::move(program)) {}
    ~AppProcess();
    AppProcess(const AppProcess&) = delete;
    AppProcess& operator=(const AppProcess&) = delete;

    // Puts a preferences file in place for the next start.
    bool writePreferences(const QByteArray& json);
    // What the application has stored; empty if nothing.
    QByteArray preferences() const;
    // Variables added to its environment at the next start.
    void addEnvironment(const QProcessEnvironment& extra) { extra_.insert(extra); }
    bool start(const QString& busAddress, QString* error);
    // User and system CPU time used so far, in milliseconds; -1 if unreadable.
    long cpuMilliseconds() const;
    qint64 pid() const { return process_.processId(); }
    bool running() const { return process_.state() == QProcess::Running; }

    // Sends SIGTERM and waits; false if it is still running after timeoutMs.
    bool terminate(int timeoutMs);
    QProcess::ExitStatus exitStatus() const { return process_.exitStatus(); }
    int exitCode() const { return process_.exitCode(); }

    // VmRSS in kB from /proc, -1 if unreadable.
    long residentKb() const;

private:
    QString program_;
    QProcessEnvironment extra_;
    QTemporaryDir home_;
    QProcess process_;
};
