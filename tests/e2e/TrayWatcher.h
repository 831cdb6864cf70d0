#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVector>

// Where a registered tray item can be called.
struct TrayItemAddress {
    QString service;
    QString path;
};

// The part of org.kde.StatusNotifierWatcher that Qt uses: it makes a D-Bus
// tray icon only when a watcher reports a registered host.
class TrayWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)

public:
    // Claims the watcher's name and object path.
    bool publish(QDBusConnection bus) {
        return bus.registerObject("/StatusNotifierWatcher", this,
                                  QDBusConnection::ExportAllContents) &&
               bus.registerService("org.kde.StatusNotifierWatcher");
    }
    bool isHostRegistered() const { return true; }
    // In the order they registered; a restarted application registers anew.
    const QVector<TrayItemAddress>& items() const { return items_; }

public slots:
    // Qt passes its bus name and serves the item at a fixed path.
    void RegisterStatusNotifierItem(const QString& service) {
        items_.append({service, "/StatusNotifierItem"});
    }

private:
    QVector<TrayItemAddress> items_;
};

// Counts the item's NewIcon signals: the tray icon changes when a recording
// starts or ends, which is the only outside sign that one is under way.
class IconChangeCounter : public QObject {
    Q_OBJECT

public:
    bool watch(QDBusConnection bus, const TrayItemAddress& item) {
        return bus.connect(item.service, item.path, "org.kde.StatusNotifierItem", "NewIcon", this,
                           SLOT(onNewIcon()));
    }
    int count() const { return count_; }

private slots:
    void onNewIcon() { ++count_; }

private:
    int count_ = 0;
};
