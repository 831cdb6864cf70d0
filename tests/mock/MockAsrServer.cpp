// A local stand-in for the cloud realtime recognition service, for tests. It
// does not recognise: it checks the protocol, where the voice lies in the
// audio and that the audio comes live, and answers with a given text. Each
// connection is reported as one JSON line on stdout when it ends.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>

#include "platform/linux/QuitOnSignal.h"

namespace {

using Json = nlohmann::json;

const QByteArray kPath = "/api-ws/v1/inference/";
constexpr int kGoingAway = 1001;
constexpr int kAbnormal = 1006;  // the connection ended without a close frame
// 100 ms windows of 16 kHz audio. Silence in the test recordings stays under
// an RMS of 100; speech is over 200 nearly throughout.
constexpr int kWindowSamples = 1600;
constexpr double kVoiceRms = 200;
constexpr int kWindowsPerWord = 3;
// The client opens the microphone as it connects: it cannot have more audio
// than time has passed since, give or take its capture buffers.
constexpr qint64 kAheadMarginMs = 250;

// Misbehaviours, to exercise the client's error paths; in --mode's order.
enum class Mode { normal, refuseKey, taskFailed, dropMidStream, malformed };
const QStringList kModes = {"normal", "refuse-key", "task-failed", "drop-mid-stream", "malformed"};

struct Options {
    QByteArray key;
    Mode mode;
    QString text;  // its words grow in the partials; the final has it whole
};

// A command exactly as the service accepts it, but for the task id.
Json command(bool runTask, const Json& taskId) {
    Json command = Json::parse(R"({"header": {"streaming": "duplex"}, "payload": {"input": {}}})");
    command["header"].update(
        {{"action", runTask ? "run-task" : "finish-task"}, {"task_id", taskId}});
    if (runTask) {
        command["payload"].update(Json::parse(R"({"task_group": "audio", "task": "asr",
            "function": "recognition", "model": "fun-asr-realtime",
            "parameters": {"format": "pcm", "sample_rate": 16000}})"));
    }
    return command;
}

Json event(const char* name, const std::string& taskId, Json payload = Json::object()) {
    return {{"header", {{"event", name}, {"task_id", taskId}}}, {"payload", std::move(payload)}};
}

Json result(const std::string& taskId, const QString& text, bool sentenceEnd) {
    const Json sentence = {{"text", text.toStdString()}, {"sentence_end", sentenceEnd}};
    return event("result-generated", taskId, {{"output", {{"sentence", sentence}}}});
}

// One client connection from TCP accept to its end, and what it did.
class Session {
public:
    Session(const Options& options, int number, QTcpSocket* socket)
        : options_(options), number_(number), tcp_(socket) {
        sinceConnect_.start();
        QObject::connect(socket, &QTcpSocket::readyRead, &context_, [this] { readHandshake(); });
        QObject::connect(socket, &QTcpSocket::disconnected, &context_, [this] {
            if (!webSocket_) end(0);
        });
        // The handshake, once checked, is answered by a WebSocket server of its own.
        QObject::connect(&webSockets_, &QWebSocketServer::newConnection, &context_,
                         [this] { attach(webSockets_.nextPendingConnection()); });
    }

    void end(int closeCode) {
        if (std::exchange(reported_, true)) return;
        const Json& maxAhead = report_["max_ahead_ms"];
        if (maxAhead.is_number() && maxAhead > kAheadMarginMs) {
            violation("audio ran " + maxAhead.dump() + " ms ahead of wall time");
        }
        report_["connection"] = number_;
        report_["close_code"] = closeCode;
        std::puts(report_.dump().c_str());
    }

private:
    enum class State { awaitingRunTask, started, finished, failed };

    void violation(const std::string& text) {
        Json& violations = report_["violations"];
        if (std::find(violations.begin(), violations.end(), text) == violations.end())
            violations.push_back(text);
    }

    void readHandshake() {
        // Peeked, not read: the WebSocket server reads the same bytes again.
        const QByteArray head = tcp_->peek(16 * 1024);
        if (!head.contains("\r\n\r\n")) return;
        QObject::disconnect(tcp_, &QTcpSocket::readyRead, &context_, nullptr);
        const qsizetype field = head.toLower().indexOf("\r\nauthorization:");
        const QByteArray authorization =
            field < 0 ? "" : head.mid(field + 16, head.indexOf("\r\n", field + 2) - field - 16);
        if (!authorization.trimmed().startsWith("bearer ")) {
            violation("no Authorization header of the form \"bearer KEY\"");
        }
        const bool authorized = authorization.trimmed() == "bearer " + options_.key;
        report_["authorization_ok"] = authorized;
        const QByteArray request = head.left(head.indexOf("\r\n"));
        if (!request.startsWith("GET " + kPath + " ")) {
            violation("handshake not a GET of the path: " + request.left(80).toStdString());
            return answer("404 Not Found");
        }
        if (!authorized || options_.mode == Mode::refuseKey) return answer("401 Unauthorized");
        webSockets_.handleConnection(tcp_);
    }

