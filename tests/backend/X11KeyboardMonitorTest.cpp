#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QWindow>
#include <algorithm>

#include "SimPlatform.h"
#include "Spin.h"
#include "XKeyCatcher.h"
#include "XTestKeys.h"
#include "hotkey/HotkeyCombo.h"
#include "hotkey/HotkeyManager.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/X11KeyboardMonitor.h"

namespace sayvo {
namespace {

using Keys = std::vector<std::string>;

class X11KeyboardMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.isOpen() && monitor.canObserveGlobally());
        const auto all = KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;
        // "v49 o": key down (^ up, ~ flags changed), portable code, modifiers (c s o m f).
        token = monitor.addGlobalMonitor(all, [this](const KeyEvent& e) {
            std::string event = e.type == KeyEventType::keyDown ? "v"
                                : e.type == KeyEventType::keyUp ? "^"
                                                                : "~";
            event += std::to_string(e.keyCode) + " ";
            for (const char* flag = "csomf";
                 const auto bit : {ModifierFlag::control, ModifierFlag::shift, ModifierFlag::option,
                                   ModifierFlag::command, ModifierFlag::function}) {
                if (e.modifierFlags & bit) event += *flag;
                ++flag;
            }
            seen.push_back(event);
        });
        ASSERT_TRUE(token);
    }
    void TearDown() override {
        keys.setAutoRepeat(false);
        for (const char* key : {"space", "d", "Alt_L", "Control_L"}) keys.release(key);
    }
    // "+key" presses, "-key" releases; "fn" is the key mapped to XF86Fn.
    void type(const Keys& steps) {
        for (const auto& step : steps) {
            const unsigned code = step.substr(1) == "fn" ? fn : keys.keycodeOf(step.substr(1));
            step[0] == '+' ? keys.pressKeycode(code) : keys.releaseKeycode(code);
        }
    }
    // Holds a chord for `ms`, the server repeating it, then runs what the logic posted.
    void hold(const Keys& chord, int ms) {
        for (const auto& key : chord) keys.press(key);
        spin(ms);
        for (auto key = chord.rbegin(); key != chord.rend(); ++key) keys.release(*key);
        spin(50);
        scheduler.runUntilIdle();
    }
    // Takes Ctrl+Alt+Space as the hotkey, with another application focused.
    void listen() {
        storeHotkey(preferences, HotkeyCombo::controlOptionSpace);
        manager->setKeyDownCallback([this] { reports += "D"; });
        manager->setKeyUpCallback([this] { reports += "U"; });
        manager->startListening();
        target.focus();
    }

    XTestKeys keys;
    QtScheduler clock;
    X11KeyboardMonitor monitor{clock};
    std::optional<MonitorToken> token;
    Keys seen;
    unsigned fn = 0;
    XKeyCatcher target;
    sim::FakePreferences preferences;
    sim::SimScheduler scheduler;
    std::shared_ptr<HotkeyManager> manager = HotkeyManager::create(preferences, monitor, scheduler);
    std::string reports;
};

TEST_F(X11KeyboardMonitorTest, KeysArriveOnceWithPortableCodesAndTheModifiersHeld) {
    fn = keys.mapSpareKeycodeToFn();
    spin(100);  // lets the mapping change reach the monitor
    keys.setAutoRepeat(true);
    const std::pair<Keys, Keys> cases[] = {
        {{"+Alt_L", "+space", "-Alt_L", "-space"}, {"~58 o", "v49 o", "~58 ", "^49 "}},
        {{"+Control_R", "+Super_L", "+k", "-k", "-Super_L", "-Control_R"},
         {"~62 c", "~55 cm", "v40 cm", "^40 cm", "~55 c", "~62 "}},
        {{"+fn", "+Shift_L", "-Shift_L", "-fn"}, {"~63 f", "~56 sf", "~56 f", "~63 "}},
        {{"+Print", "-Print"}, {"v1099 ", "^1099 "}},  // outside the table: a code of its own
    };
    for (const auto& [steps, expected] : cases) {
        seen.clear();
        type(steps);
        spinUntil([&] { return seen.size() >= expected.size(); }, 3000);
        spin(50);  // room for unexpected extra events
        EXPECT_EQ(seen, expected);
    }
    keys.restoreKeycode(fn);
    seen.clear();
    hold({"space"}, 1000);  // well past the server's repeat delay
    EXPECT_EQ(seen, (Keys{"v49 ", "^49 "})) << "raw events never repeat";

    monitor.removeMonitor(*token);
    seen.clear();
    type({"+a", "-a"});
    spin(100);
    EXPECT_TRUE(seen.empty()) << "a removed monitor hears nothing";
}

