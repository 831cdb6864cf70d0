#include "screen_reader.h"

#include <QDBusConnectionInterface>

#include "e2e_support.h"

ScreenReader::~ScreenReader() {
    if (launcher_.state() == QProcess::NotRunning) return;
    launcher_.terminate();
    if (!launcher_.waitForFinished(3000)) {
        launcher_.kill();
        launcher_.waitForFinished(3000);
    }
}

bool ScreenReader::start(const QDBusConnection& bus, const QString& busAddress, QString* error) {
    busAddress_ = busAddress;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress);
    launcher_.setProcessEnvironment(env);
    launcher_.setProcessChannelMode(QProcess::ForwardedChannels);
    launcher_.start(QStringLiteral("/usr/libexec/at-spi-bus-launcher"),
                    {QStringLiteral("--launch-immediately")});
    if (!launcher_.waitForStarted(5000)) {
        *error = QStringLiteral("at-spi-bus-launcher did not start: ") + launcher_.errorString();
        return false;
    }
    if (!waitUntil(
            [&] { return bus.interface()->isServiceRegistered(QStringLiteral("org.a11y.Bus")); },
            10000, 50)) {
        *error = QStringLiteral("no accessibility bus on the session bus");
        return false;
    }
    return true;
}

QProcessEnvironment ScreenReader::applicationEnvironment() {
    QProcessEnvironment env;
    env.insert(QStringLiteral("QT_LINUX_ACCESSIBILITY_ALWAYS_ON"), QStringLiteral("1"));
    return env;
}

bool ScreenReader::probe(const QStringList& arguments, QByteArray* output) {
    QProcess python;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), busAddress_);
    python.setProcessEnvironment(env);
    python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    python.start(QStringLiteral("/usr/bin/python3"),
                 QStringList{QStringLiteral(SAYVO_ATSPI_PROBE)} + arguments);
    if (!python.waitForFinished(10000)) {
        python.kill();
        python.waitForFinished(1000);
        return false;
    }
    if (output) *output = python.readAllStandardOutput();
    return python.exitStatus() == QProcess::NormalExit && python.exitCode() == 0;
}

std::optional<AccessibleNode> ScreenReader::find(qint64 pid, const QString& role,
                                                 const QString& name) {
    QByteArray output;
    if (!probe({QString::number(pid), QStringLiteral("list")}, &output)) return std::nullopt;
    for (const QByteArray& line : output.split('\n')) {
        const QStringList fields = QString::fromUtf8(line).split(QLatin1Char('\t'));
        if (fields.size() != 6 || fields[0] != role || (!name.isEmpty() && fields[1] != name)) {
            continue;
        }
        return AccessibleNode{
            fields[0], fields[1],
            QRect(fields[2].toInt(), fields[3].toInt(), fields[4].toInt(), fields[5].toInt())};
    }
    return std::nullopt;
}

bool ScreenReader::press(qint64 pid, const QString& buttonName) {
    return probe({QString::number(pid), QStringLiteral("press"), buttonName}, nullptr);
}

bool pointerClick(const AccessibleNode& node) {
    const QPoint at = node.extents.center();
    return QProcess::execute(QStringLiteral("xdotool"),
                             {QStringLiteral("mousemove"), QString::number(at.x()),
                              QString::number(at.y()), QStringLiteral("click"), QStringLiteral("1"),
                              QStringLiteral("mousemove"), QStringLiteral("restore")}) == 0;
}
