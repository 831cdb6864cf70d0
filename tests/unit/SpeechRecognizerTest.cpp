#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "SimPlatform.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {
namespace {

using sim::floatBuffer;
using Task = sim::FakeRecognitionTask;
using Message = std::optional<std::string>;

const std::string kMicMessage = "请在系统设置中开启麦克风权限";
const std::string kSpeechMessage = "请在系统设置中开启语音识别权限";
const std::string kUnavailable = "语音识别服务当前不可用";
const std::string kBadKey = "API Key 含有换行等无效字符，请在设置中重新输入";
const std::string kTransient = "kAFAssistantErrorDomain";

// Nothing records or waits, and the attempt's message is shown.
void expectIdle(SpeechRecognizer& s, const Message& message) {
    EXPECT_FALSE(s.isRecording);
    EXPECT_FALSE(s.isProcessing);
    EXPECT_EQ(s.errorMessage.get(), message);
}

class SpeechRecognizerTest : public ::testing::Test {
protected:
    void SetUp() override { make(); }
    void make() { r = SpeechRecognizer::create(sim.platform(), cloud); }
    void setKey(const std::string& key) { sim.preferences.raw["AliyunASRAPIKey"] = key; }
    void run() { sim.scheduler.runUntilIdle(); }
    void advance(double s) { sim.scheduler.advance(s); }
    void start() { r->startRecording(), run(); }
    // From another thread, as the client's callback queue and the recogniser
    // report, then main runs what they posted.
    void report(const std::function<void()>& fire) { std::thread(fire).join(), run(); }
    void play(std::initializer_list<std::shared_ptr<const AudioPCMBuffer>> buffers) {
        engine().playFromAudioThread(buffers), run();
    }
    sim::FakeAudioEngine& engine() { return sim.audio.last(); }
    sim::FakeOnDeviceRecognizer& onDevice() { return *sim.speech.made.front(); }
    Task& task() { return onDevice().currentTask(); }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> r;
};

TEST_F(SpeechRecognizerTest, EachStartTakesTheEngineOfTheStoredKeyButNeverAKeyThatBreaksAHeader) {
    const struct {
        std::optional<sim::FakePreferences::Value> key;
        const char* engine;
        bool records;
    } cases[] = {{std::nullopt, "system", true},
                 {std::string(""), "system", true},
                 {std::string(" "), "aliyun", true},
                 {std::int64_t{42}, "system", true},
                 {std::string("sk-1\r\nX-Injected: 1"), "aliyun", false},
                 {std::string("sk\x7f") + "1", "aliyun", false},
                 {std::string("sk-1"), "aliyun", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        sim.preferences.raw.clear();
        if (c.key) sim.preferences.raw["AliyunASRAPIKey"] = *c.key;
        r->startRecording();
        EXPECT_EQ(r->currentEngine.get(), c.engine);
        EXPECT_EQ(r->isRecording.get(), c.records);
        EXPECT_EQ(r->isProcessing.get(), c.records);
        EXPECT_EQ(r->errorMessage.get(), c.records ? std::nullopt : Message(kBadKey));
        r->stopRecording(), run();
    }
    EXPECT_EQ(cloud.startedKeys, (std::vector<std::string>{" ", "sk-1"})) << "exactly as stored";
    EXPECT_EQ(sim.audio.engines.size(), 3u) << "a refused key leaves the microphone closed";
}

TEST_F(SpeechRecognizerTest, CloudRecordingFollowsTheClientsReportsUntilItConfirmsTheStop) {
    r->errorMessage = std::string("earlier failure");
    setKey("key");
    r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), std::nullopt) << "the indicator shows this attempt's errors";
    std::vector<std::string> shown;
    auto sub = r->transcript.values.subscribe([&](const std::string& t) { shown.push_back(t); });
    report([&] {
        cloud.onStarted();
        cloud.onAudioLevel(0.6f);
        cloud.fireTranscript("今天", false);
        cloud.fireTranscript("今天天气很好。", true);
        cloud.fireTranscript("我们", false);
        cloud.onError("网络错误");
    });
    EXPECT_EQ(shown, (std::vector<std::string>{"今天", "今天天气很好。", "今天天气很好。我们"}));
    EXPECT_FLOAT_EQ(r->audioLevel, 0.6f);
    EXPECT_EQ(r->errorMessage.get(), "网络错误");
    EXPECT_TRUE(r->isRecording) << "an error stops nothing by itself";

