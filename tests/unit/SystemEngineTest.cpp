#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <thread>

#include "SimPlatform.h"
#include "speech/SpeechRecognizer.h"

namespace sayvo {
namespace {

using sim::floatBuffer;

const std::string kTransientDomain = "kAFAssistantErrorDomain";

class SystemEngineTest : public ::testing::Test {
protected:
    void SetUp() override { recognizer = SpeechRecognizer::create(sim.platform(), cloud); }
    void start() {
        recognizer->startRecording();
        sim.scheduler.runUntilIdle();
    }
    sim::FakeAudioEngine& engine() { return sim.audio.last(); }
    sim::FakeOnDeviceRecognizer& onDevice() { return *sim.speech.made.front(); }
    sim::FakeRecognitionTask& task() { return onDevice().currentTask(); }
    void play(std::initializer_list<std::shared_ptr<const AudioPCMBuffer>> buffers) {
        engine().playFromAudioThread(buffers);
        sim.scheduler.runUntilIdle();
    }
    // The recogniser reports from a thread of its own.
    template <typename F>
    void report(F f) {
        std::thread(f).join();
        sim.scheduler.runUntilIdle();
    }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer;
};

TEST_F(SystemEngineTest, StartFailuresExplainThemselvesAndLeaveNoRecording) {
    struct Case {
        const char* name;
        std::function<void(sim::SimPlatform&)> breakIt;
        std::string message;
    };
    const Case cases[] = {
        {"no engine", [](auto& s) { s.audio.refuse = true; }, "启动语音识别失败: 无法创建音频引擎"},
        {"no request", [](auto& s) { s.speech.refuseRequests = true; },
         "启动语音识别失败: 无法创建识别请求"},
        {"no sample rate", [](auto& s) { s.audio.nextFormat.sampleRate = 0; },
         "启动语音识别失败: 无效的音频格式，请检查麦克风设置"},
        {"device will not start",
         [](auto& s) {
             s.audio.nextStartError = PlatformError{"PulseAudio", 3, "没有输入设备"};
         },
         "启动语音识别失败: 没有输入设备"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim::SimPlatform fresh;
        c.breakIt(fresh);
        auto r = SpeechRecognizer::create(fresh.platform(), cloud);
        r->startRecording();
        EXPECT_FALSE(r->isRecording);
        EXPECT_FALSE(r->isProcessing);
        EXPECT_EQ(r->errorMessage.get(), c.message);
    }
}

TEST_F(SystemEngineTest, AFailedStartIsCleanedUpByTheNextOne) {
    sim.audio.nextStartError = PlatformError{"PulseAudio", 1, "busy"};
    start();
    auto& failed = engine();
    EXPECT_TRUE(failed.input.hasTap()) << "left in place until the next start";
    sim.audio.nextStartError.reset();
    start();
    EXPECT_TRUE(recognizer->isRecording);
    EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt);
    EXPECT_TRUE(onDevice().tasks.front()->cancelled);
    EXPECT_EQ(sim.audio.engines.size(), 2u);
}

TEST_F(SystemEngineTest, RequestsAskForPartialDictationResults) {
    start();
    ASSERT_TRUE(recognizer->isRecording);
    const auto& request = *sim.speech.requests.back();
    EXPECT_TRUE(request.partialResults);
    EXPECT_EQ(request.hint, RecognitionTaskHint::dictation);
    EXPECT_FALSE(request.onDeviceOnly);
    EXPECT_EQ(engine().input.requestedBufferSize, 1024u);
    EXPECT_EQ(engine().prepareCount, 1);
}

TEST_F(SystemEngineTest, AudioLevelIsMeanAbsoluteTimesFiveCapped) {
    start();
    const std::pair<float, float> levels[] = {
        {0.0f, 0.0f}, {0.1f, 0.5f}, {0.2f, 1.0f}, {0.7f, 1.0f}, {0.02f, 0.1f}};
    for (const auto& [amplitude, level] : levels) {
        play({floatBuffer(amplitude)});
        EXPECT_NEAR(recognizer->audioLevel, level, 1e-5) << amplitude;
    }
    // Buffers without float samples, or without frames, give no level but still reach the request.
    play({sim::int16Buffer(), floatBuffer(0.5f, 0)});
    EXPECT_NEAR(recognizer->audioLevel, 0.1f, 1e-5);
    EXPECT_EQ(sim.speech.requests.back()->appended, 7);
}

TEST_F(SystemEngineTest, RecognitionRestartsAcrossTaskBoundariesOnTheSameCapture) {
    start();
    report([&] { task().result("hello"); });
    EXPECT_EQ(recognizer->transcript.get(), "hello");
    EXPECT_TRUE(recognizer->isProcessing);
    report([&] { task().result("hello world", true); });
    ASSERT_EQ(onDevice().tasks.size(), 2u);
    EXPECT_TRUE(onDevice().tasks[0]->cancelled);
    EXPECT_TRUE(sim.speech.requests[0]->ended);
    EXPECT_EQ(engine().stopCount, 0) << "the microphone keeps running";
    EXPECT_EQ(engine().input.installCount, 1) << "the capture is not interrupted";

    play({floatBuffer(0.1f)});
    EXPECT_EQ(sim.speech.requests[0]->appendedAfterEnd, 0);
    EXPECT_EQ(sim.speech.requests[1]->appended, 1);
    const float levelBefore = recognizer->audioLevel;
    play({floatBuffer(0.9f)});
    EXPECT_EQ(recognizer->audioLevel, levelBefore) << "later tasks measure no level";

    report([&] { task().result("how"); });
    EXPECT_EQ(recognizer->transcript.get(), "hello world how");
    report([&] { task().result("how are"); });
    EXPECT_EQ(recognizer->transcript.get(), "hello world how are");
    recognizer->isProcessing = false;
    report([&] { task().result(""); });
    EXPECT_EQ(recognizer->transcript.get(), "hello world how are");
    EXPECT_TRUE(recognizer->isProcessing);
    report([&] { task().result("how are you", true); });
    report([&] { task().result("fine"); });
    EXPECT_EQ(recognizer->transcript.get(), "hello world how are you fine");
}

TEST_F(SystemEngineTest, TransientErrorsRestartOtherErrorsExplainOrAreIgnored) {
    start();
    report([&] { task().error(kTransientDomain, 1110); });
    EXPECT_EQ(onDevice().tasks.size(), 2u) << "first task: at once";
    EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt);

