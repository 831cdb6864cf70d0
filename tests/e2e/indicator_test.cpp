// The floating indicator as its users meet it: where it appears, the words it
// shows while they speak, and its buttons, clicked with the pointer or pressed
// by a screen reader, all while another application keeps the keyboard.

#include <QElapsedTimer>
#include <QProcess>

#include "dictation_fixture.h"
#include "gtk_entry.h"
#include "mock_service.h"

namespace {

const QString kWords = QStringLiteral("go forward ten meters");

class IndicatorTest : public ScreenReaderFixture {
protected:
    // A failed check must not leave the keys down for whatever runs next.
    void TearDown() override { letGo(); }
    void holdHotkey() {
        const int before = icon_.count();
        keys_.press("Alt_L");
        keys_.press("space");
        ASSERT_TRUE(waitUntil([&] { return icon_.count() > before; }, 5000)) << "no recording";
    }
    void letGo() {
        keys_.release("space");
        keys_.release("Alt_L");
    }
    QString shownText() {
        const auto transcript = reader_.find(app_->pid(), QStringLiteral("label"));
        return transcript ? transcript->name : QString();
    }
    std::optional<AccessibleNode> button(const QString& name) {
        return reader_.find(app_->pid(), QStringLiteral("push button"), name);
    }
    static void click(const std::optional<AccessibleNode>& node) {
        ASSERT_TRUE(node) << "no such button on screen";
        ASSERT_TRUE(pointerClick(*node));
    }

    MockService mock_;
};

TEST_F(IndicatorTest, CloudTextIsCopiedInsertedAndClosedWithThePointer) {
    ASSERT_TRUE(mock_.start({}));
    ASSERT_NO_FATAL_FAILURE(
        launch(QStringLiteral(SAYVO_CLOUD_BINARY), R"(, "AliyunASRAPIKey": "test-key")"));
    GtkEntry entry(x_, keys_);
    QString error;
    ASSERT_TRUE(entry.open(&error)) << error.toStdString();
    ASSERT_NO_FATAL_FAILURE(holdHotkey());
    ASSERT_TRUE(speak(kSpeech));
    // Each look starts a Python process: not too often.
    ASSERT_TRUE(waitUntil([&] { return shownText() == kWords; }, 5000, 200))
        << "the indicator shows \"" << shownText().toStdString() << "\"";
    screenshot("indicator_with_cloud_text");

    // The visible panel sits inside a transparent shadow margin.
    constexpr int kShadow = 40;
    const auto window = x_.findViewable("Sayvo indicator", app_->pid());
    ASSERT_TRUE(window);
    const auto frame = x_.geometry(window->id);
    ASSERT_TRUE(frame);
    const XRect screen = x_.screen();
    EXPECT_EQ(frame->width - 2 * kShadow, 360);
    EXPECT_NEAR(frame->x + frame->width / 2.0, screen.width / 2.0, 1.0);
    EXPECT_EQ(frame->y + frame->height - kShadow, screen.height - 80) << "lower edge of the panel";
    EXPECT_TRUE(entry.hasFocus()) << "the indicator took the keyboard focus";

    ASSERT_NE(clipboard(), kWords.toStdString());
    ASSERT_NO_FATAL_FAILURE(click(button(QStringLiteral("复制"))));
    EXPECT_TRUE(waitUntil([&] { return clipboard() == kWords.toStdString(); }, 3000))
        << "clipboard holds \"" << clipboard() << "\"";

    // While the hotkey is held its grab takes every key: "插入" pastes at the
    // release. Closing mid-recording hides at once; the recording's own stop
    // still pastes.
    ASSERT_NO_FATAL_FAILURE(click(button(QStringLiteral("插入"))));
    ASSERT_NO_FATAL_FAILURE(click(button(QStringLiteral("关闭"))));
    ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000)) << "the indicator stayed";
    EXPECT_TRUE(entry.hasFocus()) << "a click on the indicator took the keyboard focus";
    waitUntil([] { return false; }, 1000);
    EXPECT_FALSE(entry.showsText()) << "a paste went into the grab, and is lost";
    letGo();
    EXPECT_TRUE(waitUntil([&] { return entry.showsText(); }, 3000)) << "nothing was inserted";
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(entry.submit(), (kWords + kWords).toStdString());
}

TEST_F(IndicatorTest, AfterASilenceStopTheTextWaitsForAScreenReaderToInsertIt) {
    ASSERT_NO_FATAL_FAILURE(launch(QStringLiteral(SAYVO_BINARY)));
    GtkEntry entry(x_, keys_);
    QString error;
    ASSERT_TRUE(entry.open(&error)) << error.toStdString();
    // Started from the tray, the engine ends the recording itself once the
    // words stop coming (a held hotkey would keep it going).
    clickTrayItem(QStringLiteral("Activate"));
    ASSERT_TRUE(waitUntil([&] { return icon_.count() > 0; }, 5000)) << "no recording";
    ASSERT_TRUE(speak(kSpeech));
    ASSERT_TRUE(waitUntil([&] { return icon_.count() > 1; }, 10000))
        << "the recording did not stop by itself";
    waitUntil([] { return false; }, 1500);
    EXPECT_FALSE(entry.showsText()) << "a paste without being asked";
    EXPECT_TRUE(indicatorShown());
    EXPECT_EQ(shownText(), kWords);

    ASSERT_TRUE(reader_.press(app_->pid(), QStringLiteral("插入")));
    ASSERT_TRUE(waitUntil([&] { return entry.showsText(); }, 3000)) << "nothing was inserted";
    ASSERT_TRUE(reader_.press(app_->pid(), QStringLiteral("关闭")));
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000));
    // No recording is under way: closing pastes nothing more.
    waitUntil([] { return false; }, 1500);
    EXPECT_EQ(entry.submit(), kWords.toStdString());
}

}  // namespace
