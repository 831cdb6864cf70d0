#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <thread>

#include "SimPlatform.h"
#include "cloud/AliyunASR.h"
#include "cloud/CloudFailure.h"

namespace sayvo {
namespace {

using sim::floatBuffer;
using Log = std::vector<std::string>;
using Kind = WebSocketMessage::Kind;

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
        client = AliyunASR::create(
            {sim.scheduler, sim.webSockets, sim.uuids, sim.audio, sim.log, sim.translations},
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
        std::thread([&] { socket().deliver({Kind::text, text}); }).join(), run();
    }
    void run() { sim.scheduler.runUntilIdle(); }
    void advance(double s) { sim.scheduler.advance(s); }
    void play(std::shared_ptr<const AudioPCMBuffer> b) {
        sim.audio.last().playFromAudioThread({b});
    }
    nlohmann::json command(std::size_t i) {
        return nlohmann::json::parse(socket().sent(Kind::text).at(i))["header"];
    }
    void startStreaming() {
        client->startRecognition("sk-test"), advance(0.5), serviceSays(kStarted);
    }
    long count(const std::string& entry) const { return std::count(log.begin(), log.end(), entry); }

    sim::SimPlatform sim;
    std::shared_ptr<AliyunASR> client;
    Log log;
    std::vector<float> levels;
};

TEST_F(AliyunASRTest, AudioBeforeTheTaskStartedIsHeldAndSentFirstThenLive) {
    client->startRecognition("k");
    EXPECT_TRUE(socket().resumed) << "the connection never opens";
    const WebSocketRequest& request = socket().request;
    EXPECT_EQ(request.url, "wss://asr.test/api-ws/v1/inference/");
    EXPECT_EQ(request.headers, (decltype(request.headers){{"Authorization", "bearer k"}}));
    EXPECT_EQ(request.timeoutSeconds, 60);
    auto& engine = sim.audio.last();
    EXPECT_EQ(engine.input.requestedBufferSize, 1600u);
    play(floatBuffer(0.1f, 1600)), advance(0.5);
    EXPECT_TRUE(socket().sent(Kind::binary).empty()) << "held until the service started the task";
    serviceSays(kStarted);
    engine.playFromAudioThread({floatBuffer(0.3f, 1600), floatBuffer(0.f, 0)}), run();

    ASSERT_EQ(levels.size(), 2u) << "a buffer with no frames has no level";
    EXPECT_NEAR(levels[0], 0.5f, 1e-5);
    EXPECT_NEAR(levels[1], 1.0f, 1e-5);
    const auto chunks = socket().sent(Kind::binary);
    ASSERT_EQ(chunks.size(), 2u);
    EXPECT_EQ(chunks[0].size(), 533u * 2) << "1600 frames at 48 kHz fill 533 at 16 kHz";
    // Little-endian int16 of 0.1 * 32767, then of 0.3 * 32767: in the order spoken.
    EXPECT_EQ(chunks[0].substr(0, 2), std::string("\xcc\x0c"));
    EXPECT_EQ(chunks[1].substr(0, 2), std::string("\x66\x26"));

    serviceSays(result("go", false)), serviceSays(result("go forward", true));
    EXPECT_EQ(log, (Log{"started", "partial:go", "final:go forward"}));

    // 16 kHz integer devices send as they are, without levels.
    client->stopRecognition();
    sim.audio.nextFormat = {16000, 1, SampleType::int16};
    levels.clear(), startStreaming(), play(sim::int16Buffer(1600)), run();
    EXPECT_TRUE(levels.empty());
    EXPECT_EQ(socket().sent(Kind::binary), std::vector<std::string>{std::string(3200, '\0')});
}

TEST_F(AliyunASRTest, AStopBeforeTheTaskStartedFinishesOnceTheHeldAudioIsOut) {
    client->startRecognition("k"), play(floatBuffer(0.1f, 1600)), advance(0.5);
    client->stopRecognition();
    EXPECT_TRUE(sim.audio.last().released);
    EXPECT_EQ(socket().sent().size(), 1u) << "nothing to finish before the start";
    serviceSays(kStarted);
    const auto sent = socket().sent();
    ASSERT_EQ(sent.size(), 3u);
    EXPECT_EQ(sent[1].kind, Kind::binary);
    EXPECT_EQ(command(1)["action"], "finish-task");
    // A task that never starts leaves no finish for the next one.
    client->startRecognition("k"), advance(0.5), client->stopRecognition(), advance(3);
    startStreaming();
    EXPECT_EQ(socket().sent(Kind::text).size(), 1u) << "only its run-task";
}

TEST_F(AliyunASRTest, AServiceThatNeverAnswersTheStopIsClosedAfterThreeSeconds) {
    // One that answers is done with at its answer.
    startStreaming(), client->stopRecognition(), serviceSays(kFinished), advance(3);
    EXPECT_EQ(log, (Log{"started", "stopped", "finished"}));
    log.clear(), startStreaming(), client->stopRecognition(), advance(2.99);
    EXPECT_FALSE(socket().closeCode);
    advance(0.01), run();  // the close fails the pending receive
    EXPECT_EQ(socket().closeCode, 1001);
    EXPECT_EQ(count("finished"), 1);
    EXPECT_EQ(count("error:识别服务没有回应"), 1);
    EXPECT_EQ(count("error:与识别服务的连接已断开，请检查网络后重试"), 0)
        << "our own close is no news";

    // A tap shorter than the run-task delay sends nothing and closes at once.
    client->startRecognition("k"), advance(0.2), client->stopRecognition();
    EXPECT_TRUE(socket().closeCode);
    advance(2);
    EXPECT_TRUE(socket().sent().empty()) << "no finish-task for a task never started";
}

TEST_F(AliyunASRTest, TheDelayedCloseBelongsToTheStoppedConnection) {
    startStreaming(), client->stopRecognition(), advance(0.3);
    client->startRecognition("k");  // a new dictation before the old one is closed
    auto& older = *sim.webSockets.tasks[0];
    auto& newer = socket();
    advance(3.0);
    EXPECT_EQ(older.closeCode, 1001);
    EXPECT_FALSE(newer.closeCode);
    EXPECT_EQ(newer.sent(Kind::text).size(), 1u) << "the new task's run-task went out";

    // Late events of the old connection change nothing now.
    log.clear(), older.closeFromService(1001), run();
    EXPECT_TRUE(log.empty());
    EXPECT_TRUE(client->isRunning());
}

TEST_F(AliyunASRTest, TheServiceEndingTheTaskClosesTheMicrophoneAndFreesTheNextStart) {
    const struct {
        std::string event;  // empty: the connection closes
        Log reports;
    } cases[] = {{R"({"header":{"event":"task-failed","error_message":"Invalid API-key"}})",
                  {"started", "error:Invalid API-key", "stopped", "finished"}},
                 {kFinished, {"started", "stopped", "finished"}},
                 {"", {"started", "stopped", "finished"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.event);
        log.clear(), startStreaming();
        if (c.event.empty()) {
            socket().closeFromService(1006), run();
        } else {
            serviceSays(c.event);
            EXPECT_EQ(socket().closeCode, 1001);
        }
        EXPECT_EQ(log, c.reports);
        EXPECT_TRUE(sim.audio.last().released) << "the microphone is closed";
        EXPECT_FALSE(client->isRunning());
    }
    EXPECT_EQ(sim.webSockets.tasks.size(), 3u) << "every start made a new task";
}

TEST_F(AliyunASRTest, FailuresAreReportedWithTheirMessages) {
    // A receive failure ends the loop; the recognizer decides when to stop.
    // One wording per cause, whichever call failed first; the library's text
    // goes to the log.
    const struct {
        long cause;
        const char* message;
    } causes[] = {
        {WebSocketError::keyRefused, "API Key 无效或已失效，请在设置中检查 API Key"},
        {WebSocketError::unreachable, "无法连接识别服务，请检查网络连接"},
        {WebSocketError::untrusted, "无法安全连接识别服务（证书不受信任），请检查网络或代理设置"},
        {WebSocketError::closed, "与识别服务的连接已断开，请检查网络后重试"},
        {WebSocketError::other, "识别服务出错，请稍后重试"}};
    for (const auto& c : causes)
        EXPECT_EQ(
            std::string(cloudFailureMessage({WebSocketError::domain, c.cause, "detail"}).source),
            c.message);
    startStreaming();  // the connection drops: the receive alone fails
    std::thread([&] { socket().fail("reset", WebSocketError::closed); }).join(), run();
    EXPECT_EQ(log.back(), "error:与识别服务的连接已断开，请检查网络后重试");
    client->stopRecognition(), advance(2);
    const std::string refusal = "Unhandled http status code: 401 (Unauthorized)";
    client->startRecognition("k");
    socket().sendFailure =
        PlatformError{WebSocketError::domain, WebSocketError::keyRefused, refusal};
    advance(0.5);  // the run-task command fails, then the receive
    std::thread([&] { socket().fail(refusal, WebSocketError::keyRefused); }).join(), run();
    EXPECT_EQ(count("error:API Key 无效或已失效，请在设置中检查 API Key"), 1);
    EXPECT_EQ(sim.log.notes.back(), "cloud connection failed: " + refusal);
    EXPECT_FALSE(socket().hasPendingReceive());
    EXPECT_TRUE(client->isRunning());

    client->stopRecognition(), advance(2);

    // The capture cannot be set up: the start ends there, and the connection closes.
    sim.audio.refuseConverters = true;
    log.clear(), client->startRecognition("k"), run();
    EXPECT_EQ(log, (Log{"error:无法创建音频转换器", "stopped", "finished"}));
    EXPECT_FALSE(client->isRunning());
    EXPECT_TRUE(socket().closeCode);
    sim.audio.refuseConverters = false;
    sim.audio.nextStartError = PlatformError{"PulseAudio", 6, "no source"};
    log.clear(), client->startRecognition("k"), advance(1);
    EXPECT_EQ(log, (Log{"error:音频引擎启动失败: no source", "stopped", "finished"}));
    EXPECT_TRUE(socket().sent().empty()) << "no task for a recording without a microphone";

    // The microphone goes mid-task: said, and the task finishes as at a stop,
    // so the words heard so far still come.
    sim.audio.nextStartError.reset();
    startStreaming(), log.clear(), sim.audio.last().failFromAudioThread(), run();
    EXPECT_EQ(log, (Log{"error:麦克风已断开，录音已停止", "stopped"}));
    EXPECT_EQ(command(1)["action"], "finish-task");
    EXPECT_TRUE(sim.audio.last().released);
}

// A minute of audio is held for a task the service has not started yet, and
// no more: the memory stays bounded.
TEST(CloudConnectionTest, AMinuteOfAudioIsHeldAndANewConnectionStartsAfresh) {
    CloudConnection connection;
    const std::string tenth(3200, 'a');  // of a second, 16 kHz int16
    for (int round = 0; round < 2; ++round) {
        const auto socket =
            std::make_shared<sim::FakeWebSocketTask>(WebSocketRequest{}, WebSocketDelegate{});
        connection.set(socket);
        for (int chunk = 0; chunk <= 600; ++chunk) connection.sendAudio(tenth);
        connection.beginStreaming(), connection.sendAudio("live");
        const auto sent = socket->sent(Kind::binary);
        EXPECT_EQ(sent.size(), 601u) << "600 held, then the live one";
        EXPECT_EQ(sent.back(), "live");
    }
}

}  // namespace
}  // namespace sayvo
