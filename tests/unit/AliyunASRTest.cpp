#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "SimPlatform.h"
#include "cloud/AliyunASR.h"

namespace sayvo {
namespace {

using sim::floatBuffer;

const std::string kStarted = R"({"header":{"event":"task-started"},"payload":{}})";
const std::string kFinished = R"({"header":{"event":"task-finished"},"payload":{}})";

std::string result(const std::string& text, bool end) {
    return nlohmann::json{
        {"header", {{"event", "result-generated"}}},
        {"payload", {{"output", {{"sentence", {{"text", text}, {"sentence_end", end}}}}}}}}
        .dump();
}

class AliyunASRTest : public ::testing::Test {
protected:
    void SetUp() override {
        client = AliyunASR::create({sim.scheduler, sim.webSockets, sim.uuids, sim.audio},
                                   "wss://asr.test/api-ws/v1/inference/");
        client->onTranscript = [this](const std::string& t, bool f) {
            log.push_back((f ? "final:" : "partial:") + t);
        };
        client->onError = [this](const std::string& m) { log.push_back("error:" + m); };
        client->onStarted = [this] { log.push_back("started"); };
        client->onStopped = [this] { log.push_back("stopped"); };
        client->onFinished = [this] { log.push_back("finished"); };
        client->onAudioLevel = [this](float level) { levels.push_back(level); };
    }
    sim::FakeWebSocketTask& socket() { return sim.webSockets.last(); }
    // The service answers on the connection's callback queue: another thread.
    void serviceSays(const std::string& text) {
        std::thread([&] { socket().deliverText(text); }).join();
        sim.scheduler.runUntilIdle();
    }
    std::string sentAction(std::size_t i) {
        return nlohmann::json::parse(socket().sentTexts().at(i))["header"]["action"];
    }
    std::string sentTaskId(std::size_t i) {
        return nlohmann::json::parse(socket().sentTexts().at(i))["header"]["task_id"];
    }
    void startStreaming() {
        client->startRecognition("sk-test");
        sim.scheduler.advance(0.5);
        serviceSays(kStarted);
    }

    sim::SimPlatform sim;
    std::shared_ptr<AliyunASR> client;
    std::vector<std::string> log;
    std::vector<float> levels;
};

TEST_F(AliyunASRTest, StartConnectsWithTheKeyAndSendsRunTaskHalfASecondLater) {
    client->startRecognition(" key with spaces ");
    ASSERT_EQ(sim.webSockets.tasks.size(), 1u);
    const auto& request = socket().request;
    EXPECT_EQ(request.url, "wss://asr.test/api-ws/v1/inference/");
    ASSERT_EQ(request.headers.size(), 1u);
    EXPECT_EQ(request.headers[0].first, "Authorization");
    EXPECT_EQ(request.headers[0].second, "bearer  key with spaces ");
    EXPECT_EQ(request.timeoutSeconds, 60);
    EXPECT_TRUE(socket().resumed);
    EXPECT_TRUE(socket().hasPendingReceive()) << "listening from the first moment";

    const std::string id = client->taskId();
    client->startRecognition("again");  // while running: nothing changes
    EXPECT_EQ(sim.webSockets.tasks.size(), 1u);
    EXPECT_EQ(client->taskId(), id);

    sim.scheduler.advance(0.49);
    EXPECT_TRUE(socket().sentTexts().empty());
    sim.scheduler.advance(0.01);
    ASSERT_EQ(socket().sentTexts().size(), 1u);
    EXPECT_EQ(sentAction(0), "run-task");
    EXPECT_EQ(sentTaskId(0), id);
    ASSERT_EQ(sim.audio.engines.size(), 1u);
    EXPECT_TRUE(sim.audio.last().isRunning()) << "the microphone opens at the start";
}

TEST_F(AliyunASRTest, AudioBeforeTheTaskStartedIsHeldAndSentFirstThenLive) {
    client->startRecognition("k");
    auto& engine = sim.audio.last();
    EXPECT_EQ(engine.input.requestedBufferSize, 1600u);
    engine.playFromAudioThread({floatBuffer(0.1f, 1600)});
    sim.scheduler.advance(0.5);
    EXPECT_TRUE(socket().sentAudio().empty()) << "held until the service has started the task";
    serviceSays(kStarted);
    engine.playFromAudioThread({floatBuffer(0.3f, 1600), floatBuffer(0.f, 0)});
    sim.scheduler.runUntilIdle();

    ASSERT_EQ(levels.size(), 2u) << "levels from the start; a buffer with no frames has none";
    EXPECT_NEAR(levels[0], 0.5f, 1e-5);
    EXPECT_NEAR(levels[1], 1.0f, 1e-5);
    const auto chunks = socket().sentAudio();
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 533u * 2) << "1600 frames at 48 kHz fill 533 at 16 kHz";
    // Little-endian int16 of 0.1 * 32767, then of 0.3 * 32767: in the order spoken.
    EXPECT_EQ(static_cast<unsigned char>(chunks[0][0]), 3276 & 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(chunks[0][1]), 3276 >> 8);
    EXPECT_EQ(static_cast<unsigned char>(chunks[1][1]), 9830 >> 8);

