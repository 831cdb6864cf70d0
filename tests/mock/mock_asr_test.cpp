// Starts the mock service as a child process and talks to it as the client does.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QUuid>
#include <QWebSocket>
#include <cstring>
#include <nlohmann/json.hpp>

namespace {

using Json = nlohmann::json;

const char* const goForwardPath = "/usr/share/pocketsphinx/test/data/goforward.raw";
const std::string goForwardText = "go forward ten meters";
constexpr qsizetype chunkBytes = 533 * 2;

// Runs the event loop until `done` holds; false after `seconds`, which only
// guards against a hang.
template <typename Predicate>
bool waitFor(Predicate done, int seconds = 30) {
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > seconds * 1000) return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

QByteArray readGoForward() {
    QFile file(goForwardPath);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::string newTaskId() {
    return QUuid::createUuid().toString(QUuid::Id128).toUpper().toStdString();
}

Json runTask(const std::string& id, Json sampleRate = 16000) {
    return {{"header", {{"action", "run-task"}, {"task_id", id}, {"streaming", "duplex"}}},
            {"payload",
             {{"task_group", "audio"},
              {"task", "asr"},
              {"function", "recognition"},
              {"model", "fun-asr-realtime"},
              {"parameters", {{"format", "pcm"}, {"sample_rate", sampleRate}}},
              {"input", Json::object()}}}};
}

Json finishTask(const std::string& id) {
    return {{"header", {{"action", "finish-task"}, {"task_id", id}, {"streaming", "duplex"}}},
            {"payload", {{"input", Json::object()}}}};
}

bool hasViolation(const Json& line, const std::string& part) {
    for (const Json& violation : line["violations"]) {
        if (violation.get<std::string>().find(part) != std::string::npos) return true;
    }
    return false;
}

class MockProcess {
public:
    MockProcess() {
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(MOCK_ASR_BINARY, {"--port", "0", "--key", "test-key"});
        const QByteArray first = readLine().trimmed();
        if (first.startsWith("LISTENING ")) url = QUrl(QString::fromUtf8(first.mid(10)));
    }
    ~MockProcess() {
        process_.terminate();
        process_.waitForFinished(10000);
    }

    // The line of the next connection that ends; null when none comes.
    Json nextConnection() { return Json::parse(readLine().toStdString(), nullptr, false); }

    // SIGTERM, as the tests stop it: true when it exits cleanly.
    bool terminate() {
        process_.terminate();
        return process_.waitForFinished(10000) && process_.exitStatus() == QProcess::NormalExit &&
               process_.exitCode() == 0;
    }

    QUrl url;

private:
    QByteArray readLine() {
        if (!waitFor([&] { return process_.canReadLine(); })) return {};
        return process_.readLine();
    }

    QProcess process_;
};

class Client {
public:
    explicit Client(const QUrl& url, const QByteArray& key = "test-key") {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& text) {
            events.push_back(Json::parse(text.toStdString(), nullptr, false));
        });
        QObject::connect(&socket, QOverload<QAbstractSocket::SocketError>::of(&QWebSocket::error),
                         [this](QAbstractSocket::SocketError) { error = socket.errorString(); });
        QNetworkRequest request(url);
        request.setRawHeader("Authorization", "bearer " + key);
        socket.open(request);
    }

    bool connected() {
        return waitFor([&] { return socket.state() == QAbstractSocket::ConnectedState; });
    }
    void send(const Json& message) {
        socket.sendTextMessage(QString::fromStdString(message.dump()));
    }
    bool waitForEvent(const std::string& name) {
        return waitFor([&] {
            for (const Json& event : events) {
                if (event["header"]["event"] == name) return true;
            }
            return false;
        });
    }
    bool close(QWebSocketProtocol::CloseCode code = QWebSocketProtocol::CloseCodeGoingAway) {
        socket.close(code);
        return waitFor([&] { return socket.state() == QAbstractSocket::UnconnectedState; });
    }
    // The texts of the finals, joined; the count of partials.
    std::pair<std::string, int> results() const {
        std::string finals;
        int partials = 0;
        for (const Json& event : events) {
            if (event["header"]["event"] != "result-generated") continue;
            const Json& sentence = event["payload"]["output"]["sentence"];
            if (!sentence["sentence_end"].get<bool>()) {
                ++partials;
            } else {
                finals += (finals.empty() ? "" : " ") + sentence["text"].get<std::string>();
            }
        }
        return {finals, partials};
    }

    QWebSocket socket;
    std::vector<Json> events;
    QString error;
};

// A whole task as the client runs it: the finals it gets back, and the
// mock's line about it.
struct Exchange {
    std::string finals;
    int partials = 0;
    Json line;
};

Exchange exchange(MockProcess& mock, const QByteArray& audio) {
    Client client(mock.url);
    const std::string id = newTaskId();
    EXPECT_TRUE(client.connected()) << client.error.toStdString();
    client.send(runTask(id));
    EXPECT_TRUE(client.waitForEvent("task-started"));
    QElapsedTimer timer;
    timer.start();
    for (qsizetype at = 0; at < audio.size(); at += chunkBytes) {
        client.socket.sendBinaryMessage(audio.mid(at, chunkBytes));
    }
    client.send(finishTask(id));
    EXPECT_TRUE(client.waitForEvent("task-finished"));
    std::printf("MEASURE: %.2f s of audio sent and recognised in %lld ms\n",
                double(audio.size()) / 32000, static_cast<long long>(timer.elapsed()));
    for (const Json& event : client.events) EXPECT_EQ(event["header"]["task_id"], id);
    EXPECT_TRUE(client.close());
    auto [finals, partials] = client.results();
    return {finals, partials, mock.nextConnection()};
}