    report([&] { task().error(kTransientDomain, 216); });
    sim.scheduler.advance(0.29);
    EXPECT_EQ(onDevice().tasks.size(), 2u) << "later task: after 0.3 s";
    sim.scheduler.advance(0.01);
    EXPECT_EQ(onDevice().tasks.size(), 3u);

    report([&] { task().error("OtherDomain", 1110, "boom"); });
    sim.scheduler.advance(1);
    EXPECT_EQ(onDevice().tasks.size(), 3u);
    EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt) << "later tasks stay quiet";

    // The first task of a new recording reports other errors and keeps recording.
    recognizer->stopRecording();
    start();
    report([&] { task().error("kAFAssistantErrorDomain", 1700, "模型损坏"); });
    EXPECT_EQ(recognizer->errorMessage.get(), "识别错误: 模型损坏");
    EXPECT_TRUE(recognizer->isRecording);
}

TEST_F(SystemEngineTest, TheStopWaitsForTheRecognisersLastWordsAndNoLonger) {
    using Task = sim::FakeRecognitionTask;
    struct Case {
        const char* name;
        bool afterARestart;
        std::function<void(Task&)> afterTheStop;
        std::string transcript;
    };
    const Case cases[] = {
        {"final", false, [](Task& t) { t.result("draft and more", true); }, "draft and more"},
        {"partial, then final", false,
         [](Task& t) {
             t.result("draft and");
             t.result("draft and more", true);
         },
         "draft and more"},
        {"final of a later task", true, [](Task& t) { t.result("then more", true); },
         "first then more"},
        {"no speech", false, [](Task& t) { t.error(kTransientDomain, 1110); }, "draft"},
        {"failure", false, [](Task& t) { t.error("X", 1, "late"); }, "draft"},
        {"silence", false, [](Task&) {}, "draft"},
    };
    onDevice().answersEndOfAudio = false;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        start();
        if (c.afterARestart) report([&] { task().result("first", true); });
        report([&] { task().result("draft"); });
        auto& last = task();
        recognizer->stopRecording();
        EXPECT_TRUE(last.fakeRequest().ended);
        EXPECT_FALSE(last.cancelled) << "the recogniser still has audio to decode";
        EXPECT_TRUE(recognizer->awaitsFinalText());
        report([&] { c.afterTheStop(last); });
        sim.scheduler.advance(3.0);
        EXPECT_FALSE(recognizer->awaitsFinalText());
        EXPECT_TRUE(last.cancelled);
        EXPECT_EQ(recognizer->transcript.get(), c.transcript);
        EXPECT_EQ(recognizer->errorMessage.get(), std::nullopt) << "nobody is listening now";
        EXPECT_FALSE(recognizer->isProcessing);
    }

    // A new recording does not wait for the last one's words, nor take them.
    start();
    report([&] { task().result("draft"); });
    auto& earlier = task();
    recognizer->stopRecording();
    start();
    EXPECT_FALSE(recognizer->awaitsFinalText());
    EXPECT_TRUE(earlier.cancelled);
    report([&] { earlier.cancelled = false; });
    report([&] { earlier.result("stale", true); });
    EXPECT_EQ(recognizer->transcript.get(), "");
}

