#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <mutex>
#include <set>
#include <thread>

#include "Spin.h"
#include "platform/linux/QtWebSocketService.h"

namespace sayvo {
namespace {

constexpr auto text = WebSocketMessage::Kind::text;

// What a client saw, in order, on which threads; failures with their code.
struct Events {
    std::mutex mutex;
    std::vector<std::string> log;
    std::string lastError;
    std::set<std::thread::id> threads;

    void add(std::string entry, const std::optional<PlatformError>& error = std::nullopt) {
        std::lock_guard lock(mutex);
        if (error) {
            EXPECT_EQ(error->domain, "QtWebSockets");
            entry += " " + std::to_string(error->code);
            lastError = error->localizedDescription;
        }
        log.push_back(entry);
        threads.insert(std::this_thread::get_id());
    }
    std::size_t size() {
        std::lock_guard lock(mutex);
        return log.size();
    }
    // The log once it has `n` entries, joined by ", ", given a moment for unexpected ones.
    std::string waitFor(std::size_t n) {
        EXPECT_TRUE(spinUntil([&] { return size() >= n; }));
        spin(50);
        std::lock_guard lock(mutex);
        std::string joined;
        for (const auto& entry : log) joined += (joined.empty() ? "" : ", ") + entry;
        return joined;
    }
    WebSocketTask::ReceiveCompletion receiver() {
        return [this](auto message, auto error) {
            if (!message) return add("receive failed", error);
            add((message->kind == text ? "text " : "binary ") + message->data);
        };
    }
    WebSocketTask::SendCompletion sender(std::string name) {
        return [this, name](auto error) { add("sent " + name, error); };
    }
    WebSocketDelegate delegate() {
        return {[this] { add("open"); },
                [this](int code) { add("close " + std::to_string(code)); }};
    }
};

// A client task against a WebSocket peer on loopback, on the main thread,
// that writes down the Authorization header and the messages it gets.
class QtWebSocketServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection, [this] {
            peer.reset(server.nextPendingConnection());
            received = peer->request().rawHeader("Authorization").toStdString();
            const auto write = [this](const QByteArray& m) { received += "|" + m.toStdString(); };
            QObject::connect(peer.get(), &QWebSocket::textMessageReceived,
                             [write](const QString& t) { write(t.toUtf8()); });
            QObject::connect(peer.get(), &QWebSocket::binaryMessageReceived, write);
            QObject::connect(peer.get(), &QWebSocket::disconnected,
                             [this] { closeCode = peer->closeCode(); });
        });
        const std::string url = "ws://127.0.0.1:" + std::to_string(server.serverPort());
        task = service->makeWebSocketTask({url, {{"Authorization", "bearer KEY"}}, 5},
                                          events.delegate());
    }
    void open() {
        task->resume();
        ASSERT_TRUE(spinUntil([&] { return peer && events.size() == 1; }));
    }

    Events events;  // outlives the service, which may still complete into it
    std::unique_ptr<QtWebSocketService> service = std::make_unique<QtWebSocketService>();
    std::shared_ptr<WebSocketTask> task;
    QWebSocketServer server{"test", QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;
    std::string received;
    int closeCode = -1;
};

TEST_F(QtWebSocketServiceTest, RoundTripInOrderOnTheCallbackThreadUntilTheServerCloses) {
    task->send({text, "run-task"}, events.sender("1"));  // before the open: it waits
    task->resume();
    std::thread([&] {  // as the audio thread does
        task->send({WebSocketMessage::Kind::binary, std::string("\0\1", 2)}, events.sender("2"));
    })
        .join();
    EXPECT_EQ(events.size(), 0u) << "nothing completes on the caller's stack";
    const std::string sent = "bearer KEY|run-task|" + std::string("\0\1", 2);
    EXPECT_TRUE(spinUntil([&] { return received == sent; })) << received;

    // Messages wait for receives that come later.
    peer->sendTextMessage("started");
    peer->sendBinaryMessage("bin");
    peer->sendTextMessage("result");
    spin(100);
    for (int i = 0; i < 3; ++i) task->receive(events.receiver());
    ASSERT_TRUE(spinUntil([&] { return events.size() == 6; }));
    peer->close(QWebSocketProtocol::CloseCodeNormal);
    ASSERT_TRUE(spinUntil([&] { return events.size() == 7; }));
    task->receive(events.receiver());
    task->send({text, "late"}, events.sender("3"));
    EXPECT_EQ(events.waitFor(9),
              "open, sent 1, sent 2, text started, binary bin, text result, close 1000, "
              "receive failed 1, sent 3 1");
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.threads.size(), 1u);
    EXPECT_FALSE(events.threads.contains(std::this_thread::get_id()));
}