    void answer(const QByteArray& status) {
        tcp_->write("HTTP/1.1 " + status + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        tcp_->disconnectFromHost();
    }

    void attach(QWebSocket* webSocket) {
        webSocket_ = webSocket;
        QObject::connect(webSocket, &QWebSocket::textMessageReceived, &context_,
                         [this](const QString& text) { onText(text); });
        QObject::connect(webSocket, &QWebSocket::binaryMessageReceived, &context_,
                         [this](const QByteArray& data) { onBinary(data); });
        // Emitted for the client's close frame, not for a dropped connection.
        QObject::connect(webSocket, &QWebSocket::aboutToClose, &context_,
                         [this] { closeFrameSeen_ = true; });
        QObject::connect(webSocket, &QWebSocket::disconnected, &context_, [this] {
            if (dropped_) return end(kAbnormal);
            const int code = closeFrameSeen_ ? int(webSocket_->closeCode()) : kAbnormal;
            if (code != kGoingAway) violation("closed with code " + std::to_string(code));
            end(code);
        });
    }

    void send(const Json& message) {
        webSocket_->sendTextMessage(QString::fromStdString(message.dump()));
    }

    void onText(const QString& text) {
        const Json message = Json::parse(text.toStdString(), nullptr, false);
        const std::string quoted = " in " + text.left(80).toStdString();
        if (message.is_discarded()) return violation("malformed JSON" + quoted);
        static const Json::json_pointer actionAt("/header/action");
        const Json action = message.contains(actionAt) ? message.at(actionAt) : Json();
        if (action != "run-task" && action != "finish-task") {
            return violation("unknown action " + action.dump() + quoted);
        }
        const bool runTask = action == "run-task";
        const Json id = message.at("header").value("task_id", Json());
        // Dumped, so that 16000.0 differs from 16000 as it does to the service.
        const std::string expected = command(runTask, id).dump();
        std::vector<std::string> problems;
        if (message.dump() != expected) {
            problems.push_back(text.toStdString() + " is not " + expected);
        }
        runTask ? onRunTask(id, problems) : onFinishTask(id, problems);
    }

    void onRunTask(const Json& id, std::vector<std::string>& problems) {
        if (state_ != State::awaitingRunTask) return violation("run-task repeated");
        taskId_ = id.is_string() ? id.get<std::string>() : "";
        report_["task_id"] = taskId_;
        if (!std::regex_match(taskId_, std::regex("[0-9A-F]{32}"))) {
            problems.push_back("task_id " + id.dump() + " is not 32 upper-case hex digits");
        }
        report_["run_task_ok"] = problems.empty();
        for (const std::string& problem : problems) violation(problem);
        if (!problems.empty() || options_.mode == Mode::taskFailed) {
            state_ = State::failed;
            Json failed = event("task-failed", taskId_);
            failed["header"]["error_message"] =
                problems.empty() ? "Model access denied." : "InvalidParameter: run-task";
            return send(failed);
        }
        if (options_.mode == Mode::malformed) {
            webSocket_->sendTextMessage(QStringLiteral("{\"header\":{\"event\":\"task-star"));
            send(event("task-paused", taskId_));
            webSocket_->sendBinaryMessage(QByteArray("\x00\x01\x02\x03", 4));
            send(event("Task-Started", taskId_));
        }
        state_ = State::started;
        send(event("task-started", taskId_));
    }

    void onFinishTask(const Json& id, std::vector<std::string>& problems) {
        const bool runTaskSeen = state_ != State::awaitingRunTask;
        report_["same_task_id"] = runTaskSeen && id == taskId_;
        if (!runTaskSeen) problems.push_back("finish-task before run-task");
        if (runTaskSeen && id != taskId_) problems.push_back("finish-task task_id differs");
        if (state_ == State::failed) problems.push_back("finish-task after task-failed");
        if (state_ == State::finished) problems.push_back("finish-task repeated");
        for (const std::string& problem : problems) violation(problem);
        if (state_ != State::started) return;
        report_["finish_task_ok"] = problems.empty();
        state_ = State::finished;
        if (voicedWindows_ > 0)
            send(result(taskId_, options_.text, true));  // silence has no sentence
        send(event("task-finished", taskId_));
    }

    void onBinary(const QByteArray& data) {
        audioBytes_ += data.size();
        report_["audio_bytes"] = audioBytes_;
        report_["audio_chunks"] = report_["audio_chunks"].get<int>() + 1;
        const qint64 aheadMs = audioBytes_ / 32 - sinceConnect_.elapsed();
        Json& maxAhead = report_["max_ahead_ms"];
        if (maxAhead.is_null() || aheadMs > maxAhead) maxAhead = aheadMs;
        if (data.size() % 2 != 0) violation("audio chunk of odd length");
        if (state_ == State::awaitingRunTask || state_ == State::failed) {
            return violation("audio before task-started");
        }
        if (state_ == State::finished) return violation("audio after finish-task");
        pending_.append(data);  // chunks of odd length still make one byte stream
        qsizetype at = 0;
        for (; at + 1 < pending_.size() && !dropped_; at += 2) {
            const auto sample = std::int16_t(std::uint8_t(pending_[at]) | pending_[at + 1] << 8);
            sumOfSquares_ += double(sample) * sample;
            if (++windowSamples_ == kWindowSamples) endWindow();
        }
        pending_.remove(0, at);
    }

    void endWindow() {
        const bool voiced = std::sqrt(sumOfSquares_ / kWindowSamples) > kVoiceRms;
        const qint64 startMs = 100 * windows_++;
        sumOfSquares_ = 0;
        windowSamples_ = 0;
        if (!voiced) return;
        if (voicedWindows_++ == 0) report_["first_voice_ms"] = startMs;
        report_["last_voice_ms"] = startMs + 100;
        report_["voiced_ms"] = 100 * voicedWindows_;
        // The words come as they are spoken: more voice, a longer prefix.
        const QStringList words = options_.text.split(' ', Qt::SkipEmptyParts);
        const qsizetype heard = std::min(words.size(), 1 + (voicedWindows_ - 1) / kWindowsPerWord);
        if (heard <= partialWords_) return;
        partialWords_ = heard;
        report_["partial_words"] = heard;
        send(result(taskId_, words.first(heard).join(' '), false));
        if (options_.mode == Mode::dropMidStream) {
            dropped_ = true;
            webSocket_->flush();
            webSocket_->abort();
        }
    }

    const Options& options_;
    const int number_;
    QPointer<QTcpSocket> tcp_;
    QWebSocketServer webSockets_{QStringLiteral("mock-asr"), QWebSocketServer::NonSecureMode};
    QPointer<QWebSocket> webSocket_;
    QElapsedTimer sinceConnect_;
    State state_ = State::awaitingRunTask;
    bool closeFrameSeen_ = false;
    bool dropped_ = false;
    bool reported_ = false;
    QByteArray pending_;
    double sumOfSquares_ = 0;
    int windowSamples_ = 0;
    qint64 windows_ = 0;
    std::string taskId_;
    qint64 audioBytes_ = 0;
    qsizetype voicedWindows_ = 0;
    qsizetype partialWords_ = 0;
    // The line on stdout, filled in as the connection goes.
    Json report_ = Json::parse(R"({"authorization_ok": false, "task_id": "", "run_task_ok": false,
        "finish_task_ok": false, "same_task_id": false, "audio_bytes": 0, "audio_chunks": 0,
        "first_voice_ms": null, "last_voice_ms": null, "voiced_ms": 0, "max_ahead_ms": null,
        "partial_words": 0, "violations": []})");
    // Declared last, so gone first: no signal reaches a half-destroyed session.
    QObject context_;
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption port("port", "TCP port on 127.0.0.1 (0: any free one).", "n", "0");
    const QCommandLineOption key("key", "The API key the handshake must carry.", "key");
    const QCommandLineOption mode("mode", kModes.join(", "), "mode", "normal");
    const QCommandLineOption text("result-text", "The text it answers with.", "text",
                                  "go forward ten meters");
    parser.addOptions({port, key, mode, text});
    parser.process(app);
    bool portOk = false;
    const quint16 portNumber = parser.value(port).toUShort(&portOk);
    const Options options{parser.value(key).toUtf8(), Mode(kModes.indexOf(parser.value(mode))),
                          parser.value(text)};
    if (!parser.isSet(key) || !portOk || int(options.mode) < 0) parser.showHelp(2);
    sayvo::QuitOnSignal quitOnSignal;
    QTcpServer front;
    std::vector<std::unique_ptr<Session>> sessions;
    QObject::connect(&front, &QTcpServer::newConnection, [&] {
        while (QTcpSocket* socket = front.nextPendingConnection())
            sessions.push_back(std::make_unique<Session>(options, sessions.size() + 1, socket));
    });
    if (!front.listen(QHostAddress::LocalHost, portNumber)) {
        std::fprintf(stderr, "sayvo_mock_asr: %s\n", qPrintable(front.errorString()));
        return 1;
    }
    std::setvbuf(stdout, nullptr, _IOLBF, 0);  // a line is read as soon as it is written
    std::printf("LISTENING ws://127.0.0.1:%d%s\n", front.serverPort(), kPath.constData());
    const int status = app.exec();
    for (const auto& session : sessions) session->end(0);  // still open at the quit
    return status;
}