    r->stopRecording();
    EXPECT_TRUE(r->isRecording) << "the client confirms the stop";
    run(), expectIdle(*r, "网络错误");
    EXPECT_FLOAT_EQ(r->audioLevel, 0.0f);
    report([&] { cloud.fireTranscript("我们出去吧。", true); });
    EXPECT_EQ(r->transcript.get(), "今天天气很好。我们出去吧。") << "a final after the stop lands";
    // Clearing keeps the confirmed sentences; only the next start empties both.
    r->clearTranscript();
    report([&] { cloud.fireTranscript("再", false); });
    EXPECT_EQ(r->transcript.get(), "今天天气很好。我们出去吧。再");
    sim.preferences.raw.clear();
    r->stopRecording();
    EXPECT_EQ(cloud.stopCalls, 2) << "the stop goes to the engine that recorded";
    setKey("key"), r->startRecording();
    report([&] { cloud.fireTranscript("新", false); });
    EXPECT_EQ(r->transcript.get(), "新");
}

TEST_F(SpeechRecognizerTest, RefusedOrOddPermissionsStopTheStartWithTheirMessage) {
    using M = MicrophoneAuthorizationStatus;
    using S = SpeechAuthorizationStatus;
    const struct {
        M mic;
        S speech;
        Message message;
    } cases[] = {
        {M::denied, S::authorized, kMicMessage},        {M::restricted, S::authorized, kMicMessage},
        {M::other, S::authorized, std::nullopt},        {M::authorized, S::denied, kSpeechMessage},
        {M::authorized, S::restricted, kSpeechMessage}, {M::authorized, S::other, std::nullopt}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.mic) << "/" << int(c.speech));
        sim.microphone.currentStatus = c.mic;
        sim.speech.currentStatus = c.speech;
        make(), r->isAuthorized = true, r->startRecording();
        expectIdle(*r, c.message);
        EXPECT_EQ(r->isAuthorized.get(), c.mic != M::authorized) << "told the speech refusal";
    }
    EXPECT_EQ(sim.microphone.requestCount + sim.speech.requestCount, 0);
    sim.microphone.currentStatus = M::authorized, sim.speech.currentStatus = S::authorized;
    make(), r->isAuthorized = false, r->startRecording();
    EXPECT_TRUE(r->isAuthorized) << "a granted start says so";
}

TEST_F(SpeechRecognizerTest, UndeterminedPermissionsAreAskedThenTheStartBeginsAfresh) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    sim.speech.currentStatus = SpeechAuthorizationStatus::notDetermined;
    r->startRecording();
    EXPECT_FALSE(r->isProcessing);
    sim.microphone.answer(false), run();
    EXPECT_EQ(r->errorMessage.get(), kMicMessage);

    r->startRecording();
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::authorized;
    std::thread([&] { sim.microphone.answer(true); }).join();
    EXPECT_EQ(sim.speech.requestCount, 0) << "nothing happens until main runs the answer";
    run();
    EXPECT_EQ(sim.microphone.requestCount, 2);
    EXPECT_EQ(sim.speech.requestCount, 1);
    EXPECT_FALSE(r->isProcessing);
    r->isAuthorized = true;
    sim.speech.answer(SpeechAuthorizationStatus::denied), run();
    EXPECT_FALSE(r->isAuthorized);
    EXPECT_EQ(r->errorMessage.get(), kSpeechMessage);

    r->startRecording();
    sim.speech.currentStatus = SpeechAuthorizationStatus::authorized;
    sim.speech.answer(SpeechAuthorizationStatus::authorized), run();
    EXPECT_TRUE(r->isAuthorized);
    EXPECT_TRUE(r->isRecording);
}

