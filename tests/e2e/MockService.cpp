#include "MockService.h"

#include <QJsonDocument>

#include "E2eSupport.h"

bool MockService::start(const QStringList& extra, int port) {
    stop();
    lines_.clear();
    process_.setProgram(QStringLiteral(SAYVO_MOCK_ASR));
    process_.setArguments(QStringList{QStringLiteral("--port"), QString::number(port),
                                      QStringLiteral("--key"), QStringLiteral("test-key")} +
                          extra);
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    return waitUntil([&] { return readLines(), listening_; }, 10000);
}

void MockService::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(3000)) process_.kill();
    process_.waitForFinished(1000);
    listening_ = false;
}

std::vector<QJsonObject> MockService::connections() {
    readLines();
    return lines_;
}

void MockService::readLines() {
    while (process_.canReadLine()) {
        const QByteArray line = process_.readLine().trimmed();
        if (line.startsWith("LISTENING")) listening_ = true;
        const auto doc = QJsonDocument::fromJson(line);
        if (doc.isObject()) lines_.push_back(doc.object());
    }
}

DelayingProxy::~DelayingProxy() {
    process_.kill();
    process_.waitForFinished(3000);
}

bool DelayingProxy::start(int targetPort, int delayMs) {
    process_.setProgram(QStringLiteral("python3"));
    process_.setArguments({QStringLiteral(SAYVO_DELAYING_PROXY), QString::number(SAYVO_MOCK_PORT),
                           QString::number(targetPort), QString::number(delayMs)});
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start();
    return waitUntil(
        [&] { return process_.canReadLine() && process_.readLine().startsWith("LISTENING"); },
        10000);
}
