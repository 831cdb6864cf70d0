#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QProcess>
#include <QWindow>
#include <vector>

#include "Spin.h"
#include "XKeyCatcher.h"
#include "XTestKeys.h"
#include "platform/linux/X11AccessibilityTrust.h"
#include "platform/linux/X11SyntheticKeyboard.h"

namespace sayvo {
namespace {

using Key = XKeyCatcher::Key;
constexpr std::uint64_t kAll =
    KeyEventMask::keyDown | KeyEventMask::keyUp | KeyEventMask::flagsChanged;

class X11SyntheticKeyboardTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(keys.isOpen());
        global = monitor.addGlobalMonitor(kAll, [this](const KeyEvent& e) { heard.push_back(e); });
        local = monitor.addLocalMonitor(kAll, [this](const KeyEvent& e) {
            heard.push_back(e);
            return std::optional<KeyEvent>(e);
        });
        ASSERT_TRUE(global);
    }
    void TearDown() override {
        for (const char* key : {"Shift_L", "Control_L", "v"}) keys.release(key);
        spin(50);
    }
    // The logic's paste: V down and up carrying the command flag only.
    void postCommandV() {
        const auto source = synthetic.createEventSource(EventSourceStateID::combinedSessionState);
        ASSERT_TRUE(source);
        for (const bool down : {true, false}) {
            auto event = synthetic.createKeyboardEvent(source.get(), KeyCode::v, down);
            ASSERT_TRUE(event);
            event->flags = ModifierFlag::command;
            synthetic.post(EventTapLocation::sessionEventTap, *event);
        }
    }

    XTestKeys keys;
    X11KeyboardMonitor monitor;
    X11SyntheticKeyboard synthetic{monitor};
    std::optional<MonitorToken> global, local;
    std::vector<KeyEvent> heard;
};

TEST_F(X11SyntheticKeyboardTest, PasteIsCtrlVWithHeldShiftReleasedAndUnheard) {
    X11AccessibilityTrust trust(monitor);
    EXPECT_TRUE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));

    XKeyCatcher target;
    target.focus();
    postCommandV();
    const std::vector<Key> plain{{"Control_L", true, 0},
                                 {"v", true, XKeyCatcher::controlMask},
                                 {"v", false, XKeyCatcher::controlMask},
                                 {"Control_L", false, XKeyCatcher::controlMask}};
    EXPECT_EQ(target.collect(4), plain);

    // The user still holds Shift: Ctrl+Shift+V is no paste in GTK entries.
    keys.press("Shift_L");
    ASSERT_EQ(target.collect(1).size(), 1u);
    spin(100);
    heard.clear();
    const auto event = synthetic.createKeyboardEvent(nullptr, KeyCode::v, true);
    ASSERT_TRUE(event);
    EXPECT_EQ(event->flags, ModifierFlag::shift) << "made with the modifiers in effect";
    postCommandV();
    std::vector<Key> withShift{{"Shift_L", false, XKeyCatcher::shiftMask}};
    withShift.insert(withShift.end(), plain.begin(), plain.end());
    EXPECT_EQ(target.collect(5), withShift) << "Shift released first, never pressed again";
    EXPECT_TRUE(monitor.connection().heldModifierKeycodes().empty());

    spin(150);
    EXPECT_TRUE(heard.empty()) << "our own paste reached our monitor";

    // The user's keys right after are heard as usual.
    keys.press("a");
    keys.release("a");
    QElapsedTimer clock;
    clock.start();
    while (heard.size() < 2 && clock.elapsed() < 3000) spin(5);
    ASSERT_EQ(heard.size(), 2u);
    EXPECT_EQ(heard[0].type, KeyEventType::keyDown);
    EXPECT_EQ(heard[0].keyCode, 0);
    EXPECT_EQ(heard[0].modifierFlags, 0u);
}

// A window of ours with the focus gets the paste; our local monitor does not.
class RecordingWindow : public QWindow {
public:
    std::vector<std::pair<int, bool>> keysSeen;  // Qt key, pressed

protected:
    void keyPressEvent(QKeyEvent* e) override { keysSeen.emplace_back(e->key(), true); }
    void keyReleaseEvent(QKeyEvent* e) override { keysSeen.emplace_back(e->key(), false); }
};

