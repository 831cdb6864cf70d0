// The keyring against a real gnome-keyring-daemon on a private session bus,
// with an unlocked login collection in a scratch home.
#include <gtest/gtest.h>

#include <QAbstractEventDispatcher>
#include <QDBusConnection>
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

namespace {

struct Answer {
    std::optional<SecretOutcome> outcome;
    std::string secret;
};

constexpr int kWait = 20000;  // ms; generous on a loaded machine

// One bus for the suite: GLib keeps its session bus connection for the process.
class LibsecretStoreTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        home_ = new QTemporaryDir;
        env_ = new QProcessEnvironment(QProcessEnvironment::systemEnvironment());
        env_->insert("HOME", home_->path());
        env_->insert("XDG_DATA_HOME", home_->path());
        env_->insert("XDG_RUNTIME_DIR", home_->path());
        // The keyring's unlock prompter, started by the bus, finds no display:
        // every prompt ends as one the user dismissed.
        env_->remove("DISPLAY"), env_->remove("WAYLAND_DISPLAY");
        bus_ = new QProcess;
        bus_->setProcessEnvironment(*env_);
        bus_->start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!QTest::qWaitFor([] { return bus_->canReadLine(); }, kWait)) return;
        address_ = bus_->readLine().trimmed();
        env_->insert("DBUS_SESSION_BUS_ADDRESS", address_);
        savedAddress_ = qgetenv("DBUS_SESSION_BUS_ADDRESS");
        qputenv("DBUS_SESSION_BUS_ADDRESS", address_);
    }
    static void TearDownTestSuite() {
        QDBusConnection::disconnectFromBus("keyring");
        bus_->terminate(), bus_->waitForFinished();
        qputenv("DBUS_SESSION_BUS_ADDRESS", savedAddress_);
        delete bus_, delete env_, delete home_;
    }
    void SetUp() override {
        ASSERT_TRUE(QAbstractEventDispatcher::instance()->inherits("QEventDispatcherGlib"))
            << "libsecret answers on the GLib main context";
        ASSERT_FALSE(address_.isEmpty()) << "no dbus";
        ASSERT_NO_FATAL_FAILURE(startKeyring());
    }
    void TearDown() override { keyring_.kill(), keyring_.waitForFinished(); }
    void startKeyring() {
        keyring_.setProcessEnvironment(*env_);
        keyring_.start("gnome-keyring-daemon",
                       {"--unlock", "--foreground", "--components=secrets"});
        keyring_.write("test-password"), keyring_.closeWriteChannel();
        auto bus = QDBusConnection::connectToBus(QString(address_), "keyring");
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return bus.interface()->isServiceRegistered("org.freedesktop.secrets"); }, kWait))
            << "gnome-keyring-daemon did not start";
    }
    // What secret-tool, another client, sees.
    std::string tool(const QStringList& arguments) {
        QProcess process;
        process.setProcessEnvironment(*env_);
        process.start("secret-tool", arguments);
        process.waitForFinished(kWait);
        return process.readAllStandardOutput().toStdString();
    }
    Answer read() {
        Answer answer;
        store_.read([&](SecretOutcome o, const std::string& s) { answer = {o, s}; });
        EXPECT_FALSE(answer.outcome) << "answered from within the call";
        EXPECT_TRUE(QTest::qWaitFor([&] { return answer.outcome.has_value(); }, kWait));
        return answer;
    }
    std::optional<SecretOutcome> write(const std::string& secret) {
        std::optional<SecretOutcome> outcome;
        store_.write(secret, [&](SecretOutcome o) { outcome = o; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, kWait));
        return outcome;
    }
    std::optional<SecretOutcome> erase() {
        std::optional<SecretOutcome> outcome;
        store_.erase([&](SecretOutcome o) { outcome = o; });
        EXPECT_TRUE(QTest::qWaitFor([&] { return outcome.has_value(); }, kWait));
        return outcome;
    }
    void lockAll() {
        QProcess gdbus;
        gdbus.start("gdbus",
                    {"call", "--address", QString(address_), "--dest", "org.freedesktop.secrets",
                     "--object-path", "/org/freedesktop/secrets", "--method",
                     "org.freedesktop.Secret.Service.Lock",
                     "['/org/freedesktop/secrets/collection/login']"});
        ASSERT_TRUE(gdbus.waitForFinished(kWait) && gdbus.exitCode() == 0);
    }

    static inline QTemporaryDir* home_;
    static inline QProcessEnvironment* env_;
    static inline QProcess* bus_;
    static inline QByteArray address_, savedAddress_;
    QProcess keyring_;
    QtScheduler scheduler_;
    LibsecretStore store_{scheduler_, true};
};

