#include <gtest/gtest.h>

#include <thread>

#include "SimPlatform.h"
#include "core/Utf8.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {
namespace {

using sim::SimPlatform;

const std::string kMicMessage = "请在系统设置中开启麦克风权限";
const std::string kSpeechMessage = "请在系统设置中开启语音识别权限";
const std::string kUnavailable = "语音识别服务当前不可用";

class SpeechRecognizerTest : public ::testing::Test {
protected:
    void make() { recognizer = SpeechRecognizer::create(sim.platform(), cloud); }
    void SetUp() override { make(); }
    void setKey(const std::string& key) { sim.preferences.raw["AliyunASRAPIKey"] = key; }
    // Fires from another thread, as the client's callback queue does, then lets main run.
    template <typename F>
    void fromClientThread(F fire) {
        std::thread(fire).join();
        sim.scheduler.runUntilIdle();
    }

    SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer;
};

TEST_F(SpeechRecognizerTest, EngineIsChosenFromTheStoredKeyAtEveryStart) {
    struct Case {
        std::optional<std::string> key;
        std::string engine;
    };
    for (const Case& c : {Case{std::nullopt, "system"}, Case{"", "system"}, Case{" ", "aliyun"},
                          Case{"sk-1", "aliyun"}}) {
        SCOPED_TRACE(c.key.value_or("<none>"));
        sim.preferences.raw.clear();
        if (c.key) setKey(*c.key);
        recognizer->startRecording();
        EXPECT_EQ(recognizer->currentEngine.get(), c.engine);
        EXPECT_TRUE(recognizer->isRecording);
        recognizer->stopRecording();
        sim.scheduler.runUntilIdle();
        EXPECT_FALSE(recognizer->isRecording);
    }
    // Keys reach the client exactly as stored, spaces included.
    EXPECT_EQ(cloud.startedKeys, (std::vector<std::string>{" ", "sk-1"}));
}

TEST_F(SpeechRecognizerTest, AKeyWithControlCharactersNeverReachesTheService) {
    for (const char* key : {"sk-1\r\nX-Injected: 1", "sk-1\n", "\tsk-1",
                            "sk\x7f"
                            "1"}) {
        SCOPED_TRACE(key);
        setKey(key);
        recognizer->startRecording();
        sim.scheduler.runUntilIdle();
        EXPECT_FALSE(recognizer->isRecording);
        EXPECT_FALSE(recognizer->isProcessing);
        EXPECT_EQ(recognizer->errorMessage.get(), "API Key 含有换行等无效字符，请在设置中重新输入");
    }
    EXPECT_TRUE(cloud.startedKeys.empty());
    EXPECT_TRUE(sim.audio.engines.empty()) << "the microphone stays closed";
    setKey("sk-1");
    recognizer->startRecording();
    EXPECT_TRUE(recognizer->isRecording) << "a fixed key works at once";
}

TEST_F(SpeechRecognizerTest, StartWhileRecordingStopsAndKeepsTheTranscript) {
    recognizer->startRecording();
    recognizer->transcript = "hello";
    recognizer->startRecording();
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_FALSE(recognizer->isProcessing);
    EXPECT_EQ(recognizer->transcript.get(), "hello");
}

TEST_F(SpeechRecognizerTest, CloudRecordingRunsUntilTheClientReportsStopped) {
    recognizer->errorMessage = std::string("earlier failure");
    setKey("key");
    recognizer->startRecording();
    EXPECT_TRUE(recognizer->isRecording);
    EXPECT_TRUE(recognizer->isProcessing);

    fromClientThread([&] { cloud.fireStarted(); });
    fromClientThread([&] { cloud.fireAudioLevel(0.6f); });
    EXPECT_FLOAT_EQ(recognizer->audioLevel, 0.6f);
    // An earlier error stays visible, and a new error does not stop anything.
    EXPECT_EQ(recognizer->errorMessage.get(), "earlier failure");
    fromClientThread([&] { cloud.fireError("网络错误"); });
    EXPECT_EQ(recognizer->errorMessage.get(), "网络错误");
    EXPECT_TRUE(recognizer->isRecording);

    recognizer->stopRecording();
    EXPECT_TRUE(recognizer->isRecording) << "cloud stop is confirmed by the client, not assumed";
    sim.scheduler.runUntilIdle();
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_FALSE(recognizer->isProcessing);
    EXPECT_FLOAT_EQ(recognizer->audioLevel, 0.0f);
    EXPECT_EQ(recognizer->currentEngine.get(), "aliyun");

    // Without a new start, a later stop still goes to the cloud client.
    sim.preferences.raw.clear();
    recognizer->stopRecording();
    EXPECT_EQ(cloud.stopCalls, 2);
}

TEST(JoinRecognizedTextTest, ASpaceOnlyBetweenScriptsThatSpaceTheirWords) {
    const struct {
        const char *before, *after, *joined;
    } cases[] = {
        {"young man", "hello", "young man hello"},
        {"ten meters.", "Then", "ten meters. Then"},
        {"end ", "start", "end start"},
        {"今天天气很好。", "我们", "今天天气很好。我们"},
        {"東京へ", "行きます", "東京へ行きます"},
        {"go", "我们", "go我们"},
        {"привет", "мир", "привет мир"},
        {"", "first", "first"},
        {"bad \xE4\xBD", "next", "bad \xE4\xBD next"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(joinRecognizedText(c.before, c.after), c.joined) << c.before << "|" << c.after;
    }
}

TEST_F(SpeechRecognizerTest, CloudPartialsAndFinalsAssembleWithoutSeparators) {
    setKey("key");
    recognizer->startRecording();
    std::vector<std::string> shown;
    auto sub =
        recognizer->transcript.values.subscribe([&](const std::string& t) { shown.push_back(t); });
    fromClientThread([&] {
        cloud.fireTranscript("今天", false);
        cloud.fireTranscript("今天天气", false);
        cloud.fireTranscript("今天天气很好。", true);
        cloud.fireTranscript("我们", false);
    });
    EXPECT_EQ(shown, (std::vector<std::string>{"今天", "今天天气", "今天天气很好。",
                                               "今天天气很好。我们"}));

    // A final after the stop still lands.
    recognizer->stopRecording();
    fromClientThread([&] { cloud.fireTranscript("我们出去吧。", true); });
    EXPECT_EQ(recognizer->transcript.get(), "今天天气很好。我们出去吧。");

    // Clearing keeps the confirmed sentences; only the next start empties both.
    recognizer->clearTranscript();
    fromClientThread([&] { cloud.fireTranscript("再", false); });
    EXPECT_EQ(recognizer->transcript.get(), "今天天气很好。我们出去吧。再");
    recognizer->startRecording();
    fromClientThread([&] { cloud.fireTranscript("新", false); });
    EXPECT_EQ(recognizer->transcript.get(), "新");
}

TEST_F(SpeechRecognizerTest, AServiceSideEndDoesNotSwallowTheNextRecording) {
    setKey("key");
    recognizer->startRecording();
    fromClientThread([&] { cloud.fireStoppedByService(); });
    EXPECT_FALSE(recognizer->isRecording);

    recognizer->startRecording();
    EXPECT_TRUE(recognizer->isRecording);
    EXPECT_EQ(cloud.startedKeys.size(), 2u);
    EXPECT_EQ(cloud.ignoredStarts, 0);
}

TEST_F(SpeechRecognizerTest, StoringTheKeyNotifiesAndTakesEffectAtTheNextStart) {
    int changes = 0;
    auto sub = recognizer->objectWillChange.subscribe([&] { ++changes; });
    recognizer->setAliyunAPIKey("new-key");
    EXPECT_EQ(changes, 1);
    EXPECT_TRUE(recognizer->useAliyunASR());

    recognizer->startRecording();
    recognizer->setAliyunAPIKey("");  // mid-recording: no engine switch
    EXPECT_EQ(std::get<std::string>(sim.preferences.raw.at("AliyunASRAPIKey")), "");
    recognizer->stopRecording();
    EXPECT_EQ(cloud.stopCount, 1);
    sim.scheduler.runUntilIdle();
    recognizer->startRecording();
    EXPECT_EQ(recognizer->currentEngine.get(), "system");

    // A key of another type is no key.
    sim.preferences.raw["AliyunASRAPIKey"] = std::int64_t{42};
    EXPECT_FALSE(recognizer->useAliyunASR());
}

struct PermissionCase {
    const char* name;
    MicrophoneAuthorizationStatus mic;
    SpeechAuthorizationStatus speech;
    std::optional<std::string> message;
    bool authorized;
};

TEST_F(SpeechRecognizerTest, RefusedOrOddPermissionsStopTheStartWithTheirMessage) {
    using M = MicrophoneAuthorizationStatus;
    using S = SpeechAuthorizationStatus;
    const PermissionCase cases[] = {
        {"mic denied", M::denied, S::authorized, kMicMessage, false},
        {"mic restricted", M::restricted, S::authorized, kMicMessage, false},
        {"mic other", M::other, S::authorized, std::nullopt, false},
        {"speech denied", M::authorized, S::denied, kSpeechMessage, false},
        {"speech restricted", M::authorized, S::restricted, kSpeechMessage, false},
        {"speech other", M::authorized, S::other, std::nullopt, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.microphone.currentStatus = c.mic;
        sim.speech.currentStatus = c.speech;
        make();
        recognizer->isAuthorized = true;
        recognizer->startRecording();
        EXPECT_FALSE(recognizer->isRecording);
        EXPECT_FALSE(recognizer->isProcessing);
        EXPECT_EQ(recognizer->errorMessage.get(), c.message);
        if (c.mic == M::authorized) {
            EXPECT_EQ(recognizer->isAuthorized.get(), c.authorized);
        }
        EXPECT_EQ(sim.microphone.requestCount + sim.speech.requestCount, 0);
    }
}

TEST_F(SpeechRecognizerTest, UndeterminedMicrophoneAsksThenStartsAfresh) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    recognizer->startRecording();
    EXPECT_FALSE(recognizer->isProcessing);
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_EQ(sim.microphone.requestCount, 1);

    // The answer comes on another thread; nothing changes until main runs it.
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::authorized;
    std::thread([&] { sim.microphone.answer(true); }).join();
    EXPECT_FALSE(recognizer->isRecording);
    sim.scheduler.runUntilIdle();
    EXPECT_TRUE(recognizer->isRecording);
    EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt);
}

TEST_F(SpeechRecognizerTest, RefusedMicrophoneRequestSetsItsMessage) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    recognizer->startRecording();
    sim.microphone.answer(false);
    sim.scheduler.runUntilIdle();
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_EQ(recognizer->errorMessage.get(), kMicMessage);
}

