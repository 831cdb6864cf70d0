// The keyring against a real gnome-keyring-daemon on a private session bus,
// with an unlocked login collection in a scratch home. One test, one bus:
// GLib keeps its session bus connection for the whole process.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QDBusConnectionInterface>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>
#include <sstream>

#include "FakeServices.h"
#include "platform/linux/secrets/LibsecretStore.h"
#include "platform/linux/services/JsonFilePreferences.h"
#include "platform/linux/services/QtScheduler.h"
#include "speech/APIKeyStore.h"

using namespace sayvo;

TEST(LibsecretStoreTest, StoresReadsDeletesSaysWhenLockedAndTakesOverAnOlderSayvosKey) {
    constexpr int kWait = 20000;  // ms; generous on a loaded machine
    ASSERT_TRUE(QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib"));
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("HOME", home.path()), env.insert("XDG_DATA_HOME", home.path());
    env.insert("XDG_RUNTIME_DIR", home.path());
    // The unlock prompter the bus starts finds no display: every prompt ends
    // as one the user dismissed.
    env.remove("DISPLAY"), env.remove("WAYLAND_DISPLAY");
    QProcess bus, keyring;
    bus.setProcessEnvironment(env);
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return bus.canReadLine(); }, kWait)) << "no dbus";
    const QByteArray address = bus.readLine().trimmed(),
                     saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    const auto startKeyring = [&] {
        keyring.setProcessEnvironment(env);
        keyring.start("gnome-keyring-daemon", {"--unlock", "--foreground", "--components=secrets"});
        keyring.write("test-password"), keyring.closeWriteChannel();
        auto dbus = QDBusConnection::connectToBus(QString(address), "keyring");
        return QTest::qWaitFor(
            [&] { return dbus.interface()->isServiceRegistered("org.freedesktop.secrets"); },
            kWait);
    };
    const auto program = [&](const QString& name, const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(name, arguments);
        process.waitForFinished(kWait);
        return process.readAllStandardOutput().toStdString();
    };
    QtScheduler scheduler;
    LibsecretStore store(scheduler, true);
    struct Answer {
        std::optional<SecretOutcome> outcome;
        std::string secret;
    };
    const auto ask = [&](auto operation) {
        Answer answer;
        operation([&](SecretOutcome o, const std::string& s = {}) { answer = {o, s}; });
        EXPECT_FALSE(answer.outcome) << "answered from within the call";
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.outcome.has_value(); }, kWait));
        return answer;
    };
    const auto read = [&] { return ask([&](auto answer) { store.read(answer); }); };
    const auto write = [&](const std::string& key) {
        return ask([&](auto answer) { store.write(key, [=](SecretOutcome o) { answer(o); }); })
            .outcome;
    };
    const auto erase = [&] {
        return ask([&](auto answer) { store.erase([=](SecretOutcome o) { answer(o); }); }).outcome;
    };
    ASSERT_TRUE(startKeyring()) << "gnome-keyring-daemon did not start";

    EXPECT_EQ(read().outcome, SecretOutcome::notFound);
    EXPECT_EQ(write("sk-first"), SecretOutcome::done);
    EXPECT_EQ(write("sk-second"), SecretOutcome::done) << "replaced, not added";
    EXPECT_EQ(read().secret, "sk-second");
    const std::string listed =
        program("secret-tool", {"search", "--all", "name", "AliyunASRAPIKey"});
    EXPECT_NE(listed.find("label = Sayvo API Key"), std::string::npos) << listed;
    EXPECT_NE(listed.find("schema = app.sayvo.Sayvo"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("[/2]"), std::string::npos) << "one item";
    program("gdbus", {"call", "--session", "--dest", "org.freedesktop.secrets", "--object-path",
                      "/org/freedesktop/secrets", "--method", "org.freedesktop.Secret.Service.Lock",
                      "['/org/freedesktop/secrets/collection/login']"});
    EXPECT_EQ(read().outcome, SecretOutcome::locked);
    EXPECT_EQ(write("sk-third"), SecretOutcome::locked);
    EXPECT_EQ(erase(), SecretOutcome::locked);

    keyring.kill(), keyring.waitForFinished();
    ASSERT_TRUE(startKeyring());  // unlocked again
    EXPECT_EQ(read().secret, "sk-second") << "a locked keyring kept it";
    EXPECT_EQ(erase(), SecretOutcome::done);
    EXPECT_EQ(read().outcome, SecretOutcome::notFound);
    EXPECT_EQ(erase(), SecretOutcome::done) << "nothing to remove is no failure";

    // What an older Sayvo left: the key moves, the rest of the file stays.
    const std::string path = home.filePath("preferences.json").toStdString();
    std::ofstream(path) << R"({"AliyunASRAPIKey": "sk-older", "hotkeyKeyCode": 49})";
    JsonFilePreferences preferences(path);
    sim::FakeDecisionLog log;
    auto keys = APIKeyStore::create(preferences, store, log);
    keys->load();
    EXPECT_EQ(keys->key(), "sk-older") << "usable while it moves";
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !preferences.stringForKey("AliyunASRAPIKey"); }, kWait));
    EXPECT_EQ(program("secret-tool", {"lookup", "name", "AliyunASRAPIKey"}), "sk-older");
    std::stringstream file;
    file << std::ifstream(path).rdbuf();
    EXPECT_EQ(file.str().find("sk-older"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("hotkeyKeyCode"), std::string::npos) << file.str();

    keyring.kill(), keyring.waitForFinished();
    EXPECT_EQ(write("sk-gone"), SecretOutcome::unavailable) << "never started by activation";
    QDBusConnection::disconnectFromBus("keyring");
    bus.terminate(), bus.waitForFinished();
    qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}
