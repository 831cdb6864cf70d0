#include "platform/linux/portal/QtGlobalShortcutsPortal.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QTimer>

#include "platform/linux/portal/PortalRequest.h"

namespace {

// One entry of the portal's a(sa{sv}) shortcut lists.
struct PortalShortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const PortalShortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, PortalShortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

}  // namespace

Q_DECLARE_METATYPE(PortalShortcut)

namespace sayvo {
namespace {

const QString kInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
constexpr int kAnswerTimeoutMs = 30000;

QList<PortalShortcut> toPortal(const std::vector<GlobalShortcutsPortal::Shortcut>& shortcuts) {
    QList<PortalShortcut> list;
    for (const auto& shortcut : shortcuts) {
        list.append({QString::fromStdString(shortcut.id),
                     {{QStringLiteral("description"), QString::fromStdString(shortcut.description)},
                      {QStringLiteral("preferred_trigger"),
                       QString::fromStdString(shortcut.preferredTrigger)}}});
    }
    return list;
}

std::vector<GlobalShortcutsPortal::Binding> bindingsOf(const QDBusArgument& argument) {
    QList<PortalShortcut> list;
    argument >> list;
    std::vector<GlobalShortcutsPortal::Binding> bindings;
    for (const auto& shortcut : list) {
        bindings.push_back({shortcut.id.toStdString(),
                            shortcut.properties.value(QStringLiteral("trigger_description"))
                                .toString()
                                .toStdString()});
    }
    return bindings;
}

}  // namespace

QtGlobalShortcutsPortal::QtGlobalShortcutsPortal(QDBusConnection bus)
    : bus_(std::move(bus)), session_(bus_, kInterface) {
    qDBusRegisterMetaType<PortalShortcut>();
    qDBusRegisterMetaType<QList<PortalShortcut>>();
    session_.ended = [this] {
        if (events_.sessionClosed) events_.sessionClosed();
    };
    const auto subscribe = [this](const char* name, const char* slot) {
        bus_.connect(kPortalService, kPortalPath, kInterface, QString::fromLatin1(name), this,
                     slot);
    };
    subscribe("Activated", SLOT(activated(QDBusMessage)));
    subscribe("Deactivated", SLOT(deactivated(QDBusMessage)));
    subscribe("ShortcutsChanged", SLOT(shortcutsChanged(QDBusMessage)));
}

bool QtGlobalShortcutsPortal::available() const {
    return session_.available();
}

void QtGlobalShortcutsPortal::createSession(const std::string& token,
                                            const std::vector<Shortcut>& shortcuts,
                                            SessionReply reply) {
    const QVariantMap options{
        {QStringLiteral("session_handle_token"), QString::fromStdString(token)},
        {QStringLiteral("shortcuts"), QVariant::fromValue(toPortal(shortcuts))}};
    session_.create(options, std::move(reply));
}

void QtGlobalShortcutsPortal::bindShortcuts(const std::string& session,
                                            const std::vector<Shortcut>& shortcuts,
                                            BindReply reply) {
    const QVariantList arguments{
        QVariant::fromValue(QDBusObjectPath(QString::fromStdString(session))),
        QVariant::fromValue(toPortal(shortcuts)), QString()};
    PortalRequest::call(
        bus_, kInterface, QStringLiteral("BindShortcuts"), arguments, {},
        [reply = std::move(reply)](PortalOutcome outcome, const QVariantMap& results) {
            const QVariant list = results.value(QStringLiteral("shortcuts"));
            reply(outcome, list.canConvert<QDBusArgument>()
                               ? bindingsOf(list.value<QDBusArgument>())
                               : std::vector<Binding>{});
        },
        0);  // GNOME asks the user in a dialog: no machine's answer time
}

void QtGlobalShortcutsPortal::setEvents(Events events) {
    events_ = std::move(events);
}

QString QtGlobalShortcutsPortal::ourShortcut(const QDBusMessage& message) const {
    const QVariantList arguments = message.arguments();
    if (session_.path().isEmpty() || arguments.size() < 2) return {};
    if (arguments[0].value<QDBusObjectPath>().path() != session_.path()) return {};
    return arguments[1].toString();
}

void QtGlobalShortcutsPortal::activated(const QDBusMessage& message) {
    const QString id = ourShortcut(message);
    if (!id.isEmpty() && events_.activated) events_.activated(id.toStdString());
}

void QtGlobalShortcutsPortal::deactivated(const QDBusMessage& message) {
    const QString id = ourShortcut(message);
    if (!id.isEmpty() && events_.deactivated) events_.deactivated(id.toStdString());
}

void QtGlobalShortcutsPortal::shortcutsChanged(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (ourShortcut(message).isEmpty() || !events_.shortcutsChanged) return;
    if (!arguments[1].canConvert<QDBusArgument>()) return;
    events_.shortcutsChanged(bindingsOf(arguments[1].value<QDBusArgument>()));
}

}  // namespace sayvo
