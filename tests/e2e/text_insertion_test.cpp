// Text insertion as the user meets it: the words appear in the application
// that had the focus (another program's GTK entry), pasted there by Sayvo.

#include <QElapsedTimer>
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "dictation_fixture.h"
#include "gtk_entry.h"
#include "mock_service.h"

namespace {

class TextInsertionTest : public DictationFixture {
protected:
    // Holds the hotkey while the recording plays into the microphone; the
    // target entry must keep the focus with the indicator up.
    void holdAndSpeak(GtkEntry& entry) {
        const int before = icon_.count();
        for (const char* key : hotkey_) keys_.press(key);
        ASSERT_TRUE(waitUntil([&] { return icon_.count() > before; }, 5000)) << "no recording";
        ASSERT_TRUE(speak(kSpeech));
        waitUntil([] { return false; }, 1000);  // the last words settle
        screenshot("entry_while_recording");
        EXPECT_TRUE(entry.hasFocus()) << "the indicator took the keyboard focus";
    }
    void letGo() {
        for (auto key = hotkey_.rbegin(); key != hotkey_.rend(); ++key) keys_.release(*key);
    }
    bool indicatorGone() {
        return waitUntil([&] { return !indicatorShown(); }, 5000);
    }

    std::vector<const char*> hotkey_ = {"Alt_L", "space"};
    MockService mock_;
};

// A new user on a keyboard without an fn key holds Ctrl+Alt+Space; the key
// itself is taken, so the entry gets the words and nothing else.
TEST_F(TextInsertionTest, SpokenWordsLandInTheFocusedEntry) {
    freshProfile_ = true;
    hotkey_ = {"Control_L", "Alt_L", "space"};
    ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_BINARY)));
    // SAYVO_E2E_ROUNDS=10 for a median worth reporting.
    const char* roundsSetting = std::getenv("SAYVO_E2E_ROUNDS");
    const int rounds = std::max(1, roundsSetting ? std::atoi(roundsSetting) : 1);
    std::vector<qint64> releaseToText;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE(round);
        GtkEntry entry(x_, keys_);
        QString error;
        ASSERT_TRUE(entry.open(&error)) << error.toStdString();
        holdAndSpeak(entry);
        QElapsedTimer sinceRelease;
        sinceRelease.start();
        letGo();
        ASSERT_TRUE(waitUntil([&] { return entry.showsText(); }, 5000, 2)) << "nothing arrived";
        releaseToText.push_back(sinceRelease.elapsed());
        screenshot("entry_after_paste");
        EXPECT_TRUE(entry.hasFocus());
        EXPECT_EQ(entry.submit(), "go forward ten meters");
        ASSERT_TRUE(indicatorGone());
    }
    std::sort(releaseToText.begin(), releaseToText.end());
    measure("release_to_text_in_entry_median", releaseToText[releaseToText.size() / 2], "ms");
    measure("release_to_text_in_entry_min", releaseToText.front(), "ms");
    measure("release_to_text_in_entry_max", releaseToText.back(), "ms");
    EXPECT_EQ(clipboard(), "go forward ten meters") << "the text stays for a manual paste";
}

TEST_F(TextInsertionTest, ShiftHeldThroughThePasteDoesNotSpoilIt) {
    ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_BINARY)));
    GtkEntry entry(x_, keys_);
    QString error;
    ASSERT_TRUE(entry.open(&error)) << error.toStdString();
    holdAndSpeak(entry);
    letGo();
    // Ctrl+Shift+V is not a paste in a GTK entry: a leaked Shift loses the text.
    keys_.press("Shift_L");
    const bool arrived = waitUntil([&] { return entry.showsText(); }, 5000, 2);
    keys_.release("Shift_L");
    ASSERT_TRUE(arrived) << "nothing arrived";
    EXPECT_EQ(entry.submit(), "go forward ten meters");
}

TEST_F(TextInsertionTest, CloudTextArrivesWithItsCharactersIntact) {
    ASSERT_TRUE(mock_.start({QStringLiteral("--result-text"), QStringLiteral("向前走十米。")}));
    ASSERT_NO_FATAL_FAILURE(
        launch(QStringLiteral(SAYVO_CLOUD_BINARY), R"(, "AliyunASRAPIKey": "test-key")"));
    GtkEntry entry(x_, keys_);
    QString error;
    ASSERT_TRUE(entry.open(&error)) << error.toStdString();
    holdAndSpeak(entry);
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    letGo();
    ASSERT_TRUE(waitUntil([&] { return entry.showsText(); }, 5000, 2)) << "nothing arrived";
    measure("cloud_release_to_text_in_entry", sinceRelease.elapsed(), "ms");
    screenshot("entry_after_cloud_paste");
    EXPECT_EQ(entry.submit(), "向前走十米。");
}

}  // namespace
