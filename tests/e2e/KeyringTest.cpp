#include "E2e.h"

using KeyringTest = E2eTest;

TEST_F(KeyringTest, AnOlderSayvosKeyMovesIntoTheKeyringWhereTheNextRunDictatesFrom) {
    // gnome-keyring-daemon on the test's bus, its login collection unlocked.
    QProcessEnvironment env = env_;
    env.insert("HOME", home_.path()), env.insert("XDG_DATA_HOME", home_.path());
    QProcess keyring;
    keyring.setProcessEnvironment(env);
    keyring.start("gnome-keyring-daemon", {"--unlock", "--foreground", "--components=secrets"});
    keyring.write("test-password"), keyring.waitForBytesWritten(), keyring.closeWriteChannel();
    ASSERT_TRUE(run("gdbus", {"wait", "--session", "--timeout", "10", "org.freedesktop.secrets"}))
        << "no keyring";
    ASSERT_TRUE(startMock({}));
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, R"(, "AliyunASRAPIKey": "test-key")"));
    ASSERT_TRUE(waitUntil([&] { return !preferences().contains("AliyunASRAPIKey"); }, 10000))
        << preferences().toStdString();

    // Another run, with the key in the keyring alone.
    app_.kill(), app_.waitForFinished();
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY));
    Entry entry;
    ASSERT_TRUE(openEntry(entry));
    dictate(kAltSpace);
    EXPECT_TRUE(waitUntil([&] { return entry.text() == kPasted; }, 5000)) << entry.text();
    ASSERT_TRUE(waitUntil([&] { return !reports().empty(); }, 5000)) << "not the cloud engine";
    EXPECT_EQ(reports().front()["violations"], Json::array()) << reports().front();
    keyring.kill(), keyring.waitForFinished();
}
