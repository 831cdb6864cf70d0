// Dictation through the cloud engine against the project's own mock of the
// recognition service on loopback: the audio really travels, converted, over
// a WebSocket; the service checks the commands, where the voice lies in the
// audio and that it comes live, and its text ends up on the clipboard.

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "DictationFixture.h"
#include "MockService.h"

namespace {

// In the recording from its first moment the words span 1.9 s, from 0.05 s on.
constexpr int kWordsMs = 1900;

class CloudDictationTest : public DictationFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DictationFixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, R"(, "AliyunASRAPIKey": "test-key")"));
    }

    // Holds the hotkey, speaks as soon as the recording shows (long before
    // the service has started its task), and lets go a second after the speech.
    void dictate(const QString& speech = kSpeech) {
        EXPECT_GE(hold(kHotkey), 0) << "no recording";
        EXPECT_TRUE(speak(speech));
        waitUntil([] { return false; }, 1000);
        letGo(kHotkey);
    }
    // What the service saw of the dictation, once its connection has ended.
    QJsonObject seen() {
        waitUntil([&] { return !mock_.connections().empty(); }, 5000);
        return mock_.connections().empty() ? QJsonObject() : mock_.connections().front();
    }
    static std::string shown(const QJsonObject& report) {
        return QJsonDocument(report).toJson(QJsonDocument::Compact).toStdString();
    }

    const Keys kHotkey = {"Alt_L", "space"};
    MockService mock_;
};

TEST_F(CloudDictationTest, TheServiceHearsEveryWordFromThePressOnAndThePasteWaitsForItsLast) {
    const std::string chinese = "向前走十米。";
    ASSERT_TRUE(mock_.start({"--result-text", QString::fromStdString(chinese)}));
    dictate(speechFromTheFirstMoment());
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    EXPECT_TRUE(waitUntil([&] { return clipboard() == chinese; }, 5000))
        << "clipboard holds \"" << clipboard() << "\"; the service saw " << shown(seen());
    measure("cloud_release_to_clipboard", sinceRelease.elapsed(), "ms");
    QJsonObject report = seen();
    for (const char* check : {"authorization_ok", "run_task_ok", "finish_task_ok", "same_task_id"})
        EXPECT_TRUE(report[check].toBool()) << check << " in " << shown(report);
    EXPECT_EQ(report["close_code"].toInt(), 1001);
    EXPECT_TRUE(report["violations"].toArray().isEmpty()) << shown(report);
    // The words spoken while the task was still starting were held, not lost.
    const int firstVoice = report["first_voice_ms"].toInt(-1);
    EXPECT_GE(firstVoice, 0) << shown(report);
    EXPECT_LT(firstVoice, 500) << shown(report);
    EXPECT_NEAR(report["last_voice_ms"].toInt() - firstVoice, kWordsMs, 300) << shown(report);

    // Over a slow network the partials lag behind; the paste must wait for
    // the final. The speech is too short for the partials to show all these words.
    constexpr int kServicePort = SAYVO_MOCK_PORT + 1;
    const QString text = "please go forward ten meters then turn left at the door";
    DelayingProxy network;
    ASSERT_TRUE(mock_.start({"--result-text", text}, kServicePort));
    ASSERT_TRUE(network.start(kServicePort, 250));
    dictate();
    sinceRelease.start();
    EXPECT_TRUE(waitUntil([&] { return clipboard() == text.toStdString(); }, 5000))
        << "clipboard holds \"" << clipboard() << "\"";
    measure("cloud_release_to_clipboard_250ms_each_way", sinceRelease.elapsed(), "ms");
    report = seen();
    EXPECT_LT(report["partial_words"].toInt(), text.split(' ').size()) << shown(report);
    EXPECT_TRUE(report["violations"].toArray().isEmpty()) << shown(report);
}

TEST_F(CloudDictationTest, AMisbehavingServiceNeverLeavesSayvoStuck) {
    // What each leaves on the emptied clipboard: a refusal or a failure
    // nothing, a drop the words heard so far; junk among the events is skipped.
    const std::pair<const char*, std::string> modes[] = {
        {"refuse-key", ""}, {"task-failed", ""}, {"drop-mid-stream", "go"}, {"malformed", kWords}};
    for (const auto& [mode, pasted] : modes) {
        SCOPED_TRACE(mode);
        clearClipboard();
        ASSERT_TRUE(mock_.start({"--mode", mode}));
        dictate();
        waitUntil([] { return false; }, 1500);
        EXPECT_EQ(clipboard(), pasted);
        // However the service behaved, Sayvo kept to the protocol.
        EXPECT_FALSE(mock_.connections().empty());
        for (const QJsonObject& report : mock_.connections())
            EXPECT_TRUE(report["violations"].toArray().isEmpty()) << shown(report);

        // And the next dictation against a sound service works.
        const QString next = QString("after ") + mode;
        ASSERT_TRUE(mock_.start({"--result-text", next}));
        dictate();
        EXPECT_TRUE(waitUntil([&] { return clipboard() == next.toStdString(); }, 5000))
            << "clipboard holds \"" << clipboard() << "\"";
        ASSERT_TRUE(app_->running());
    }
}

}  // namespace