// The capture of a new hotkey in the panel: its key press, typed into our
// own window, comes just before the grab of that very key.
TEST_F(X11KeyboardMonitorTest, AKeyTypedIntoOurWindowBeforeItsGrabIsNotHeardGlobally) {
    QWindow window;
    window.resize(100, 100);
    window.show();
    keys.focusWindow(window.winId());
    ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == &window; }));
    spin(50);
    seen.clear();
    for (const char* key : {"Control_L", "Alt_L", "d"}) keys.press(key);
    monitor.reserveKey(2, ModifierFlag::control | ModifierFlag::option);  // before the loop runs
    spin(100);
    for (const char* key : {"d", "Alt_L", "Control_L"}) keys.release(key);
    spin(100);
    monitor.releaseReservedKey();
    EXPECT_EQ(std::count(seen.begin(), seen.end(), "v2 co"), 0) << "a hotkey press out of nothing";
}

TEST_F(X11KeyboardMonitorTest, TheFocusedApplicationGetsNoneOfTheHotkeyEvenWithLocksOn) {
    listen();
    keys.setAutoRepeat(true);
    const Keys locks{"+Caps_Lock", "-Caps_Lock", "+Num_Lock", "-Num_Lock"};
    for (const bool locksOn : {false, true}) {
        if (locksOn) type(locks), target.collect(4);
        reports.clear();
        hold({"Control_L", "Alt_L", "space"}, 1000);
        type({"+a", "-a"});
        EXPECT_EQ(target.collect(6),
                  (Keys{"+Control_L", "+Alt_L", "-Alt_L", "-Control_L", "+a", "-a"}));
        EXPECT_EQ(reports, "DU") << (locksOn ? "with Caps Lock and Num Lock on" : "");
    }
    type(locks);
}

TEST_F(X11KeyboardMonitorTest, ACaptureGivesTheKeysBackAndATakenCombinationIsReported) {
    listen();
    manager->startRecordingHotkey();
    hold({"Control_L", "Alt_L", "space"}, 50);
    EXPECT_EQ(target.collect(6),
              (Keys{"+Control_L", "+Alt_L", "+space", "-space", "-Alt_L", "-Control_L"}));
    XKeyCatcher other;
    other.grabWithControlAlt("h");
    const std::uint64_t controlOption = ModifierFlag::control | ModifierFlag::option;
    manager->recordHotkey({KeyEventType::keyDown, 4, controlOption, false});
    EXPECT_TRUE(manager->isHotkeyTaken) << "Ctrl+Alt+H belongs to another program";
    manager->startRecordingHotkey();
    ASSERT_TRUE(manager->recordHotkey({KeyEventType::keyDown, 2, controlOption, false}));
    EXPECT_FALSE(manager->isHotkeyTaken);
    hold({"Control_L", "Alt_L", "d"}, 50);
    EXPECT_EQ(target.collect(4), (Keys{"+Control_L", "+Alt_L", "-Alt_L", "-Control_L"}));
    EXPECT_EQ(reports, "DU") << "Ctrl+Alt+D is the hotkey now";
}

}  // namespace
}  // namespace sayvo