TEST_F(SystemEngineTest, SilenceStopsOnlyStrictlyAfterThreeSecondsOnceTextExists) {
    start();
    sim.scheduler.advance(0.5);
    report([&] { task().result("some text"); });  // exactly at a check
    sim.scheduler.advance(3.0);
    EXPECT_TRUE(recognizer->isRecording) << "3.0 s is not more than 3.0 s";
    sim.scheduler.advance(0.5);
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_EQ(recognizer->transcript.get(), "some text");
    EXPECT_EQ(engine().stopCount, 1);
    EXPECT_FALSE(engine().input.hasTap());
    EXPECT_TRUE(engine().released);
    sim.scheduler.advance(3.0);
    EXPECT_EQ(sim.scheduler.pendingCount(), 0u) << "the silence timer is gone";
}

TEST_F(SystemEngineTest, WithoutTextTheRecordingRunsUntilStopped) {
    start();
    sim.scheduler.advance(120);
    EXPECT_TRUE(recognizer->isRecording);
    recognizer->stopRecording();
    EXPECT_FALSE(recognizer->isRecording);
    EXPECT_FLOAT_EQ(recognizer->audioLevel, 0.0f);
    // Stopping again when nothing runs just settles the flags.
    recognizer->isProcessing = true;
    recognizer->stopRecording();
    EXPECT_FALSE(recognizer->isProcessing);
}

TEST_F(SystemEngineTest, LevelsMeasuredBeforeTheStopDoNotOutliveIt) {
    start();
    engine().playFromAudioThread({floatBuffer(0.2f)});  // posted, not yet applied
    recognizer->stopRecording();
    sim.scheduler.runUntilIdle();
    EXPECT_FLOAT_EQ(recognizer->audioLevel, 0.0f);
}

// A race by nature: run where ThreadSanitizer watches it, never in the
// deterministic runs.
#ifdef __SANITIZE_THREAD__
TEST_F(SystemEngineTest, BuffersNeverReachAReplacedRequestWhileRestartsRace) {
    start();
    // The microphone keeps delivering for as long as the restarts go on, however
    // the two threads happen to be scheduled.
    std::atomic<bool> stop{false};
    std::atomic<int> delivered{0};
    std::thread audio([&] {
        while (!stop) {
            engine().input.deliver(floatBuffer(0.05f, 64));
            ++delivered;
        }
    });
    for (int restart = 0; restart < 50; ++restart) {
        report([&] { task().result("more", true); });
    }
    stop = true;
    audio.join();
    sim.scheduler.runUntilIdle();
    int total = 0;
    for (const auto& request : sim.speech.requests) {
        EXPECT_EQ(request->appendedAfterEnd, 0);
        total += request->appended;
    }
    EXPECT_EQ(total, delivered.load()) << "every buffer reached the request current at its arrival";
    EXPECT_GT(sim.speech.requests.size(), 1u);
}
#endif

}  // namespace
}  // namespace sayvo
