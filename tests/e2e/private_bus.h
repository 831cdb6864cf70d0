#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>

// A dbus-daemon of our own, so the test neither needs nor disturbs a session
// bus. Stopped, with our connection closed, on destruction.
class PrivateBus {
public:
    PrivateBus() = default;
    ~PrivateBus();
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    bool start(QString* error);
    QString address() const { return address_; }
    QDBusConnection connection() const;

private:
    QProcess daemon_;
    QString address_;
    bool connected_ = false;
};
