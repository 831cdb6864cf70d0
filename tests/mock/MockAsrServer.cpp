#include "MockAsrServer.h"

#include <QPointer>
#include <QTcpSocket>
#include <QWebSocket>
#include <algorithm>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <regex>

#include "SphinxStream.h"

namespace sayvo::mock {

using Json = nlohmann::ordered_json;

namespace {

constexpr qsizetype maxHandshakeBytes = 16 * 1024;
constexpr qint64 maxIncomingMessage = 4 * 1024 * 1024;
constexpr int closeGoingAway = 1001;
// A connection that ends without a close frame.
constexpr int closeAbnormal = 1006;

std::string dump(const Json& json) {
    return json.dump(-1, ' ', false, Json::error_handler_t::replace);
}

// What a message of the client got wrong, each as one sentence.
using Problems = std::vector<std::string>;

void checkMembers(const Json& object, const std::string& where,
                  std::initializer_list<const char*> names, Problems& problems) {
    for (const auto& [name, value] : object.items()) {
        if (std::find(names.begin(), names.end(), name) == names.end()) {
            problems.push_back(where + " has an unexpected member \"" + name + "\"");
        }
    }
    for (const char* name : names) {
        if (!object.contains(name)) {
            problems.push_back(where + " lacks the member \"" + name + "\"");
        }
    }
}

void checkString(const Json& object, const std::string& where, const char* name,
                 const std::string& expected, Problems& problems) {
    if (!object.contains(name)) return;  // reported with the member set
    const Json& value = object[name];
    if (!value.is_string()) {
        problems.push_back(where + "." + name + " is not a string");
    } else if (value.get<std::string>() != expected) {
        problems.push_back(where + "." + name + " is \"" + value.get<std::string>() + "\", not \"" +
                           expected + "\"");
    }
}

void checkEmptyObject(const Json& object, const std::string& where, const char* name,
                      Problems& problems) {
    if (!object.contains(name)) return;
    const Json& value = object[name];
    if (!value.is_object() || !value.empty()) {
        problems.push_back(where + "." + name + " is not an empty object");
    }
}

// The header both commands share.
void checkHeader(const Json& header, const std::string& action, Problems& problems) {
    checkMembers(header, "header", {"action", "task_id", "streaming"}, problems);
    checkString(header, "header", "streaming", "duplex", problems);
    static const std::regex taskId("[0-9A-F]{32}");
    if (header.contains("task_id")) {
        const Json& id = header["task_id"];
        if (!id.is_string()) {
            problems.push_back(action + " header.task_id is not a string");
        } else if (!std::regex_match(id.get<std::string>(), taskId)) {
            problems.push_back(action + " header.task_id \"" + id.get<std::string>() +
                               "\" is not 32 upper-case hex digits");
        }
    }
}

Problems checkRunTask(const Json& message) {
    Problems problems;
    checkHeader(message["header"], "run-task", problems);
    const Json& payload = message["payload"];
    checkMembers(payload, "payload",
                 {"task_group", "task", "function", "model", "parameters", "input"}, problems);
    checkString(payload, "payload", "task_group", "audio", problems);
    checkString(payload, "payload", "task", "asr", problems);
    checkString(payload, "payload", "function", "recognition", problems);
    checkString(payload, "payload", "model", "fun-asr-realtime", problems);
    checkEmptyObject(payload, "payload", "input", problems);
    if (payload.contains("parameters")) {
        const Json& parameters = payload["parameters"];
        if (!parameters.is_object()) {
            problems.push_back("payload.parameters is not an object");
        } else {
            checkMembers(parameters, "payload.parameters", {"format", "sample_rate"}, problems);
            checkString(parameters, "payload.parameters", "format", "pcm", problems);
            if (parameters.contains("sample_rate")) {
                const Json& rate = parameters["sample_rate"];
                if (!rate.is_number_integer()) {
                    problems.push_back("payload.parameters.sample_rate is not an integer");
                } else if (rate.get<long long>() != 16000) {
                    problems.push_back("payload.parameters.sample_rate is " + rate.dump() +
                                       ", not 16000");
                }
            }
        }
    }
    return problems;
}

Problems checkFinishTask(const Json& message) {
    Problems problems;
    checkHeader(message["header"], "finish-task", problems);
    checkMembers(message["payload"], "payload", {"input"}, problems);
    checkEmptyObject(message["payload"], "payload", "input", problems);
    return problems;
}

Json event(const char* name, const std::string& taskId, Json payload = Json::object()) {
    return {{"header", {{"event", name}, {"task_id", taskId}}}, {"payload", std::move(payload)}};
}

Json resultEvent(const std::string& taskId, const std::string& text, bool sentenceEnd) {
    return event("result-generated", taskId,
                 {{"output", {{"sentence", {{"text", text}, {"sentence_end", sentenceEnd}}}}}});
}

std::string shortened(const QString& text) {
    const std::string all = text.toStdString();
    return all.size() <= 60 ? all : all.substr(0, 60) + "...";
}

}  // namespace

// One client connection from TCP accept to its end, and what it did.
class Session {
public:
    Session(MockAsrServer& server, int number, QTcpSocket* socket)
        : server_(server), number_(number), tcp_(socket) {
        QObject::connect(socket, &QTcpSocket::readyRead, &context_, [this] { readHandshake(); });
        QObject::connect(socket, &QTcpSocket::disconnected, &context_, [this] {
            if (webSocket_) return;
            if (handedOver_)
                violation("handshake refused by the WebSocket server (no valid upgrade)");
            end(0);
        });
        if (socket->bytesAvailable() > 0) readHandshake();
    }

