// One running Sayvo without an on-device model: its panel, the indicator's
// buttons and the cloud engine against the mock service, served well and badly.
#include "E2e.h"

using PanelTest = E2eTest;

TEST_F(PanelTest, AKeySavedInThePanelDictatesInTheCloudAndACapturedHotkeyTakesOver) {
    ASSERT_TRUE(startMock({}));
    env_.insert("SAYVO_TEST_MODEL_DIRECTORY", home_.path());  // no model in it
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, ""));
    Entry entry;
    ASSERT_TRUE(openEntry(entry));

    // Without a key the on-device engine is asked, and fails at once, saying
    // what is missing, where it looked and what to install.
    xdo(QStringList{"keydown"} + kAltSpace);
    EXPECT_TRUE(waitUntil([&] { return !notifications_.bodies.empty(); }, 5000));
    letGo(kAltSpace);
    pause(1000);
    const QString missing =
        "找不到离线语音模型（查找位置：" + home_.path() +
        "）。请安装 pocketsphinx-en-us 软件包，或在设置中填入 API Key 改用云端识别";
    EXPECT_EQ(notifications_.bodies, QStringList{missing});
    EXPECT_FALSE(microphoneOpen());
    ASSERT_TRUE(press("关闭"));
    ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000));

    // Return saves and leaves the field open, the checkmark closes it.
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_NO_FATAL_FAILURE(click("编辑 API Key"));
    xdo({"key", "t", "e", "s", "t", "minus", "k", "e", "y", "Return"});
    ASSERT_TRUE(waitUntil([&] { return preferences().contains("\"test-key\""); }, 3000))
        << preferences().toStdString();
    ASSERT_NO_FATAL_FAILURE(click("保存 API Key"));
    ASSERT_FALSE(find("label", "API Key：••••••st-key").isEmpty()) << "the key is not masked";
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000)) << "Escape left the panel open";

    // The indicator shows the service's words as they come, in the lower
    // middle of the screen.
    ASSERT_TRUE(focusOn(entry.id));
    ASSERT_TRUE(hold(kAltSpace)) << "no recording";
    ASSERT_TRUE(speak(env_));
    // Each look starts a Python process: not too often.
    ASSERT_TRUE(waitUntil([&] { return shownText() == kWords; }, 5000, 200)) << shownText();
    const auto indicator = window("Sayvo indicator");
    ASSERT_TRUE(indicator);
    QMap<QString, int> at;  // X, Y, WIDTH, HEIGHT
    for (const QString& line :
         xdo({"getwindowgeometry", "--shell", QString::number(*indicator)}).split('\n'))
        at[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    const QStringList screen = xdo({"getdisplaygeometry"}).split(' ');  // width height
    EXPECT_NEAR(at["X"] + at["WIDTH"] / 2.0, screen.value(0).toInt() / 2.0, 1.0);
    EXPECT_GT(at["Y"], screen.value(1).toInt() / 2);
    EXPECT_LE(at["Y"] + at["HEIGHT"], screen.value(1).toInt());
    EXPECT_EQ(focus(), entry.id) << "the indicator took the keyboard focus";

    // While the hotkey is held its grab takes every key: "插入" pastes at the
    // release. Closing mid-recording hides at once; the release still pastes.
    ASSERT_NE(clipboard(), kWords);
    ASSERT_NO_FATAL_FAILURE(click("复制"));
    EXPECT_TRUE(waitUntil([&] { return clipboard() == kWords; }, 3000)) << clipboard();
    ASSERT_NO_FATAL_FAILURE(click("插入"));
    ASSERT_NO_FATAL_FAILURE(click("关闭"));
    ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000)) << "the indicator stayed";
    EXPECT_EQ(focus(), entry.id) << "a click on the indicator took the keyboard focus";
    pause(1000);
    EXPECT_EQ(entry.text(), "") << "a paste went into the grab, and is lost";
    letGo(kAltSpace);
    ASSERT_TRUE(waitUntil([&] { return !reports().empty(); }, 3000));
    EXPECT_EQ(reports().front()["task_finished"], true) << reports().front();
    pause(1000);
    EXPECT_EQ(entry.text(), kPasted + kPasted);

    // A hotkey captured in the panel takes over; neither types into the entry.
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_NO_FATAL_FAILURE(click("更改快捷键"));
    const Keys captured = {"Control_L", "Alt_L", "d"};
    xdo(QStringList{"keydown"} + captured);
    letGo(captured);
    ASSERT_TRUE(waitUntil([&] { return preferences().contains("\"hotkeyKeyCode\": 2"); }, 3000))
        << preferences().toStdString();
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));
    ASSERT_TRUE(startMock({"--result-text", QString::fromStdString(kChinese)}));
    ASSERT_TRUE(focusOn(entry.id));
    EXPECT_FALSE(hold(kAltSpace)) << "a recording started: by Alt+Space, or late, by the capture";
    letGo(kAltSpace);

    // Words spoken while the task was still starting are held, not lost: in
    // the recording from its first word they span 1.9 s, from 0.05 s on.
    dictate(captured, true);
    const std::string all = kPasted + kPasted + kChinese;
    EXPECT_TRUE(waitUntil([&] { return entry.text() == all; }, 5000)) << entry.text();
    ASSERT_TRUE(waitUntil([&] { return !reports().empty(); }, 5000));
    const Json report = reports().front();
    EXPECT_EQ(report["violations"], Json::array()) << report;
    EXPECT_TRUE(report["first_voice_ms"] >= 0 && report["first_voice_ms"] < 500) << report;
    EXPECT_NEAR(report["last_voice_ms"].get<int>() - report["first_voice_ms"].get<int>(), 1900,
                300);

    // A misbehaving service, or none: a drop or a close pastes the words
    // heard so far, junk among the events is skipped. Each failure is said
    // once and the next dictation works. No thread or socket is left (counted
    // after the first round, which loads the notification's icon).
    const auto count = [&](const char* what) {
        return QDir(QString("/proc/%1/%2").arg(app_.processId()).arg(what)).count();
    };
    qsizetype threads = 0, descriptors = 0;
    const std::pair<const char*, std::string> modes[] = {
        {"refuse-key", ""},        {"task-failed", ""}, {"drop-mid-stream", "go "},
        {"close-mid-task", "go "}, {"silent", ""},      {"no service", ""},
        {"malformed", kPasted}};
    for (const auto& [mode, pasted] : modes) {
        SCOPED_TRACE(mode);
        clearClipboard();
        const auto said = notifications_.bodies.size();
        const bool none = mode == std::string("no service");
        ASSERT_TRUE(none ? (stopMock(), true) : startMock({"--mode", mode}));
        dictate(captured);
        pause(mode == std::string("silent") ? 4000 : 1500);
        EXPECT_EQ(clipboard(), pasted);
        EXPECT_EQ(notifications_.bodies.size() - said, pasted == kPasted ? 0 : 1) << notices();
        EXPECT_FALSE(microphoneOpen());
        EXPECT_EQ(reports().empty(), none);
        for (const Json& report : reports()) EXPECT_EQ(report["violations"], Json::array());
        const QString next = QString("after ") + mode;
        ASSERT_TRUE(startMock({"--result-text", next}));
        dictate(captured);
        EXPECT_TRUE(waitUntil([&] { return clipboard() == next.toStdString() + " "; }, 5000))
            << clipboard();
        if (!threads) threads = count("task"), descriptors = count("fd");
    }
    pause(3000);  // every connection closed
    EXPECT_LE(count("task"), threads);
    EXPECT_LE(count("fd"), descriptors);

    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_TRUE(waitUntil([&] { return press("退出"); }, 5000, 200));
    EXPECT_TRUE(exitedCleanly());
    EXPECT_FALSE(bus().interface()->isServiceRegistered(tray_.items.last()))
        << "the tray item is still on the bus";
}

