#include <QtQuickTest/quicktest.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QImage>
#include <QQuickItem>
#include <QTest>
#include <algorithm>
#include <string_view>

#include "SimPlatform.h"
#include "platform/linux/QtFloatingIndicatorWindow.h"
#include "speech/SpeechRecognizer.h"
#include "ui/FloatingIndicatorView.h"

namespace sayvo {
namespace {

// Repeater and Loader children are not QObject children of the root: walk items.
QQuickItem* find(QQuickItem* item, const QString& name) {
    if (!item || item->objectName() == name) return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = find(child, name)) return found;
    }
    return nullptr;
}

QString textIn(QQuickItem* item) {
    if (!item) return {};
    if (item->inherits("QQuickText")) return item->property("text").toString();
    for (QQuickItem* child : item->childItems()) {
        if (QString text = textIn(child); !text.isEmpty()) return text;
    }
    return {};
}

// The logic runs on virtual time; the QML on the real Qt event loop.
class IndicatorDrawingTest : public ::testing::Test {
protected:
    void SetUp() override {
        view = FloatingIndicatorView::create(
            sim.platform(), recognizer, [this] { ++closes; }, 7);
        window.setContent(view);
        window.setFrame({400, 500, 360, 140});
        window.show();
        view->setShown(true);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window.view()));
    }

    QQuickItem* item(const char* name) { return find(window.view().rootObject(), name); }
    // Model updates land one turn later, positioners lay out at the next polish,
    // and bars animate to their heights.
    void settle() {
        QCoreApplication::processEvents();
        ASSERT_TRUE(QQuickTest::qWaitForPolish(&window.view()));
        ASSERT_TRUE(QTest::qWaitFor([this] {
            const QVariantList bars = window.model().bars();
            for (int i = 0; i < int(bars.size()); ++i) {
                const QQuickItem* bar = item(qPrintable(QStringLiteral("bar%1").arg(i)));
                if (!qFuzzyCompare(bar->height() + 1, bars[i].toDouble() * 24 + 1)) return false;
            }
            return true;
        }));
    }
    QPoint centreOf(const char* name) {
        QQuickItem* i = item(name);
        return i->mapToScene({i->width() / 2, i->height() / 2}).toPoint();
    }
    QImage frame() { return window.view().grabWindow().convertToFormat(QImage::Format_ARGB32); }
    void click(const char* name) {
        QTest::mouseClick(&window.view(), Qt::LeftButton, {}, centreOf(name));
        settle();
    }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
    std::shared_ptr<FloatingIndicatorView> view;
    QtFloatingIndicatorWindow window;
    int closes = 0;
};

TEST_F(IndicatorDrawingTest, ShowsExactlyTheContentTheRecognizerCallsFor) {
    struct Case {
        std::string transcript;
        bool processing;
        double advance;
        const char* state;
        const char* label;
        QString text;
    };
    const char* states[] = {"placeholderState", "waitingState", "textState"};
    for (const Case& c : {
             Case{"", false, 0, "placeholderState", "placeholder", "请开始说话..."},
             Case{"", true, FloatingIndicatorView::dotsInterval, "waitingState", "waitingLabel",
                  "识别中."},
             Case{"向前走十米", true, 0, "textState", "transcript", "向前走十米"},
         }) {
        SCOPED_TRACE(c.state);
        recognizer->transcript = c.transcript;
        recognizer->isProcessing = c.processing;
        sim.scheduler.advance(c.advance);
        settle();
        for (const char* state : states)
            EXPECT_EQ(item(state) != nullptr, std::string_view(state) == c.state);
        EXPECT_EQ(item(c.label)->property("text").toString(), c.text);
    }
    EXPECT_EQ(textIn(item("insertButton")), "插入");
    EXPECT_EQ(textIn(item("copyButton")), "复制");
}

TEST_F(IndicatorDrawingTest, DrawsADarkPanelWithBarsAsTallAsTheLevel) {
    struct Case {
        float level;
        int minRows, maxRows;
    };
    // Level 0 moves the bars only as a change from another level.
    for (const Case& c : {Case{0.4f, 24, 37}, Case{0.0f, 3, 5}, Case{0.2f, 12, 19}}) {
        SCOPED_TRACE(c.level);
        recognizer->audioLevel = c.level;
        settle();
        const QImage image = frame();
        const int x = centreOf("bar2").x();
        int rows = 0;
        for (int y = 0; y < image.height(); ++y) {
            const QRgb p = image.pixel(x, y);
            rows += qRed(p) > 2 * std::max(qGreen(p), qBlue(p)) + 40;
        }
        EXPECT_GE(rows, c.minRows);
        EXPECT_LE(rows, c.maxRows);
    }
    // Near-black inside the panel's lower left corner, clear outside it.
    const QImage image = frame();
    QQuickItem* panel = item("panel");
    const QRgb inside = image.pixel(panel->mapToScene({12, panel->height() - 12}).toPoint());
    EXPECT_LT(std::max({qRed(inside), qGreen(inside), qBlue(inside)}), 40);
    EXPECT_GT(qAlpha(inside), 200);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

TEST_F(IndicatorDrawingTest, ButtonsActOnClicksAndConfirmInGreen) {
    recognizer->transcript = "go forward";
    settle();
    // The share of green-tinted pixels in the copy button.
    auto greenShare = [this] {
        const QImage image = frame();
        QQuickItem* button = item("copyButton");
        const QRect area =
            button->mapRectToScene({0, 0, button->width(), button->height()}).toRect();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                const QRgb p = image.pixel(x, y);
                count += qGreen(p) > std::max(qRed(p), qBlue(p)) + 15;
            }
        }
        return double(count) / (area.width() * area.height());
    };
    EXPECT_EQ(greenShare(), 0);

    click("copyButton");
    EXPECT_EQ(sim.pasteboard.contents, "go forward");
    EXPECT_EQ(textIn(item("copyButton")), "已复制");
    EXPECT_GT(greenShare(), 0.5);
    click("insertButton");
    EXPECT_EQ(textIn(item("insertButton")), "已插入");

    sim.scheduler.advance(FloatingIndicatorView::confirmationDuration);
    settle();
    EXPECT_EQ(textIn(item("copyButton")), "复制");
    EXPECT_EQ(greenShare(), 0);

    click("closeButton");
    EXPECT_EQ(closes, 1);
}

TEST_F(IndicatorDrawingTest, GrowsUpwardsWithItsContent) {
    const Rect placeholder = window.frame();
    recognizer->transcript = "go forward ten meters";
    settle();
    const Rect text = window.frame();
    EXPECT_GT(text.height, placeholder.height);
    EXPECT_EQ(text.y + text.height, placeholder.y + placeholder.height);
}

}  // namespace
}  // namespace sayvo
