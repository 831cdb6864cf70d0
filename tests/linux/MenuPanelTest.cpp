#include <QtQuickTest/quicktest.h>
#include <gtest/gtest.h>

#include <QAccessible>
#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QQuickItem>
#include <QTemporaryDir>
#include <QTest>
#include <set>

#include "SimPlatform.h"
#include "XTestKeys.h"
#include "platform/linux/JsonFilePreferences.h"
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

QQuickItem* find(QQuickItem* item, const QString& name) {
    if (!item || item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = find(child, name)) return found;
    }
    return nullptr;
}

// Every named control as a screen reader lists it: role and name.
void collect(QAccessibleInterface* node, std::set<std::pair<int, QString>>& out) {
    if (!node) return;
    if (!node->state().invisible && !node->text(QAccessible::Name).isEmpty()) {
        out.emplace(int(node->role()), node->text(QAccessible::Name));
    }
    for (int i = 0; i < node->childCount(); ++i) collect(node->child(i), out);
}

QAccessibleInterface* findNamed(QAccessibleInterface* node, const QString& name) {
    if (!node || node->text(QAccessible::Name) == name) return node;
    for (int i = 0; i < node->childCount(); ++i) {
        if (QAccessibleInterface* found = findNamed(node->child(i), name)) return found;
    }
    return nullptr;
}

// The real QML on the X display, the logic on virtual time, the key written
// to a real preferences file.
class MenuPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        sim.permissions.status = {{"麦克风", false, "未找到麦克风，请检查声音设置"}};
        panel.setContentSize(260, 220);
        panel.onClose = [this] {
            ++closes;
            view->disappear();
        };
        ASSERT_NO_FATAL_FAILURE(open());
    }
    void TearDown() override { QGuiApplication::setPalette(QPalette()); }
    void open() {
        view = MenuBarView::create(platform, recognizer, *hotkeys);
        view->appear();
        panel.setContent(view);
        panel.showRelativeToTrayItem();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&panel.view()));
        settle();
    }
    void settle() {
        QCoreApplication::processEvents();
        ASSERT_TRUE(QQuickTest::qWaitForPolish(&panel.view()));
    }
    QQuickItem* item(const char* name) { return find(panel.view().rootObject(), name); }
    void click(const char* name) {
        QQuickItem* i = item(name);
        ASSERT_TRUE(i && i->isVisible()) << name;
        QTest::mouseClick(&panel.view(), Qt::LeftButton, {},
                          i->mapToScene({i->width() / 2, i->height() / 2}).toPoint());
        settle();
    }
    void type(const std::string& keysym) {
        keys.press(keysym);
        keys.release(keysym);
    }
    QImage frame() { return panel.view().grabWindow().convertToFormat(QImage::Format_ARGB32); }

    QTemporaryDir home;
    JsonFilePreferences preferences{(home.path() + "/preferences.json").toStdString()};
    sim::SimPlatform sim;
    Platform platform{sim.scheduler,  preferences,    sim.pasteboard,        sim.microphone,
                      sim.speech,     sim.shell,      sim.keyboard,          sim.audio,
                      sim.webSockets, sim.uuids,      sim.syntheticKeyboard, sim.accessibility,
                      sim.urls,       sim.permissions};
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(platform, cloud);
    std::shared_ptr<HotkeyManager> hotkeys =
        HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler);
    std::shared_ptr<MenuBarView> view;
    QtMenuPanelWindow panel;
    XTestKeys keys;
    int closes = 0;
};

TEST_F(MenuPanelTest, AKeyTypedAtTheKeyboardIsStoredAndShownMasked) {
    EXPECT_EQ(panel.view().width(), 260);
    ASSERT_NO_FATAL_FAILURE(click("editButton"));
    ASSERT_TRUE(item("keyField")->hasActiveFocus()) << "the field takes the keys";
    for (const char* key : {"k", "e", "y", "minus", "1", "2", "3", "4", "5", "6"}) type(key);
    type("Return");
    ASSERT_TRUE(QTest::qWaitFor([&] { return recognizer->aliyunAPIKey() == "key-123456"; }));
    QFile file(home.path() + "/preferences.json");
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(R"("AliyunASRAPIKey": "key-123456")"));
    EXPECT_TRUE(item("keyField")->isVisible()) << "Return leaves the field open";
    ASSERT_TRUE(QTest::qWaitFor([&] {
        return item("engineBadge")->property("color").value<QColor>() == QColor("#007AFF");
    })) << "the badge follows the stored key";

    ASSERT_NO_FATAL_FAILURE(click("editButton"));
    EXPECT_EQ(item("keyRow")->property("text").toString(), QStringLiteral("••••••123456"));
    // Out of the field, Escape closes the panel.
    type("Escape");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.isShown(); }));
}

