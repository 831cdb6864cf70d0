#pragma once
// The end-to-end scene: Sayvo started as a user would, on the test's X display
// and keyboard, with a private session bus (a tray host, a screen reader's
// bus), the mock recognition service and another application's text entries.
#include <gtest/gtest.h>

#include <QtCore>
#include <QtDBus>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>

using Json = nlohmann::json;

// Polls while keeping our D-Bus objects served; true once done() holds.
inline bool waitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 10) {
    QElapsedTimer timer;
    timer.start();
    while (QCoreApplication::processEvents(), !done()) {
        if (timer.elapsed() > timeoutMs) return false;
        QThread::msleep(pollMs);
    }
    return true;
}

inline void pause(int ms) {
    waitUntil([] { return false; }, ms);
}

inline void ensureApplication() {
    static int argc = 1;
    static char name[] = "sayvo_e2e_tests", *argv[] = {name, nullptr};
    if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
}

inline std::optional<QByteArray> run(const QProcessEnvironment& env, const QString& program,
                                     const QStringList& arguments) {
    QProcess process;
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(program, arguments);
    if (!process.waitForFinished(15000) || process.exitCode() != 0) return std::nullopt;
    return process.readAllStandardOutput();
}

inline const QString kSpeech = "/usr/share/pocketsphinx/test/data/goforward.raw";
inline const std::string kWords = "go forward ten meters";  // what it says
// As it goes into another application: the next dictation reads apart from it.
inline const std::string kPasted = kWords + " ";

// Plays the recording into a test microphone, to its end; without its 0.45 s
// of leading silence if told, so that the words begin at once.
inline bool speak(const QProcessEnvironment& env, bool fromTheFirstWord = false,
                  const QString& microphone = "mic") {
    const QString play =
        "tail -c +%1 %2 | paplay -d %3 --raw --format=s16le --rate=16000 --channels=1";
    return run(env, "sh", {"-c", play.arg(fromTheFirstWord ? 14401 : 1).arg(kSpeech, microphone)})
        .has_value();
}

inline bool startMockAsr(QProcess& mock, const QStringList& options = {}) {
    mock.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    mock.start(
        SAYVO_MOCK_ASR,
        QStringList{"--port", QString::number(SAYVO_MOCK_PORT), "--key", "test-key"} + options);
    return waitUntil([&] { return mock.canReadLine() && mock.readLine().startsWith("LISTENING"); },
                     10000);
}

// The scenarios find Sayvo's controls and read its words in Chinese,
// whatever the machine's locale; a scenario in another language says so.
inline QProcessEnvironment sayvoEnvironment() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains("LANGUAGE")) env.insert("LANGUAGE", "zh_CN");
    return env;
}

inline bool startSayvo(QProcess& app, const QProcessEnvironment& env, const QString& binary,
                       const QString& configHome, const QByteArray& preferences,
                       const QStringList& arguments = {}) {
    QFile file(configHome + "/sayvo/preferences.json");
    if (!preferences.isEmpty() &&
        !(QDir(configHome).mkpath("sayvo") && file.open(QIODevice::WriteOnly) &&
          file.write(preferences) == preferences.size()))
        return false;
    file.close();
    app.setProcessEnvironment(env);
    app.setProcessChannelMode(QProcess::ForwardedChannels);
    app.start(binary, arguments);
    return true;
}

inline void measure(const char* name, qint64 value, const char* unit) {
    std::printf("MEASURE: %s = %lld %s\n", name, static_cast<long long>(value), unit);
    std::fflush(stdout);
}

// The application a user dictates into: a GTK text entry of another process,
// with the keyboard focus.
class Entry : public QProcess {
public:
    ~Entry() override { kill(), waitForFinished(3000); }
    bool open() {
        setProcessChannelMode(QProcess::ForwardedErrorChannel);
        start("/usr/bin/python3", {SAYVO_DESKTOP_PY, "entry"});
        if (!waitUntil([&] { return canReadLine(); }, 10000)) return false;
        id = readLine().trimmed().toULong();
        return true;
    }
    std::string text() {  // as of the last waitUntil()
        while (canReadLine()) text_ = QString::fromUtf8(readLine()).chopped(1).toStdString();
        return text_;
    }
    unsigned long id = 0;

private:
    std::string text_;
};

// The tray host Qt looks for before it makes a D-Bus tray item; it also
// counts the item's icon changes, the outside sign of a recording's start and end.
class TrayHost : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
    Q_PROPERTY(bool IsStatusNotifierHostRegistered READ hostRegistered)

public:
    bool hostRegistered() const { return true; }
    QStringList items;  // bus names, in the order they registered
    int iconChanges = 0;

