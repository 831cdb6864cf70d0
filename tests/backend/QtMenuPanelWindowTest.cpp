#include <gtest/gtest.h>

#include <QGuiApplication>
#include <QPalette>
#include <functional>

#include "QuickItems.h"
#include "SimPlatform.h"
#include "XTestKeys.h"
#include "platform/linux/QtMenuPanelWindow.h"

namespace sayvo {
namespace {

TEST(PanelFrameTest, OpensBesideItsAnchorOnTheSideWithMoreRoom) {
    const QRect area(0, 30, 1000, 770);  // a top panel of 30
    const QSize size(260, 300);
    const struct {
        const char* where;
        QRect tray;
        QPoint pointer;
        QPoint topLeft;
    } cases[] = {
        {"pointer top left", {}, {100, 40}, {100, 44}},
        {"pointer bottom right", {}, {900, 700}, {640, 396}},
        {"pointer in a corner keeps the panel whole", {}, {999, 799}, {739, 495}},
        {"tray item at the top right", {980, 5, 20, 20}, {0, 0}, {740, 30}},
        {"tray item at the bottom", {500, 780, 20, 20}, {0, 0}, {379, 476}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.where);
        const QRect frame = panelFrame(size, c.tray, c.pointer, area);
        EXPECT_EQ(frame.topLeft(), c.topLeft);
        EXPECT_TRUE(area.contains(frame));
    }
}

// The real QML on the X display, the logic on virtual time.
class QtMenuPanelWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        panel.setContentSize(260, 220);
        panel.onClose = [this] {
            ++closes;
            view->disappear();
        };
        ASSERT_NO_FATAL_FAILURE(open());
    }
    void TearDown() override { QGuiApplication::setPalette(QPalette()); }
    void open() {
        view = MenuBarView::create(sim.platform(), recognizer, *hotkeys);
        view->appear();
        panel.setContent(view);
        panel.showRelativeToTrayItem();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel.view()));
        settle(panel.view());
    }
    QQuickItem* item(const char* name) { return findItem(panel.view().rootObject(), name); }
    void type(const std::string& keysym) {
        keys.press(keysym);
        keys.release(keysym);
    }
    QColor pixel(QPoint at) { return grab(panel.view()).pixelColor(at); }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
    std::shared_ptr<HotkeyManager> hotkeys =
        HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler);
    std::shared_ptr<MenuBarView> view;
    QtMenuPanelWindow panel;
    XTestKeys keys;
    int closes = 0;
};

TEST_F(QtMenuPanelWindowTest, EscapeAClickElsewhereAndFocusLossCloseItButNotTheLosingClick) {
    type("Escape");
    ASSERT_TRUE(spinUntil([&] { return !panel.isShown(); }));
    EXPECT_EQ(closes, 1);

    ASSERT_NO_FATAL_FAILURE(open());
    QTest::mouseClick(&panel.view(), Qt::LeftButton, {}, {-20, 30});
    EXPECT_FALSE(panel.isShown());
    EXPECT_EQ(closes, 2);

    ASSERT_NO_FATAL_FAILURE(open());
    QWindow elsewhere;
    elsewhere.resize(50, 50);
    elsewhere.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&elsewhere));
    elsewhere.requestActivate();
    ASSERT_TRUE(spinUntil([&] { return !panel.isShown(); }));
    panel.showRelativeToTrayItem();  // the tray click that took the focus
    EXPECT_FALSE(panel.isShown());
    spin(QtMenuPanelWindow::reopenGuardMs);
    panel.showRelativeToTrayItem();
    EXPECT_TRUE(panel.isShown()) << "a later click opens it again";
}

TEST_F(QtMenuPanelWindowTest, TheTabKeyReachesTheHotkeyButtonAndSpaceStartsACapture) {
    for (int i = 0; i < 3; ++i) type("Tab");
    settle(panel.view());
    ASSERT_TRUE(item("hotkeyButton")->hasActiveFocus());
    type("space");
    EXPECT_TRUE(spinUntil([&] { return bool(view->isRecordingHotkey); }));
}

TEST_F(QtMenuPanelWindowTest, FollowsTheLightOrDarkPaletteAndHighlightsARowAtHalfStrength) {
    for (const bool dark : {false, true}) {
        QPalette palette;
        palette.setColor(QPalette::Window,
                         dark ? QColor(0x2a, 0x2a, 0x2e) : QColor(0xf4, 0xf4, 0xf6));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        palette.setColor(QPalette::Base, dark ? QColor(0x1c, 0x1c, 0x1e) : Qt::white);
        QGuiApplication::setPalette(palette);
        settle(panel.view());
        const QPoint corner(5, panel.view().height() - 5);
        EXPECT_TRUE(spinUntil([&] { return pixel(corner) == palette.color(QPalette::Window); }));
    }
    QQuickItem* row = item("quitRow");
    const QPoint inside = row->mapToScene({row->width() - 5, row->height() / 2}).toPoint();
    const QColor before = pixel(inside);
    QTest::mouseMove(&panel.view(), inside);
    const QColor highlight =
        QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    const auto halfway = [&](auto part) {
        return std::abs((part(before) + part(highlight)) / 2 - part(pixel(inside))) <= 2;
    };
    EXPECT_TRUE(spinUntil([&] {
        return halfway(std::mem_fn(&QColor::red)) && halfway(std::mem_fn(&QColor::green)) &&
               halfway(std::mem_fn(&QColor::blue));
    })) << pixel(inside).name().toStdString();
}

}  // namespace
}  // namespace sayvo
