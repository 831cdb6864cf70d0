// Sayvo among the desktop's programs: a second launch, start at login, the
// command entry for key bindings, and instances that crashed.
#include "E2e.h"

class DesktopTest : public E2eTest {
protected:
    // Runs another Sayvo to its end: its exit code (-1 if it did not end) and what it said.
    std::pair<int, QString> launchAgain(const QProcessEnvironment& env,
                                        const QStringList& arguments = {}) {
        QProcess second;
        second.setProcessEnvironment(env);
        second.start(SAYVO_BINARY, arguments);
        // Waiting serves our bus objects too: Sayvo may be calling the tray host meanwhile.
        const bool ended = waitUntil([&] { return second.state() == QProcess::NotRunning; }, 10000);
        if (!ended) second.kill(), second.waitForFinished();
        const int code =
            ended && second.exitStatus() == QProcess::NormalExit ? second.exitCode() : -1;
        return {code, QString::fromUtf8(second.readAllStandardError())};
    }
    bool startAtLoginShown(bool checked) {
        return waitUntil(
            [&] {
                const QStringList row = find("check box", "开机启动");
                return !row.isEmpty() && (row.value(3) == "checked") == checked;
            },
            5000, 200);
    }
};

TEST_F(DesktopTest, ASecondLaunchOpensThePanelAndOneInstanceSurvivesACrash) {
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY, ""));
    {
        Entry entry;
        ASSERT_TRUE(openEntry(entry));
        ASSERT_TRUE(hold(kAltSpace));
        const auto [code, said] = launchAgain(env_);
        EXPECT_EQ(code, 0);
        EXPECT_TRUE(said.contains("已在运行")) << said.toStdString();
        EXPECT_FALSE(panelShown()) << "the panel took the focus from the dictation";
        EXPECT_TRUE(speak(env_));
        pause(1000);
        letGo(kAltSpace);
        ASSERT_TRUE(waitUntil([&] { return panelShown(); }, 8000)) << "no panel after the paste";
        EXPECT_EQ(entry.text(), kPasted) << "pasted once, by one instance";
    }

    const QString autostart = home_.filePath("autostart/app.sayvo.Sayvo.desktop");
    EXPECT_TRUE(startAtLoginShown(false)) << "off by default";
    find("check box", "开机启动", "press");
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(autostart); }, 3000));
    EXPECT_TRUE(startAtLoginShown(true));
    EXPECT_TRUE(run("desktop-file-validate", {autostart}));
    QFile written(autostart);
    ASSERT_TRUE(written.open(QIODevice::ReadOnly));
    EXPECT_TRUE(written.readAll().contains("\nExec=\"" SAYVO_BINARY "\"\n"));
    find("check box", "开机启动", "press");
    EXPECT_TRUE(waitUntil([&] { return !QFile::exists(autostart); }, 3000));
    EXPECT_TRUE(startAtLoginShown(false));

    {  // The command entry for a desktop's own key bindings (--toggle: see WaylandTest).
        Entry entry;
        ASSERT_TRUE(openEntry(entry));
        EXPECT_EQ(launchAgain(env_, {"--start"}).first, 0);
        ASSERT_TRUE(waitUntil([&] { return indicatorShown(); }, 5000)) << "no recording";
        EXPECT_TRUE(speak(env_));
        EXPECT_EQ(launchAgain(env_, {"--stop"}).first, 0);
        EXPECT_TRUE(waitUntil([&] { return entry.text() == kPasted; }, 5000)) << entry.text();
        ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000));
    }

    // The bus lets a killed instance's name go.
    app_.kill(), app_.waitForFinished();
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY));
    app_.kill(), app_.waitForFinished();

    // Without a bus, the lock file decides; a crashed holder's lock blocks nothing.
    QProcessEnvironment noBus = env_;
    noBus.insert("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + home_.filePath("no-bus"));
    const QString lock = home_.filePath("app.sayvo.Sayvo.lock");
    const auto holdsLock = [&] {
        QFile file(lock);
        return file.open(QIODevice::ReadOnly) &&
               file.readAll().trimmed() == QByteArray::number(app_.processId());
    };
    app_.setProcessEnvironment(noBus);
    for (const char* round : {"first", "after a crash"}) {
        SCOPED_TRACE(round);
        app_.start(SAYVO_BINARY, {});
        ASSERT_TRUE(waitUntil(holdsLock, 10000)) << "no lock taken";
        const auto [code, said] = launchAgain(noBus);
        EXPECT_EQ(code, 0) << said.toStdString();
        EXPECT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
        EXPECT_EQ(launchAgain(noBus, {"--start"}).first, 0);
        EXPECT_TRUE(waitUntil([&] { return indicatorShown(); }, 5000)) << "no recording";
        EXPECT_EQ(app_.state(), QProcess::Running);
        app_.kill(), app_.waitForFinished();
    }
    const auto [code, said] = launchAgain(env_, {"--toggle"});
    EXPECT_EQ(code, 1) << "told nobody";
    EXPECT_TRUE(said.contains("没有在运行")) << said.toStdString();
}

// Without a StatusNotifier tray, an XEmbed one or none at all (GNOME without
// its extension), notices still reach the desktop's notification service.
TEST_F(DesktopTest, NoticesReachTheNotificationServiceWithAnXEmbedTrayOrNone) {
    ASSERT_TRUE(bus().unregisterService("org.kde.StatusNotifierWatcher"));
    for (const bool xembed : {false, true}) {
        SCOPED_TRACE(xembed ? "XEmbed tray" : "no tray");
        QProcess tray;
        if (xembed) {
            tray.setProcessEnvironment(env_);
            tray.start("trayer", {});
            ASSERT_TRUE(tray.waitForStarted());
            pause(500);
        }
        QFile::remove(home_.filePath("sayvo/preferences.json"));  // a first launch
        notifications_.bodies.clear();
        ASSERT_TRUE(startSayvo(app_, env_, SAYVO_BINARY, home_.path(), {}));
        EXPECT_TRUE(
            waitUntil([&] { return notifications_.bodies.join("|").contains("说话"); }, 15000))
            << notices();
        for (QProcess* process : {&app_, &tray}) process->terminate(), process->waitForFinished();
    }
}
