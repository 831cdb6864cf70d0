#pragma once

#include <gtest/gtest.h>

#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFile>
#include <QPoint>
#include <QTemporaryDir>
#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "../backend/XTestKeys.h"
#include "AppProcess.h"
#include "E2eSupport.h"
#include "TrayWatcher.h"
#include "XWindows.h"

// A dictation scene: an X display, the keyboard, a private session bus with
// a tray host, and Sayvo launched with Alt+Space as its hotkey (or, for a
// fresh profile, the desktop's default).
class DictationFixture : public ::testing::Test {
protected:
    using Keys = std::vector<std::string>;
    static inline const QString kSpeech = "/usr/share/pocketsphinx/test/data/goforward.raw";
    static inline const std::string kWords = "go forward ten meters";

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kSpeech)) << "the speech recordings are missing";
        ASSERT_TRUE(x_.connected() && keys_.isOpen()) << "no X display";
        // A bus of our own, so the test neither needs nor disturbs a session bus.
        busDaemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(waitUntil([&] { return busDaemon_.canReadLine(); }, 10000)) << "no dbus-daemon";
        busAddress_ = QString::fromLocal8Bit(busDaemon_.readLine()).trimmed();
        busEnvironment_.insert("DBUS_SESSION_BUS_ADDRESS", busAddress_);
        appEnvironment_.insert("DBUS_SESSION_BUS_ADDRESS", busAddress_);
        ASSERT_TRUE(QDBusConnection::connectToBus(busAddress_, kBus).isConnected());
        // Before launch: Qt decides once, at tray creation, whether a D-Bus tray exists.
        ASSERT_TRUE(watcher_.publish(bus())) << bus().lastError().message().toStdString();
    }
    // A failed check must not leave keys down or fn mapped for whatever runs next.
    void TearDown() override {
        for (const char* key : {"d", "space", "Alt_L", "Control_L", "Shift_L"}) keys_.release(key);
        if (fn_) keys_.restoreKeycode(fn_);
        app_.reset();
        QDBusConnection::disconnectFromBus(kBus);
        for (QProcess* process : {&atSpiBus_, &busDaemon_}) {
            process->terminate();
            process->waitForFinished(3000);
        }
    }
    QDBusConnection bus() const { return QDBusConnection(kBus); }

    // Sayvo's windows show on an AT-SPI bus, as to a screen reader, from the next launch.
    void startScreenReader() {
        atSpiBus_.setProcessEnvironment(busEnvironment_);
        atSpiBus_.start("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"});
        ASSERT_TRUE(waitUntil(
            [&] { return bus().interface()->isServiceRegistered("org.a11y.Bus"); }, 10000, 50))
            << "no accessibility bus";
        appEnvironment_.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    }
    // Starts `binary` with the hotkey and any further preference members
    // (JSON, each with a leading comma), and waits for its tray item. Once
    // more, it starts again on the same profile.
    void launch(const QString& binary, const QByteArray& morePreferences = {}) {
        if (!app_) {
            app_ = std::make_unique<AppProcess>();
            ASSERT_TRUE(
                freshProfile_ ||
                app_->writePreferences(
                    R"({"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false)" +
                    morePreferences + "}"));
        }
        const auto known = watcher_.items().size();
        QElapsedTimer sinceLaunch;
        sinceLaunch.start();
        ASSERT_TRUE(app_->start(binary, appEnvironment_)) << app_->errorString().toStdString();
        waitUntil([&] { return watcher_.items().size() > known || !app_->running(); }, 15000);
        ASSERT_TRUE(app_->running()) << "exited during startup, code " << app_->exitCode();
        ASSERT_GT(watcher_.items().size(), known) << "no tray item registered";
        measure("launch_to_tray_registered", sinceLaunch.elapsed(), "ms");
        measure("rss_after_tray_registered", app_->residentKb(), "kB");
        ASSERT_TRUE(icon_.watch(bus(), trayItem()));
    }
    TrayItemAddress trayItem() const { return watcher_.items().constLast(); }
    // A click on the tray item as the tray host reports it: "Activate" for
    // the left button, "ContextMenu" for the right one.
    void clickTrayItem(const QString& method) {
        QDBusMessage call = QDBusMessage::createMethodCall(trayItem().service, trayItem().path,
                                                           "org.kde.StatusNotifierItem", method);
        call << 640 << 12;  // a plausible top-bar position
        bus().asyncCall(call);
    }
    // The recording without its leading silence: the words begin at the press.
    QString speechFromTheFirstMoment() {
        QFile in(kSpeech);
        QFile out(scratch_.filePath("goforward-at-once.raw"));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return {};
        out.write(in.readAll().mid(int(0.45 * 16000) * 2));
        return out.fileName();
    }

    bool shown(const char* title) { return x_.findViewable(title, app_->processId()).has_value(); }
    bool indicatorShown() { return shown("Sayvo indicator"); }
    bool panelShown() { return shown("Sayvo panel"); }
    // Presses the keys in order; the time from the last press to the
    // indicator on screen in microseconds, or -1 if it did not appear.
    qint64 hold(const Keys& keys) {
        QElapsedTimer clock;
        for (const auto& key : keys) clock.start(), keys_.press(key);
        return waitUntil([&] { return indicatorShown(); }, 5000, 1) ? clock.nsecsElapsed() / 1000
                                                                    : -1;
    }
    // Lets go of the keys, the last one pressed first unless told otherwise.
    void letGo(Keys keys, bool firstPressedFirst = false) {
        if (!firstPressedFirst) std::reverse(keys.begin(), keys.end());
        for (const auto& key : keys) keys_.release(key);
    }
    void tap(const std::string& key) { keys_.press(key), keys_.release(key); }

    // What a screen reader finds of Sayvo's: the name and centre of the first
    // control on screen with this role (and name, unless empty), in tree order.
    std::optional<std::pair<QString, QPoint>> find(const QString& role, const QString& name = {}) {
        for (const QByteArray& line : probe({"list"}).value_or("").split('\n')) {
            const QStringList f = QString::fromUtf8(line).split('\t');
            if (f.size() == 4 && f[0] == role && (name.isEmpty() || f[1] == name))
                return std::pair(f[1], QPoint(f[2].toInt(), f[3].toInt()));
        }
        return std::nullopt;
    }
    // What the indicator shows of the dictation.
    std::string shownText() {
        const auto label = find("label");
        return label ? label->first.toStdString() : std::string();
    }
    // Runs a button's press action, as a screen reader user does.
    bool press(const QString& button) { return probe({"press", button}).has_value(); }
    // A real click on a button: the pointer goes there, the button goes down
    // and up. The pointer then goes back: with no window focused, X gives the
    // keys to the window under it, and later keys must not land in Sayvo's.
    void click(const QString& button) {
        // The panel's controls reach AT-SPI a moment after it maps.
        std::optional<std::pair<QString, QPoint>> node;
        ASSERT_TRUE(
            waitUntil([&] { return (node = find("push button", button)).has_value(); }, 5000, 200))
            << "no button \"" << button.toStdString() << "\"";
        const QPoint at = node->second;
        ASSERT_TRUE(run("xdotool", {"mousemove", QString::number(at.x()), QString::number(at.y()),
                                    "click", "1", "mousemove", "restore"}));
    }

    QString busAddress_;
    // Added to Sayvo's environment by launch().
    QProcessEnvironment appEnvironment_;
    // Launch as a new user: no preferences file at all, so no stored hotkey.
    bool freshProfile_ = false;
    // A keycode mapped to fn, unmapped at the end.
    unsigned fn_ = 0;
    QTemporaryDir scratch_;
    XWindows x_;
    XTestKeys keys_;
    TrayWatcher watcher_;
    IconChangeCounter icon_;
    std::unique_ptr<AppProcess> app_;

private:
    // atspi_probe.py on Sayvo's windows; its output, or nothing if it failed.
    std::optional<QByteArray> probe(const QStringList& arguments) {
        return run("/usr/bin/python3",
                   QStringList{SAYVO_ATSPI_PROBE, QString::number(app_->processId())} + arguments,
                   busEnvironment_);
    }

    static inline const QString kBus = "e2e";
    QProcessEnvironment busEnvironment_ = QProcessEnvironment::systemEnvironment();
    QProcess busDaemon_;
    QProcess atSpiBus_;
};
