#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "SimPlatform.h"
#include "ui/FloatingIndicatorView.h"

namespace sayvo {
namespace {

class FloatingIndicatorViewTest : public ::testing::Test {
protected:
    void advance(double s) { sim.scheduler.advance(s); }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
    std::shared_ptr<FloatingIndicatorView> view =
        FloatingIndicatorView::create(sim.platform(), recognizer, nullptr, 7);
};

TEST_F(FloatingIndicatorViewTest, DotsCycleOnlyWhileTheWaitingStateIsShown) {
    recognizer->isProcessing = true;
    advance(1.0);
    EXPECT_EQ(view->dots.get(), "") << "hidden: no dots timer";
    view->setShown(true);
    std::string seen;
    for (int tick = 0; tick < 5; ++tick) advance(0.4), seen += "[" + view->dots.get() + "]";
    EXPECT_EQ(seen, "[.][..][...][][.]");

    recognizer->transcript = "words";
    EXPECT_EQ(view->content(), IndicatorContent::text) << "text wins over processing";
    EXPECT_FALSE(view->isDotsAnimationRunning());
    recognizer->transcript = "";
    advance(0.4);
    EXPECT_EQ(view->dots.get(), "..") << "back in the waiting state: one timer, not two";

    recognizer->errorMessage = "failed";
    EXPECT_EQ(view->content(), IndicatorContent::error) << "an error ends the wait";
    EXPECT_FALSE(view->isDotsAnimationRunning());
    recognizer->errorMessage = std::nullopt, recognizer->isProcessing = false;
    EXPECT_EQ(view->content(), IndicatorContent::placeholder);
    view->setShown(true), view.reset();
    EXPECT_EQ(sim.scheduler.pendingCount(), 0u) << "a replaced view leaves no timer behind";
}

// "正在聆听" only while the microphone is open: after the release, beside a
// failure, or while finished text waits, the title says what is going on.
TEST_F(FloatingIndicatorViewTest, TheTitleFollowsTheDictation) {
    const struct {
        bool recording, processing;
        const char* text;
        const char* error;
        const char* title;
        const char* hint;
    } cases[] = {{true, true, "", nullptr, "正在聆听...", "松开快捷键或静音自动停止"},
                 {true, true, "go", nullptr, "正在聆听...", "松开快捷键或静音自动停止"},
                 {false, true, "go", nullptr, "正在识别...", "马上就好"},
                 {false, false, "go", nullptr, "识别完成", "可插入或复制文字"},
                 {false, false, "", nullptr, "没有听到说话", "按住快捷键再说一次"},
                 {true, true, "go", "麦克风已断开", "未能完成识别", "已识别的文字仍可插入或复制"},
                 {false, false, "", "麦克风已断开", "未能完成识别", "原因见下方"}};
    for (const auto& c : cases) {
        recognizer->isRecording = c.recording, recognizer->isProcessing = c.processing;
        recognizer->transcript = c.text;
        recognizer->errorMessage = c.error ? std::optional<std::string>(c.error) : std::nullopt;
        EXPECT_EQ(view->title() + " / " + view->hint(), std::string(c.title) + " / " + c.hint);
    }
}

TEST_F(FloatingIndicatorViewTest, BarsFollowTheLevelAndShimmerOnlyWhileShown) {
    const struct {
        float level;
        double low, high;
    } levels[] = {{0.9f, 1.0, 1.5},
                  {0.2f, 0.5, 0.75},
                  {0.02f, 0.15, 0.175},  // n = 0.05: the base wins, spread by up to 0.025
                  {std::numeric_limits<float>::quiet_NaN(), 0.15, 0.15}};
    WaveformView& bars = view->waveform();
    EXPECT_EQ(bars.animationValues.get()[0], 0.2) << "the resting height";
    for (const auto& c : levels) {
        SCOPED_TRACE(c.level);
        recognizer->audioLevel = c.level;
        const auto heights = bars.animationValues.get();
        const auto [low, high] = std::minmax_element(heights.begin(), heights.end());
        EXPECT_GE(*low, c.low);
        EXPECT_LE(*high, c.high);
        EXPECT_EQ(heights[0] != heights[1], c.low != c.high) << "each bar draws its own";
    }
    advance(1.0);
    EXPECT_EQ(bars.lastAnimation(), WaveformView::Animation::level) << "hidden: no idle animation";

    view->setShown(true), view->setShown(true);
    std::vector<double> drawn;
    auto counter = bars.animationValues.values.subscribe(
        [&](const auto& heights) { drawn.insert(drawn.end(), heights.begin(), heights.end()); });
    advance(1.201);
    EXPECT_EQ(drawn.size(), 50u) << "every 0.12 s; showing twice must not double the ticks";
    const auto [lowest, highest] = std::minmax_element(drawn.begin(), drawn.end());
    EXPECT_GE(*lowest, 0.12);
    EXPECT_LT(*lowest, 0.14) << "50 draws cover the idle range";
    EXPECT_GT(*highest, 0.23);
    EXPECT_LE(*highest, 0.25);
    EXPECT_EQ(bars.lastAnimation(), WaveformView::Animation::idle);
    view->setShown(false);
    EXPECT_FALSE(bars.isIdleAnimationRunning());
}

}  // namespace
}  // namespace sayvo
