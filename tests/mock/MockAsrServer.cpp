// A local stand-in for the cloud realtime recognition service, for tests. It
// does not recognise: it checks the protocol, where the voice lies in the
// audio and that the audio comes live, and answers with a given text. Each
// connection is reported as one JSON line on stdout when it ends.
//   sayvo_mock_asr --port N --key KEY [--result-text TEXT]
//                  [--mode refuse-key|task-failed|drop-mid-stream|close-mid-task|
//                          malformed|silent]
#include <QtCore>
#include <QtNetwork>
#include <QtWebSockets>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>

namespace {

using Json = nlohmann::json;

// 100 ms windows of 16 kHz audio. Silence in the test recordings stays under
// an RMS of 100; speech is over 200 nearly throughout.
constexpr int kWindowSamples = 1600;
constexpr double kVoiceRms = 200;
constexpr int kWindowsPerWord = 3;
// The client opens the microphone as it connects: it cannot have more audio
// than time has passed since, give or take its capture buffers.
constexpr qint64 kAheadMarginMs = 250;

QString option(const QString& name, const QString& fallback = {}) {
    const QStringList arguments = QCoreApplication::arguments();
    const qsizetype at = arguments.indexOf("--" + name);
    return at > 0 && at + 1 < arguments.size() ? arguments[at + 1] : fallback;
}

// A command exactly as the service accepts it, but for the task id.
Json command(bool runTask, const Json& taskId) {
    Json command = Json::parse(runTask ? R"({"header": {"action": "run-task"}, "payload": {
        "task_group": "audio", "task": "asr", "function": "recognition", "model": "fun-asr-realtime",
        "parameters": {"format": "pcm", "sample_rate": 16000}, "input": {}}})"
                                       : R"({"header": {"action": "finish-task"},
        "payload": {"input": {}}})");
    command["header"].update({{"task_id", taskId}, {"streaming", "duplex"}});
    return command;
}

// One client connection from TCP accept to its end, and what it did.
class Session : public QObject {
public:
    explicit Session(QTcpSocket* tcp) : tcp_(tcp) {
        sinceConnect_.start();
        connect(tcp, &QTcpSocket::readyRead, this, &Session::readHandshake);
        // The handshake, once checked, is answered by a WebSocket server of its own.
        connect(&webSockets_, &QWebSocketServer::newConnection, this,
                [this] { attach(webSockets_.nextPendingConnection()); });
    }

private:
    enum class State { awaitingRunTask, started, finished, failed };

    void end() {
        if (!std::exchange(reported_, true)) std::puts(report_.dump().c_str());
    }

    void violation(const std::string& what) {
        Json& all = report_["violations"];
        if (std::find(all.begin(), all.end(), what) == all.end()) all.push_back(what);
    }

    void readHandshake() {
        // Peeked, not read: the WebSocket server reads the same bytes again.
        const QByteArray head = tcp_->peek(16 * 1024);
        if (!head.contains("\r\n\r\n")) return;
        disconnect(tcp_, &QTcpSocket::readyRead, this, nullptr);
        static const QRegularExpression field("\r\n(?i:authorization): *([^\r]*)");
        const QString authorization = field.match(head).captured(1).trimmed();
        if (!authorization.startsWith("bearer ")) violation("no \"Authorization: bearer KEY\"");
        if (!head.startsWith("GET /api-ws/v1/inference/ "))
            violation("handshake not a GET of the path");
        if (authorization != "bearer " + option("key") || !report_["violations"].empty() ||
            mode_ == "refuse-key") {
            tcp_->write("HTTP/1.1 401 Unauthorized\r\nConnection: close\r\n\r\n");
            tcp_->disconnectFromHost();
            return end();
        }
        webSockets_.handleConnection(tcp_);
    }

    void attach(QWebSocket* webSocket) {
        webSocket_ = webSocket;
        connect(webSocket, &QWebSocket::textMessageReceived, this, &Session::onText);
        connect(webSocket, &QWebSocket::binaryMessageReceived, this, &Session::onBinary);
        // Emitted for the client's close frame, not for a dropped connection.
        connect(webSocket, &QWebSocket::aboutToClose, this, [this] { closeFrameSeen_ = true; });
        // A client closes after task-finished, once all it sent has been handled.
        connect(webSocket, &QWebSocket::disconnected, this, [this] {
            const int code = closeFrameSeen_ ? int(webSocket_->closeCode()) : 1006;
            if (!dropped_ && code != 1001) violation("closed with code " + std::to_string(code));
            end();
        });
    }

    Json event(const char* name, Json payload = Json::object()) const {
        return {{"header", {{"event", name}, {"task_id", taskId_}}}, {"payload", payload}};
    }
    Json result(const QString& text, bool sentenceEnd) const {
        const Json sentence = {{"text", text.toStdString()}, {"sentence_end", sentenceEnd}};
        return event("result-generated", {{"output", {{"sentence", sentence}}}});
    }
    void send(const Json& message) {
        webSocket_->sendTextMessage(QString::fromStdString(message.dump()));
    }