    ~Session() {
        if (decoder_) server_.returnDecoder(std::move(decoder_));
        // Closing a socket emits signals: none may reach a half-destroyed session.
        for (QObject* socket : {static_cast<QObject*>(webSocket_), static_cast<QObject*>(tcp_)}) {
            if (socket) QObject::disconnect(socket, nullptr, &context_, nullptr);
        }
        delete webSocket_.data();
        if (!handedOver_) delete tcp_.data();
    }

    void attach(QWebSocket* webSocket) {
        webSocket_ = webSocket;
        webSocket->setMaxAllowedIncomingMessageSize(maxIncomingMessage);
        QObject::connect(webSocket, &QWebSocket::textMessageReceived, &context_,
                         [this](const QString& text) { onText(text); });
        QObject::connect(webSocket, &QWebSocket::binaryMessageReceived, &context_,
                         [this](const QByteArray& data) { onBinary(data); });
        // Emitted when the client's close frame arrives, not when the TCP
        // connection merely drops.
        QObject::connect(webSocket, &QWebSocket::aboutToClose, &context_,
                         [this] { closeFrameSeen_ = true; });
        QObject::connect(webSocket, &QWebSocket::disconnected, &context_, [this] {
            if (droppedByUs_) return end(closeAbnormal);
            const int code = closeFrameSeen_ ? int(webSocket_->closeCode()) : closeAbnormal;
            if (code != closeGoingAway) {
                violation("closed with code " + std::to_string(code) + ", not 1001");
            }
            end(code);
        });
    }

    // Prints the connection's line once.
    void end(int closeCode) {
        if (reported_) return;
        reported_ = true;
        std::string recognised;
        for (const std::string& text : recognised_) {
            recognised += (recognised.empty() ? "" : " ") + text;
        }
        Json violations = Json::array();
        for (const auto& [text, count] : violations_) {
            violations.push_back(count == 1 ? text
                                            : text + " (" + std::to_string(count) + " times)");
        }
        MockAsrServer::printLine(dump({{"connection", number_},
                                       {"authorization_ok", authorizationOk_},
                                       {"task_id", taskId_},
                                       {"run_task_ok", runTaskOk_},
                                       {"finish_task_ok", finishTaskOk_},
                                       {"same_task_id", sameTaskId_},
                                       {"audio_bytes", audioBytes_},
                                       {"audio_chunks", audioChunks_},
                                       {"recognised", recognised},
                                       {"close_code", closeCode},
                                       {"violations", violations}}));
        server_.ended(number_);
    }

private:
    enum class State { awaitingRunTask, started, finished, failed };

