#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

// Where a registered tray item can be called.
struct TrayItemAddress {
    QString service;
    QString path;
};

// A minimal org.kde.StatusNotifierWatcher: Qt only uses a D-Bus tray icon when
// one is on the bus and reports a registered host, so it also claims to be the
// host.
class TrayWatcher : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(QStringList RegisteredStatusNotifierItems READ registeredItems)
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ isHostRegistered)
    Q_PROPERTY(int ProtocolVersion READ protocolVersion)

public:
    using QObject::QObject;

    // Claims the watcher's name and object path; false with a reason if taken.
    bool publish(QDBusConnection bus, QString* error);

    QStringList registeredItems() const;
    bool isHostRegistered() const { return true; }
    int protocolVersion() const { return 0; }

    const QVector<TrayItemAddress>& items() const { return items_; }

public slots:
    void RegisterStatusNotifierItem(const QString& service);
    void RegisterStatusNotifierHost(const QString& service);

signals:
    void StatusNotifierItemRegistered(const QString& service);
    void StatusNotifierHostRegistered();

private:
    QVector<TrayItemAddress> items_;
};

// Counts the item's NewIcon signals: the tray icon changes when a recording
// starts or ends, which is the only outside sign that one is under way.
class IconChangeCounter : public QObject {
    Q_OBJECT

public:
    bool watch(QDBusConnection bus, const TrayItemAddress& item);
    int count() const { return count_; }

private slots:
    void onNewIcon() { ++count_; }

private:
    int count_ = 0;
};