    void onText(const QString& message) {
        const Json json = Json::parse(message.toStdString(), nullptr, false);
        static const Json::json_pointer actionAt("/header/action");
        const Json action = json.contains(actionAt) ? json.at(actionAt) : Json();
        if (action != "run-task" && action != "finish-task")
            return violation("not a command: " + message.left(80).toStdString());
        const Json id = json.at("header").value("task_id", Json());
        // Dumped, so that 16000.0 differs from 16000 as it does to the service.
        const std::string expected = command(action == "run-task", id).dump();
        if (json.dump() != expected) violation(message.toStdString() + " is not " + expected);
        if (action == "finish-task") return onFinishTask(id);
        if (state_ != State::awaitingRunTask) return violation("run-task repeated");
        taskId_ = id.is_string() ? id.get<std::string>() : "";
        if (!std::regex_match(taskId_, std::regex("[0-9A-F]{32}")))
            violation("task_id " + id.dump() + " is not 32 upper-case hex digits");
        if (!report_["violations"].empty() || mode_ == "task-failed") {
            state_ = State::failed;
            Json failed = event("task-failed");
            failed["header"]["error_message"] = "Model access denied.";
            return send(failed);
        }
        if (mode_ == "malformed") {
            webSocket_->sendTextMessage("{\"header\":{\"event\":\"task-star");
            send(event("task-paused"));
            webSocket_->sendBinaryMessage(QByteArray("\x00\x01\x02\x03", 4));
            send(event("Task-Started"));
        }
        state_ = State::started;
        send(event("task-started"));
    }

    void onFinishTask(const Json& id) {
        if (state_ != State::started) return violation("finish-task while no task runs");
        if (id != taskId_) violation("finish-task of another task_id");
        state_ = State::finished;
        if (mode_ == "silent") return;  // the client must give up by itself
        report_["task_finished"] = true;
        if (voicedWindows_ > 0) send(result(text_, true));  // silence has no sentence
        send(event("task-finished"));
    }

    void onBinary(const QByteArray& data) {
        audioBytes_ += data.size();
        if (audioBytes_ / 32 - sinceConnect_.elapsed() > kAheadMarginMs)
            violation("audio ran ahead of wall time");
        if (data.size() % 2 != 0) violation("audio chunk of odd length");
        if (state_ == State::awaitingRunTask || state_ == State::failed)
            return violation("audio before task-started");
        if (state_ == State::finished) return violation("audio after finish-task");
        for (qsizetype at = 0; at + 1 < data.size() && !dropped_; at += 2) {
            const auto sample = std::int16_t(std::uint8_t(data[at]) | data[at + 1] << 8);
            sumOfSquares_ += double(sample) * sample;
            if (++samples_ % kWindowSamples == 0) endWindow();
        }
    }

    void endWindow() {
        const bool voiced = std::sqrt(sumOfSquares_ / kWindowSamples) > kVoiceRms;
        sumOfSquares_ = 0;
        if (!voiced) return;
        if (voicedWindows_++ == 0) report_["first_voice_ms"] = samples_ / 16 - 100;  // 16 a ms
        report_["last_voice_ms"] = samples_ / 16;
        // The words come as they are spoken: more voice, a longer prefix.
        const QStringList words = text_.split(' ', Qt::SkipEmptyParts);
        const qsizetype heard = std::min(words.size(), 1 + (voicedWindows_ - 1) / kWindowsPerWord);
        if (heard <= report_["partial_words"].get<qsizetype>() || mode_ == "silent") return;
        report_["partial_words"] = heard;
        send(result(words.first(heard).join(' '), false));
        if (mode_ == "drop-mid-stream") dropped_ = true, webSocket_->flush(), webSocket_->abort();
        if (mode_ == "close-mid-task") {
            dropped_ = true;
            webSocket_->close(QWebSocketProtocol::CloseCodeBadOperation, "internal error");
        }
    }

    QPointer<QTcpSocket> tcp_;
    QWebSocketServer webSockets_{QStringLiteral("mock-asr"), QWebSocketServer::NonSecureMode};
    QPointer<QWebSocket> webSocket_;
    const QString mode_ = option("mode");
    const QString text_ = option("result-text", "go forward ten meters");  // grows in the partials
    QElapsedTimer sinceConnect_;
    State state_ = State::awaitingRunTask;
    bool closeFrameSeen_ = false, dropped_ = false, reported_ = false;
    std::string taskId_;
    qint64 audioBytes_ = 0, samples_ = 0;
    double sumOfSquares_ = 0;
    qsizetype voicedWindows_ = 0;
    Json report_ = Json::parse(R"({"task_finished": false, "first_voice_ms": -1,
        "last_voice_ms": -1, "partial_words": 0, "violations": []})");
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTcpServer front;
    if (option("key").isEmpty() ||
        !front.listen(QHostAddress::LocalHost, option("port", "0").toUShort())) {
        std::fprintf(stderr, "sayvo_mock_asr: no --key, or %s\n", qPrintable(front.errorString()));
        return 2;
    }
    QObject::connect(&front, &QTcpServer::newConnection, [&] {
        // Each lives as long as the process: the tests end it with a signal.
        while (QTcpSocket* socket = front.nextPendingConnection()) new Session(socket);
    });
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // a line is read as soon as it is written
    std::printf("LISTENING on 127.0.0.1:%d\n", front.serverPort());
    return app.exec();
}
