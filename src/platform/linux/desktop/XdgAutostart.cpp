#include "platform/linux/desktop/XdgAutostart.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <filesystem>
#include <system_error>
#include <utility>

namespace sayvo {

namespace {

// Desktop entry quoting: the path may hold spaces or characters Exec treats
// as its own.
QString quotedExecArgument(const QString& argument) {
    QString quoted;
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\') quoted += u'\\';
        quoted += c;
    }
    quoted.replace(u'%', QStringLiteral("%%"));
    return u'"' + quoted + u'"';
}

// `what` has %1 for the path and %2 for the reason.
PlatformError autostartError(const char* what, const QString& path, const QString& reason) {
    return {"XdgAutostart", 1,
            QCoreApplication::translate("XdgAutostart", what).arg(path, reason).toStdString()};
}

}  // namespace

XdgAutostart::XdgAutostart(QString applicationId, QString program)
    : XdgAutostart(std::move(applicationId), std::move(program), defaultDirectory()) {}

XdgAutostart::XdgAutostart(QString applicationId, QString program, QString directory)
    : applicationId_(std::move(applicationId)),
      program_(std::move(program)),
      directory_(std::move(directory)) {}

QString XdgAutostart::defaultDirectory() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart");
}

QString XdgAutostart::entryPath() const {
    return directory_ + u'/' + applicationId_ + QStringLiteral(".desktop");
}

bool XdgAutostart::isEnabled() const {
    QFile file(entryPath());
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return false;
    bool inEntry = false;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (line.startsWith('[')) inEntry = line == "[Desktop Entry]";
        if (!inEntry) continue;
        if (line == "Hidden=true" || line == "X-GNOME-Autostart-enabled=false") return false;
    }
    return true;
}

std::optional<PlatformError> XdgAutostart::setEnabled(bool enabled) {
    const QString path = entryPath();
    if (!enabled) {
        QFile file(path);
        if (file.exists() && !file.remove())
            return autostartError(QT_TRANSLATE_NOOP("XdgAutostart", "无法删除 %1（%2）"), path,
                                  file.errorString());
        return std::nullopt;
    }
    // An entry already on keeps what the user may have added to it.
    if (isEnabled()) return std::nullopt;
    std::error_code created;
    std::filesystem::create_directories(directory_.toStdString(), created);
    if (created)
        return autostartError(QT_TRANSLATE_NOOP("XdgAutostart", "无法创建文件夹 %1（%2）"),
                              directory_, QString::fromStdString(created.message()));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(entry()) < 0 || !file.commit())
        return autostartError(QT_TRANSLATE_NOOP("XdgAutostart", "无法写入 %1（%2）"), path,
                              file.errorString());
    return std::nullopt;
}

QByteArray XdgAutostart::entry() const {
    return QStringLiteral(
               "[Desktop Entry]\n"
               "Type=Application\n"
               "Name=Sayvo\n"
               "Comment=Hold a key, speak, and the words are typed where you work\n"
               "Comment[zh_CN]=按住快捷键说话，松开后文字输入到当前应用\n"
               "Exec=%1\n"
               // Once the program is removed, desktops skip the entry.
               "TryExec=%3\n"
               "Icon=%2\n"
               "Terminal=false\n"
               "X-GNOME-Autostart-enabled=true\n")
        .arg(quotedExecArgument(program_), applicationId_,
             QString(program_).replace(u'\\', QStringLiteral("\\\\")))
        .toUtf8();
}

}  // namespace sayvo
