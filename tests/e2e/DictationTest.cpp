// The real binary as a new user meets it, with the on-device engine, from the
// first launch to quitting.
#include <QRegularExpression>

#include "E2e.h"

using DictationTest = E2eTest;

TEST_F(DictationTest, ANewUserDictatesIntoAnotherApplicationUsesTheTrayAndQuits) {
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY));  // its indicator made unmapped, for a quick show
    EXPECT_FALSE(waitUntil([&] { return window().has_value(); }, 1000)) << "a window mapped";

    // Without fn the default is Ctrl+Alt+Space. The first dictation loads the
    // model while the words come: none may be lost. Shift held through the
    // second paste must not change it.
    const Keys hotkey = {"Control_L", "Alt_L", "space"};
    for (const bool shiftHeld : {false, true}) {
        SCOPED_TRACE(shiftHeld);
        Entry entry;
        ASSERT_TRUE(openEntry(entry));
        dictate(hotkey, true);
        QElapsedTimer sinceRelease;
        sinceRelease.start();
        if (shiftHeld) xdo({"keydown", "Shift_L"});
        ASSERT_TRUE(waitUntil([&] { return !entry.text().empty(); }, 5000, 2)) << "nothing arrived";
        if (shiftHeld) xdo({"keyup", "Shift_L"});
        if (!shiftHeld) measure("release_to_text_in_entry", sinceRelease.elapsed(), "ms");
        ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000)) << "the indicator stayed";
        EXPECT_EQ(focus(), entry.id) << "the entry lost the focus";
        EXPECT_EQ(entry.text(), kPasted);
    }
    EXPECT_EQ(clipboard(), kPasted) << "the text stays for a manual paste";
    {  // A focused window gone between the release and the paste breaks nothing.
        Entry gone;
        ASSERT_TRUE(openEntry(gone));
        clearClipboard();
        dictate(hotkey, true);
        gone.kill();
        // Not judged by the indicator: a search among windows that vanish meanwhile can fail.
        EXPECT_TRUE(waitUntil([&] { return clipboard() == kPasted; }, 5000, 50))
            << "the text waits on the clipboard";
        EXPECT_EQ(app_.state(), QProcess::Running);
        ASSERT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000));
    }
    {  // A new default source between two recordings is the next one's microphone.
        secondMicrophone_ = run("pactl", {"load-module", "module-null-sink", "sink_name=mic2"})
                                .value_or("")
                                .trimmed();
        ASSERT_TRUE(run("pactl", {"set-default-source", "mic2.monitor"}));
        Entry entry;
        ASSERT_TRUE(openEntry(entry));
        dictate(hotkey, false, "mic2");
        // "mic" hears only silence; mic2, idle until now, may hold back its first words.
        EXPECT_TRUE(waitUntil([&] { return entry.text().ends_with("meters "); }, 5000))
            << entry.text();
        ASSERT_TRUE(run("pactl", {"set-default-source", "mic.monitor"}));
    }

    // A left click records until the words stop; the text waits in the
    // indicator, which never takes the focus, until it is inserted.
    Entry entry;
    ASSERT_TRUE(openEntry(entry));
    clearClipboard();
    const int before = tray_.iconChanges;
    callTray({"org.kde.StatusNotifierItem.Activate", "640", "12"});
    ASSERT_TRUE(waitUntil([&] { return indicatorShown(); }, 5000));
    EXPECT_TRUE(waitUntil([&] { return tray_.iconChanges > before; }, 5000)) << "no recording";
    const auto id = QString::number(*window("Sayvo indicator"));
    const auto hints = run("xprop", {"-notype", "-id", id, "WM_HINTS"}).value_or("");
    EXPECT_TRUE(hints.contains("accepts input or input focus: False")) << hints.toStdString();
    // flags (2: the decorations are given), functions, decorations
    const auto motif = run("xprop", {"-notype", "-id", id, "_MOTIF_WM_HINTS"}).value_or("");
    const QStringList items = QString(motif).section("= ", 1).split(", ");
    EXPECT_TRUE((items.value(0).toUInt(nullptr, 16) & 2) && items.value(2).toUInt(nullptr, 16) == 0)
        << "asks for decorations: " << motif.toStdString();
    EXPECT_EQ(focus(), entry.id) << "the indicator took the keyboard focus";
    ASSERT_TRUE(speak(env_));
    ASSERT_TRUE(waitUntil([&] { return tray_.iconChanges > before + 1; }, 15000))
        << "the recording did not stop by itself";
    pause(1500);
    EXPECT_EQ(entry.text(), "") << "a paste without being asked";
    EXPECT_EQ(clipboard(), "") << "a copy without being asked";
    EXPECT_EQ(shownText(), kWords);
    ASSERT_TRUE(press("插入"));
    ASSERT_TRUE(waitUntil([&] { return entry.text() == kPasted; }, 3000)) << entry.text();
    ASSERT_TRUE(press("关闭"));
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 3000));
    pause(1500);
    EXPECT_EQ(entry.text(), kPasted);

    Entry other;
    ASSERT_TRUE(openEntry(other));
    ASSERT_NO_FATAL_FAILURE(openPanel());
    app_.terminate();
    EXPECT_TRUE(exitedCleanly());

    // The default is never stored: once the keyboard has fn, fn dictates.
    // GNOME's tray extension shows the item's own menu.
    fnMapped_ = run("xmodmap", {"-e", "keycode 247 = XF86Fn"}).has_value();
    env_.insert("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
    ASSERT_NO_FATAL_FAILURE(launch(SAYVO_BINARY));
    ASSERT_TRUE(focusOn(other.id));
    xdo({"keydown", "XF86Fn"});
    EXPECT_TRUE(waitUntil([&] { return indicatorShown(); }, 5000)) << "fn started nothing";
    EXPECT_EQ(focus(), other.id) << "the other application lost the focus";
    xdo({"keyup", "XF86Fn"});
    EXPECT_TRUE(waitUntil([&] { return !indicatorShown(); }, 5000)) << "the indicator stayed";
    const QString menu =
        callTray({"org.freedesktop.DBus.Properties.Get", "org.kde.StatusNotifierItem", "Menu"})
            .section('\'', 1, 1);  // (<objectpath '/path'>,)
    ASSERT_FALSE(menu.isEmpty() || menu == "/") << "no menu";
    const QString layout =
        callTray({"com.canonical.dbusmenu.GetLayout", "0", "int32 -1", "[]"}, menu);
    const auto clickMenu = [&](const QString& label) {
        const QRegularExpression item(QString("\\((\\d+), \\{[^}]*'label': <'%1'>").arg(label));
        const QString id = item.match(layout).captured(1);
        ASSERT_FALSE(id.isEmpty())
            << "no " << label.toStdString() << " in " << layout.toStdString();
        callTray({"com.canonical.dbusmenu.Event", id, "clicked", "<0>", "0"}, menu);
    };
    ASSERT_NO_FATAL_FAILURE(clickMenu("设置…"));
    EXPECT_TRUE(waitUntil([&] { return panelShown(); }, 5000)) << "no panel";
    ASSERT_NO_FATAL_FAILURE(clickMenu("退出"));
    EXPECT_TRUE(exitedCleanly());
}
