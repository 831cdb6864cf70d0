// The tray panel and the indicator's buttons, all on one running Sayvo: an
// API key typed into the panel, a dictation that then runs in the cloud and
// shows its words as they come, the indicator's buttons clicked with the
// pointer, Chinese text pasted intact, a new hotkey captured, and quitting
// pressed by a screen reader; another application keeps the keyboard.
#include "E2e.h"

using PanelTest = E2eTest;

TEST_F(PanelTest, AKeySavedInThePanelDictatesInTheCloudAndACapturedHotkeyTakesOver) {
    ASSERT_TRUE(startMock({}));
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_CLOUD_BINARY, ""));
    Entry entry;
    ASSERT_TRUE(openEntry(entry));

    // The key, typed at the keyboard: Return saves and leaves the field open,
    // the checkmark closes it, Escape then closes the panel.
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_NO_FATAL_FAILURE(click("编辑 API Key"));
    xdo({"key", "t", "e", "s", "t", "minus", "k", "e", "y", "Return"});
    ASSERT_TRUE(waitUntil([&] { return preferences().contains("\"test-key\""); }, 3000))
        << preferences().toStdString();
    ASSERT_NO_FATAL_FAILURE(click("保存 API Key"));
    ASSERT_FALSE(find("label", "API Key：••••••st-key").isEmpty()) << "the key is not masked";
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000)) << "Escape left the panel open";

    // The next dictation goes to the service, and the indicator shows its
    // words as they come, in the lower middle of the screen, without taking
    // the focus.
    ASSERT_TRUE(focusOn(entry.id));
    ASSERT_TRUE(hold(kAltSpace)) << "no recording";
    ASSERT_TRUE(speak());
    // Each look starts a Python process: not too often.
    ASSERT_TRUE(waitUntil([&] { return shownText() == kWords; }, 5000, 200)) << shownText();
    const auto indicator = window("Sayvo indicator");
    ASSERT_TRUE(indicator);
    QMap<QString, int> at;  // X, Y, WIDTH, HEIGHT
    for (const QString& line :
         xdo({"getwindowgeometry", "--shell", QString::number(*indicator)}).split('\n'))
        at[line.section('=', 0, 0)] = line.section('=', 1).toInt();
    const QStringList screen = xdo({"getdisplaygeometry"}).split(' ');  // width height
    EXPECT_NEAR(at["X"] + at["WIDTH"] / 2.0, screen.value(0).toInt() / 2.0, 1.0);
    EXPECT_GT(at["Y"], screen.value(1).toInt() / 2);
    EXPECT_LE(at["Y"] + at["HEIGHT"], screen.value(1).toInt());
    EXPECT_EQ(focus(), entry.id) << "the indicator took the keyboard focus";

    // "复制" copies. While the hotkey is held its grab takes every key:
    // "插入" pastes at the release. Closing mid-recording hides at once; the
    // recording's own stop still pastes.
    ASSERT_NE(clipboard(), kWords);
    ASSERT_NO_FATAL_FAILURE(click("复制"));
    EXPECT_TRUE(waitUntil([&] { return clipboard() == kWords; }, 3000)) << clipboard();
    ASSERT_NO_FATAL_FAILURE(click("插入"));
    ASSERT_NO_FATAL_FAILURE(click("关闭"));
    ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000)) << "the indicator stayed";
    EXPECT_EQ(focus(), entry.id) << "a click on the indicator took the keyboard focus";
    pause(1000);
    EXPECT_EQ(entry.text(), "") << "a paste went into the grab, and is lost";
    letGo(kAltSpace);
    ASSERT_TRUE(waitUntil([&] { return !reports().empty(); }, 3000));
    EXPECT_EQ(reports().front()["task_finished"], true) << reports().front();
    pause(1000);
    EXPECT_EQ(entry.text(), kWords + kWords);

    // Ctrl+Alt+D, captured in the panel, takes over: Alt+Space no longer
    // records, and Chinese from the service, dictated with Ctrl+Alt+D, arrives
    // with its characters intact; neither hotkey types into the entry.
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_NO_FATAL_FAILURE(click("更改快捷键"));
    const Keys captured = {"Control_L", "Alt_L", "d"};
    xdo(QStringList{"keydown"} + keyNames(captured));
    letGo(captured);
    ASSERT_TRUE(waitUntil([&] { return preferences().contains("\"hotkeyKeyCode\": 2"); }, 3000))
        << preferences().toStdString();
    xdo({"key", "Escape"});
    ASSERT_TRUE(waitUntil([&] { return !panelShown(); }, 3000));
    ASSERT_TRUE(startMock({"--result-text", QString::fromStdString(kChinese)}));
    ASSERT_TRUE(focusOn(entry.id));
    EXPECT_FALSE(hold(kAltSpace)) << "a recording started: by Alt+Space, or late, by the capture";
    letGo(kAltSpace);
    dictate(captured);
    const std::string all = kWords + kWords + kChinese;
    EXPECT_TRUE(waitUntil([&] { return entry.text() == all; }, 5000)) << entry.text();

    // "退出", pressed by a screen reader, ends Sayvo cleanly; its tray item goes.
    ASSERT_NO_FATAL_FAILURE(openPanel());
    ASSERT_TRUE(waitUntil([&] { return press("退出"); }, 5000, 200));
    EXPECT_TRUE(exitedCleanly());
    EXPECT_FALSE(bus().interface()->isServiceRegistered(tray_.items.last()))
        << "the tray item is still on the bus";
}
