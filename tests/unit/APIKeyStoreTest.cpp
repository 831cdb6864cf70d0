#include <gtest/gtest.h>

#include "SimPlatform.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {
namespace {

using K = APIKeyStore::Keyring;
using O = SecretOutcome;
using Text = std::optional<std::string>;

// A fresh Sayvo on a simulated desktop, for each case.
struct Desktop {
    void run() { sim.scheduler.runUntilIdle(); }
    void answer() { sim.scheduler.advance(1); }  // what waits behind the keyring's prompt
    APIKeyStore& keys() { return r->apiKeyStore(); }
    Text inFile() { return sim.preferences.stringForKey("AliyunASRAPIKey"); }

    sim::SimPlatform sim;
    sim::FakeSecretStore& ring = sim.secrets;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> r = SpeechRecognizer::create(sim.platform(), cloud);
};
struct APIKeyStoreTest : ::testing::Test, Desktop {};

TEST_F(APIKeyStoreTest, TheKeyMovesIntoTheKeyringOnlyOnceItHasItAndIsNeverLost) {
    const struct {
        const char* what;
        Text file, keyring;
        std::optional<O> read, later;  // the keyring's answer to the first read, then to the rest
        K state;
        std::string cause;  // told once, also after a second failing save
    } cases[] = {{"stored", {}, "sk-ring", {}, {}, K::inUse, ""},
                 {"migrated", "sk-old", {}, {}, {}, K::inUse, ""},
                 {"the file's is newer", "sk-new", "sk-ring", {}, {}, K::inUse, ""},
                 {"locked", "sk-old", "sk-ring", O::locked, O::locked, K::locked, "密钥环未解锁"},
                 {"refused", "sk-old", {}, {}, O::refused, K::refused, "密钥环拒绝了访问"},
                 {"gone", "sk-old", {}, {}, O::unavailable, K::gone, "密钥环服务已停止"},
                 {"no keyring", "sk-old", {}, O::unavailable, O::unavailable, K::none, ""},
                 {"unlocked later", "sk-old", "sk-ring", O::locked, {}, K::locked, "密钥环未解锁"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Desktop d;
        std::string notices;
        d.keys().onNotice = [&](const std::string& notice) { notices += notice + "\n"; };
        if (c.file) d.sim.preferences.raw["AliyunASRAPIKey"] = *c.file;
        d.ring.stored = c.keyring, d.ring.prompt = 1;
        d.keys().load();
        d.ring.failure = c.read, d.answer();
        d.ring.failure = c.later, d.ring.prompt = 0, d.answer();
        const std::string key = c.file ? *c.file : *c.keyring;  // the newest word wins
        const bool moved = c.state == K::inUse;
        EXPECT_EQ(d.keys().keyring.get(), c.state);
        EXPECT_EQ(d.keys().key(), key);
        EXPECT_EQ(d.inFile(), moved ? Text() : c.file);
        EXPECT_EQ(d.ring.stored, moved ? Text(key) : c.keyring);

        d.r->setAliyunAPIKey("sk-typed"), d.run();
        EXPECT_EQ(d.keys().key(), "sk-typed");
        EXPECT_EQ(d.ring.stored == "sk-typed", !c.later);
        EXPECT_EQ(d.inFile(), c.later ? Text("sk-typed") : Text());
        const std::string inFileNotice = "，API Key 保存在配置文件中（仅本人可读）\n";
        EXPECT_EQ(notices, c.cause.empty() ? "" : c.cause + inFileNotice);
        for (const auto& note : d.sim.log.notes) EXPECT_EQ(note.find("sk-"), std::string::npos);
    }
}

TEST_F(APIKeyStoreTest, ADictationWaitsForAKeyThatIsInTheKeyringButCannotBeReadYet) {
    ring.failure.reset(), ring.stored = "sk-ring", ring.prompt = 1;
    keys().load();  // an unlock prompt is up
    EXPECT_EQ(keys().status().detail, "正在等待密钥环解锁，解锁后请再试一次");
    r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), keys().status().detail);
    EXPECT_TRUE(sim.audio.engines.empty()) << "not the on-device engine in its place";

    ring.failure = O::locked, answer();  // dismissed
    r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), "密钥环未解锁，无法读取 API Key：解锁后请再试一次");
    EXPECT_EQ(keys().status().detail, "密钥环未解锁，无法读取其中的 API Key");

    ring.failure.reset(), answer();  // unlocked this time
    r->startRecording(), r->stopRecording(), run();
    EXPECT_EQ(cloud.startedKeys, std::vector<std::string>{"sk-ring"});
}

TEST_F(APIKeyStoreTest, SavesGoOneAtATimeAndTheNewestWinsAlsoWhenItIsARemoval) {
    sim.preferences.raw["AliyunASRAPIKey"] = std::string("sk-old");
    ring.failure.reset(), ring.prompt = 1;
    keys().load(), answer();  // the migration's write waits
    keys().setKey("sk-a"), keys().setKey("");
    answer();
    EXPECT_EQ(ring.stored, "sk-old") << "one at a time";
    EXPECT_EQ(inFile(), "sk-old") << "the file's copy stays until the newest is confirmed";
    EXPECT_EQ(keys().key(), "");
    answer();
    EXPECT_EQ(ring.stored, std::nullopt);
    EXPECT_EQ(inFile(), std::nullopt);
    EXPECT_FALSE(r->useAliyunASR());
}

}  // namespace
}  // namespace sayvo
