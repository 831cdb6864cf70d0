#include <gtest/gtest.h>

#include <QTcpServer>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketCorsAuthenticator>
#include <QWebSocketServer>
#include <atomic>
#include <mutex>
#include <set>
#include <thread>

#include "platform/linux/services/QtWebSocketService.h"

using namespace sayvo;

using Kind = WebSocketMessage::Kind;

// What a client saw, in order ("open", "sent <name>", "text <message>",
// "close <code>", failures with their code), and on which threads.
struct Events {
    std::mutex mutex;
    std::string log;
    std::atomic<int> count{0};
    std::set<std::thread::id> threads;

    void add(std::string entry, const std::optional<PlatformError>& error = std::nullopt) {
        std::lock_guard lock(mutex);
        EXPECT_EQ(error ? error->domain : WebSocketError::domain, WebSocketError::domain);
        log += (log.empty() ? "" : ", ") + entry + (error ? " " + std::to_string(error->code) : "");
        threads.insert(std::this_thread::get_id()), ++count;
    }
    // The log once it has `n` entries, given a moment for unexpected ones.
    std::string waitFor(int n) {
        EXPECT_TRUE(QTest::qWaitFor([&] { return count >= n; }));
        QTest::qWait(50);
        std::lock_guard lock(mutex);
        return log;
    }
    WebSocketTask::ReceiveCompletion receiver() {
        return [this](auto message, auto error) {
            add(message ? "text " + message->data : "receive failed", error);
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

struct LoopbackSocketPair {
    LoopbackSocketPair() {
        EXPECT_TRUE(server.listen(QHostAddress::LocalHost));
        QObject::connect(&server, &QWebSocketServer::newConnection,
                         [this] { peer.reset(server.nextPendingConnection()); });
        const std::string url = "ws://127.0.0.1:" + std::to_string(server.serverPort());
        task = service->makeWebSocketTask({url, {}, 5}, events.delegate());
    }

    Events events;  // outlives the service, which may still complete into it
    std::unique_ptr<QtWebSocketService> service = std::make_unique<QtWebSocketService>();
    QWebSocketServer server{"test", QWebSocketServer::NonSecureMode};
    std::unique_ptr<QWebSocket> peer;
    std::shared_ptr<WebSocketTask> task;
};

TEST(QtWebSocketServiceTest, CallsCompleteInOrderOnTheCallbackThreadAndFailOnceTheConnectionEnds) {
    const struct {
        const char* end;
        std::function<void(LoopbackSocketPair&)> act;
        std::string log;
    } cases[] = {
        {"server closes", [](auto& c) { c.peer->close(); },
         "close 1000, receive failed 4, sent late 4"},
        {"cancel", [](auto& c) { c.task->cancel(1001); },
         "receive failed 5, close 1001, sent late 5"},
        {"oversized message",
         [](auto& c) {
             c.peer->sendBinaryMessage(QByteArray(QtWebSocketService::maxIncomingBytes + 1, 'x'));
         },
         "close 1009, receive failed 4, sent late 4"},
        {"service destroyed", [](auto& c) { c.service.reset(); }, "receive failed 5"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.end);
        LoopbackSocketPair connection;
        auto [events, task] = std::tie(connection.events, connection.task);
        task->send({Kind::text, "run-task"}, events.sender("early"));  // waits for the open
        task->resume();  // a send from the audio thread, too
        std::thread([&] { task->send({Kind::binary, "\1"}, events.sender("audio")); }).join();
        EXPECT_EQ(events.count, 0) << "nothing completes on the caller's stack";
        ASSERT_TRUE(QTest::qWaitFor([&] { return connection.peer && events.count == 3; }));
        connection.peer->sendTextMessage("result"), QTest::qWait(100);
        task->receive(events.receiver());  // the message waited for it
        task->receive(events.receiver());
        task->receive(events.receiver());  // one may be pending: this one fails at once
        task->send({Kind::text, "ping"}, events.sender("ping"));  // once sent, a receive pends
        ASSERT_TRUE(QTest::qWaitFor([&] { return events.count == 6; }));
        c.act(connection);
        const bool gone = !connection.service;
        events.waitFor(gone ? 7 : 8);                             // the end comes first
        task->send({Kind::text, "late"}, events.sender("late"));  // or dropped with the service
        EXPECT_EQ(
            events.waitFor(gone ? 7 : 9),
            "open, sent early, sent audio, text result, receive failed 5, sent ping, " + c.log);
        std::lock_guard lock(events.mutex);
        EXPECT_EQ(events.threads.size(), 1u);
        EXPECT_FALSE(events.threads.contains(std::this_thread::get_id()));
    }
}

TEST(QtWebSocketServiceTest, ARefusedOrSilentHandshakeFailsTheWaitingCalls) {
    QWebSocketServer refusing{"test", QWebSocketServer::NonSecureMode};
    QTcpServer silent;  // it takes the connection and never answers
    ASSERT_TRUE(refusing.listen(QHostAddress::LocalHost) && silent.listen(QHostAddress::LocalHost));
    QObject::connect(&refusing, &QWebSocketServer::originAuthenticationRequired,
                     [](QWebSocketCorsAuthenticator* origin) { origin->setAllowed(false); });
    const auto url = [](auto& server) {
        return "ws://127.0.0.1:" + std::to_string(server.serverPort());
    };
    Events refused, timedOut;
    QtWebSocketService service;
    auto a = service.makeWebSocketTask({url(refusing), {}, 5}, refused.delegate());
    auto b = service.makeWebSocketTask({url(silent), {}, 0.5}, timedOut.delegate());
    a->send({Kind::text, "run-task"}, refused.sender("early"));
    a->receive(refused.receiver()), b->receive(timedOut.receiver());
    a->resume(), b->resume();
    // A refused handshake (403) reads as a refused key; a silent peer as no service.
    EXPECT_EQ(refused.waitFor(2), "sent early 1, receive failed 1");
    EXPECT_EQ(timedOut.waitFor(1), "receive failed 2");
}
