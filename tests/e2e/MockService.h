#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QStringList>
#include <vector>

// The mock recognition service as a child process on the test port, accepting
// the key "test-key"; reads what it reports per connection.
class MockService {
public:
    ~MockService() { stop(); }
    // Starts it with extra options (--mode, --result-text) on `port`; true
    // once it listens.
    bool start(const QStringList& extra, int port = SAYVO_MOCK_PORT);
    void stop();
    // The per-connection reports so far.
    std::vector<QJsonObject> connections();

private:
    void readLines();
    QProcess process_;
    bool listening_ = false;
    std::vector<QJsonObject> lines_;
};

// A relay on the test port to the service on another one, holding every byte
// back for `delayMs` in each direction: a slow network.
class DelayingProxy {
public:
    ~DelayingProxy();
    bool start(int targetPort, int delayMs);

private:
    QProcess process_;
};
