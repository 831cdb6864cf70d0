#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTest>
#include <QWindow>
#include <algorithm>
#include <vector>

#include "SimPlatform.h"
#include "Spin.h"
#include "XKeyCatcher.h"
#include "XTestKeys.h"
#include "hotkey/HotkeyCombo.h"
#include "hotkey/HotkeyManager.h"
#include "platform/linux/X11KeyboardMonitor.h"

namespace sayvo {
namespace {

constexpr std::uint64_t kAll =
    KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;

class X11KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.isOpen());
        ASSERT_TRUE(monitor.canObserveGlobally());
        token = monitor.addGlobalMonitor(kAll, [this](const KeyEvent& e) { seen.push_back(e); });
        ASSERT_TRUE(token);
    }
    // Waits until `count` events arrived (or a generous limit), then a little more
    // so that unexpected extra events show up too.
    void await(std::size_t count) {
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < count && clock.elapsed() < 3000) spin(5);
        spin(50);
    }

    XTestKeys keys;
    X11KeyboardMonitor monitor;
    std::optional<MonitorToken> token;
    std::vector<KeyEvent> seen;
};

TEST_F(X11KeyboardTest, ChordsArriveAsFlagsChangesAndKeysWithTheirModifiers) {
    keys.press("Alt_L");
    keys.press("space");
    keys.release("Alt_L");  // modifier first, as people often do
    keys.release("space");
    await(4);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].type, KeyEventType::flagsChanged);
    EXPECT_EQ(seen[0].keyCode, 58);
    EXPECT_EQ(seen[0].modifierFlags, ModifierFlag::option);
    EXPECT_EQ(seen[1].type, KeyEventType::keyDown);
    EXPECT_EQ(seen[1].keyCode, 49);
    EXPECT_EQ(seen[1].modifierFlags, ModifierFlag::option);
    EXPECT_EQ(seen[2].type, KeyEventType::flagsChanged);
    EXPECT_EQ(seen[2].modifierFlags, 0u);
    EXPECT_EQ(seen[3].type, KeyEventType::keyUp);
    EXPECT_EQ(seen[3].modifierFlags, 0u);

    seen.clear();
    keys.press("Control_R");
    keys.press("Shift_L");
    keys.press("Super_L");
    keys.press("k");
    keys.release("k");
    keys.release("Super_L");
    keys.release("Shift_L");
    keys.release("Control_R");
    await(8);
    ASSERT_EQ(seen.size(), 8u);
    EXPECT_EQ(seen[0].keyCode, 62);
    EXPECT_EQ(seen[3].keyCode, 40);
    EXPECT_EQ(seen[3].modifierFlags,
              ModifierFlag::control | ModifierFlag::shift | ModifierFlag::command);
    EXPECT_EQ(seen[7].modifierFlags, 0u);

    // Removing the monitor stops the reports.
    monitor.removeMonitor(*token);
    seen.clear();
    keys.press("a");
    keys.release("a");
    spin(100);
    EXPECT_TRUE(seen.empty());
}

