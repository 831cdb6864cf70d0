#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {
namespace {

using Keyring = APIKeyStore::Keyring;
using O = SecretOutcome;
using Text = std::optional<std::string>;
const std::string kKey = "AliyunASRAPIKey";
const std::string kInFile = "API Key 保存在配置文件中（仅本人可读）";

// A fresh Sayvo on a simulated desktop, for each case.
struct Desktop {
    void run() { sim.scheduler.runUntilIdle(); }
    // The keyring answers the read with `read`, then every later call with `later`.
    void launch(std::optional<O> read, std::optional<O> later) {
        sim.secrets.hold = true;
        keys().onNotice = [this](const std::string& notice) { notices.push_back(notice); };
        keys().load();
        sim.secrets.failure = read, sim.secrets.release(), run();
        sim.secrets.failure = later, sim.secrets.hold = false, sim.secrets.release(), run();
    }
    APIKeyStore& keys() { return r->apiKeyStore(); }
    Text inFile() { return sim.preferences.stringForKey(kKey); }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> r = SpeechRecognizer::create(sim.platform(), cloud);
    std::vector<std::string> notices;
};

class APIKeyStoreTest : public ::testing::Test, protected Desktop {};

TEST_F(APIKeyStoreTest, TheKeyMovesIntoTheKeyringOnlyOnceItHasItAndIsNeverLost) {
    const struct {
        const char* what;
        Text file, keyring;
        std::optional<O> read, later;
        std::string key;  // in effect after the launch
        Text fileAfter, keyringAfter;
        Keyring state;
        Text notice;          // said once, also after a second failing save
        bool typedInKeyring;  // where a key saved afterwards goes
    } cases[] = {
        {"stored", {}, "sk-ring", {}, {}, "sk-ring", {}, "sk-ring", Keyring::inUse, {}, true},
        {"migrated", "sk-old", {}, {}, {}, "sk-old", {}, "sk-old", Keyring::inUse, {}, true},
        {"the file's is newer",
         "sk-new",
         "sk-ring",
         {},
         {},
         "sk-new",
         {},
         "sk-new",
         Keyring::inUse,
         {},
         true},
        {"locked", "sk-old", "sk-ring", O::locked, O::locked, "sk-old", "sk-old", "sk-ring",
         Keyring::locked, "密钥环未解锁，" + kInFile, false},
        {"refused",
         "sk-old",
         {},
         {},
         O::refused,
         "sk-old",
         "sk-old",
         {},
         Keyring::refused,
         "密钥环拒绝了访问，" + kInFile,
         false},
        {"gone",
         "sk-old",
         {},
         {},
         O::unavailable,
         "sk-old",
         "sk-old",
         {},
         Keyring::gone,
         "密钥环服务已停止，" + kInFile,
         false},
        {"no keyring",
         "sk-old",
         {},
         O::unavailable,
         O::unavailable,
         "sk-old",
         "sk-old",
         {},
         Keyring::none,
         {},
         false},
        {"unlocked later",
         "sk-old",
         "sk-ring",
         O::locked,
         {},
         "sk-old",
         "sk-old",
         "sk-ring",
         Keyring::locked,
         "密钥环未解锁，" + kInFile,
         true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Desktop d;
        if (c.file) d.sim.preferences.raw[kKey] = *c.file;
        d.sim.secrets.stored = c.keyring;
        d.launch(c.read, c.later);
        EXPECT_EQ(d.keys().key(), c.key);
        EXPECT_EQ(d.inFile(), c.fileAfter);
        EXPECT_EQ(d.sim.secrets.stored, c.keyringAfter);
        EXPECT_EQ(d.keys().keyring.get(), c.state);
        EXPECT_EQ(d.keys().status().granted, c.state == Keyring::inUse);

        d.r->setAliyunAPIKey("sk-typed"), d.run();
        EXPECT_EQ(d.keys().key(), "sk-typed");
        EXPECT_EQ(d.sim.secrets.stored == "sk-typed", c.typedInKeyring);
        EXPECT_EQ(d.inFile(), c.typedInKeyring ? Text() : Text("sk-typed"));
        EXPECT_EQ(d.notices, c.notice ? std::vector{*c.notice} : std::vector<std::string>{});
        for (const auto& note : d.sim.log.notes) EXPECT_EQ(note.find("sk-"), std::string::npos);
    }
}

TEST_F(APIKeyStoreTest, ADictationWaitsForAKeyThatIsInTheKeyringButCannotBeReadYet) {
    sim.secrets.failure.reset(), sim.secrets.stored = "sk-ring", sim.secrets.hold = true;
    keys().load();  // an unlock prompt is up
    EXPECT_EQ(keys().status().detail, "正在等待密钥环解锁，解锁后请再试一次");
    r->startRecording();
    EXPECT_FALSE(r->isRecording);
    EXPECT_EQ(r->errorMessage.get(), "正在等待密钥环解锁，解锁后请再试一次");
    EXPECT_TRUE(sim.audio.engines.empty()) << "not the on-device engine in its place";

    sim.secrets.failure = O::locked, sim.secrets.release(), run();  // dismissed
    r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), "密钥环未解锁，无法读取 API Key：解锁后请再试一次");
    EXPECT_EQ(keys().status().detail, "密钥环未解锁，无法读取其中的 API Key");
    EXPECT_EQ(sim.secrets.calls, (std::vector<std::string>{"read", "read"})) << "asked again";

    sim.secrets.failure.reset(), sim.secrets.release(), run();  // unlocked this time
    r->startRecording(), r->stopRecording(), run();
    EXPECT_EQ(cloud.startedKeys, std::vector<std::string>{"sk-ring"});
}

TEST_F(APIKeyStoreTest, SavesGoOneAtATimeAndTheNewestWinsAlsoWhenItIsARemoval) {
    sim.preferences.raw[kKey] = std::string("sk-old");
    sim.secrets.failure.reset(), sim.secrets.hold = true;
    keys().load(), sim.secrets.release(), run();  // the migration's write is held
    keys().setKey("sk-a"), keys().setKey("");
    EXPECT_EQ(sim.secrets.calls, (std::vector<std::string>{"read", "write"}));
    sim.secrets.release(), run();
    EXPECT_EQ(inFile(), "sk-old") << "the file's copy stays until the newest is confirmed";
    EXPECT_EQ(keys().key(), "");
    sim.secrets.hold = false, sim.secrets.release(), run();
    EXPECT_EQ(sim.secrets.calls, (std::vector<std::string>{"read", "write", "erase"}));
    EXPECT_EQ(sim.secrets.stored, std::nullopt);
    EXPECT_EQ(inFile(), std::nullopt);
    EXPECT_FALSE(r->useAliyunASR());
}

}  // namespace
}  // namespace sayvo
