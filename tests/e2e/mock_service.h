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
    // Starts it with extra options (--mode, --result-text); true once it listens.
    bool start(const QStringList& extra);
    void stop();
    // The per-connection reports so far.
    std::vector<QJsonObject> connections();

private:
    void readLines();
    QProcess process_;
    bool listening_ = false;
    std::vector<QJsonObject> lines_;
};