TEST_F(X11KeyboardTest, EveryLabelledKeyOfTheUsLayoutGetsItsLabel) {
    const std::pair<const char*, const char*> table[] = {
        {"a", "A"},         {"s", "S"},         {"d", "D"},
        {"f", "F"},         {"h", "H"},         {"g", "G"},
        {"z", "Z"},         {"x", "X"},         {"c", "C"},
        {"v", "V"},         {"b", "B"},         {"q", "Q"},
        {"w", "W"},         {"e", "E"},         {"r", "R"},
        {"y", "Y"},         {"t", "T"},         {"1", "1"},
        {"2", "2"},         {"3", "3"},         {"4", "4"},
        {"6", "6"},         {"5", "5"},         {"equal", "="},
        {"9", "9"},         {"7", "7"},         {"minus", "-"},
        {"8", "8"},         {"0", "0"},         {"bracketright", "]"},
        {"o", "O"},         {"u", "U"},         {"bracketleft", "["},
        {"i", "I"},         {"p", "P"},         {"Return", "↩"},
        {"l", "L"},         {"j", "J"},         {"apostrophe", "'"},
        {"k", "K"},         {"semicolon", ";"}, {"backslash", "\\"},
        {"comma", ","},     {"slash", "/"},     {"n", "N"},
        {"m", "M"},         {"period", "."},    {"Tab", "⇥"},
        {"space", "Space"}, {"grave", "`"},     {"BackSpace", "⌫"},
        {"Escape", "⎋"},    {"F1", "F1"},       {"F2", "F2"},
        {"F3", "F3"},       {"F4", "F4"},       {"F5", "F5"},
        {"F6", "F6"},       {"F7", "F7"},       {"F8", "F8"},
        {"F9", "F9"},       {"F10", "F10"},     {"F11", "F11"},
        {"F12", "F12"},     {"Left", "←"},      {"Right", "→"},
        {"Down", "↓"},      {"Up", "↑"},
    };
    for (const auto& [keysym, label] : table) {
        SCOPED_TRACE(keysym);
        seen.clear();
        const unsigned keycode = keys.keycodeOf(keysym);
        ASSERT_NE(keycode, 0u);
        keys.pressKeycode(keycode);
        keys.releaseKeycode(keycode);
        QElapsedTimer clock;
        clock.start();
        while (seen.size() < 2 && clock.elapsed() < 2000) spin(2);
        ASSERT_EQ(seen.size(), 2u);
        EXPECT_EQ(seen[0].type, KeyEventType::keyDown);
        EXPECT_EQ(HotkeyCombo::keyCodeToString(seen[0].keyCode), label);
        EXPECT_EQ(seen[1].keyCode, seen[0].keyCode);
    }
}

TEST_F(X11KeyboardTest, AHeldKeyIsReleasedOnceWhileTheServerRepeatsIt) {
    keys.setAutoRepeat(true);
    const auto hold = [&] {
        keys.press("space");
        spin(1200);  // well past the server's repeat delay
        keys.release("space");
        await(2);
    };
    hold();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].type, KeyEventType::keyDown);
    EXPECT_EQ(seen[1].type, KeyEventType::keyUp);

    // Sayvo's own focused window hears the repeats too.
    QWindow own;
    own.setGeometry(0, 0, 50, 50);
    own.show();
    own.requestActivate();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&own));
    std::vector<KeyEvent> local;
    const auto localToken = monitor.addLocalMonitor(kAll, [&](const KeyEvent& e) {
        local.push_back(e);
        return std::optional<KeyEvent>();
    });
    hold();
    keys.setAutoRepeat(false);
    monitor.removeMonitor(*localToken);
    ASSERT_GT(local.size(), 2u) << "no repeats reached the window";
    EXPECT_EQ(local.front().type, KeyEventType::keyDown);
    EXPECT_FALSE(local.front().isRepeat);
    EXPECT_EQ(std::count_if(local.begin(), local.end(),
                            [](const KeyEvent& e) { return e.type == KeyEventType::keyUp; }),
              1)
        << "released once, at the end";
    EXPECT_EQ(local.back().type, KeyEventType::keyUp);
}

TEST_F(X11KeyboardTest, TheFnKeyIsAModifierWithTheFunctionFlag) {
    const unsigned fn = keys.mapSpareKeycodeToFn();
    spin(100);  // let the mapping change reach the monitor
    keys.pressKeycode(fn);
    keys.press("Shift_L");
    keys.release("Shift_L");
    keys.releaseKeycode(fn);
    await(4);
    keys.restoreKeycode(fn);
    ASSERT_EQ(seen.size(), 4u);
    EXPECT_EQ(seen[0].type, KeyEventType::flagsChanged);
    EXPECT_EQ(seen[0].keyCode, 63);
    EXPECT_EQ(seen[0].modifierFlags, ModifierFlag::function);
    EXPECT_EQ(seen[1].modifierFlags, ModifierFlag::function | ModifierFlag::shift);
    EXPECT_EQ(seen[2].modifierFlags, ModifierFlag::function);
    EXPECT_EQ(seen[3].keyCode, 63);
    EXPECT_EQ(seen[3].modifierFlags, 0u);
}