// A service whose certificate the system does not trust is refused with a
// clear error: no fallback to an unchecked connection ever sends the key.
TEST_F(PanelTest, AServiceWithAnUntrustedCertificateIsRefused) {
    const QString certificate = home_.filePath("cert.pem"), key = home_.filePath("key.pem");
    ASSERT_TRUE(run("openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt",
                                "ec_paramgen_curve:prime256v1", "-nodes", "-days", "1", "-subj",
                                "/CN=127.0.0.1", "-keyout", key, "-out", certificate}));
    QProcess service;
    service.setProcessChannelMode(QProcess::MergedChannels);
    service.start("openssl", {"s_server", "-accept", QString::number(SAYVO_MOCK_PORT), "-cert",
                              certificate, "-key", key, "-www"});
    ASSERT_TRUE(waitUntil([&] { return service.canReadLine(); }, 5000)) << "no TLS service";
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_TLS_BINARY, R"(, "AliyunASRAPIKey": "test-key")"));
    dictate(kAltSpace);
    ASSERT_TRUE(waitUntil([&] { return !notifications_.bodies.empty(); }, 5000));
    pause(1000);
    EXPECT_EQ(notifications_.bodies,
              QStringList{"无法安全连接识别服务（证书不受信任），请检查网络或代理设置"});
    service.kill(), service.waitForFinished();
    const QByteArray served = service.readAll();
    EXPECT_FALSE(served.contains("GET ")) << served.toStdString();
}

// A desktop in English: the panel's and the indicator's controls, and a
// failure, read to a screen reader in English.
TEST_F(PanelTest, AnEnglishDesktopHearsTheControlsAndAFailureInEnglish) {
    ASSERT_TRUE(startMock({"--mode", "drop-mid-stream"}));
    env_.insert("LANGUAGE", "en_US");
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, R"(, "AliyunASRAPIKey": "test-key")"));
    ASSERT_NO_FATAL_FAILURE(openPanel());
    for (const char* name : {"Edit API key", "Change hotkey"})
        EXPECT_TRUE(waitUntil([&] { return !find("push button", name).isEmpty(); }, 5000, 200))
            << name;
    EXPECT_FALSE(find("label", "Recognition: Alibaba Cloud").isEmpty());
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));

    // The service drops after the first word, which stays to insert or copy, above why.
    const QString lost =
        "The connection to the recognition service was lost. Check the network and try again";
    ASSERT_TRUE(hold(kAltSpace)) << "no recording";
    ASSERT_TRUE(speak(env_));
    EXPECT_TRUE(waitUntil([&] { return !find("alert", lost).isEmpty(); }, 5000, 200));
    for (const char* name : {"Insert", "Copy", "Close"})
        EXPECT_FALSE(find("push button", name).isEmpty()) << name;
    letGo(kAltSpace);
    EXPECT_TRUE(waitUntil([&] { return notifications_.bodies == QStringList{lost}; }, 5000))
        << notices();
}
