#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QWindow>

#include "Spin.h"
#include "XKeyCatcher.h"
#include "XTestKeys.h"
#include "platform/linux/QtScheduler.h"
#include "platform/linux/X11AccessibilityTrust.h"
#include "platform/linux/X11SyntheticKeyboard.h"

namespace sayvo {
namespace {

constexpr std::uint64_t kAll =
    KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;

// The logic's paste: V down and up carrying the command flag only.
void postCommandV(X11SyntheticKeyboard& synthetic) {
    const auto source = synthetic.createEventSource(EventSourceStateID::combinedSessionState);
    ASSERT_TRUE(source);
    for (const bool down : {true, false}) {
        auto event = synthetic.createKeyboardEvent(source.get(), KeyCode::v, down);
        ASSERT_TRUE(event);
        event->flags = ModifierFlag::command;
        synthetic.post(EventTapLocation::sessionEventTap, *event);
    }
}

struct KeyWindow : QWindow {
    std::vector<int> keys;  // Qt keys, negative when released
    void keyPressEvent(QKeyEvent* e) override { keys.push_back(e->key()); }
    void keyReleaseEvent(QKeyEvent* e) override { keys.push_back(-e->key()); }
};

TEST(X11SyntheticKeyboardTest, PasteIsCtrlVWhereverTheFocusIsAndOurMonitorsNeverHearIt) {
    XTestKeys keys;
    struct Release {
        XTestKeys& keys;
        ~Release() {
            for (const char* key : {"Shift_L", "Control_L", "v"}) keys.release(key);
        }
    } release{keys};
    QtScheduler clock;
    X11KeyboardMonitor monitor{clock};
    X11SyntheticKeyboard synthetic{monitor};
    EXPECT_TRUE(X11AccessibilityTrust(monitor).isProcessTrustedWithOptions(
        {{kTrustedCheckOptionPrompt, true}}));
    std::vector<KeyEvent> heard;
    ASSERT_TRUE(monitor.addGlobalMonitor(kAll, [&](const KeyEvent& e) { heard.push_back(e); }));
    monitor.addLocalMonitor(kAll, [&](const KeyEvent& e) {
        heard.push_back(e);
        return std::optional<KeyEvent>(e);
    });
    // Ours is never heard, the user's next key is.
    const auto expectOnlyTheUsersKeyHeard = [&] {
        spin(150);
        EXPECT_TRUE(heard.empty()) << "our own paste reached our monitor";
        keys.press("a");
        keys.release("a");
        ASSERT_TRUE(spinUntil([&] { return heard.size() >= 2; }, 3000));
        EXPECT_EQ(heard[0].keyCode, 0);
        EXPECT_EQ(heard[0].modifierFlags, 0u);
        heard.clear();
    };

    // Another application; the user still holds Shift, and Ctrl+Shift+V is no
    // paste in GTK entries.
    XKeyCatcher target;
    target.focus();
    keys.press("Shift_L");
    ASSERT_EQ(target.collect(1).size(), 1u);
    spin(100);
    heard.clear();
    const auto event = synthetic.createKeyboardEvent(nullptr, KeyCode::v, true);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->flags, ModifierFlag::shift) << "made with the modifiers in effect";
    postCommandV(synthetic);
    EXPECT_EQ(target.collect(5),
              (std::vector<std::string>{"-Shift_L", "+Control_L", "+v", "-v", "-Control_L"}))
        << "Shift released first and never pressed again";
    EXPECT_TRUE(monitor.connection().heldModifierKeycodes().empty());
    expectOnlyTheUsersKeyHeard();

    // Our own window.
    KeyWindow window;
    window.resize(100, 40);
    window.show();
    ASSERT_TRUE(spinUntil([&] { return window.isExposed(); }));
    keys.focusWindow(window.winId());
    ASSERT_TRUE(spinUntil([&] { return QGuiApplication::focusWindow() == &window; }));
    postCommandV(synthetic);
    spinUntil([&] { return window.keys.size() >= 4; });
    EXPECT_EQ(window.keys,
              (std::vector<int>{Qt::Key_Control, Qt::Key_V, -Qt::Key_V, -Qt::Key_Control}));
    expectOnlyTheUsersKeyHeard();
}

TEST(X11AccessibilityTrustTest, WithoutXTestTrustIsRefusedOnceAloudAndNothingIsPosted) {
    // A second X server that lacks XTEST, as some locked-down displays do; it
    // outlives the connections to it.
    struct Xvfb : QProcess {
        ~Xvfb() override {
            terminate();
            waitForFinished(3000);
        }
    } server;
    server.start("Xvfb", {"-displayfd", "1", "-extension", "XTEST", "-nolisten", "tcp"});
    ASSERT_TRUE(server.waitForReadyRead(10000)) << "no second X server";
    const QByteArray ours = qgetenv("DISPLAY");
    qputenv("DISPLAY", ":" + server.readLine().trimmed());
    QtScheduler clock;
    X11KeyboardMonitor monitor{clock};  // opens its own connection there
    qputenv("DISPLAY", ours);
    EXPECT_TRUE(monitor.canObserveGlobally()) << "XInput2 is there";

    X11AccessibilityTrust trust(monitor);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({}));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said, missingExtensionWarning(true, false)) << "once, for XTEST alone";
    EXPECT_NE(said.find("XTEST"), std::string::npos);
    EXPECT_EQ(said.find("XInput2"), std::string::npos);
    EXPECT_EQ(missingExtensionWarning(true, true), "");

    X11SyntheticKeyboard synthetic(monitor);
    EXPECT_FALSE(synthetic.createEventSource(EventSourceStateID::combinedSessionState));
    EXPECT_FALSE(synthetic.createKeyboardEvent(nullptr, KeyCode::v, true));
    synthetic.post(EventTapLocation::sessionEventTap, {KeyCode::v, true, ModifierFlag::command});
}

}  // namespace
}  // namespace sayvo
