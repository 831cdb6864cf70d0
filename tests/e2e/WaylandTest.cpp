// Sayvo on a Wayland session: the test runs inside a KWin desktop with its
// portals (scripts/lib/kwin.sh), or a GNOME one (scripts/lib/gnome.sh), and
// dictates into native Wayland applications.
#include "E2e.h"

namespace {

// Ctrl+Alt+Space, the default hotkey, as evdev codes.
const QStringList kHotkey = {"29", "56", "57"};

class WaylandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
            !qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(':').contains(desktop()))
            GTEST_SKIP() << "needs a " << desktop().toStdString() << " desktop with portals";
        ensureApplication();
        qputenv("GDK_BACKEND", "wayland");  // the entry's
        env_.remove("GDK_BACKEND");
        env_.insert("XDG_CONFIG_HOME", home_.path());
        env_.insert("XDG_SESSION_TYPE", "wayland");
        env_.remove("QT_QPA_PLATFORM");  // Sayvo picks XWayland itself
    }
    virtual QString desktop() const { return "KDE"; }
    // Keys a failed check left down would repeat in KWin for good.
    void TearDown() override {
        for (QProcess* process : {&app_, &mock_}) process->kill(), process->waitForFinished();
        run(env_, "/usr/bin/python3", QStringList{SAYVO_WAYLAND_KEYS, "tap"} + kHotkey);
    }

    // Starts Sayvo and waits until the desktop has bound its shortcut.
    // Without a tray the first launch would open the panel, over the entry.
    void launch(const QString& binary,
                const QByteArray& preferences = R"({"introducedWithoutTray": true})") {
        ASSERT_TRUE(startSayvo(app_, env_, binary, home_.path(), preferences, {"--verbose"}));
        // Plasma 5 files it as /component/sayvo, Plasma 6 as token_sayvo or app_sayvo_Sayvo.
        const QStringList components = {
            "call",          "--session",     "--dest",   "org.kde.kglobalaccel",
            "--object-path", "/kglobalaccel", "--method", "org.kde.KGlobalAccel.allComponents"};
        QByteArray listed;
        ASSERT_TRUE(waitUntil(
            [&] {
                return (listed = run(env_, "gdbus", components).value_or("")).contains("sayvo");
            },
            15000, 200))
            << "the desktop bound no shortcut for Sayvo";
        std::printf("shortcut components: %s", listed.constData());  // for whoever follows
    }
    // Holds the hotkey through a RemoteDesktop session of the test's own
    // while the recording plays; returns when it is let go.
    void dictate() {
        QProcess keys;
        keys.setProcessEnvironment(env_);
        keys.setProcessChannelMode(QProcess::ForwardedChannels);
        keys.start("/usr/bin/python3", QStringList{SAYVO_WAYLAND_KEYS, "hold", "4"} + kHotkey);
        pause(1000);
        EXPECT_TRUE(speak(env_));
        ASSERT_TRUE(keys.waitForFinished(20000) && keys.exitCode() == 0) << "the keys were refused";
    }
    std::optional<qint64> arrives(Entry& entry, const std::string& text) {
        QElapsedTimer sinceRelease;
        sinceRelease.start();
        if (!waitUntil([&] { return entry.text() == text; }, 8000)) return std::nullopt;
        return sinceRelease.elapsed();
    }

    // The grant to paste the desktop gave, as Sayvo keeps it.
    static std::string storedRestoreToken(const QString& configHome) {
        QFile preferences(configHome + "/sayvo/preferences.json");
        if (!preferences.open(QIODevice::ReadOnly)) return {};
        const Json stored = Json::parse(preferences.readAll().toStdString(), nullptr, false);
        return stored.is_object() ? stored.value("remoteDesktopRestoreToken", "") : "";
    }

    QProcessEnvironment env_ = sayvoEnvironment();
    QTemporaryDir home_;
    QProcess app_, mock_;
};

