// Dictation with the on-device engine, as a user does it: hold the hotkey,
// speak into the microphone (a real recording played into it), let go, and
// find the words on the clipboard.

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <memory>

#include "../linux/XTestKeys.h"
#include "app_process.h"
#include "e2e_support.h"
#include "private_bus.h"
#include "tray_watcher.h"
#include "x_windows.h"

namespace {

const QString kSpeech = QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");
const std::string kIndicatorTitle = "Sayvo indicator";

class DictationTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kSpeech)) << "the speech recordings are missing";
        ASSERT_TRUE(x_.connected() && keys_.isOpen()) << "no X display";
        QString error;
        ASSERT_TRUE(bus_.start(&error)) << error.toStdString();
        ASSERT_TRUE(watcher_.publish(bus_.connection(), &error)) << error.toStdString();
        app_ = std::make_unique<AppProcess>(QStringLiteral(SAYVO_BINARY));
        ASSERT_TRUE(app_->writePreferences(
            R"({"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false})"));
        ASSERT_TRUE(app_->start(bus_.address(), &error)) << error.toStdString();
        ASSERT_TRUE(waitUntil([&] { return !watcher_.items().isEmpty(); }, 15000));
        ASSERT_TRUE(iconChanges_.watch(bus_.connection(), watcher_.items().constFirst()));
    }

    bool indicatorShown() { return x_.findViewable(kIndicatorTitle, app_->pid()).has_value(); }

    XWindows x_;
    XTestKeys keys_;
    PrivateBus bus_;
    TrayWatcher watcher_;
    IconChangeCounter iconChanges_;
    std::unique_ptr<AppProcess> app_;
};

TEST_F(DictationTest, HoldSpeakReleaseLeavesTheWordsOnTheClipboard) {
    keys_.press("Alt_L");
    keys_.press("space");
    ASSERT_TRUE(waitUntil([&] { return iconChanges_.count() > 0; }, 5000))
        << "no recording started";
    ASSERT_TRUE(speak(kSpeech));
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
    ASSERT_TRUE(waitUntil([&] { return iconChanges_.count() == 1; }, 5000));
    ASSERT_TRUE(speak(kSpeech));
    QElapsedTimer sinceSpeech;
    sinceSpeech.start();
    ASSERT_TRUE(waitUntil([&] { return iconChanges_.count() >= 2; }, 15000))
        << "the recording did not stop by itself";
    measure("end_of_speech_to_silence_stop", sinceSpeech.elapsed(), "ms");
    // Nothing is inserted by a silence stop; the text waits in the indicator.
    EXPECT_TRUE(indicatorShown());
    EXPECT_NE(clipboard(), "go forward ten meters");
}

}  // namespace
