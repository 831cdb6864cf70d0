// Dictation through the cloud engine against the project's own mock of the
// recognition service on loopback: the audio really travels, converted, over
// a WebSocket, and the service's answers end up on the clipboard.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include "dictation_fixture.h"
#include "mock_service.h"

namespace {

class CloudDictationTest : public DictationFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DictationFixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(
            launch(QStringLiteral(SAYVO_CLOUD_BINARY), R"(, "AliyunASRAPIKey": "test-key")"));
    }

    // Holds the hotkey, speaks as soon as the recording shows (long before
    // the service has started its task), and lets go a second after the speech.
    void dictate(const QString& speech = kSpeech) {
        const int before = icon_.count();
        keys_.press("Alt_L");
        keys_.press("space");
        EXPECT_TRUE(waitUntil([&] { return icon_.count() > before; }, 5000)) << "no recording";
        EXPECT_TRUE(speak(speech));
        waitUntil([] { return false; }, 1000);
        keys_.release("space");
        keys_.release("Alt_L");
    }
    std::string recognisedByTheService() {
        if (!waitUntil([&] { return !mock_.connections().empty(); }, 5000)) return "(no report)";
        return mock_.connections().front()[QStringLiteral("recognised")].toString().toStdString();
    }

    MockService mock_;
};

TEST_F(CloudDictationTest, SpokenWordsComeBackFromTheServiceOntoTheClipboard) {
    ASSERT_TRUE(mock_.start({QStringLiteral("--result-text"), QStringLiteral("向前走十米。")}));
    dictate(speechFromTheFirstMoment());
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "向前走十米。"; }, 5000))
        << "clipboard holds \"" << clipboard() << "\"; the service recognised \""
        << recognisedByTheService() << "\"";
    measure("cloud_release_to_clipboard", sinceRelease.elapsed(), "ms");

    // The service saw a well-formed task whose audio it could recognise.
    ASSERT_TRUE(waitUntil([&] { return !mock_.connections().empty(); }, 5000));
    const QJsonObject seen = mock_.connections().front();
    EXPECT_TRUE(seen[QStringLiteral("authorization_ok")].toBool());
    EXPECT_TRUE(seen[QStringLiteral("run_task_ok")].toBool());
    EXPECT_TRUE(seen[QStringLiteral("finish_task_ok")].toBool());
    EXPECT_TRUE(seen[QStringLiteral("same_task_id")].toBool());
    EXPECT_EQ(seen[QStringLiteral("close_code")].toInt(), 1001);
    EXPECT_EQ(seen[QStringLiteral("recognised")].toString().toStdString(), "go forward ten meters")
        << QJsonDocument(seen).toJson().toStdString();
    EXPECT_TRUE(seen[QStringLiteral("violations")].toArray().isEmpty())
        << QJsonDocument(seen).toJson().toStdString();
}

TEST_F(CloudDictationTest, OverASlowNetworkThePasteWaitsForTheServicesLastWords) {
    constexpr int kServicePort = SAYVO_MOCK_PORT + 1;
    DelayingProxy network;
    ASSERT_TRUE(mock_.start({}, kServicePort));
    ASSERT_TRUE(network.start(kServicePort, 250));
    dictate(QStringLiteral("/usr/share/pocketsphinx/test/data/something.raw"));
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    const std::string recognised = recognisedByTheService();
    ASSERT_FALSE(recognised.empty());
    EXPECT_TRUE(waitUntil([&] { return clipboard() == recognised; }, 5000))
        << "clipboard holds \"" << clipboard() << "\", the service recognised \"" << recognised
        << "\"";
    measure("cloud_release_to_clipboard_250ms_each_way", sinceRelease.elapsed(), "ms");
}

TEST_F(CloudDictationTest, AMisbehavingServiceNeverLeavesSayvoStuck) {
    for (const char* mode : {"refuse-key", "task-failed", "drop-mid-stream", "malformed"}) {
        SCOPED_TRACE(mode);
        QProcess::execute(
            QStringLiteral("sh"),
            {QStringLiteral("-c"),
             // xclip stays behind to serve the selection until Sayvo takes it back:
             // it must not keep the test's output open.
             QStringLiteral("printf '' | xclip -selection clipboard >/dev/null 2>&1")});
        ASSERT_TRUE(mock_.start({QStringLiteral("--mode"), QString::fromLatin1(mode)}));
        dictate();
        waitUntil([] { return false; }, 1500);
        // Whatever happened, the next dictation against a sound service works.
        ASSERT_TRUE(mock_.start({}));
        dictate();
        EXPECT_TRUE(waitUntil([&] { return clipboard() == "go forward ten meters"; }, 5000))
            << "clipboard holds \"" << clipboard() << "\"";
        ASSERT_TRUE(app_->running());
    }
}

}  // namespace