TEST_F(X11SyntheticKeyboardTest, PasteIntoOurOwnWindowIsNotHeardLocally) {
    RecordingWindow window;
    window.resize(100, 40);
    window.show();
    QElapsedTimer clock;
    clock.start();
    while (!window.isExposed() && clock.elapsed() < 3000) spin(5);
    keys.focusWindow(window.winId());
    while (QGuiApplication::focusWindow() != &window && clock.elapsed() < 3000) spin(5);
    ASSERT_EQ(QGuiApplication::focusWindow(), &window);

    postCommandV();
    clock.restart();
    while (window.keysSeen.size() < 4 && clock.elapsed() < 3000) spin(5);
    spin(100);
    const std::vector<std::pair<int, bool>> ctrlV{
        {Qt::Key_Control, true}, {Qt::Key_V, true}, {Qt::Key_V, false}, {Qt::Key_Control, false}};
    EXPECT_EQ(window.keysSeen, ctrlV);
    EXPECT_TRUE(heard.empty());

    keys.press("a");
    keys.release("a");
    clock.restart();
    while (heard.size() < 2 && clock.elapsed() < 3000) spin(5);
    EXPECT_EQ(heard.size(), 2u) << "the user's own typing still reaches the local monitor";
    window.hide();
}

}  // namespace
}  // namespace sayvo

namespace sayvo {
namespace {

// A second X server that lacks XTEST, as some locked-down displays do.
class DisplayWithoutXTest {
public:
    DisplayWithoutXTest() {
        server_.start(
            QStringLiteral("Xvfb"),
            {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-extension"),
             QStringLiteral("XTEST"), QStringLiteral("-nolisten"), QStringLiteral("tcp")});
        if (server_.waitForReadyRead(10000)) name_ = ":" + server_.readLine().trimmed();
    }
    ~DisplayWithoutXTest() {
        server_.terminate();
        server_.waitForFinished(3000);
    }
    QByteArray name() const { return name_; }

private:
    QProcess server_;
    QByteArray name_;
};

TEST(X11AccessibilityTrustTest, WithoutXTestTrustIsRefusedOnceAloudAndNothingIsPosted) {
    DisplayWithoutXTest display;
    ASSERT_FALSE(display.name().isEmpty()) << "no second X server";
    const QByteArray ours = qgetenv("DISPLAY");
    qputenv("DISPLAY", display.name());
    X11KeyboardMonitor monitor;  // opens its own connection here
    qputenv("DISPLAY", ours);
    EXPECT_TRUE(monitor.canObserveGlobally()) << "XInput2 is there";

    X11AccessibilityTrust trust(monitor);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}}));
    EXPECT_FALSE(trust.isProcessTrustedWithOptions({}));
    const QString said = QString::fromStdString(::testing::internal::GetCapturedStderr());
    EXPECT_EQ(said.count(QStringLiteral("XTEST")), 1) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("XInput2"))) << said.toStdString();
    EXPECT_FALSE(said.contains(QStringLiteral("快捷键"))) << said.toStdString();

    X11SyntheticKeyboard synthetic(monitor);
    EXPECT_FALSE(synthetic.createEventSource(EventSourceStateID::combinedSessionState));
    EXPECT_FALSE(synthetic.createKeyboardEvent(nullptr, KeyCode::v, true));
    synthetic.post(EventTapLocation::sessionEventTap, {KeyCode::v, true, ModifierFlag::command});
}

TEST(X11AccessibilityTrustTest, TheWarningNamesWhatIsMissingAndWhatItCosts) {
    struct Case {
        bool hasXInput2, hasXTest;
        const char* missing;
        bool hotkeyOnlyInOwnWindows;
    };
    const Case cases[] = {
        {true, false, "没有 XTEST 扩展", false},
        {false, true, "没有 XInput2 扩展", true},
        {false, false, "没有 XInput2 和 XTEST 扩展", true},
    };
    for (const auto& c : cases) {
        const std::string said = missingExtensionWarning(c.hasXInput2, c.hasXTest);
        SCOPED_TRACE(said);
        EXPECT_NE(said.find(c.missing), std::string::npos);
        EXPECT_EQ(said.find("快捷键只在 Sayvo 自己的窗口中有效") != std::string::npos,
                  c.hotkeyOnlyInOwnWindows);
        EXPECT_NE(said.find("无法自动粘贴，会留在剪贴板上"), std::string::npos);
        EXPECT_EQ(said.back(), '\n');
    }
    EXPECT_EQ(missingExtensionWarning(true, true), "");
}

}  // namespace
}  // namespace sayvo