TEST_F(SpeechRecognizerTest, UndeterminedSpeechPermissionAsksThenStartsOrExplains) {
    sim.speech.currentStatus = SpeechAuthorizationStatus::notDetermined;
    recognizer->startRecording();
    EXPECT_FALSE(recognizer->isProcessing);
    EXPECT_EQ(sim.speech.requestCount, 1);
    sim.speech.answer(SpeechAuthorizationStatus::denied);
    sim.scheduler.runUntilIdle();
    EXPECT_FALSE(recognizer->isAuthorized);
    EXPECT_EQ(recognizer->errorMessage.get(), kSpeechMessage);

    recognizer->startRecording();
    sim.speech.currentStatus = SpeechAuthorizationStatus::authorized;
    sim.speech.answer(SpeechAuthorizationStatus::authorized);
    sim.scheduler.runUntilIdle();
    EXPECT_TRUE(recognizer->isAuthorized);
    EXPECT_TRUE(recognizer->isRecording);
    EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt) << "a successful start clears it";
}

TEST_F(SpeechRecognizerTest, RecogniserForZhCnOrTheDefaultLocaleAndItsAvailability) {
    EXPECT_EQ(sim.speech.requestedLocales, std::vector<std::string>{"zh-CN"});

    sim.speech.supportedLocales = {"en-US"};
    sim.speech.requestedLocales.clear();
    make();
    EXPECT_EQ(sim.speech.requestedLocales, (std::vector<std::string>{"zh-CN", "en-US"}));
    sim.speech.made.back()->available = false;
    recognizer->startRecording();
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_FALSE(recognizer->isProcessing);
    EXPECT_EQ(recognizer->errorMessage.get(), kUnavailable);

    sim.speech.supportedLocales = {};
    make();
    recognizer->startRecording();
    EXPECT_EQ(recognizer->errorMessage.get(), kUnavailable);
}

TEST_F(SpeechRecognizerTest, LateAnswersAndCallbacksAfterTheRecognizerIsGoneDoNothing) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    recognizer->startRecording();
    recognizer.reset();
    sim.microphone.answer(true);
    cloud.fireTranscript("late", true);
    cloud.fireStoppedByService();
    sim.scheduler.runUntilIdle();  // ASan would flag any touch of the dead object
    EXPECT_EQ(sim.scheduler.pendingCount(), 0u);
}

}  // namespace
}  // namespace sayvo