TEST_F(MenuPanelTest, EscapeAClickElsewhereAndFocusLossCloseItButNotTheLosingClick) {
    type("Escape");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.isShown(); }));
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
    ASSERT_TRUE(QTest::qWaitFor([&] { return !panel.isShown(); }));
    panel.showRelativeToTrayItem();  // the tray click that took the focus
    EXPECT_FALSE(panel.isShown());
    QTest::qWait(QtMenuPanelWindow::reopenGuardMs);
    panel.showRelativeToTrayItem();
    EXPECT_TRUE(panel.isShown()) << "a later click opens it again";
}

TEST_F(MenuPanelTest, ScreenReadersFindEveryControlAndTheTabKeyReachesThem) {
    ASSERT_NO_FATAL_FAILURE(click("permissionsRow"));
    std::set<std::pair<int, QString>> named;
    collect(QAccessible::queryAccessibleInterface(&panel.view()), named);
    for (const auto& [role, name] : std::initializer_list<std::pair<int, QString>>{
             {QAccessible::Button, "编辑 API Key"},
             {QAccessible::Button, "前往阿里云百炼获取 API Key"},
             {QAccessible::Button, "更改快捷键"},
             {QAccessible::Button, "系统权限"},
             {QAccessible::Button, "退出"},
             {QAccessible::Button, "打开声音设置"},
             {QAccessible::StaticText, "识别引擎：系统"},
             {QAccessible::StaticText, "麦克风：缺失，未找到麦克风，请检查声音设置"},
         }) {
        EXPECT_TRUE(named.count({role, name})) << name.toStdString();
    }

    // A screen reader's press does what a click does.
    QAccessibleInterface* quit =
        findNamed(QAccessible::queryAccessibleInterface(&panel.view()), "退出");
    ASSERT_TRUE(quit && quit->actionInterface());
    quit->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(sim.shell.quitCount, 1);

    // In a fresh panel, Tab reaches the hotkey button and Space starts a capture.
    ASSERT_NO_FATAL_FAILURE(open());
    for (int i = 0; i < 3; ++i) type("Tab");
    settle();
    ASSERT_TRUE(item("hotkeyButton")->hasActiveFocus());
    type("space");
    ASSERT_TRUE(QTest::qWaitFor([&] { return bool(view->isRecordingHotkey); }));
}

TEST_F(MenuPanelTest, FollowsALightAndADarkPalette) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        QPalette palette;
        palette.setColor(QPalette::Window,
                         dark ? QColor(0x2a, 0x2a, 0x2e) : QColor(0xf4, 0xf4, 0xf6));
        palette.setColor(QPalette::WindowText, dark ? Qt::white : Qt::black);
        palette.setColor(QPalette::Base, dark ? QColor(0x1c, 0x1c, 0x1e) : Qt::white);
        QGuiApplication::setPalette(palette);
        settle();
        ASSERT_TRUE(QTest::qWaitFor([&] {
            return frame().pixelColor(5, frame().height() - 5) == palette.color(QPalette::Window);
        }));
    }
}

TEST_F(MenuPanelTest, HoveringARowHighlightsItAtHalfStrength) {
    QQuickItem* row = item("quitRow");
    const QPoint inside = row->mapToScene({row->width() - 5, row->height() / 2}).toPoint();
    const QColor before = frame().pixelColor(inside);
    QTest::mouseMove(&panel.view(), inside);
    const QColor highlight =
        QGuiApplication::palette().color(QPalette::Active, QPalette::Highlight);
    const auto halfway = [&](int a, int b, int got) { return std::abs((a + b) / 2 - got) <= 2; };
    EXPECT_TRUE(QTest::qWaitFor([&] {
        const QColor now = frame().pixelColor(inside);
        return halfway(before.red(), highlight.red(), now.red()) &&
               halfway(before.green(), highlight.green(), now.green()) &&
               halfway(before.blue(), highlight.blue(), now.blue());
    })) << frame().pixelColor(inside).name().toStdString();
}

}  // namespace
}  // namespace sayvo
