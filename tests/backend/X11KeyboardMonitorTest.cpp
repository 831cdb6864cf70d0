#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QTest>
#include <QWindow>

#include "SimPlatform.h"
#include "XTestKeys.h"
#include "hotkey/HotkeyManager.h"
#include "platform/linux/services/QtScheduler.h"
#include "platform/linux/x11/X11KeyboardMonitor.h"

using namespace sayvo;
using Keys = std::vector<std::string>;

constexpr std::uint64_t kControlOption = ModifierFlag::control | ModifierFlag::option;

// The real monitor under the logic's hotkey manager, another application focused.
class X11KeyboardMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.isOpen() && monitor.canObserveGlobally());
        keys.focusWindow(target.window());
    }
    void TearDown() override {
        keys.setAutoRepeat(false);
        for (const char* key : {"space", "d", "Alt_L", "Control_L"}) keys.release(key);
    }
    void tap(const Keys& keysyms) {
        for (const auto& key : keysyms) keys.press(key), keys.release(key);
    }

    XTestKeys keys;
    XKeyCatcher target;
    QtScheduler clock;
    X11KeyboardMonitor monitor{clock};
    sim::FakePreferences preferences;
    sim::SimScheduler scheduler;
    sim::SourceTranslations translations;
    std::shared_ptr<HotkeyManager> manager =
        HotkeyManager::create(preferences, monitor, scheduler, translations);
};

// The capture of a new hotkey in the panel: its key press, typed into our
// own window, comes just before the grab of that very key.
TEST_F(X11KeyboardMonitorTest, AKeyTypedIntoOurWindowBeforeItsGrabIsNotHeardGlobally) {
    std::vector<std::uint16_t> downs;
    ASSERT_TRUE(monitor.addGlobalMonitor(KeyEventMask::keyDown,
                                         [&](const KeyEvent& e) { downs.push_back(e.keyCode); }));
    QWindow window;
    window.resize(100, 100), window.show(), keys.focusWindow(window.winId());
    ASSERT_TRUE(QTest::qWaitFor([&] { return QGuiApplication::focusWindow() == &window; }));
    for (const char* key : {"Control_L", "Alt_L", "d"}) keys.press(key);
    monitor.reserveKey(2, kControlOption);  // before the loop runs
    QTest::qWait(100);
    for (const char* key : {"d", "Alt_L", "Control_L"}) keys.release(key);
    QTest::qWait(100);
    monitor.releaseReservedKey(), keys.focusWindow(target.window());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !QGuiApplication::focusWindow(); }));
    tap({"a"});
    ASSERT_TRUE(QTest::qWaitFor([&] { return !downs.empty(); }));
    EXPECT_EQ(downs, std::vector<std::uint16_t>{0}) << "D heard out of nothing";
}

TEST_F(X11KeyboardMonitorTest, TheFocusedAppGetsNoneOfTheHotkeyWithLocksOnAndATakenOneIsReported) {
    storeHotkey(preferences, HotkeyCombo::controlOptionSpace);
    std::string reports;
    manager->setKeyDownCallback([&] { reports += "D"; });
    manager->setKeyUpCallback([&] { reports += "U"; });
    manager->startListening(), keys.setAutoRepeat(true);
    tap({"Caps_Lock", "Num_Lock"}), target.collect(4);
    for (const char* key : {"Control_L", "Alt_L", "space"}) keys.press(key);
    QTest::qWait(1000);  // well past the server's repeat delay
    for (const char* key : {"space", "Alt_L", "Control_L"}) keys.release(key);
    QTest::qWait(50);
    scheduler.runUntilIdle(), tap({"a"});  // what the logic posted, then a key to the app
    EXPECT_EQ(target.collect(6),
              (Keys{"+Control_L", "+Alt_L", "-Alt_L", "-Control_L", "+a", "-a"}));
    EXPECT_EQ(reports, "DU");

    tap({"Caps_Lock", "Num_Lock"});
    XKeyCatcher other;
    other.grabWithControlAlt("h");
    EXPECT_EQ(monitor.reserveKey(4, kControlOption), KeyReservation::heldElsewhere);
    EXPECT_EQ(monitor.reserveKey(2, kControlOption), KeyReservation::reserved);
}

// On a German layout: AltGr types @ and €, so it never stands alone as the
// hotkey; the capture names keys as the layout does.
TEST_F(X11KeyboardMonitorTest, KeysAreJudgedAndNamedByTheLayoutInUse) {
    ASSERT_EQ(std::system("setxkbmap de"), 0);
    QTest::qWait(200);  // the keymap change reaches our connection as events
    const struct {
        std::uint16_t code;
        KeyRole role;
        const char* name;
    } keysOnGerman[] = {{1084, KeyRole::selectsLevel, "AltGr"},  // the level-3 key
                        {41, KeyRole::types, "Ö"},               // US ';'
                        {16, KeyRole::types, "Z"},               // US 'Y'
                        {96, KeyRole::standsAlone, "F5"},
                        {1119, KeyRole::standsAlone, "Pause"}};
    for (const auto& k : keysOnGerman) {
        EXPECT_EQ(monitor.keyRole(k.code), k.role) << k.name;
        EXPECT_EQ(monitor.keyName(k.code), k.name);
    }
    manager->startRecordingHotkey();
    EXPECT_FALSE(manager->recordHotkey({KeyEventType::keyDown, 1084, 0, false}));
    EXPECT_EQ(manager->captureRefusal.get(), "AltGr 用于输入字符，不能作为快捷键");
    EXPECT_TRUE(manager->recordHotkey({KeyEventType::keyDown, 41, ModifierFlag::control, false}));
    EXPECT_EQ(manager->displayString(), "Ctrl+Ö");
    ASSERT_EQ(std::system("setxkbmap us"), 0);
}