// One Sayvo through the desktop's shortcut, the command entry, and a terminal,
// where Ctrl+V would reach the program inside as a bare ^V.
TEST_F(WaylandTest, TheDesktopShortcutDictatesIntoNativeWaylandApplications) {
    Entry entry;
    ASSERT_TRUE(entry.open()) << "no Wayland entry";
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY));
    dictate();
    const auto took = arrives(entry, kPasted);
    ASSERT_TRUE(took) << entry.text();
    measure("wayland_on_device_release_to_text", *took, "ms");
    // Plasma 6 grants restorable sessions (5.27 none): the grant to paste is
    // kept, so that the next start asks no one.
    const QStringList kwinVersion = {"-W", "-f", "${Version}", "kwin-wayland"};
    if (run(env_, "dpkg-query", kwinVersion).value_or("").startsWith("4:6")) {
        EXPECT_FALSE(storedRestoreToken(home_.path()).empty());
    }

    // The command entry, for desktops without the shortcut portal.
    ASSERT_TRUE(run(env_, SAYVO_BINARY, {"--toggle"}));
    pause(500);
    EXPECT_TRUE(speak(env_));
    ASSERT_TRUE(run(env_, SAYVO_BINARY, {"--toggle"}));
    EXPECT_TRUE(arrives(entry, kPasted + kPasted)) << entry.text();

    QTemporaryDir scratch;
    const QString received = scratch.filePath("received");
    QProcess terminal;  // a VTE terminal, on Wayland like the entry
    terminal.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    terminal.start("xfce4-terminal", {"--disable-server", "-x", "/usr/bin/python3",
                                      SAYVO_PASTE_MATRIX, "--sink", received});
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(received); }, 10000)) << "no terminal";
    dictate();
    const auto text = [&] {
        QFile file(received);
        return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
    };
    EXPECT_TRUE(waitUntil([&] { return text() == kPasted; }, 8000)) << text();
    terminal.kill();
    terminal.waitForFinished();
}

TEST_F(WaylandTest, TheCloudEngineDictatesIntoANativeWaylandApplication) {
    ASSERT_TRUE(startMockAsr(mock_));
    Entry entry;
    ASSERT_TRUE(entry.open()) << "no Wayland entry";
    ASSERT_NO_FATAL_FAILURE(launch(
        SAYVO_CLOUD_BINARY, R"({"AliyunASRAPIKey": "test-key", "introducedWithoutTray": true})"));
    dictate();
    const auto took = arrives(entry, kPasted);
    ASSERT_TRUE(took) << entry.text();
    measure("wayland_cloud_release_to_text", *took, "ms");
}

// GNOME: the paste's consent is asked once, answered as a user would,
// through its dialog. GNOME 43 to 47 have no GlobalShortcuts portal: the user
// adds the shortcut from the panel and GNOME runs it at the press and every
// autorepeat. GNOME 48 binds through the portal after asking the user.
class GnomeTest : public WaylandTest {
protected:
    QString desktop() const override { return "GNOME"; }
    void SetUp() override {
        WaylandTest::SetUp();
        if (IsSkipped()) return;
        // GNOME's settings live in the desktop's own configuration folder
        // (fresh for each desktop), which readers of them must share.
        config_ = qEnvironmentVariable("XDG_CONFIG_HOME");
        env_.insert("XDG_CONFIG_HOME", config_);
        const QStringList portal = {"introspect", "--session",
                                    "-d",         "org.freedesktop.portal.Desktop",
                                    "-o",         "/org/freedesktop/portal/desktop"};
        shortcutPortal_ = run(env_, "gdbus", portal)
                              .value_or("")
                              .contains("interface org.freedesktop.portal.GlobalShortcuts ");
    }
    // A headless seat has a keyboard only while a remote-desktop session is
    // open, and mutter focuses the window mapped before one plugs in: the
    // entry opens within the second.
    void openEntry() {
        keyboard_.setProcessEnvironment(env_);
        keyboard_.start(
            "sh",
            {"-c", QString("sleep 1; exec /usr/bin/python3 %1 hold 300").arg(SAYVO_WAYLAND_KEYS)});
        ASSERT_TRUE(entry_.open()) << "no Wayland entry";
    }
    void TearDown() override {
        keyboard_.kill();
        keyboard_.waitForFinished();
        WaylandTest::TearDown();
    }
    QString gsettings(const QStringList& arguments) {
        return QString::fromUtf8(run(env_, "gsettings", arguments).value_or("")).trimmed();
    }
    QString newestPid(const QString& command) {
        return QString::fromUtf8(run(env_, "pgrep", {"-n", "-f", command}).value_or("")).trimmed();
    }
    // A control of a process, as a screen reader finds and presses it.
    bool press(const QString& pid, const QString& role, const QString& name) {
        return run(env_, "/usr/bin/python3", {SAYVO_DESKTOP_PY, "press", pid, role, name})
            .has_value();
    }
    // The remote-desktop portal asks at a session's start; Sayvo's indicator
    // must be out of its way. True when the dialog was answered.
    bool consent() {
        const auto portal = [&] { return newestPid("libexec/xdg-desktop-portal-gnome"); };
        if (!waitUntil([&] { return press(portal(), "check box", "Allow remote interaction"); },
                       10000, 200))
            return false;
        const QStringList indicator = {"search", "--onlyvisible", "--name", "^Sayvo indicator$"};
        EXPECT_FALSE(run(env_, "xdotool", indicator).has_value()) << "the indicator covers it";
        // GTK 3 names the button with its mnemonic too.
        return waitUntil(
            [&] {
                return press(portal(), "button", "Share") ||
                       press(portal(), "button", "_Share Share");
            },
            5000, 200);
    }

