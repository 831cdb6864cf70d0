#include "tray_watcher.h"

#include <QDBusError>

namespace {
const QString kWatcherService = QStringLiteral("org.kde.StatusNotifierWatcher");
const QString kWatcherPath = QStringLiteral("/StatusNotifierWatcher");
const QString kItemPath = QStringLiteral("/StatusNotifierItem");
}  // namespace

bool TrayWatcher::publish(QDBusConnection bus, QString* error) {
    if (!bus.registerObject(kWatcherPath, this, QDBusConnection::ExportAllContents)) {
        *error =
            QStringLiteral("cannot register %1: %2").arg(kWatcherPath, bus.lastError().message());
        return false;
    }
    if (!bus.registerService(kWatcherService)) {
        *error =
            QStringLiteral("cannot own %1: %2").arg(kWatcherService, bus.lastError().message());
        return false;
    }
    return true;
}

QStringList TrayWatcher::registeredItems() const {
    QStringList out;
    for (const auto& item : items_) out << item.service + item.path;
    return out;
}

void TrayWatcher::RegisterStatusNotifierItem(const QString& service) {
    // Qt passes a bus name, well-known or unique, and serves the item at a fixed path.
    const TrayItemAddress item{service, kItemPath};
    for (const auto& known : items_) {
        if (known.service == item.service) return;
    }
    items_.append(item);
    emit StatusNotifierItemRegistered(item.service + item.path);
}

void TrayWatcher::RegisterStatusNotifierHost(const QString&) {
    emit StatusNotifierHostRegistered();
}

bool IconChangeCounter::watch(QDBusConnection bus, const TrayItemAddress& item) {
    return bus.connect(item.service, item.path, QStringLiteral("org.kde.StatusNotifierItem"),
                       QStringLiteral("NewIcon"), this, SLOT(onNewIcon()));
}
