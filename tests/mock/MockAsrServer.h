#pragma once

#include <QObject>
#include <QTcpServer>
#include <QWebSocketServer>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace sayvo::mock {

class Session;
class SphinxStream;

// Ways the mock can misbehave, to exercise the client's error paths.
enum class Mode {
    normal,
    refuseKey,            // every handshake gets 401
    silentHandshake,      // TCP accepted, the handshake never answered
    taskFailed,           // run-task answered with task-failed and a message
    taskFailedNoMessage,  // the same without error_message
    dropMidStream,        // TCP aborted after the first result
    malformed,            // junk messages before the real task-started
    oversized,            // a 2 MiB text message after task-started
};

std::optional<Mode> parseMode(const std::string& name);

struct MockOptions {
    std::string key;
    Mode mode = Mode::normal;
    // Replaces the text of every final sent (what was recognised is still reported).
    std::optional<std::string> resultText;
};

// The realtime recognition service on 127.0.0.1: a TCP front reads each HTTP
// handshake to check the path and the key (QWebSocketServer cannot answer
// 401), then hands the socket to a QWebSocketServer that never listens.
// Every connection is reported as one JSON line on stdout when it ends.
// Thread: main thread.
class MockAsrServer {
public:
    static inline const QString path = QStringLiteral("/api-ws/v1/inference/");

    explicit MockAsrServer(MockOptions options);
    ~MockAsrServer();
    MockAsrServer(const MockAsrServer&) = delete;
    MockAsrServer& operator=(const MockAsrServer&) = delete;

    // Loads the recogniser and listens; false with a reason on failure.
    bool start(quint16 port, std::string& error);
    QString url() const;
    // Reports the connections still open (called at quit).
    void reportOpenConnections();

    // For sessions.
    const MockOptions& options() const { return options_; }
    void upgrade(Session& session, QTcpSocket* socket);
    std::unique_ptr<SphinxStream> takeDecoder();
    void returnDecoder(std::unique_ptr<SphinxStream> decoder);
    // Removes the session on a later turn of the loop: it may be inside one
    // of its own signal handlers now.
    void ended(int number);
    static void printLine(const std::string& line);

private:
    void accept();
    void upgraded();

    MockOptions options_;
    QObject context_;
    QTcpServer front_;
    QWebSocketServer webSockets_;
    std::vector<std::unique_ptr<SphinxStream>> idleDecoders_;
    int connections_ = 0;
    // Declared last: sessions go first, while the sockets' owners still exist.
    std::map<quint16, Session*> upgrading_;  // by the client's port
    std::map<int, std::unique_ptr<Session>> sessions_;
};

}  // namespace sayvo::mock
