// The tray panel and the indicator's buttons, all on one running Sayvo: an
// API key typed into the panel, a dictation that then runs in the cloud and
// shows its words as they come, the indicator's buttons clicked with the
// pointer, Chinese text pasted intact, a new hotkey captured, and quitting
// pressed by a screen reader; another application keeps the keyboard.

#include <QDBusConnectionInterface>
#include <QJsonDocument>
#include <QProcess>

#include "DictationFixture.h"
#include "GtkEntry.h"
#include "MockService.h"

namespace {

class PanelTest : public DictationFixture {
protected:
    void rightClickTrayItem() {
        clickTrayItem("ContextMenu");
        ASSERT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
    }

    const Keys hotkey_ = {"Alt_L", "space"};
    MockService mock_;
};

TEST_F(PanelTest, AKeySavedInThePanelDictatesInTheCloudAndACapturedHotkeyTakesOver) {
    ASSERT_NO_FATAL_FAILURE(startScreenReader());
    ASSERT_TRUE(mock_.start({}));
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY));
    GtkEntry entry(x_, keys_);
    ASSERT_EQ(entry.open(), "");

    // The key, typed at the keyboard: Return saves and leaves the field open,
    // the checkmark closes it, Escape then closes the panel.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_NO_FATAL_FAILURE(click("编辑 API Key"));
    for (const char* key : {"t", "e", "s", "t", "minus", "k", "e", "y", "Return"}) tap(key);
    ASSERT_TRUE(waitUntil([&] { return app_->preferences().contains("\"test-key\""); }, 3000))
        << app_->preferences().toStdString();
    ASSERT_NO_FATAL_FAILURE(click("保存 API Key"));
    ASSERT_TRUE(find("label", "API Key：••••••st-key")) << "the key row is not masked";
    tap("Escape");
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000)) << "Escape left the panel open";

    // The next dictation goes to the service, and the indicator shows its
    // words as they come, in the lower middle of the screen, without taking
    // the focus.
    entry.focus();
    ASSERT_GE(hold(hotkey_), 0) << "no recording";
    ASSERT_TRUE(speak(kSpeech));
    // Each look starts a Python process: not too often.
    ASSERT_TRUE(waitUntil([&] { return shownText() == kWords; }, 5000, 200))
        << "the indicator shows \"" << shownText() << "\"";
    screenshot("indicator_with_cloud_text");
    const auto frame = x_.findViewable("Sayvo indicator", app_->processId());
    ASSERT_TRUE(frame);
    EXPECT_NEAR(frame->x + frame->width / 2.0, x_.screenWidth() / 2.0, 1.0);
    EXPECT_GT(frame->y, x_.screenHeight() / 2);
    EXPECT_LE(frame->y + frame->height, x_.screenHeight());
    EXPECT_TRUE(entry.hasFocus()) << "the indicator took the keyboard focus";

    // "复制" copies. While the hotkey is held its grab takes every key:
    // "插入" pastes at the release. Closing mid-recording hides at once; the
    // recording's own stop still pastes.
    ASSERT_NE(clipboard(), kWords);
    ASSERT_NO_FATAL_FAILURE(click("复制"));
    EXPECT_TRUE(waitUntil([&] { return clipboard() == kWords; }, 3000))
        << "clipboard holds \"" << clipboard() << "\"";
    ASSERT_NO_FATAL_FAILURE(click("插入"));
    ASSERT_NO_FATAL_FAILURE(click("关闭"));
    ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000)) << "the indicator stayed";
    EXPECT_TRUE(entry.hasFocus()) << "a click on the indicator took the keyboard focus";
    waitUntil([] { return false; }, 1000);
    EXPECT_FALSE(entry.showsText()) << "a paste went into the grab, and is lost";
    letGo(hotkey_);
    ASSERT_TRUE(waitUntil([&] { return !mock_.connections().empty(); }, 3000));
    EXPECT_TRUE(waitUntil([&] { return entry.showsText(); }, 5000))
        << "nothing was pasted; the service saw "
        << QJsonDocument(mock_.connections().front()).toJson().toStdString();
    EXPECT_TRUE(mock_.connections().front()["authorization_ok"].toBool());
    waitUntil([] { return false; }, 500);
    EXPECT_EQ(entry.submit(), kWords + kWords);

    // Ctrl+Alt+D, captured in the panel, takes over: Alt+Space no longer
    // records, and Chinese from the service, dictated with Ctrl+Alt+D, arrives
    // with its characters intact; neither hotkey types into the entry.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_NO_FATAL_FAILURE(click("更改快捷键"));
    const Keys captured = {"Control_L", "Alt_L", "d"};
    for (const auto& key : captured) keys_.press(key);
    letGo(captured);
    ASSERT_TRUE(
        waitUntil([&] { return app_->preferences().contains("\"hotkeyKeyCode\": 2"); }, 3000))
        << app_->preferences().toStdString();
    tap("Escape");
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));
    const std::string chinese = "向前走十米。";
    ASSERT_TRUE(mock_.start({"--result-text", QString::fromStdString(chinese)}));
    GtkEntry target(x_, keys_);
    ASSERT_EQ(target.open(), "");
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000)) << "still shown";
    EXPECT_LT(hold(hotkey_), 0) << "a recording started: by Alt+Space, or late, by the capture";
    letGo(hotkey_);
    waitUntil([&] { return !indicatorShown(); }, 5000);
    ASSERT_GE(hold(captured), 0) << "no recording";
    ASSERT_TRUE(speak(kSpeech));
    waitUntil([] { return false; }, 1000);
    QElapsedTimer sinceRelease;
    sinceRelease.start();
    letGo(captured);
    ASSERT_TRUE(waitUntil([&] { return target.showsText(); }, 5000, 2)) << "nothing arrived";
    measure("cloud_release_to_text_in_entry", sinceRelease.elapsed(), "ms");
    EXPECT_EQ(target.submit(), chinese);

    // "退出", pressed by a screen reader, ends Sayvo cleanly; its tray item goes.
    ASSERT_NO_FATAL_FAILURE(rightClickTrayItem());
    ASSERT_TRUE(waitUntil([&] { return press("退出"); }, 5000, 200));
    ASSERT_TRUE(waitUntil([&] { return !app_->running(); }, 5000)) << "still running";
    EXPECT_EQ(app_->exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app_->exitCode(), 0);
    EXPECT_FALSE(bus().interface()->isServiceRegistered(trayItem().service))
        << "the tray item is still on the bus";
}

}  // namespace
