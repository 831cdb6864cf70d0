// A desktop with a keyring: gnome-keyring-daemon on the test's bus, its login
// collection unlocked, in a scratch home.
#include "E2e.h"

class KeyringTest : public E2eTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(E2eTest::SetUp());
        QProcessEnvironment env = env_;
        env.insert("HOME", keyringHome_.path());
        env.insert("XDG_DATA_HOME", keyringHome_.path());
        keyring_.setProcessEnvironment(env);
        keyring_.start("gnome-keyring-daemon",
                       {"--unlock", "--foreground", "--components=secrets"});
        keyring_.write("test-password"), keyring_.closeWriteChannel();
        ASSERT_TRUE(waitUntil(
            [&] { return bus().interface()->isServiceRegistered("org.freedesktop.secrets"); },
            10000, 50))
            << "no keyring";
    }
    void TearDown() override {
        E2eTest::TearDown();
        keyring_.kill(), keyring_.waitForFinished();
    }
    QString inKeyring(const QStringList& how) {
        return QString::fromUtf8(
            run("secret-tool", how + QStringList{"name", "AliyunASRAPIKey"}).value_or(""));
    }

    QTemporaryDir keyringHome_;
    QProcess keyring_;
};

TEST_F(KeyringTest, AnOlderSayvosKeyMovesIntoTheKeyringWhereTheNextRunDictatesFrom) {
    ASSERT_TRUE(startMock({}));
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, R"(, "AliyunASRAPIKey": "test-key")"));
    ASSERT_TRUE(waitUntil([&] { return !preferences().contains("AliyunASRAPIKey"); }, 10000))
        << preferences().toStdString();
    EXPECT_TRUE(preferences().contains("hotkeyKeyCode")) << "the rest of the settings stay";
    EXPECT_EQ(inKeyring({"lookup"}), "test-key");
    EXPECT_TRUE(inKeyring({"search", "--all"}).contains("label = Sayvo API Key"));
    EXPECT_TRUE(notifications_.bodies.isEmpty()) << notifications_.bodies.join(" | ").toStdString();

    // Another run, with the key in the keyring alone.
    app_.kill(), app_.waitForFinished();
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY));
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_NO_FATAL_FAILURE(click("系统权限"));
    EXPECT_TRUE(waitUntil(
        [&] { return !find("label", "密钥环：正常，API Key 保存在系统密钥环中").isEmpty(); }, 5000,
        200));
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));

    Entry entry;
    ASSERT_TRUE(openEntry(entry));
    dictate(kAltSpace);
    EXPECT_TRUE(waitUntil([&] { return entry.text() == kPasted; }, 5000)) << entry.text();
    ASSERT_TRUE(waitUntil([&] { return !reports().empty(); }, 5000)) << "not the cloud engine";
    EXPECT_EQ(reports().front()["violations"], Json::array()) << reports().front();
    EXPECT_FALSE(preferences().contains("test-key"));
}
