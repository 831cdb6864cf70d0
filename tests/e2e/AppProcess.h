#pragma once

#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

// The application under test, in a config and runtime directory of its own
// that outlive restarts. Killed on destruction if running.
class AppProcess : public QProcess {
public:
    ~AppProcess() override {
        kill();
        waitForFinished(3000);
    }

    // Puts a preferences file in place for the next start.
    bool writePreferences(const QByteArray& json) {
        QDir(home_.path()).mkpath("config/sayvo");
        QFile file(home_.filePath(kPreferences));
        return file.open(QIODevice::WriteOnly) && file.write(json) == json.size();
    }
    // What the application has stored; empty if nothing.
    QByteArray preferences() const {
        QFile file(home_.filePath(kPreferences));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    // Starts it with `environment` added to ours; false if it did not start.
    bool start(const QString& program, const QProcessEnvironment& environment) {
        QDir(home_.path()).mkpath("config");
        QDir(home_.path()).mkpath("runtime");
        // Qt refuses an XDG_RUNTIME_DIR that others can read.
        QFile::setPermissions(home_.filePath("runtime"),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", home_.filePath("config"));
        env.insert("XDG_RUNTIME_DIR", home_.filePath("runtime"));
        env.insert("QT_QPA_PLATFORM", "xcb");
        env.insert("QT_QUICK_BACKEND", "software");
        env.insert(environment);
        setProcessEnvironment(env);
        setWorkingDirectory(home_.path());
        // Its log lands in the test output, where a failure is investigated.
        setProcessChannelMode(QProcess::ForwardedChannels);
        QProcess::start(program, {});
        return waitForStarted(10000);
    }
    bool running() const { return state() == QProcess::Running; }

    // User and system CPU time used so far, in milliseconds.
    long cpuMilliseconds() const {
        const QByteArray stat = readProc("stat");
        // Fields after the command name, which is in parentheses and may hold spaces.
        const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
        return (fields.value(11).toLong() + fields.value(12).toLong()) * 1000 /
               sysconf(_SC_CLK_TCK);  // utime + stime
    }
    // VmRSS in kB.
    long residentKb() const {
        const QByteArray status = readProc("status");
        const qsizetype at = status.indexOf("VmRSS:");  // "VmRSS:    12345 kB"
        return at < 0 ? -1 : status.mid(at + 6).simplified().split(' ').value(0).toLong();
    }

private:
    // Files in /proc report size 0: read them whole rather than testing atEnd().
    QByteArray readProc(const char* name) const {
        QFile file(QString("/proc/%1/").arg(processId()) + name);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static inline const QString kPreferences = "config/sayvo/preferences.json";
    QTemporaryDir home_;
};