    serviceSays(result("go", false));
    serviceSays(result("go forward", true));
    EXPECT_EQ(log, (std::vector<std::string>{"started", "partial:go", "final:go forward"}));
}

TEST_F(AliyunASRTest, AStopBeforeTheTaskStartedFinishesOnceTheHeldAudioIsOut) {
    client->startRecognition("k");
    sim.audio.last().playFromAudioThread({floatBuffer(0.1f, 1600)});
    sim.scheduler.advance(0.5);
    client->stopRecognition();
    EXPECT_TRUE(sim.audio.last().released);
    EXPECT_EQ(socket().sentTexts().size(), 1u) << "nothing to finish before the start";
    serviceSays(kStarted);
    const auto sent = socket().sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].kind, WebSocketMessage::Kind::binary);
    EXPECT_EQ(sentAction(1), "finish-task");
}

TEST_F(AliyunASRTest, SixteenKilohertzIntegerDevicesSendWithoutLevels) {
    sim.audio.nextFormat = {16000, 1, SampleType::int16};
    startStreaming();
    sim.audio.last().playFromAudioThread({sim::int16Buffer(1600)});
    sim.scheduler.runUntilIdle();
    EXPECT_TRUE(levels.empty());
    ASSERT_EQ(socket().sentAudio().size(), 1u);
    EXPECT_EQ(socket().sentAudio()[0].size(), 1600u * 2);
}

TEST_F(AliyunASRTest, StopFinishesTheTaskAndListensUntilTheServiceHasAnswered) {
    startStreaming();
    auto& engine = sim.audio.last();
    client->stopRecognition();
    EXPECT_FALSE(client->isRunning());
    EXPECT_EQ(engine.stopCount, 1);
    EXPECT_TRUE(engine.released);
    ASSERT_EQ(socket().sentTexts().size(), 2u);
    EXPECT_EQ(sentAction(1), "finish-task");
    EXPECT_EQ(sentTaskId(1), sentTaskId(0));
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(log.back(), "stopped");

    // Over a slow network the last sentences come well after the stop.
    sim.scheduler.advance(1.5);
    serviceSays(result("ten meters", true));
    serviceSays(result("and back", true));
    EXPECT_EQ(log.back(), "final:and back");
    EXPECT_FALSE(socket().closeCode);
    serviceSays(kFinished);
    EXPECT_EQ(log.back(), "finished");
    EXPECT_EQ(socket().closeCode, 1001) << "closed once the service has answered";

    client->stopRecognition();  // not running: nothing sent, nothing reported
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(socket().sentTexts().size(), 2u);
    EXPECT_EQ(std::count(log.begin(), log.end(), "stopped"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "finished"), 1);
}

TEST_F(AliyunASRTest, AServiceThatNeverAnswersTheStopIsClosedAfterThreeSeconds) {
    startStreaming();
    client->stopRecognition();
    sim.scheduler.advance(2.99);
    EXPECT_FALSE(socket().closeCode);
    sim.scheduler.advance(0.01);  // the close fails the pending receive
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(socket().closeCode, 1001);
    EXPECT_EQ(std::count(log.begin(), log.end(), "finished"), 1);
    EXPECT_EQ(std::count(log.begin(), log.end(), "error:接收失败: cancelled"), 1);
}

TEST_F(AliyunASRTest, ATapShorterThanTheRunTaskDelaySendsNothingAndCloses) {
    client->startRecognition("k");
    sim.scheduler.advance(0.2);
    client->stopRecognition();
    EXPECT_TRUE(socket().closeCode) << "closed at once: nothing will be sent";
    sim.scheduler.advance(2);
    EXPECT_TRUE(socket().sentTexts().empty()) << "no finish-task for a task never started";
    EXPECT_FALSE(client->isRunning());
}

