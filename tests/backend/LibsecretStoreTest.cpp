// A real gnome-keyring-daemon on a private session bus, its login collection
// unlocked in a scratch home. One test: GLib keeps its session bus for the process.
#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "FakeServices.h"
#include "platform/linux/secrets/LibsecretStore.h"
#include "platform/linux/services/JsonFilePreferences.h"
#include "platform/linux/services/QtScheduler.h"
#include "speech/APIKeyStore.h"

using namespace sayvo;

TEST(LibsecretStoreTest, StoresReadsDeletesTakesOverAnOlderSayvosKeyAndSaysWhenLocked) {
    constexpr int kWait = 20000;  // ms; generous on a loaded machine
    QTemporaryDir home;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", home.path()), env.insert("XDG_RUNTIME_DIR", home.path());
    // The unlock prompter the bus starts finds no display: every prompt ends
    // as one the user dismissed.
    env.remove("DISPLAY"), env.remove("WAYLAND_DISPLAY");
    const auto program = [&](const QString& name, const QStringList& arguments) {
        QProcess process;  // on the test's bus once it is up
        process.start(name, arguments);
        process.waitForFinished(kWait);
        return process.readAllStandardOutput().toStdString();
    };
    QProcess bus, keyring;
    bus.setProcessEnvironment(env);
    bus.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return bus.canReadLine(); }, kWait)) << "no dbus";
    const QByteArray address = bus.readLine().trimmed(),
                     saved = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    env.insert("DBUS_SESSION_BUS_ADDRESS", address);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    keyring.setProcessEnvironment(env);
    keyring.start("gnome-keyring-daemon", {"--unlock", "--foreground", "--components=secrets"});
    keyring.write("test-password"), keyring.waitForBytesWritten(), keyring.closeWriteChannel();

    QtScheduler scheduler;
    LibsecretStore store(scheduler, true);
    std::optional<SecretOutcome> outcome;
    std::string secret;
    const auto ask = [&](auto operation) {
        outcome.reset();
        operation([&](SecretOutcome o, const std::string& s = {}) { outcome = o, secret = s; });
        EXPECT_FALSE(outcome) << "answered from within the call";
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, kWait));
        return outcome;
    };
    const auto read = [&] { return ask([&](auto answer) { store.read(answer); }); };
    const auto write = [&](auto key) {
        return ask([&](auto answer) { store.write(key, answer); });
    };
    const auto erase = [&] { return ask([&](auto answer) { store.erase(answer); }); };

    program("gdbus", {"wait", "--session", "--timeout", "20", "org.freedesktop.secrets"});
    ASSERT_EQ(read(), SecretOutcome::notFound) << "gnome-keyring-daemon did not start";
    EXPECT_EQ(write("sk-first"), SecretOutcome::done);
    EXPECT_EQ(read(), SecretOutcome::done);
    EXPECT_EQ(secret, "sk-first");
    EXPECT_EQ(erase(), SecretOutcome::done);
    EXPECT_EQ(read(), SecretOutcome::notFound);
    EXPECT_EQ(erase(), SecretOutcome::done) << "nothing to remove is no failure";

    // What an older Sayvo left replaces the keyring's key; the rest of the file stays.
    EXPECT_EQ(write("sk-first"), SecretOutcome::done);
    const QString path = home.filePath("preferences.json");
    std::ofstream(path.toStdString()) << R"({"AliyunASRAPIKey": "sk-older", "hotkeyKeyCode": 49})";
    sim::SourceTranslations translations;
    JsonFilePreferences preferences(path.toStdString(), translations);
    sim::FakeDecisionLog log;
    auto keys = APIKeyStore::create(preferences, store, log, translations);
    keys->load();
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return !preferences.stringForKey("AliyunASRAPIKey"); }, kWait));
    const std::string file = program("cat", {path}),
                      listed =
                          program("secret-tool", {"search", "--all", "name", "AliyunASRAPIKey"});
    EXPECT_EQ(file.find("sk-older"), std::string::npos) << file;
    EXPECT_NE(file.find("hotkeyKeyCode"), std::string::npos) << file;
    for (const char* line :
         {"secret = sk-older", "label = Sayvo API Key", "schema = app.sayvo.Sayvo"})
        EXPECT_NE(listed.find(line), std::string::npos) << listed;
    EXPECT_EQ(listed.find('[', 1), std::string::npos) << "replaced, not added: " << listed;

    program("gdbus", {"call", "--session", "--dest", "org.freedesktop.secrets", "--object-path",
                      "/org/freedesktop/secrets", "--method", "org.freedesktop.Secret.Service.Lock",
                      "['/org/freedesktop/secrets/collection/login']"});
    EXPECT_EQ(read(), SecretOutcome::locked);
    EXPECT_EQ(write("sk-locked"), SecretOutcome::locked);
    EXPECT_EQ(erase(), SecretOutcome::locked);

    keyring.kill(), keyring.waitForFinished();
    EXPECT_EQ(write("sk-gone"), SecretOutcome::unavailable) << "never started by activation";
    bus.terminate(), bus.waitForFinished();
    qputenv("DBUS_SESSION_BUS_ADDRESS", saved);
}
