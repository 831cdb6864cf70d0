// A local stand-in for the cloud realtime recognition service, for tests.
#include <QCommandLineParser>
#include <QCoreApplication>
#include <cstdio>

#include "MockAsrServer.h"
#include "platform/linux/QuitOnSignal.h"

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption port("port", "TCP port on 127.0.0.1; 0 picks a free one.", "port",
                                  "0");
    const QCommandLineOption key("key", "The API key the handshake must carry.", "key");
    const QCommandLineOption mode("mode",
                                  "normal, refuse-key, silent-handshake, task-failed, "
                                  "task-failed-no-message, drop-mid-stream, malformed, oversized.",
                                  "mode", "normal");
    const QCommandLineOption resultText("result-text", "Text sent in place of every final.",
                                        "text");
    parser.addOptions({port, key, mode, resultText});
    parser.process(app);

    sayvo::mock::MockOptions options;
    bool portOk = false;
    const uint portNumber = parser.value(port).toUInt(&portOk);
    const auto parsedMode = sayvo::mock::parseMode(parser.value(mode).toStdString());
    if (!parser.isSet(key) || !portOk || portNumber > 65535 || !parsedMode) {
        std::fputs("usage: sayvo_mock_asr --key KEY [--port N] [--mode MODE] [--result-text T]\n",
                   stderr);
        return 2;
    }
    options.key = parser.value(key).toStdString();
    options.mode = *parsedMode;
    if (parser.isSet(resultText)) options.resultText = parser.value(resultText).toStdString();

    sayvo::QuitOnSignal quitOnSignal;
    sayvo::mock::MockAsrServer server(std::move(options));
    std::string error;
    if (!server.start(quint16(portNumber), error)) {
        std::fprintf(stderr, "sayvo_mock_asr: %s\n", error.c_str());
        return 1;
    }
    sayvo::mock::MockAsrServer::printLine("LISTENING " + server.url().toStdString());
    const int status = app.exec();
    server.reportOpenConnections();
    return status;
}