TEST_F(SpeechRecognizerTest, RecogniserForZhCnOrTheDefaultLocaleAndItsAvailability) {
    EXPECT_EQ(sim.speech.requestedLocales, std::vector<std::string>{"zh-CN"});
    sim.speech.supportedLocales = {"en-US"};
    sim.speech.requestedLocales.clear(), make();
    EXPECT_EQ(sim.speech.requestedLocales, (std::vector<std::string>{"zh-CN", "en-US"}));
    sim.speech.made.back()->available = false;
    r->startRecording(), expectIdle(*r, kUnavailable);
    sim.speech.supportedLocales = {};
    make(), r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), kUnavailable);
    sim.speech.reason = "找不到离线语音模型";
    r->startRecording();
    EXPECT_EQ(r->errorMessage.get(), "找不到离线语音模型") << "the service's own words win";
}

TEST_F(SpeechRecognizerTest, LateAnswersAndCallbacksAfterTheRecognizerIsGoneDoNothing) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    r->startRecording(), r.reset();
    sim.microphone.answer(true), cloud.fireTranscript("late", true), cloud.fireStoppedByService();
    run();  // ASan would flag any touch of the dead object
    EXPECT_EQ(sim.scheduler.pendingCount(), 0u);
}

TEST_F(SpeechRecognizerTest, StartFailuresExplainThemselvesAndTheNextStartCleansUp) {
    const struct {
        std::function<void(sim::SimPlatform&)> breakIt;
        const char* message;
    } cases[] = {
        {[](auto& s) { s.audio.refuse = true; }, "无法创建音频引擎"},
        {[](auto& s) { s.speech.refuseRequests = true; }, "无法创建识别请求"},
        {[](auto& s) { s.audio.nextFormat.sampleRate = 0; }, "无效的音频格式，请检查麦克风设置"},
        {[](auto& s) { s.speech.refuseTasks = true; }, "无法创建识别任务"},
        {[](auto& s) {
             s.audio.nextStartError = PlatformError{"", 3, "没有输入设备"};
         },
         "没有输入设备"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        sim::SimPlatform broken;
        c.breakIt(broken);
        auto failed = SpeechRecognizer::create(broken.platform(), cloud);
        failed->startRecording();
        expectIdle(*failed, std::string("启动语音识别失败: ") + c.message);
    }
    // What the failed start left (a running task, a tap) goes at the next one.
    sim.audio.nextStartError = PlatformError{"PulseAudio", 1, "busy"};
    start(), sim.audio.nextStartError.reset(), start();
    EXPECT_TRUE(r->isRecording);
    EXPECT_EQ(r->errorMessage.get(), std::nullopt);
    EXPECT_FALSE(sim.audio.engines.front()->input.hasTap());
    EXPECT_TRUE(onDevice().tasks.front()->cancelled);

    // A later task that cannot be made, or its request, ends the recording with its text.
    for (const bool noRequest : {false, true}) {
        SCOPED_TRACE(noRequest);
        if (noRequest) start();
        (noRequest ? sim.speech.refuseRequests : onDevice().refuseTasks) = true;
        report([&] { task().result("kept", true); });
        expectIdle(*r, "识别错误: 无法创建识别任务");
        EXPECT_FALSE(engine().isRunning());
        EXPECT_EQ(r->transcript.get(), "kept");
        sim.speech.refuseRequests = onDevice().refuseTasks = false;
    }
}

TEST_F(SpeechRecognizerTest, AudioLevelIsMeanAbsoluteTimesFiveCappedAndEndsWithTheStop) {
    start();
    EXPECT_EQ(engine().input.requestedBufferSize, 1024u);
    EXPECT_EQ(engine().prepareCount, 1);
    const std::pair<float, float> levels[] = {
        {0.1f, 0.5f}, {0.2f, 1.0f}, {0.7f, 1.0f}, {0.02f, 0.1f}};
    for (const auto& [amplitude, level] : levels) {
        play({floatBuffer(amplitude)});
        EXPECT_NEAR(r->audioLevel, level, 1e-5) << amplitude;
    }
    // Buffers without float samples, or without frames, give no level but still reach the request.
    play({sim::int16Buffer(), floatBuffer(0.5f, 0)});
    EXPECT_NEAR(r->audioLevel, 0.1f, 1e-5);
    EXPECT_EQ(sim.speech.requests.back()->appended, 6);
    engine().playFromAudioThread({floatBuffer(0.2f)});  // measured before the stop, posted
    r->stopRecording(), run();
    EXPECT_FLOAT_EQ(r->audioLevel, 0.0f);
}

TEST_F(SpeechRecognizerTest, RecognitionRestartsAcrossTaskBoundariesOnTheSameCapture) {
    start();
    report([&] { task().result("hello"); });
    EXPECT_EQ(r->transcript.get(), "hello");
    EXPECT_TRUE(r->isProcessing);
    report([&] { task().result(" hello world  ", true); });
    ASSERT_EQ(onDevice().tasks.size(), 2u);
    EXPECT_TRUE(onDevice().tasks[0]->cancelled);
    EXPECT_TRUE(sim.speech.requests[0]->ended);
    EXPECT_EQ(engine().stopCount, 0) << "the microphone keeps running";
    EXPECT_EQ(engine().input.installCount, 1) << "the capture is not interrupted";
    for (const auto& q : sim.speech.requests)
        EXPECT_TRUE(q->partialResults && !q->onDeviceOnly &&
                    q->hint == RecognitionTaskHint::dictation);
    play({floatBuffer(0.1f)});
    EXPECT_EQ(sim.speech.requests[0]->appendedAfterEnd, 0);
    EXPECT_EQ(sim.speech.requests[1]->appended, 1);
    play({floatBuffer(0.9f)});
    EXPECT_FLOAT_EQ(r->audioLevel, 0.0f) << "later tasks measure no level";

    report([&] { task().result("how are"); });
    EXPECT_EQ(r->transcript.get(), "hello world how are");
    r->isProcessing = false;
    report([&] { task().result(""); });
    EXPECT_EQ(r->transcript.get(), "hello world how are");
    EXPECT_TRUE(r->isProcessing);
    report([&] { task().result("how are you", true); });
    report([&] { task().result("fine"); });
    EXPECT_EQ(r->transcript.get(), "hello world how are you fine");
}

TEST_F(SpeechRecognizerTest, TransientErrorsRestartOtherErrorsExplainOrAreIgnored) {
    start();
    report([&] { task().error(kTransient, 1110); });
    EXPECT_EQ(onDevice().tasks.size(), 2u) << "first task: at once";
    EXPECT_EQ(r->errorMessage.get(), std::nullopt);
    report([&] { task().error(kTransient, 216); });
    advance(0.29);
    EXPECT_EQ(onDevice().tasks.size(), 2u) << "later task: after 0.3 s";
    advance(0.01);
    EXPECT_EQ(onDevice().tasks.size(), 3u);
    report([&] { task().error("OtherDomain", 1110, "boom"); });
    advance(1);
    EXPECT_EQ(onDevice().tasks.size(), 3u);
    EXPECT_EQ(r->errorMessage.get(), std::nullopt) << "later tasks stay quiet";
    r->stopRecording(), start();
    report([&] { task().error(kTransient, 1700, "模型损坏"); });
    EXPECT_EQ(r->errorMessage.get(), "识别错误: 模型损坏");
    EXPECT_TRUE(r->isRecording);
}

TEST_F(SpeechRecognizerTest, TheStopWaitsForTheRecognisersLastWordsAndNoLonger) {
    const struct {
        const char* name;
        bool afterARestart;
        std::function<void(Task&)> afterTheStop;
        const char* transcript;
    } cases[] = {
        {"partial, then final", false,
         [](Task& t) { t.result("draft and"), t.result("draft and more", true); },
         "draft and more"},
        {"later task", true, [](Task& t) { t.result("then more", true); }, "first then more"},
        {"no speech", false, [](Task& t) { t.error(kTransient, 1110); }, "draft"},
        {"failure", false, [](Task& t) { t.error("X", 1, "late"); }, "draft"},
        {"silence", false, [](Task&) {}, "draft"}};
    EXPECT_FALSE(r->awaitsFinalText()) << "before any recording";
    onDevice().answersEndOfAudio = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        if (c.afterARestart) report([&] { task().result("first", true); });
        report([&] { task().result("draft"); });
        auto& last = task();
        r->stopRecording();
        EXPECT_TRUE(last.fakeRequest().ended);
        EXPECT_FALSE(last.cancelled) << "the recogniser still has audio to decode";
        EXPECT_TRUE(r->awaitsFinalText());
        report([&] { c.afterTheStop(last); });
        advance(3.0);
        EXPECT_FALSE(r->awaitsFinalText());
        EXPECT_TRUE(last.cancelled);
        EXPECT_EQ(onDevice().tasks.back().use_count(), 1) << "and let go";
        EXPECT_EQ(r->transcript.get(), c.transcript);
        expectIdle(*r, std::nullopt);  // nobody is listening to an error now
    }
    // A new recording does not wait for the last one's words, nor take them.
    start();
    report([&] { task().result("draft"); });
    auto& earlier = task();
    r->stopRecording(), start();
    EXPECT_FALSE(r->awaitsFinalText());
    EXPECT_TRUE(earlier.cancelled);
    earlier.cancelled = false;
    report([&] { earlier.result("stale", true); });
    EXPECT_EQ(r->transcript.get(), "");

    // A microphone gone mid-recording stops it the same way, and says so; the
    // news of an earlier capture leaves a new recording alone.
    report([&] { task().result("heard"); });
    auto& lost = task();
    engine().failFromAudioThread(), run();
    EXPECT_FALSE(r->isRecording);
    EXPECT_TRUE(lost.fakeRequest().ended);
    EXPECT_EQ(r->errorMessage.get(), "麦克风已断开，录音已停止");
    report([&] { lost.result("heard it", true); });
    EXPECT_EQ(r->transcript.get(), "heard it");
    start(), engine().failFromAudioThread(), r->stopRecording(), start();
    EXPECT_TRUE(r->isRecording);
}