public slots:
    void RegisterStatusNotifierItem(const QString& service) { items.append(service); }
    void NewIcon() { ++iconChanges; }
};

class Notifications : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList bodies;

public slots:
    QStringList GetCapabilities() { return {"body"}; }
    uint Notify(const QString&, uint, const QString&, const QString&, const QString& body,
                const QStringList&, const QVariantMap&, int) {
        bodies.append(body);
        return bodies.size();
    }
};

class E2eTest : public ::testing::Test {
protected:
    using Keys = QStringList;
    static inline const std::string kChinese = "向前走十米。";
    static inline const Keys kAltSpace = {"Alt_L", "space"};

    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(QFile::exists(kSpeech)) << "the speech recordings are missing";
        // A bus of our own, so the test neither needs nor disturbs a session bus.
        busDaemon_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        ASSERT_TRUE(waitUntil([&] { return busDaemon_.canReadLine(); }, 10000)) << "no dbus";
        const QString address = QString::fromUtf8(busDaemon_.readLine()).trimmed();
        env_.insert("DBUS_SESSION_BUS_ADDRESS", address);
        ASSERT_TRUE(QDBusConnection::connectToBus(address, "e2e").isConnected());
        // Qt decides once, at tray creation, whether a D-Bus tray exists.
        ASSERT_TRUE(bus().registerObject("/StatusNotifierWatcher", &tray_,
                                         QDBusConnection::ExportAllContents) &&
                    bus().registerService("org.kde.StatusNotifierWatcher"));
        ASSERT_TRUE(bus().registerObject("/org/freedesktop/Notifications", &notifications_,
                                         QDBusConnection::ExportAllSlots) &&
                    bus().registerService("org.freedesktop.Notifications"));
        // Sayvo's windows show on it as to a screen reader.
        atSpiBus_.setProcessEnvironment(env_);
        atSpiBus_.start("/usr/libexec/at-spi-bus-launcher", {"--launch-immediately"});
        ASSERT_TRUE(waitUntil(
            [&] { return bus().interface()->isServiceRegistered("org.a11y.Bus"); }, 10000, 50));
        env_.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
        env_.insert("XDG_CONFIG_HOME", home_.path());
        env_.insert("XDG_RUNTIME_DIR", home_.path());  // private to us, as Qt wants it
    }
    // A failed check must not leave keys down or fn mapped for whatever runs next.
    void TearDown() override {
        xdo({"keyup", "d", "space", "Alt_L", "Control_L", "Shift_L"});
        if (fnMapped_) run("xmodmap", {"-e", "keycode 247 ="});
        if (!secondMicrophone_.isEmpty()) {
            run("pactl", {"set-default-source", "mic.monitor"});
            run("pactl", {"unload-module", secondMicrophone_});
        }
        for (QProcess* process : {&app_, &mock_}) process->kill(), process->waitForFinished();
        QDBusConnection::disconnectFromBus("e2e");
        for (QProcess* process : {&atSpiBus_, &busDaemon_})
            process->terminate(), process->waitForFinished();
    }
    QDBusConnection bus() const { return QDBusConnection("e2e"); }
    std::string notices() const { return notifications_.bodies.join(" | ").toStdString(); }
    bool microphoneOpen() { return run("pactl", {"list", "short", "source-outputs"}) != ""; }
    std::optional<QByteArray> run(const QString& program, const QStringList& arguments) {
        return ::run(env_, program, arguments);
    }
    std::string clipboard() {
        return run("sh", {"-c", "xclip -o -sel c 2>/dev/null"}).value_or("").toStdString();
    }
    void clearClipboard() { run("sh", {"-c", "printf '' | xclip -sel c >/dev/null 2>&1"}); }

    // Starts `binary` and waits for its tray item. Given preference members (JSON,
    // each with a leading comma), it stores them first, with Alt+Space as the hotkey.
    void launch(const QString& binary, const char* preferences = nullptr) {
        const auto known = tray_.items.size();
        const QByteArray hotkey =
            R"({"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false)";
        ASSERT_TRUE(startSayvo(app_, env_, binary, home_.path(),
                               preferences ? hotkey + preferences + "}" : QByteArray()));
        ASSERT_TRUE(waitUntil([&] { return tray_.items.size() > known; }, 15000)) << "no tray item";
        // Once registered, it asks our tray host again whether a tray exists: a
        // blocking call of ours meanwhile would stall both. Its indicator comes after.
        ASSERT_TRUE(waitUntil([&] { return window("Sayvo indicator", false).has_value(); }, 10000));
        ASSERT_TRUE(bus().connect(tray_.items.last(), "/StatusNotifierItem",
                                  "org.kde.StatusNotifierItem", "NewIcon", &tray_,
                                  SLOT(NewIcon())));
    }
    QByteArray preferences() {
        QFile file(home_.filePath("sayvo/preferences.json"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool exitedCleanly() {
        return waitUntil([&] { return app_.state() == QProcess::NotRunning; }, 5000) &&
               app_.exitStatus() == QProcess::NormalExit && app_.exitCode() == 0;
    }
    // As a tray host calls Sayvo's item; the answer in GVariant text.
    QString callTray(const QStringList& methodAndArguments,
                     const QString& path = "/StatusNotifierItem") {
        const QStringList call = {"call",          "--session", "--dest",  tray_.items.last(),
                                  "--object-path", path,        "--method"};
        return QString::fromUtf8(run("gdbus", call + methodAndArguments).value_or(""));
    }
    void openPanel() {  // a right click
        callTray({"org.kde.StatusNotifierItem.ContextMenu", "640", "12"});
        ASSERT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
    }

    QString xdo(const QStringList& arguments) {
        return QString::fromUtf8(run("xdotool", arguments).value_or("")).trimmed();
    }
    unsigned long focus() { return xdo({"getwindowfocus"}).toULong(); }
    bool focusOn(unsigned long window) {
        xdo({"windowfocus", "--sync", QString::number(window)});
        return focus() == window;
    }
    bool openEntry(Entry& entry) { return entry.open() && focusOn(entry.id); }
    // Sayvo's first window so named, or any with a name (Qt names each; the root has none).
    std::optional<unsigned long> window(const QString& name = {}, bool viewable = true) {
        QStringList search = {"search", "--all",
                              "--pid",  QString::number(app_.processId()),
                              "--name", name.isEmpty() ? "." : "^" + name + "$"};
        if (viewable) search.insert(1, "--onlyvisible");
        const QString id = xdo(search).section('\n', 0, 0);
        return id.isEmpty() ? std::nullopt : std::optional(id.toULong());
    }
    bool indicatorShown() { return window("Sayvo indicator").has_value(); }
    bool panelShown() { return window("Sayvo panel").has_value(); }

    bool hold(const Keys& keys) {
        xdo(QStringList{"keydown"} + keys);
        return waitUntil([&] { return indicatorShown(); }, 5000, 1);
    }
    void letGo(const Keys& keys) {  // the last one pressed first
        xdo(QStringList{"keyup"} + Keys(keys.rbegin(), keys.rend()));
    }
    void dictate(const Keys& hotkey, bool fromTheFirstWord = false,
                 const QString& microphone = "mic") {
        EXPECT_TRUE(hold(hotkey)) << "no recording";
        EXPECT_TRUE(speak(env_, fromTheFirstWord, microphone));
        pause(1000);
        letGo(hotkey);
    }

    // As a screen reader finds it: centre x, y, name, "checked"; "press" also runs it.
    QStringList find(const QString& role, const QString& name = {}, const char* how = "find") {
        const QString pid = QString::number(app_.processId());
        const auto found = run("/usr/bin/python3", {SAYVO_DESKTOP_PY, how, pid, role, name});
        return QString::fromUtf8(found.value_or("")).trimmed().split('\t', Qt::SkipEmptyParts);
    }
    std::string shownText() { return find("label").value(2).toStdString(); }
    bool press(const QString& button) { return !find("push button", button, "press").isEmpty(); }
    // A real click on a button. The pointer then goes back: with no window focused,
    // X gives the keys to the window under it, and they must not land in Sayvo's.
    void click(const QString& button) {
        QStringList at;  // the panel's controls reach AT-SPI a moment after it maps
        ASSERT_TRUE(
            waitUntil([&] { return !(at = find("push button", button)).isEmpty(); }, 5000, 200))
            << "no button " << button.toStdString();
        ASSERT_TRUE(
            run("xdotool", {"mousemove", at[0], at[1], "click", "1", "mousemove", "restore"}));
    }

    bool startMock(const QStringList& options) {
        stopMock();
        return startMockAsr(mock_, options);
    }
    void stopMock() {
        mock_.kill(), mock_.waitForFinished(), reports_.clear();
        if (mock_.isOpen()) mock_.readAll();  // the reports of the one stopped
    }
    const std::vector<Json>& reports() {
        QCoreApplication::processEvents();
        while (mock_.canReadLine()) reports_.push_back(Json::parse(mock_.readLine().toStdString()));
        return reports_;
    }

    QProcessEnvironment env_ = sayvoEnvironment();
    QTemporaryDir home_;        // Sayvo's, kept across restarts
    bool fnMapped_ = false;     // undone at the end
    QString secondMicrophone_;  // its module, unloaded at the end
    TrayHost tray_;
    Notifications notifications_;
    QProcess busDaemon_, atSpiBus_, app_, mock_;
    std::vector<Json> reports_;
};