TEST(MockAsr, RecognisesACorrectExchange) {
    MockProcess mock;
    ASSERT_TRUE(mock.url.isValid());
    EXPECT_EQ(mock.url.path(), "/api-ws/v1/inference/");
    const QByteArray audio = readGoForward();
    ASSERT_FALSE(audio.isEmpty());

    const Exchange result = exchange(mock, audio);
    EXPECT_EQ(result.finals, goForwardText);
    EXPECT_GT(result.partials, 0);
    const Json& line = result.line;
    EXPECT_EQ(line["violations"], Json::array()) << line.dump();
    EXPECT_EQ(line["connection"], 1);
    EXPECT_TRUE(line["authorization_ok"]);
    EXPECT_TRUE(line["run_task_ok"]);
    EXPECT_TRUE(line["finish_task_ok"]);
    EXPECT_TRUE(line["same_task_id"]);
    EXPECT_EQ(line["audio_bytes"], audio.size());
    EXPECT_EQ(line["audio_chunks"], (audio.size() + chunkBytes - 1) / chunkBytes);
    EXPECT_EQ(line["recognised"], goForwardText);
    EXPECT_EQ(line["close_code"], 1001);
    EXPECT_TRUE(mock.terminate());
}

// The protocol cannot tell a wrong sample format; recognition must.
TEST(MockAsr, AudioInAnotherFormatIsNotRecognised) {
    MockProcess mock;
    const QByteArray audio = readGoForward();
    ASSERT_FALSE(audio.isEmpty());
    QByteArray stretched;  // each sample twice: 8 kHz audio claimed as 16 kHz
    QByteArray floats;     // float32 samples sent as if int16
    for (qsizetype at = 0; at + 1 < audio.size(); at += 2) {
        const QByteArray sample = audio.mid(at, 2);
        stretched += sample + sample;
        std::int16_t value = 0;
        std::memcpy(&value, sample.constData(), 2);
        const float asFloat = float(value) / 32768.0f;
        floats.append(reinterpret_cast<const char*>(&asFloat), sizeof asFloat);
    }
    for (const QByteArray& wrong : {stretched, floats}) {
        const Exchange result = exchange(mock, wrong);
        EXPECT_NE(result.line["recognised"], goForwardText);
        EXPECT_NE(result.finals, goForwardText);
        EXPECT_EQ(result.line["audio_bytes"], wrong.size());
    }
}

TEST(MockAsr, RefusesAWrongKeyWith401) {
    MockProcess mock;
    Client client(mock.url, "wrong-key");
    EXPECT_TRUE(waitFor([&] { return !client.error.isEmpty(); }));
    EXPECT_TRUE(client.error.contains("401")) << client.error.toStdString();
    const Json line = mock.nextConnection();
    EXPECT_FALSE(line["authorization_ok"]);
    EXPECT_EQ(line["close_code"], 0);
    EXPECT_EQ(line["violations"], Json::array()) << line.dump();
}

TEST(MockAsr, SampleRateNotAnIntegerFailsTheTask) {
    MockProcess mock;
    for (const Json& rate : {Json("16000"), Json(16000.0)}) {
        Client client(mock.url);
        ASSERT_TRUE(client.connected());
        client.send(runTask(newTaskId(), rate));
        ASSERT_TRUE(client.waitForEvent("task-failed"));
        EXPECT_FALSE(client.events.back()["header"]["error_message"].get<std::string>().empty());
        EXPECT_TRUE(client.close());
        const Json line = mock.nextConnection();
        EXPECT_FALSE(line["run_task_ok"]);
        EXPECT_TRUE(hasViolation(line, "sample_rate is not an integer")) << line.dump();
        EXPECT_EQ(line["violations"].size(), 1u) << line.dump();
    }
}

TEST(MockAsr, RecordsSlipsInTheExchange) {
    MockProcess mock;
    Client client(mock.url);
    ASSERT_TRUE(client.connected());
    client.socket.sendBinaryMessage(QByteArray(chunkBytes, '\0'));
    client.send(runTask(newTaskId()));
    ASSERT_TRUE(client.waitForEvent("task-started"));
    client.socket.sendBinaryMessage(QByteArray(3, '\0'));
    client.send(finishTask(newTaskId()));
    ASSERT_TRUE(client.waitForEvent("task-finished"));
    client.socket.sendBinaryMessage(QByteArray(chunkBytes, '\0'));
    client.socket.sendTextMessage("{\"header\":");
    EXPECT_TRUE(client.close(QWebSocketProtocol::CloseCodeNormal));
    const Json line = mock.nextConnection();
    EXPECT_TRUE(line["run_task_ok"]);
    EXPECT_FALSE(line["finish_task_ok"]);
    EXPECT_FALSE(line["same_task_id"]);
    for (const char* slip : {"audio before task-started", "odd length", "differs from run-task",
                             "audio after finish-task", "malformed JSON", "code 1000"}) {
        EXPECT_TRUE(hasViolation(line, slip)) << slip << " in " << line.dump();
    }
    EXPECT_EQ(line["violations"].size(), 6u) << line.dump();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
