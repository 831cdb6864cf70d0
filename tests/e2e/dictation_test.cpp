// Dictation with the on-device engine, as a user does it: hold the hotkey,
// speak into the microphone (a real recording played into it), let go, and
// find the words on the clipboard.

#include <QDBusMessage>
#include <QElapsedTimer>

#include "dictation_fixture.h"

namespace {

class DictationTest : public DictationFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DictationFixture::SetUp());
        ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_BINARY)));
    }
};

// The first dictation after the launch, words from the first moment: nothing
// is lost while the recogniser loads its model.
TEST_F(DictationTest, HoldSpeakReleaseLeavesTheWordsOnTheClipboard) {
    keys_.press("Alt_L");
    keys_.press("space");
    ASSERT_TRUE(waitUntil([&] { return icon_.count() > 0; }, 5000)) << "no recording started";
    ASSERT_TRUE(speak(speechFromTheFirstMoment()));
    waitUntil([] { return false; }, 1000);  // the last words settle
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    keys_.release("space");
    keys_.release("Alt_L");
    ASSERT_TRUE(waitUntil([&] { return clipboard() == "go forward ten meters"; }, 5000))
        << "clipboard holds \"" << clipboard() << "\"";
    measure("release_to_clipboard", sinceRelease.elapsed(), "ms");
    measure("rss_with_decoder_loaded", app_->residentKb(), "kB");
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000));
}

TEST_F(DictationTest, ARecordingLeftRunningStopsByItselfAfterTheSpeech) {
    // Started with a click, as when the user does not hold a key.
    QDBusMessage click = QDBusMessage::createMethodCall(
        watcher_.items().constFirst().service, watcher_.items().constFirst().path,
        QStringLiteral("org.kde.StatusNotifierItem"), QStringLiteral("Activate"));
    click << 0 << 0;
    bus_.connection().call(click);
    ASSERT_TRUE(waitUntil([&] { return icon_.count() == 1; }, 5000));
    ASSERT_TRUE(speak(kSpeech));
    QElapsedTimer sinceSpeech;
    sinceSpeech.start();
    ASSERT_TRUE(waitUntil([&] { return icon_.count() >= 2; }, 15000))
        << "the recording did not stop by itself";
    measure("end_of_speech_to_silence_stop", sinceSpeech.elapsed(), "ms");
    // Nothing is inserted by a silence stop; the text waits in the indicator.
    EXPECT_TRUE(indicatorShown());
    EXPECT_NE(clipboard(), "go forward ten meters");
}

}  // namespace
