#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QWebSocket>
#include <QWebSocketServer>
#include <cstdio>
#include <mutex>
#include <set>
#include <thread>

#include "platform/linux/QtWebSocketService.h"

namespace sayvo {
namespace {

using Log = std::vector<std::string>;
constexpr auto text = WebSocketMessage::Kind::text;

// Spins the main loop (where the test servers live) until `done` or a limit.
template <typename Done>
bool spinUntil(Done done, int limitMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 20);
    }
    return done();
}

// What the client saw, written on the callback thread, read on the main one.
// Failures are logged with their error code.
struct Events {
    std::mutex mutex;
    Log log;
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
    bool has(std::size_t n) {
        std::lock_guard lock(mutex);
        return log.size() >= n;
    }
    WebSocketTask::ReceiveCompletion receiver() {
        return [this](std::optional<WebSocketMessage> message, std::optional<PlatformError> error) {
            if (!message) return add("receive failed", error);
            add((message->kind == text ? "text " : "binary ") + message->data);
        };
    }
    WebSocketTask::SendCompletion sender(std::string name) {
        return [this, name](std::optional<PlatformError> error) { add("sent " + name, error); };
    }
    WebSocketDelegate delegate() {
        return {[this] { add("open"); },
                [this](int code) { add("close " + std::to_string(code)); }};
    }
};

// A WebSocket peer on loopback, on the main thread.
struct Server {
    QWebSocketServer server{QStringLiteral("test"), QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;
    QByteArray authorization;
    Log received;
    int closeCode = -1;

    Server() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection, [this] {
            peer.reset(server.nextPendingConnection());
            authorization = peer->request().rawHeader("Authorization");
            QObject::connect(peer.get(), &QWebSocket::textMessageReceived,
                             [this](const QString& t) { received.push_back(t.toStdString()); });
            QObject::connect(peer.get(), &QWebSocket::binaryMessageReceived,
                             [this](const QByteArray& b) { received.push_back(b.toStdString()); });
            QObject::connect(peer.get(), &QWebSocket::disconnected,
                             [this] { closeCode = peer->closeCode(); });
        });
    }
    WebSocketRequest request() const {
        return {"ws://127.0.0.1:" + std::to_string(server.serverPort()),
                {{"Authorization", "bearer KEY"}},
                5};
    }
};

// Opens a task on `server` and waits until it is open.
std::shared_ptr<WebSocketTask> openTask(QtWebSocketService& service, Server& server,
                                        Events& events) {
    auto task = service.makeWebSocketTask(server.request(), events.delegate());
    task->resume();
    EXPECT_TRUE(spinUntil([&] { return server.peer && events.has(1); }));
    return task;
}

TEST(QtWebSocket, RoundTripInOrderOnTheCallbackThreadUntilTheServerCloses) {
    QtWebSocketService service;
    Server server;
    Events events;
    auto task = service.makeWebSocketTask(server.request(), events.delegate());
    // Sent before the connection is open: waits for it.
    task->send({text, "run-task"}, events.sender("1"));
    task->resume();
    task->send({WebSocketMessage::Kind::binary, std::string("\0\1", 2)}, events.sender("2"));
    EXPECT_FALSE(events.has(1)) << "nothing completes on the caller's stack";
    ASSERT_TRUE(spinUntil([&] { return server.received.size() == 2; }));
    EXPECT_EQ(server.authorization, "bearer KEY");
    EXPECT_EQ(server.received, (Log{"run-task", std::string("\0\1", 2)}));

    // Messages wait for receives that come later.
    server.peer->sendTextMessage(QStringLiteral("started"));
    server.peer->sendBinaryMessage(QByteArray("bin"));
    server.peer->sendTextMessage(QStringLiteral("result"));
    spinUntil([] { return false; }, 100);
    for (int i = 0; i < 3; ++i) task->receive(events.receiver());
    ASSERT_TRUE(spinUntil([&] { return events.has(6); }));
    server.peer->close(QWebSocketProtocol::CloseCodeNormal);
    ASSERT_TRUE(spinUntil([&] { return events.has(7); }));
    task->receive(events.receiver());
    task->send({text, "late"}, events.sender("3"));
    ASSERT_TRUE(spinUntil([&] { return events.has(9); }));

    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.log, (Log{"open", "sent 1", "sent 2", "text started", "binary bin",
                               "text result", "close 1000", "receive failed 1", "sent 3 1"}));
    ASSERT_EQ(events.threads.size(), 1u);
    EXPECT_NE(*events.threads.begin(), std::this_thread::get_id());
}

