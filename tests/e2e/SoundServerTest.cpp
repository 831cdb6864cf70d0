// A sound server of the test's own dies, restarts or loses its microphone:
// each failure is said once, and the next dictation works without a restart.
#include "E2e.h"

class SoundServerTest : public E2eTest {
protected:
    void TearDown() override { killSoundServer(), E2eTest::TearDown(); }
    // Configured as the desktop's; Sayvo and the test's players use it.
    bool startSoundServer() {
        const QString runtime = home_.filePath("pulse");
        env_.insert("PULSE_RUNTIME_PATH", runtime);
        env_.insert("PULSE_SERVER", "unix:" + runtime + "/native");
        if (!run(
                "pulseaudio",
                {"--daemonize=yes", "--exit-idle-time=-1", "-n",
                 "--load=module-native-protocol-unix",
                 "--load=module-null-sink sink_name=mic format=float32le rate=48000 channels=1"}) ||
            !run("pactl", {"set-default-source", "mic.monitor"}))
            return false;
        // Steady silence keeps the monitor delivering like a live microphone.
        silence_.setProcessEnvironment(env_);
        silence_.start("sh", {"-c",
                              "exec pacat -d mic --raw --format=s16le --rate=16000 "
                              "--channels=1 --latency-msec=20 </dev/zero"});
        pause(500);
        return silence_.state() == QProcess::Running;
    }
    // As a crash: no goodbye to its clients.
    void killSoundServer() {
        run("sh", {"-c",
                   "pid=$(cat \"$PULSE_RUNTIME_PATH/pid\") && kill -9 $pid && "
                   "while kill -0 $pid; do sleep 0.05; done"});
        silence_.waitForFinished(3000);
    }
    // Sayvo's connections to the sound server.
    int soundClients() {
        return run("pactl", {"list", "short", "clients"}).value_or("").count("sayvo");
    }

    QProcess silence_;
};

TEST_F(SoundServerTest, ARecordingEndsWhenTheServerDiesAndTheNextWorksOnceItIsBack) {
    ASSERT_TRUE(startSoundServer());
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY, ""));
    Entry entry;
    ASSERT_TRUE(openEntry(entry));

    const int icons = tray_.iconChanges;
    ASSERT_TRUE(hold(kAltSpace));
    ASSERT_TRUE(waitUntil([&] { return tray_.iconChanges > icons; }, 3000)) << "no recording";
    pause(500);
    killSoundServer();
    QElapsedTimer killed;
    killed.start();
    EXPECT_TRUE(waitUntil([&] { return tray_.iconChanges > icons + 1; }, 1000))
        << "still recording a second later";
    measure("server_killed_to_recording_end", killed.elapsed(), "ms");
    EXPECT_EQ(find("alert").value(2), "麦克风已断开，录音已停止") << "not shown in the indicator";
    letGo(kAltSpace);
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000)) << "the error stayed";
    EXPECT_EQ(notifications_.bodies, QStringList{"麦克风已断开，录音已停止"});

    // Back after the crash, then restarted while Sayvo is idle.
    for (const bool restartFirst : {false, true}) {
        SCOPED_TRACE(restartFirst);
        if (restartFirst) killSoundServer();
        ASSERT_TRUE(startSoundServer());
        ASSERT_TRUE(focusOn(entry.id));
        xdo({"key", "ctrl+a", "BackSpace"});
        dictate(kAltSpace, true);
        EXPECT_TRUE(waitUntil([&] { return entry.text() == kPasted; }, 5000)) << entry.text();
    }

    // No microphone at all: said once, and Sayvo does not go on trying.
    ASSERT_TRUE(run("pactl", {"unload-module", "module-null-sink"}));
    const auto said = notifications_.bodies.size();
    ASSERT_TRUE(hold(kAltSpace));
    EXPECT_TRUE(waitUntil([&] { return notifications_.bodies.size() > said; }, 1000));
    EXPECT_FALSE(find("alert").value(2).isEmpty()) << "not shown in the indicator";
    letGo(kAltSpace);
    const int connected = soundClients();
    pause(2000);
    EXPECT_EQ(notifications_.bodies.size(), said + 1) << notices();
    EXPECT_LE(soundClients(), connected);
    EXPECT_LE(connected, 1);
}