    void violation(const std::string& text) {
        auto found = std::find_if(violations_.begin(), violations_.end(),
                                  [&](const auto& seen) { return seen.first == text; });
        if (found != violations_.end()) {
            ++found->second;
        } else {
            violations_.emplace_back(text, 1);
        }
    }

    // --- handshake ---

    void readHandshake() {
        // Peeked, not read: the WebSocket server reads the same bytes again.
        const QByteArray head = tcp_->peek(maxHandshakeBytes + 1);
        const qsizetype headerEnd = head.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (head.size() > maxHandshakeBytes) {
                violation("handshake header larger than 16 KiB");
                answer(431, "Request Header Fields Too Large");
            }
            return;
        }
        QObject::disconnect(tcp_, &QTcpSocket::readyRead, &context_, nullptr);
        const QList<QByteArray> lines = head.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        const QByteArray target = requestLine.value(1);
        std::optional<QByteArray> authorization;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            if (colon > 0 && lines[i].left(colon).trimmed().toLower() == "authorization") {
                authorization = lines[i].mid(colon + 1).trimmed();
            }
        }
        const MockOptions& options = server_.options();
        if (!authorization) {
            violation("handshake without an Authorization header");
        } else if (!authorization->startsWith("bearer ")) {
            violation("Authorization header \"" + authorization->left(60).toStdString() +
                      "\" does not start with \"bearer \"");
        } else {
            authorizationOk_ = *authorization == "bearer " + QByteArray::fromStdString(options.key);
        }
        if (requestLine.value(0) != "GET" || target != MockAsrServer::path.toUtf8()) {
            violation("handshake request \"" + lines.value(0).trimmed().left(80).toStdString() +
                      "\" is not a GET of " + MockAsrServer::path.toStdString());
            return answer(404, "Not Found");
        }
        if (options.mode == Mode::silentHandshake) return;
        if (!authorizationOk_ || options.mode == Mode::refuseKey) {
            return answer(401, "Unauthorized");
        }
        handedOver_ = true;
        server_.upgrade(*this, tcp_);
    }

    void answer(int status, const char* reason) {
        const QByteArray body = QByteArray(reason) + "\n";
        tcp_->write("HTTP/1.1 " + QByteArray::number(status) + " " + reason +
                    "\r\nContent-Type: text/plain\r\nContent-Length: " +
                    QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body);
        tcp_->disconnectFromHost();
    }

    // --- messages ---

    void send(const Json& message) {
        if (webSocket_) webSocket_->sendTextMessage(QString::fromStdString(dump(message)));
    }

    void onText(const QString& text) {
        const Json message = Json::parse(text.toStdString(), nullptr, false);
        if (message.is_discarded()) {
            return violation("malformed JSON text message: " + shortened(text));
        }
        Problems problems;
        if (!message.is_object()) {
            return violation("text message is not a JSON object: " + shortened(text));
        }
        checkMembers(message, "message", {"header", "payload"}, problems);
        const bool shaped = message.contains("header") && message["header"].is_object() &&
                            message.contains("payload") && message["payload"].is_object();
        if (!shaped) {
            violation("message without a header and a payload object: " + shortened(text));
            return;
        }
        const Json& action = message["header"].value("action", Json());
        if (action == "run-task") {
            onRunTask(message, std::move(problems));
        } else if (action == "finish-task") {
            onFinishTask(message, std::move(problems));
        } else {
            violation("unknown action " + dump(action));
        }
    }

    void onRunTask(const Json& message, Problems problems) {
        if (state_ != State::awaitingRunTask || runTaskSeen_) {
            return violation("run-task repeated");
        }
        runTaskSeen_ = true;
        const Problems found = checkRunTask(message);
        problems.insert(problems.end(), found.begin(), found.end());
        const Json& id = message["header"].value("task_id", Json());
        taskId_ = id.is_string() ? id.get<std::string>() : "";
        runTaskOk_ = problems.empty();
        for (const std::string& problem : problems) violation(problem);

        const Mode mode = server_.options().mode;
        if (!runTaskOk_ || mode == Mode::taskFailed || mode == Mode::taskFailedNoMessage) {
            state_ = State::failed;
            Json failed = event("task-failed", taskId_);
            if (mode != Mode::taskFailedNoMessage) {
                failed["header"]["error_message"] =
                    runTaskOk_ ? "Model access denied." : "InvalidParameter: " + problems.front();
            }
            return send(failed);
        }
        decoder_ = server_.takeDecoder();
        if (!decoder_) {
            state_ = State::failed;
            Json failed = event("task-failed", taskId_);
            failed["header"]["error_message"] = "The recogniser could not be loaded.";
            return send(failed);
        }
        if (mode == Mode::malformed) {
            webSocket_->sendTextMessage(QStringLiteral("{\"header\":{\"event\":\"task-star"));
            send(event("task-paused", taskId_));
            webSocket_->sendBinaryMessage(QByteArray("\x00\x01\x02\x03", 4));
            send(event("Task-Started", taskId_));
        }
        state_ = State::started;
        send(event("task-started", taskId_));
        if (mode == Mode::oversized) {
            send(resultEvent(taskId_, std::string(2 * 1024 * 1024, 'x'), false));
        }
    }

    void onFinishTask(const Json& message, Problems problems) {
        const Problems found = checkFinishTask(message);
        problems.insert(problems.end(), found.begin(), found.end());
        const Json& id = message["header"].value("task_id", Json());
        sameTaskId_ = runTaskSeen_ && id.is_string() && id.get<std::string>() == taskId_;
        if (runTaskSeen_ && !sameTaskId_) {
            problems.push_back("finish-task task_id " + dump(id) + " differs from run-task's \"" +
                               taskId_ + "\"");
        }
        if (state_ == State::awaitingRunTask) problems.push_back("finish-task before run-task");
        if (state_ == State::failed) problems.push_back("finish-task after task-failed");
        if (state_ == State::finished) problems.push_back("finish-task repeated");
        for (const std::string& problem : problems) violation(problem);
        if (state_ != State::started) return;
        finishTaskOk_ = problems.empty();
        state_ = State::finished;
        if (auto final = decoder_->finish()) deliver(*final);
        server_.returnDecoder(std::move(decoder_));
        send(event("task-finished", taskId_));
    }

    void onBinary(const QByteArray& data) {
        ++audioChunks_;
        audioBytes_ += data.size();
        if (data.size() % 2 != 0) violation("audio chunk of odd length");
        if (state_ == State::awaitingRunTask || state_ == State::failed) {
            return violation("audio before task-started");
        }
        if (state_ == State::finished) return violation("audio after finish-task");
        // Odd chunks are still decoded as one byte stream, as the service would.
        carry_.append(data);
        std::vector<std::int16_t> samples(carry_.size() / 2);
        for (std::size_t i = 0; i < samples.size(); ++i) {
            const auto low = static_cast<std::uint8_t>(carry_[qsizetype(2 * i)]);
            const auto high = static_cast<std::uint8_t>(carry_[qsizetype(2 * i + 1)]);
            samples[i] = static_cast<std::int16_t>(std::uint16_t(low | high << 8));
        }
        carry_.remove(0, qsizetype(2 * samples.size()));
        for (const SphinxStream::Result& result : decoder_->feed(samples.data(), samples.size())) {
            deliver(result);
            if (droppedByUs_) return;
        }
    }

    void deliver(const SphinxStream::Result& result) {
        std::string text = result.text;
        if (result.sentenceEnd) {
            recognised_.push_back(result.text);
            if (server_.options().resultText) text = *server_.options().resultText;
        }
        send(resultEvent(taskId_, text, result.sentenceEnd));
        if (server_.options().mode == Mode::dropMidStream) {
            droppedByUs_ = true;
            webSocket_->flush();
            webSocket_->abort();
        }
    }

    MockAsrServer& server_;
    const int number_;
    QObject context_;  // receiver of every connection: they end with the session
    QPointer<QTcpSocket> tcp_;
    bool handedOver_ = false;
    QPointer<QWebSocket> webSocket_;

    State state_ = State::awaitingRunTask;
    std::unique_ptr<SphinxStream> decoder_;
    QByteArray carry_;
    bool runTaskSeen_ = false;
    bool closeFrameSeen_ = false;
    bool droppedByUs_ = false;
    bool reported_ = false;

    bool authorizationOk_ = false;
    std::string taskId_;
    bool runTaskOk_ = false;
    bool finishTaskOk_ = false;
    bool sameTaskId_ = false;
    long long audioBytes_ = 0;
    long long audioChunks_ = 0;
    std::vector<std::string> recognised_;
    std::vector<std::pair<std::string, int>> violations_;
};