TEST(QtWebSocket, CancelClosesWithTheCodeAndFailsTheReceives) {
    QtWebSocketService service;
    Server server;
    Events events;
    auto task = openTask(service, server, events);
    task->receive(events.receiver());
    task->receive(events.receiver());  // one pending at a time: fails at once
    ASSERT_TRUE(spinUntil([&] { return events.has(2); }));
    task->cancel(1001);
    ASSERT_TRUE(spinUntil([&] { return server.closeCode != -1 && events.has(4); }));
    EXPECT_EQ(server.closeCode, 1001);
    task->send({text, "after"}, events.sender("after"));
    ASSERT_TRUE(spinUntil([&] { return events.has(5); }));
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.log, (Log{"open", "receive failed 19", "receive failed 19", "close 1001",
                               "sent after 19"}));
}

// A TCP peer that answers the handshake with `reply`, or never when empty.
struct RawServer {
    QTcpServer server;
    std::vector<std::unique_ptr<QTcpSocket>> peers;

    explicit RawServer(QByteArray reply) {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QTcpServer::newConnection, [this, reply] {
            QTcpSocket* peer = peers.emplace_back(server.nextPendingConnection()).get();
            QObject::connect(peer, &QTcpSocket::readyRead, [peer, reply] {
                if (!peer->readAll().contains("\r\n\r\n") || reply.isEmpty()) return;
                peer->write(reply);
                peer->disconnectFromHost();
            });
        });
    }
    WebSocketRequest request(double timeout) const {
        return {"ws://127.0.0.1:" + std::to_string(server.serverPort()), {}, timeout};
    }
};

TEST(QtWebSocket, RefusedAndSilentHandshakesFailTheReceive) {
    QtWebSocketService service;
    RawServer refusing("HTTP/1.1 401 Unauthorized\r\nContent-Length: 0\r\n\r\n");
    RawServer silent{QByteArray()};
    Events refused;
    Events timedOut;
    auto a = service.makeWebSocketTask(refusing.request(5), refused.delegate());
    auto b = service.makeWebSocketTask(silent.request(0.5), timedOut.delegate());
    a->send({text, "run-task"}, refused.sender("early"));
    a->receive(refused.receiver());
    b->receive(timedOut.receiver());
    QElapsedTimer clock;
    clock.start();
    a->resume();
    b->resume();
    ASSERT_TRUE(spinUntil([&] { return refused.has(2) && timedOut.has(1); }));
    std::printf("MEASURE: a 0.5 s handshake timeout failed the receive after %.3f s\n",
                clock.elapsed() / 1000.0);
    std::scoped_lock lock(refused.mutex, timedOut.mutex);
    EXPECT_EQ(refused.log, (Log{"sent early 0", "receive failed 0"}));
    EXPECT_EQ(refused.lastError, "Unhandled http status code: 401 (Unauthorized).");
    EXPECT_EQ(timedOut.log, (Log{"receive failed 5"}));
}

TEST(QtWebSocket, AnOversizedMessageClosesTheConnectionInsteadOfArriving) {
    QtWebSocketService service;
    Server server;
    Events events;
    auto task = openTask(service, server, events);
    server.peer->sendTextMessage(QStringLiteral("small"));
    server.peer->sendBinaryMessage(QByteArray(2 << 20, 'x'));
    server.peer->sendTextMessage(QStringLiteral("after"));
    task->receive(events.receiver());
    ASSERT_TRUE(spinUntil([&] { return events.has(2); }));
    task->receive(events.receiver());
    ASSERT_TRUE(spinUntil([&] { return events.has(4); }));
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.log, (Log{"open", "text small", "close 1009", "receive failed 1"}));
}

TEST(QtWebSocket, DestroyingTheServiceEndsPendingReceivesAndLaterCallsDoNothing) {
    Server server;
    Events events;
    std::shared_ptr<WebSocketTask> task;
    {
        QtWebSocketService service;
        task = openTask(service, server, events);
        task->receive(events.receiver());
        // Completions come in order: once this one ran, the receive is pending.
        task->send({text, "ping"}, events.sender("ping"));
        ASSERT_TRUE(spinUntil([&] { return events.has(2); }));
    }
    task->send({text, "late"}, events.sender("late"));
    task->receive(events.receiver());
    task->cancel(1000);
    spinUntil([] { return false; }, 100);
    std::lock_guard lock(events.mutex);
    EXPECT_EQ(events.log, (Log{"open", "sent ping", "receive failed 19"}));
}

}  // namespace
}  // namespace sayvo