// A recording ends strictly after three seconds without a new word, or ten
// without any in the cloud, which streams to a metered service: only a held
// key keeps that going until the release.
TEST_F(SpeechRecognizerTest, SilenceStopsARecordingUnlessAHeldKeyKeepsACloudOneGoing) {
    const struct {
        bool cloud, held;
        const char* words;  // nullptr: nothing said
        double stopsAfter;  // seconds after the last result, or the start; 0: never
    } cases[] = {{false, false, "go", 3.5},
                 {true, false, "go", 3.5},
                 {true, false, nullptr, 10.5},
                 {true, true, "go", 0},
                 {true, true, nullptr, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(&c - cases);
        if (c.cloud) setKey("k");
        r->stopsOnSilence = !c.held;
        start(), advance(1.0);  // the words come exactly at a check
        if (c.words)
            report([&] { c.cloud ? cloud.fireTranscript(c.words, true) : task().result(c.words); });
        advance((c.stopsAfter ? c.stopsAfter : 60) - (c.words ? 0 : 1.0) - 0.5);
        EXPECT_TRUE(r->isRecording) << "too early";
        advance(0.5);
        EXPECT_EQ(r->isRecording.get(), !c.stopsAfter);
        EXPECT_TRUE(c.cloud || (engine().released && !engine().input.hasTap()));
        if (r->isRecording) r->stopRecording();
        run(), advance(20);
        EXPECT_FALSE(r->isRecording);
        EXPECT_EQ(sim.scheduler.pendingCount(), 0u) << "no timer left behind";
    }
}

// A race by nature: for ThreadSanitizer builds only.
#ifdef __SANITIZE_THREAD__
TEST_F(SpeechRecognizerTest, BuffersNeverReachAReplacedRequestWhileRestartsRace) {
    start();
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread audio([&] {
        for (; !stop; ++delivered) engine().input.deliver(floatBuffer(0.05f, 64));
    });
    for (int restart = 0; restart < 50; ++restart) report([&] { task().result("more", true); });
    stop = true;
    audio.join();
    int total = 0;
    for (const auto& request : sim.speech.requests) {
        EXPECT_EQ(request->appendedAfterEnd, 0);
        total += request->appended;
    }
    EXPECT_EQ(total, delivered.load()) << "every buffer reached the request current at its arrival";
}
#endif

}  // namespace
}  // namespace sayvo