TEST_F(LibsecretStoreTest, StoresReadsAndDeletesOneLabelledItemAndSaysWhenLocked) {
    EXPECT_EQ(read().outcome, SecretOutcome::notFound);
    EXPECT_EQ(write("sk-first"), SecretOutcome::done);
    EXPECT_EQ(write("sk-second"), SecretOutcome::done) << "replaced, not added";
    const Answer found = read();
    EXPECT_EQ(found.outcome, SecretOutcome::done);
    EXPECT_EQ(found.secret, "sk-second");
    const std::string listed = tool({"search", "--all", "name", "AliyunASRAPIKey"});
    EXPECT_NE(listed.find("label = Sayvo API Key"), std::string::npos) << listed;
    EXPECT_NE(listed.find("schema = app.sayvo.Sayvo"), std::string::npos) << listed;
    EXPECT_EQ(listed.find("label", listed.find("label") + 1), std::string::npos) << "one item";

    ASSERT_NO_FATAL_FAILURE(lockAll());
    EXPECT_EQ(read().outcome, SecretOutcome::locked);
    EXPECT_EQ(write("sk-third"), SecretOutcome::locked);

    keyring_.kill(), keyring_.waitForFinished();
    ASSERT_NO_FATAL_FAILURE(startKeyring());  // unlocked again
    EXPECT_EQ(erase(), SecretOutcome::done);
    EXPECT_EQ(read().outcome, SecretOutcome::notFound);
    EXPECT_EQ(erase(), SecretOutcome::done) << "nothing to remove is no failure";

    keyring_.kill(), keyring_.waitForFinished();
    EXPECT_EQ(write("sk-gone"), SecretOutcome::unavailable) << "never started by activation";
}

TEST_F(LibsecretStoreTest, AKeyInAnOlderSayvosFileMovesIntoTheKeyringAndLeavesTheFile) {
    const std::string path = home_->filePath("sayvo/preferences.json").toStdString();
    QDir(home_->path()).mkpath("sayvo");
    std::ofstream(path) << R"({"AliyunASRAPIKey": "sk-older", "hotkeyKeyCode": 49})";
    JsonFilePreferences preferences(path);
    sim::FakeDecisionLog log;
    auto keys = APIKeyStore::create(preferences, store_, log);
    keys->load();
    EXPECT_EQ(keys->key(), "sk-older") << "usable while it moves";
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !preferences.stringForKey("AliyunASRAPIKey"); }, kWait));
    EXPECT_EQ(keys->keyring.get(), APIKeyStore::Keyring::inUse);
    EXPECT_EQ(tool({"lookup", "name", "AliyunASRAPIKey"}), "sk-older");
    std::stringstream file;
    file << std::ifstream(path).rdbuf();
    EXPECT_EQ(file.str().find("sk-older"), std::string::npos) << file.str();
    EXPECT_NE(file.str().find("hotkeyKeyCode"), std::string::npos) << "the rest stays";
    EXPECT_EQ(JsonFilePreferences(path).stringForKey("AliyunASRAPIKey"), std::nullopt);
}

}  // namespace
