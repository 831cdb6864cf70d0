#include "e2e_support.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QThread>
#include <cstdio>
#include <cstdlib>

bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
    QElapsedTimer timer;
    timer.start();
    while (true) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        if (done()) return true;
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(static_cast<unsigned long>(pollMs));
    }
}

void screenshot(const char* name) {
    const char* dir = std::getenv("SAYVO_E2E_SCREENSHOTS");
    if (!dir || !*dir) return;
    QProcess::execute(
        QStringLiteral("import"),
        {QStringLiteral("-window"), QStringLiteral("root"),
         QStringLiteral("%1/%2.png").arg(QString::fromLocal8Bit(dir), QString::fromLatin1(name))});
}

void measure(const char* what, qint64 value, const char* unit) {
    std::printf("MEASURE: %s %lld %s\n", what, static_cast<long long>(value), unit);
    std::fflush(stdout);
}

bool speak(const QString& rawFile) {
    return QProcess::execute(QStringLiteral("paplay"),
                             {QStringLiteral("-d"), QStringLiteral("mic"), QStringLiteral("--raw"),
                              QStringLiteral("--format=s16le"), QStringLiteral("--rate=16000"),
                              QStringLiteral("--channels=1"), rawFile}) == 0;
}

std::string clipboard() {
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    xclip.waitForFinished(5000);
    return xclip.readAllStandardOutput().toStdString();
}