TEST_F(AliyunASRTest, TheDelayedCloseBelongsToTheStoppedConnection) {
    startStreaming();
    client->stopRecognition();
    sim.scheduler.advance(0.3);
    client->startRecognition("k");  // a new dictation before the old one is closed
    auto& newer = sim.webSockets.last();
    sim.scheduler.advance(3.0);
    EXPECT_EQ(sim.webSockets.tasks[0]->closeCode, 1001);
    EXPECT_FALSE(newer.closeCode);
    EXPECT_TRUE(client->isRunning());
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(sim.webSockets.tasks.size(), 2u);
    ASSERT_EQ(newer.sentTexts().size(), 1u) << "the new task's run-task went out";

    // Late events of the old connection change nothing now.
    log.clear();
    sim.webSockets.tasks[0]->closeFromService(1001);
    sim.scheduler.runUntilIdle();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(client->isRunning());
}

TEST_F(AliyunASRTest, TheServiceEndingTheTaskClosesTheMicrophoneAndFreesTheNextStart) {
    struct Case {
        std::string event;
        std::vector<std::string> reports;
    };
    const Case cases[] = {
        {R"({"header":{"event":"task-failed","error_message":"Invalid API-key"}})",
         {"started", "error:Invalid API-key", "stopped", "finished"}},
        {R"({"header":{"event":"task-failed"}})",
         {"started", "error:未知错误", "stopped", "finished"}},
        {kFinished, {"started", "stopped", "finished"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        log.clear();
        startStreaming();
        auto& engine = sim.audio.last();
        serviceSays(c.event);
        EXPECT_EQ(log, c.reports);
        EXPECT_TRUE(engine.released) << "the microphone is closed";
        EXPECT_FALSE(client->isRunning());
        EXPECT_EQ(socket().closeCode, 1001);
    }
    EXPECT_EQ(sim.webSockets.tasks.size(), 3u) << "every start made a new task";
}

TEST_F(AliyunASRTest, AClosedConnectionStopsCaptureAndReports) {
    startStreaming();
    socket().closeFromService(1006);
    sim.scheduler.runUntilIdle();
    EXPECT_FALSE(client->isRunning());
    EXPECT_TRUE(sim.audio.last().released);
    EXPECT_EQ(log, (std::vector<std::string>{"started", "stopped", "finished"}));
}

TEST_F(AliyunASRTest, FailuresAreReportedWithTheirMessages) {
    // A receive failure ends the loop.
    client->startRecognition("k");
    std::thread([&] { socket().fail("Unhandled http status code: 401 (Unauthorized)"); }).join();
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(log.back(), "error:接收失败: Unhandled http status code: 401 (Unauthorized)");
    EXPECT_FALSE(socket().hasPendingReceive());
    EXPECT_TRUE(client->isRunning()) << "the recognizer decides when to stop";

    // The run-task cannot be sent.
    socket().failSendsWith = PlatformError{"WebSocket", 1, "not connected"};
    sim.scheduler.advance(0.5);
    EXPECT_EQ(log.back(), "error:发送指令失败: not connected");
    client->stopRecognition();
    sim.scheduler.advance(2);

    // The capture cannot be set up: the start ends there, and the connection closes.
    sim.audio.refuseConverters = true;
    log.clear();
    client->startRecognition("k");
    sim.scheduler.runUntilIdle();
    EXPECT_EQ(log, (std::vector<std::string>{"error:无法创建音频转换器", "stopped", "finished"}));
    EXPECT_FALSE(client->isRunning());
    EXPECT_TRUE(socket().closeCode);
    sim.audio.refuseConverters = false;
    sim.audio.nextStartError = PlatformError{"PulseAudio", 6, "no source"};
    client->startRecognition("k");
    sim.scheduler.advance(1);
    EXPECT_EQ(log.back(), "finished");
    EXPECT_EQ(log.at(log.size() - 3), "error:音频引擎启动失败: no source");
    EXPECT_TRUE(socket().sentTexts().empty()) << "no task for a recording without a microphone";
}

TEST_F(AliyunASRTest, MalformedAndBinaryMessagesKeepTheLoopGoing) {
    startStreaming();
    std::thread([&] { socket().deliver({WebSocketMessage::Kind::binary, "\x01\x02"}); }).join();
    serviceSays("{not json");
    serviceSays(R"({"header":{"event":"Task-Finished"}})");
    serviceSays(result("still here", false));
    EXPECT_EQ(log, (std::vector<std::string>{"started", "partial:still here"}));
    EXPECT_TRUE(socket().hasPendingReceive());
}

}  // namespace
}  // namespace sayvo