TEST_F(QtWebSocketServiceTest, CancelClosesWithTheCodeAndFailsTheReceives) {
    ASSERT_NO_FATAL_FAILURE(open());
    task->receive(events.receiver());
    task->receive(events.receiver());  // one pending at a time: fails at once
    ASSERT_TRUE(spinUntil([&] { return events.size() == 2; }));
    task->cancel(1001);
    ASSERT_TRUE(spinUntil([&] { return closeCode == 1001 && events.size() == 4; }));
    task->send({text, "after"}, events.sender("after"));
    EXPECT_EQ(events.waitFor(5),
              "open, receive failed 19, receive failed 19, close 1001, sent after 19");
}

TEST_F(QtWebSocketServiceTest, AnOversizedMessageClosesTheConnectionInsteadOfArriving) {
    ASSERT_NO_FATAL_FAILURE(open());
    peer->sendTextMessage("small");
    peer->sendBinaryMessage(QByteArray(QtWebSocketService::maxIncomingBytes + 1, 'x'));
    peer->sendTextMessage("after");
    task->receive(events.receiver());
    ASSERT_TRUE(spinUntil([&] { return events.size() == 2; }));
    task->receive(events.receiver());
    EXPECT_EQ(events.waitFor(4), "open, text small, close 1009, receive failed 1");
}

TEST_F(QtWebSocketServiceTest, DestroyingTheServiceEndsPendingReceivesAndLaterCallsDoNothing) {
    ASSERT_NO_FATAL_FAILURE(open());
    task->receive(events.receiver());
    // Completions come in order: once this one ran, the receive is pending.
    task->send({text, "ping"}, events.sender("ping"));
    ASSERT_TRUE(spinUntil([&] { return events.size() == 2; }));
    service.reset();
    task->send({text, "late"}, events.sender("late"));
    task->receive(events.receiver());
    task->cancel(1000);
    EXPECT_EQ(events.waitFor(3), "open, sent ping, receive failed 19");
}

TEST_F(QtWebSocketServiceTest, RefusedAndSilentHandshakesFailTheReceive) {
    // A plain TCP peer: it refuses the key, or never answers.
    QTcpServer http;
    std::vector<std::unique_ptr<QTcpSocket>> peers;
    ASSERT_TRUE(http.listen(QHostAddress::LocalHost));
    QObject::connect(&http, &QTcpServer::newConnection, [&] {
        QTcpSocket* peer = peers.emplace_back(http.nextPendingConnection()).get();
        QObject::connect(peer, &QTcpSocket::readyRead, [peer] {
            if (!peer->peek(1 << 16).contains("\r\n\r\n")) return;
            if (!peer->readAll().startsWith("GET /refuse")) return;
            peer->write("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
            peer->disconnectFromHost();
        });
    });
    const std::string url = "ws://127.0.0.1:" + std::to_string(http.serverPort());
    Events refused, timedOut;
    auto a = service->makeWebSocketTask({url + "/refuse", {}, 5}, refused.delegate());
    auto b = service->makeWebSocketTask({url + "/silent", {}, 0.5}, timedOut.delegate());
    a->send({text, "run-task"}, refused.sender("early"));
    a->receive(refused.receiver());
    b->receive(timedOut.receiver());
    a->resume();
    b->resume();
    EXPECT_EQ(refused.waitFor(2), "sent early 0, receive failed 0");
    EXPECT_EQ(refused.lastError, "Unhandled http status code: 401 (Unauthorized).");
    EXPECT_EQ(timedOut.waitFor(1), "receive failed 5");
}

}  // namespace
}  // namespace sayvo
