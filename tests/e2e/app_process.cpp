#include "app_process.h"

#include <unistd.h>

#include <QDir>
#include <QFile>

AppProcess::~AppProcess() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool AppProcess::start(const QString& busAddress, QString* error) {
    if (!home_.isValid()) {
        *error = QStringLiteral("no temporary directory: ") + home_.errorString();
        return false;
    }
    const QString config = home_.filePath(QStringLiteral("config"));
    const QString runtime = home_.filePath(QStringLiteral("runtime"));
    QDir().mkpath(config);
    QDir().mkpath(runtime);
    // Qt refuses an XDG_RUNTIME_DIR that others can read.
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtime);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_QUICK_BACKEND"), QStringLiteral("software"));
    env.insert(extra_);

    process_.setProgram(program_);
    process_.setProcessEnvironment(env);
    process_.setWorkingDirectory(home_.path());
    // Its log lands in the test output, where a failure is investigated.
    process_.setProcessChannelMode(QProcess::ForwardedChannels);
    process_.start();
    if (!process_.waitForStarted(10000)) {
        *error = QStringLiteral("cannot start %1: %2").arg(program_, process_.errorString());
        return false;
    }
    return true;
}

QByteArray AppProcess::preferences() const {
    QFile file(home_.filePath(QStringLiteral("config/sayvo/preferences.json")));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool AppProcess::writePreferences(const QByteArray& json) {
    const QString dir = home_.filePath(QStringLiteral("config/sayvo"));
    QDir().mkpath(dir);
    QFile file(dir + QStringLiteral("/preferences.json"));
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(json) == json.size();
}

long AppProcess::cpuMilliseconds() const {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(process_.processId()));
    if (!stat.open(QIODevice::ReadOnly)) return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name, which is in parentheses and may hold spaces.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13) return -1;
    const long ticks = fields[11].toLong() + fields[12].toLong();  // utime + stime
    return ticks * 1000 / sysconf(_SC_CLK_TCK);
}

bool AppProcess::terminate(int timeoutMs) {
    if (process_.state() == QProcess::NotRunning) return true;
    process_.terminate();  // SIGTERM on Unix
    return process_.waitForFinished(timeoutMs);
}

long AppProcess::residentKb() const {
    QFile status(QStringLiteral("/proc/%1/status").arg(process_.processId()));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    // Files in /proc report size 0, so read them whole rather than testing atEnd().
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            // "VmRSS:    12345 kB"
            const QList<QByteArray> parts = line.simplified().split(' ');
            return parts.size() >= 2 ? parts[1].toLong() : -1;
        }
    }
    return -1;
}
