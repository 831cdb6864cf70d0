#include <gtest/gtest.h>

#include "QuickItems.h"
#include "SimPlatform.h"
#include "platform/linux/QtFloatingIndicatorWindow.h"
#include "speech/SpeechRecognizer.h"
#include "ui/FloatingIndicatorView.h"

namespace sayvo {
namespace {

QString textIn(QQuickItem* item) {
    if (!item || item->inherits("QQuickText")) return item ? item->property("text").toString() : "";
    for (QQuickItem* child : item->childItems()) {
        if (QString text = textIn(child); !text.isEmpty()) return text;
    }
    return {};
}

// The logic runs on virtual time; the QML on the real Qt event loop.
class QtFloatingIndicatorWindowTest : public ::testing::Test {
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
    QQuickItem* item(const QString& name) { return findItem(window.view().rootObject(), name); }
    // Lays out, and lets the bars animate to their heights.
    void settle() {
        ::settle(window.view());
        ASSERT_TRUE(spinUntil([this] {
            const QVariantList bars = window.model().bars();
            for (int i = 0; i < int(bars.size()); ++i) {
                const double height = item(QString("bar%1").arg(i))->height();
                if (!qFuzzyCompare(height + 1, bars[i].toDouble() * 24 + 1)) return false;
            }
            return true;
        }));
    }
    void click(const char* name) {
        ::click(window.view(), item(name));
        settle();
    }
    // The share of the item's pixels for which `is` holds.
    template <typename Is>
    double share(const char* name, Is is) {
        const QImage image = grab(window.view());
        QQuickItem* i = item(name);
        const QRect area = i->mapRectToScene({0, 0, i->width(), i->height()}).toRect();
        int count = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) count += is(image.pixel(x, y));
        }
        return double(count) / (area.width() * area.height());
    }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
    std::shared_ptr<FloatingIndicatorView> view;
    QtFloatingIndicatorWindow window;
    int closes = 0;
};

TEST_F(QtFloatingIndicatorWindowTest, ShowsTheContentTheRecognizerCallsForAndGrowsUpwards) {
    const struct {
        std::string transcript;
        bool processing;
        double advance;
        QString state, label, text;
    } cases[] = {
        {"", false, 0, "placeholderState", "placeholder", "请开始说话..."},
        {"", true, FloatingIndicatorView::dotsInterval, "waitingState", "waitingLabel", "识别中."},
        {"向前走十米", true, 0, "textState", "transcript", "向前走十米"},
    };
    const Rect placeholder = window.frame();
    for (const auto& c : cases) {
        recognizer->transcript = c.transcript;
        recognizer->isProcessing = c.processing;
        sim.scheduler.advance(c.advance);
        settle();
        for (const auto& other : cases) EXPECT_EQ(item(other.state) != nullptr, &other == &c);
        EXPECT_EQ(item(c.label)->property("text").toString(), c.text);
    }
    EXPECT_GT(window.frame().height, placeholder.height);
    EXPECT_EQ(window.frame().y + window.frame().height, placeholder.y + placeholder.height);
}

TEST_F(QtFloatingIndicatorWindowTest, DrawsADarkPanelWithBarsAsTallAsTheLevel) {
    // Level 0 moves the bars only as a change from another level.
    for (const auto& [level, minRows, maxRows] :
         {std::tuple{0.4f, 24, 37}, {0.0f, 3, 5}, {0.2f, 12, 19}}) {
        recognizer->audioLevel = level;
        settle();
        const QImage image = grab(window.view());
        int rows = 0;
        for (int y = 0, x = centreOf(item("bar2")).x(); y < image.height(); ++y) {
            const QRgb p = image.pixel(x, y);
            rows += qRed(p) > 2 * std::max(qGreen(p), qBlue(p)) + 40;
        }
        EXPECT_GE(rows, minRows) << level;
        EXPECT_LE(rows, maxRows) << level;
    }
    // Near-black inside the panel's lower left corner, clear outside it.
    const QImage image = grab(window.view());
    QQuickItem* panel = item("panel");
    const QRgb inside = image.pixel(panel->mapToScene({12, panel->height() - 12}).toPoint());
    EXPECT_LT(std::max({qRed(inside), qGreen(inside), qBlue(inside)}), 40);
    EXPECT_GT(qAlpha(inside), 200);
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);
}

TEST_F(QtFloatingIndicatorWindowTest, ButtonsActOnClicksAndConfirmInGreen) {
    recognizer->transcript = "go forward";
    settle();
    const auto green = [this] {
        return share("copyButton",
                     [](QRgb p) { return qGreen(p) > std::max(qRed(p), qBlue(p)) + 15; });
    };
    EXPECT_EQ(green(), 0);
    click("copyButton");
    EXPECT_EQ(sim.pasteboard.contents, "go forward");
    EXPECT_EQ(textIn(item("copyButton")), "已复制");
    EXPECT_GT(green(), 0.5);
    click("insertButton");
    EXPECT_EQ(textIn(item("insertButton")), "已插入");

    sim.scheduler.advance(FloatingIndicatorView::confirmationDuration);
    settle();
    EXPECT_EQ(textIn(item("copyButton")), "复制");
    EXPECT_EQ(green(), 0);
    click("closeButton");
    EXPECT_EQ(closes, 1);
}

}  // namespace
}  // namespace sayvo