    QString config_;
    bool shortcutPortal_ = false;
    QProcess keyboard_;
    Entry entry_;
};

TEST_F(GnomeTest, TheShortcutAddedFromThePanelDictatesIntoANativeWaylandApplication) {
    if (shortcutPortal_) GTEST_SKIP() << "GNOME 48 and later bind through the portal";
    env_.insert("QT_LINUX_ACCESSIBILITY_ALWAYS_ON", "1");
    ASSERT_TRUE(startSayvo(app_, env_, SAYVO_BINARY, config_, "{}", {"--verbose"}));
    const QString entryPath =
        "org.gnome.settings-daemon.plugins.media-keys.custom-keybinding:"
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sayvo/";
    // No tray on GNOME: a second launch opens the panel.
    ASSERT_TRUE(run(env_, "gdbus", {"wait", "--session", "--timeout", "10", "app.sayvo.Sayvo"}));
    ASSERT_TRUE(run(env_, SAYVO_BINARY, {}));
    const QString pid = QString::number(app_.processId());
    ASSERT_TRUE(waitUntil([&] { return press(pid, "push button", "更改快捷键"); }, 10000, 200))
        << "no hotkey row";
    EXPECT_TRUE(waitUntil(
        [&] {
            return gsettings({"get", entryPath, "binding"}) == "'<Control><Alt>space'";
        },
        5000, 100));
    run(env_, "/usr/bin/python3", {SAYVO_WAYLAND_KEYS, "tap", "1"});  // Escape closes the panel

    ASSERT_NO_FATAL_FAILURE(openEntry());
    dictate();
    EXPECT_TRUE(consent()) << "no consent dialog";
    EXPECT_TRUE(arrives(entry_, kPasted)) << entry_.text();
    // Asked once: the next dictation pastes at once.
    dictate();
    const auto took = arrives(entry_, kPasted + kPasted);
    ASSERT_TRUE(took) << entry_.text();
    measure("gnome_custom_shortcut_release_to_text", *took, "ms");
}

TEST_F(GnomeTest, ThePortalShortcutDictatesAndTheNextStartAsksNothing) {
    if (!shortcutPortal_) GTEST_SKIP() << "GNOME before 48 has no shortcut portal";
    const QByteArray preferences = R"({"introducedWithoutTray": true})";
    ASSERT_TRUE(startSayvo(app_, env_, SAYVO_BINARY, config_, preferences, {"--verbose"}));
    const auto provider = [&] { return newestPid("global-shortcuts-provider"); };
    EXPECT_TRUE(waitUntil([&] { return press(provider(), "button", "Add"); }, 15000, 200))
        << "GNOME did not offer to add the shortcut";
    ASSERT_NO_FATAL_FAILURE(openEntry());
    dictate();
    EXPECT_TRUE(consent()) << "no consent dialog";
    EXPECT_TRUE(arrives(entry_, kPasted)) << entry_.text();
    EXPECT_FALSE(storedRestoreToken(config_).empty());

    // Neither the shortcut nor the paste asks again: nobody answers now.
    app_.kill();
    app_.waitForFinished();
    ASSERT_TRUE(startSayvo(app_, env_, SAYVO_BINARY, config_, {}, {"--verbose"}));
    pause(3000);
    dictate();
    const auto took = arrives(entry_, kPasted + kPasted);
    ASSERT_TRUE(took) << entry_.text();
    measure("gnome48_release_to_text", *took, "ms");
}

}  // namespace
