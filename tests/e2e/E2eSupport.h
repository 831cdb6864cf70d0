#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QThread>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

// Polls (every pollMs) while keeping our D-Bus objects served; true once done() holds.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 10) {
    QElapsedTimer timer;
    timer.start();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done()) return true;
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(static_cast<unsigned long>(pollMs));
    }
}

// Runs a program to its end; what it printed, or nothing if it failed. Its
// errors land in the test output.
inline std::optional<QByteArray> run(
    const QString& program, const QStringList& arguments,
    const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(10000) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return std::nullopt;
    return process.readAllStandardOutput();
}

// With SAYVO_E2E_SCREENSHOTS=<dir>, saves what the screen shows at each step
// (for a person to look at; needs ImageMagick's import).
inline void screenshot(const char* name) {
    const QString dir = qEnvironmentVariable("SAYVO_E2E_SCREENSHOTS");
    if (!dir.isEmpty()) run("import", {"-window", "root", QString("%1/%2.png").arg(dir, name)});
}

// Prints a measurement on a line of its own; nothing is asserted on it.
inline void measure(const char* what, qint64 value, const char* unit) {
    std::printf("MEASURE: %s %lld %s\n", what, static_cast<long long>(value), unit);
    std::fflush(stdout);
}

// Plays 16 kHz mono s16le audio into the test microphone and waits for it to end.
inline bool speak(const QString& rawFile) {
    return run("paplay",
               {"-d", "mic", "--raw", "--format=s16le", "--rate=16000", "--channels=1", rawFile})
        .has_value();
}

// What another application gets when it pastes (xclip fails on an empty clipboard).
inline std::string clipboard() {
    return run("sh", {"-c", "xclip -o -selection clipboard 2>/dev/null"})
        .value_or("")
        .toStdString();
}

// Another client takes the clipboard, empty. xclip stays behind to serve it
// until someone else takes it: it must not keep the test's output open.
inline void clearClipboard() {
    run("sh", {"-c", "printf '' | xclip -selection clipboard >/dev/null 2>&1"});
}
