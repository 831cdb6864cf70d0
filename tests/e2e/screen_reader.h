#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <optional>

// One accessible node on screen.
struct AccessibleNode {
    QString role;  // AT-SPI's role name: "push button", "label", "frame"...
    QString name;
    QRect extents;  // in screen coordinates
};

// A real click on the node: the pointer goes there, the button goes down and
// up. The pointer then goes back: with no window focused, X gives the keys to
// the window under it, and later keys must not land in Sayvo's windows.
bool pointerClick(const AccessibleNode& node);

// What a screen reader gets: the AT-SPI accessibility bus for a private
// session bus, and other applications' nodes read and pressed through it.
// The bus launcher is stopped on destruction; the registry it starts leaves
// with the session bus.
class ScreenReader {
public:
    ScreenReader() = default;
    ~ScreenReader();
    ScreenReader(const ScreenReader&) = delete;
    ScreenReader& operator=(const ScreenReader&) = delete;

    bool start(const QDBusConnection& bus, const QString& busAddress, QString* error);
    // Qt applications expose their windows only when asked to.
    static QProcessEnvironment applicationEnvironment();

    // The first node on screen of the application `pid` with this role (and
    // name, unless empty), in tree order.
    std::optional<AccessibleNode> find(qint64 pid, const QString& role, const QString& name = {});
    // Runs the press action of a button, as a screen reader user does.
    bool press(qint64 pid, const QString& buttonName);

private:
    bool probe(const QStringList& arguments, QByteArray* output);

    QProcess launcher_;
    QString busAddress_;
};