std::optional<Mode> parseMode(const std::string& name) {
    static const std::map<std::string, Mode> modes = {
        {"normal", Mode::normal},
        {"refuse-key", Mode::refuseKey},
        {"silent-handshake", Mode::silentHandshake},
        {"task-failed", Mode::taskFailed},
        {"task-failed-no-message", Mode::taskFailedNoMessage},
        {"drop-mid-stream", Mode::dropMidStream},
        {"malformed", Mode::malformed},
        {"oversized", Mode::oversized},
    };
    const auto found = modes.find(name);
    if (found == modes.end()) return std::nullopt;
    return found->second;
}

MockAsrServer::MockAsrServer(MockOptions options)
    : options_(std::move(options)),
      webSockets_(QStringLiteral("mock-asr"), QWebSocketServer::NonSecureMode) {
    QObject::connect(&front_, &QTcpServer::newConnection, &context_, [this] { accept(); });
    QObject::connect(&webSockets_, &QWebSocketServer::newConnection, &context_,
                     [this] { upgraded(); });
}

MockAsrServer::~MockAsrServer() {
    upgrading_.clear();
    sessions_.clear();
}

bool MockAsrServer::start(quint16 port, std::string& error) {
    // Loaded before listening, so a missing model fails at once and the
    // first task does not wait for it.
    auto decoder = SphinxStream::load();
    if (!decoder) {
        error = "the PocketSphinx model could not be loaded";
        return false;
    }
    idleDecoders_.push_back(std::move(decoder));
    if (!front_.listen(QHostAddress::LocalHost, port)) {
        error = front_.errorString().toStdString();
        return false;
    }
    return true;
}