TEST_F(X11KeyboardTest, KeysOutsideTheTableKeepAStableCodeOfTheirOwn) {
    keys.press("Print");
    keys.release("Print");
    await(2);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].keyCode, 1000 + 99);  // evdev KEY_SYSRQ
    EXPECT_EQ(HotkeyCombo::keyCodeToString(seen[0].keyCode), "Key1099");
}

// The hotkey as another application sees it: taken by Sayvo, never shared.
class HotkeyGrabTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.isOpen() && monitor.canObserveGlobally());
        storeHotkey(preferences, HotkeyCombo::controlOptionSpace);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
        target.focus();
    }
    void TearDown() override {
        keys.setAutoRepeat(false);
        for (const char* key : {"space", "d", "Alt_L", "Control_L"}) keys.release(key);
    }
    // Holds the chord with the server repeating, then lets go.
    void hold(std::initializer_list<const char*> chord, int ms) {
        for (const char* key : chord) keys.press(key);
        spin(ms);
        for (auto key = std::rbegin(chord); key != std::rend(chord); ++key) keys.release(*key);
        spin(50);
        scheduler.runUntilIdle();
    }
    std::vector<std::string> received(std::size_t atLeast) {
        std::vector<std::string> names;
        for (const auto& key : target.collect(atLeast, 1000)) {
            names.push_back((key.press ? "+" : "-") + key.keysym);
        }
        return names;
    }

    XKeyCatcher target;
    XTestKeys keys;
    X11KeyboardMonitor monitor;
    sim::FakePreferences preferences;
    sim::SimScheduler scheduler;
    std::shared_ptr<HotkeyManager> manager = HotkeyManager::create(preferences, monitor, scheduler);
    std::string reports;
};

using Keys = std::vector<std::string>;

TEST_F(HotkeyGrabTest, TheFocusedApplicationGetsNoneOfTheHotkeyEvenWithLocksOn) {
    keys.setAutoRepeat(true);
    for (const bool locks : {false, true}) {
        SCOPED_TRACE(locks ? "Caps Lock and Num Lock on" : "no locks");
        if (locks) {
            for (const char* lock : {"Caps_Lock", "Num_Lock"}) keys.press(lock), keys.release(lock);
            received(4);
        }
        reports.clear();
        hold({"Control_L", "Alt_L", "space"}, 2000);
        keys.press("a");
        keys.release("a");
        EXPECT_EQ(received(6), (Keys{"+Control_L", "+Alt_L", "-Alt_L", "-Control_L", "+a", "-a"}));
        EXPECT_EQ(reports, "DU");
    }
    for (const char* lock : {"Caps_Lock", "Num_Lock"}) keys.press(lock), keys.release(lock);
}

TEST_F(HotkeyGrabTest, TheGrabFollowsACaptureAndATakenCombinationIsReported) {
    manager->startRecordingHotkey();
    hold({"space"}, 50);
    EXPECT_EQ(received(2), (Keys{"+space", "-space"})) << "given back during a capture";

    const std::uint64_t controlOption = ModifierFlag::control | ModifierFlag::option;
    ASSERT_TRUE(manager->recordHotkey({KeyEventType::keyDown, 2, controlOption, false}));
    EXPECT_FALSE(manager->isHotkeyTaken);
    hold({"Control_L", "Alt_L", "space"}, 50);
    hold({"Control_L", "Alt_L", "d"}, 50);
    EXPECT_EQ(received(10), (Keys{"+Control_L", "+Alt_L", "+space", "-space", "-Alt_L",
                                  "-Control_L", "+Control_L", "+Alt_L", "-Alt_L", "-Control_L"}));
    EXPECT_EQ(reports, "DU");

    XKeyCatcher other;
    other.grab("h", XKeyCatcher::controlMask | XKeyCatcher::altMask);
    manager->startRecordingHotkey();
    manager->recordHotkey({KeyEventType::keyDown, 4, controlOption, false});
    EXPECT_TRUE(manager->isHotkeyTaken) << "Ctrl+Alt+H belongs to another program";
}

}  // namespace
}  // namespace sayvo