QString MockAsrServer::url() const {
    return QStringLiteral("ws://127.0.0.1:%1%2").arg(front_.serverPort()).arg(path);
}

void MockAsrServer::reportOpenConnections() {
    for (auto& [number, session] : sessions_) session->end(0);
}

void MockAsrServer::accept() {
    while (QTcpSocket* socket = front_.nextPendingConnection()) {
        const int number = ++connections_;
        sessions_[number] = std::make_unique<Session>(*this, number, socket);
    }
}

void MockAsrServer::upgrade(Session& session, QTcpSocket* socket) {
    upgrading_[socket->peerPort()] = &session;
    webSockets_.handleConnection(socket);
}

void MockAsrServer::upgraded() {
    while (QWebSocket* webSocket = webSockets_.nextPendingConnection()) {
        const auto found = upgrading_.find(webSocket->peerPort());
        if (found == upgrading_.end()) {
            delete webSocket;
            continue;
        }
        found->second->attach(webSocket);
        upgrading_.erase(found);
    }
}

std::unique_ptr<SphinxStream> MockAsrServer::takeDecoder() {
    if (idleDecoders_.empty()) return SphinxStream::load();
    auto decoder = std::move(idleDecoders_.back());
    idleDecoders_.pop_back();
    return decoder;
}

void MockAsrServer::returnDecoder(std::unique_ptr<SphinxStream> decoder) {
    if (!decoder) return;
    decoder->restart();
    idleDecoders_.push_back(std::move(decoder));
}

void MockAsrServer::ended(int number) {
    QMetaObject::invokeMethod(
        &context_,
        [this, number] {
            const auto found = sessions_.find(number);
            if (found == sessions_.end()) return;
            std::erase_if(upgrading_,
                          [&](const auto& entry) { return entry.second == found->second.get(); });
            sessions_.erase(found);
        },
        Qt::QueuedConnection);
}

void MockAsrServer::printLine(const std::string& line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

}  // namespace sayvo::mock
