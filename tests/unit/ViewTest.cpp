#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "SimPlatform.h"
#include "ui/FloatingIndicatorView.h"
#include "ui/MenuBarView.h"

namespace sayvo {
namespace {

// The views over a recogniser whose state a test sets.
class ViewTest : public ::testing::Test {
protected:
    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<SpeechRecognizer> recognizer = SpeechRecognizer::create(sim.platform(), cloud);
};

class MenuBarViewTest : public ViewTest {
protected:
    std::shared_ptr<MenuBarView> open() {
        auto view = MenuBarView::create(sim.platform(), recognizer, *hotkeys);
        view->appear();
        return view;
    }
    bool typeInPanel(const KeyEvent& event) { return sim.keyboard.typeInOwnWindow(event); }

    std::shared_ptr<HotkeyManager> hotkeys =
        HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler, sim.translations);
    std::shared_ptr<MenuBarView> panel = open();
};

TEST_F(MenuBarViewTest, AMaskedAPIKeyShowsTheLastSixCharactersNeverCuttingOne) {
    const struct {
        std::string key, shown;
    } cases[] = {{"abcd", "••••••abcd"},
                 {"sk-1234567890", "••••••567890"},
                 {"密钥：你好世界朋友", "••••••你好世界朋友"},
                 {"k🔑🔑🔑🔑🔑🔑", "••••••🔑🔑🔑🔑🔑🔑"}};
    for (const auto& c : cases) EXPECT_EQ(maskedAPIKey(c.key), c.shown) << c.key;
}

TEST_F(MenuBarViewTest, TheHotkeyRowOffersToAddTheDesktopsBindingThenSaysWhoseItIs) {
    sim.keyboard.bindingDesktopName = "GNOME";
    EXPECT_EQ(panel->hotkeyButtonText(), "添加到 GNOME 快捷键");
    hotkeys->desktopTrigger = "Ctrl+Alt+Space";
    EXPECT_EQ(panel->hotkeyButtonText(), "Ctrl+Alt+Space · GNOME");
}

TEST_F(MenuBarViewTest, BadgeFollowsTheStoredKeyAndTheHintTheField) {
    EXPECT_EQ(panel->engineBadge(), "系统");
    EXPECT_EQ(panel->keyRowText(), "未设置（使用系统识别）");
    EXPECT_TRUE(panel->showsConsoleLink());

    panel->toggleAPIKeyEditing(), panel->apiKeyInput = "k";
    EXPECT_FALSE(panel->showsConsoleLink()) << "the hint follows typing at once";
    EXPECT_EQ(panel->engineBadge(), "系统") << "nothing saved yet";

    panel->submitAPIKey();  // Return
    EXPECT_TRUE(panel->showAPIKey) << "Return leaves the field open";
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k");
    EXPECT_EQ(panel->engineBadge(), "阿里云");

    // A copied key's surrounding blanks go; a line break inside keeps the
    // field open with the reason, and Escape drops the edit.
    panel->apiKeyInput = "k\n3", panel->toggleAPIKeyEditing();
    EXPECT_TRUE(panel->showAPIKey);
    EXPECT_EQ(panel->apiKeyError.get(), std::string(MenuBarView::invalidKeyText.source));
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k");
    panel->cancelAPIKeyEditing();
    EXPECT_FALSE(panel->showAPIKey);
    EXPECT_EQ(panel->apiKeyInput.get(), "k");
    EXPECT_EQ(panel->apiKeyError.get(), "");
    panel->toggleAPIKeyEditing(), panel->apiKeyInput = "k\x01", panel->submitAPIKey();
    panel->apiKeyInput = " \tk2\r\n";
    panel->toggleAPIKeyEditing();  // the checkmark
    EXPECT_EQ(panel->apiKeyError.get(), "") << "a good key takes the reason back";
    EXPECT_FALSE(panel->showAPIKey);
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k2");
    EXPECT_EQ(panel->apiKeyInput.get(), "k2");

    // Closing while editing saves nothing, and closes the open views; the next
    // opening shows the stored key.
    panel->toggleAPIKeyEditing(), panel->togglePermissions();
    panel->apiKeyInput = "", panel->disappear();
    EXPECT_FALSE(panel->showAPIKey || panel->showPermissions);
    EXPECT_EQ(recognizer->aliyunAPIKey(), "k2");
    EXPECT_EQ((panel = open())->apiKeyInput.get(), "k2");
}

TEST_F(MenuBarViewTest, AKeyStillInALockedKeyringShowsOnceItIsReadAndTheViewSaysWhereItIs) {
    sim.secrets.failure.reset(), sim.secrets.stored = "sk-1234567890", sim.secrets.prompt = 1;
    recognizer->apiKeyStore().load();
    EXPECT_EQ((panel = open())->keyRowText(), "等待密钥环解锁");
    sim.scheduler.advance(1);
    EXPECT_EQ(panel->keyRowText(), "••••••567890") << "read while the panel is open";
    panel->togglePermissions();
    const PermissionStatus& last = panel->permissions().back();
    EXPECT_EQ(last.title + "：" + last.detail, "密钥环：API Key 保存在系统密钥环中");
    EXPECT_TRUE(last.granted);
}

TEST_F(MenuBarViewTest, TheConsoleLinkHandsOverItsAddressWithoutABrowser) {
    std::string errors;
    panel->onError = [&](const std::string& message) { errors += message; };
    panel->openConsole();
    EXPECT_EQ(sim.urls.opened, std::vector<std::string>{MenuBarView::consoleURL});
    EXPECT_EQ(MenuBarView::consoleURL.find('?'), MenuBarView::consoleURL.rfind('?'));
    EXPECT_FALSE(sim.pasteboard.contents);
    sim.urls.hasBrowser = false, panel->openConsole();
    EXPECT_EQ(sim.pasteboard.contents, MenuBarView::consoleURL);
    EXPECT_EQ(errors, MenuBarView::noBrowserText.source + MenuBarView::consoleURL);
}

TEST_F(MenuBarViewTest, EveryWayOutOfACaptureLeavesTheHotkeyWatched) {
    const HotkeyCombo before = hotkeys->currentHotkey;
    const KeyEvent ctrlAltD{KeyEventType::keyDown, 2, ModifierFlag::control | ModifierFlag::option,
                            false};
    const KeyEvent escape{KeyEventType::keyDown, KeyCode::escape, 0, false};
    // Each way starts from where the one before left the hotkey.
    const struct {
        const char* name;
        std::function<void()> leave;
        bool taken;
    } ways[] = {{"second click", [&] { panel->toggleHotkeyRecording(); }, false},
                {"escape", [&] { EXPECT_TRUE(typeInPanel(escape)); }, false},
                {"panel closed", [&] { panel->disappear(); }, false},
                {"a key is taken", [&] { EXPECT_TRUE(typeInPanel(ctrlAltD)); }, true}};
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        panel = open();
        hotkeys->isHotkeyTaken = true;
        EXPECT_TRUE(panel->isHotkeyTaken());
        panel->toggleHotkeyRecording();
        EXPECT_FALSE(panel->isHotkeyTaken()) << "the mark gives way to the capture";
        EXPECT_EQ(panel->hotkeyButtonText(), "按下新键...");
        EXPECT_TRUE(hotkeys->isListeningForHotkey);
        const KeyEvent shift{KeyEventType::flagsChanged, 56, ModifierFlag::shift, false};
        EXPECT_TRUE(typeInPanel(shift)) << "modifier changes are consumed too";

        way.leave(), sim.scheduler.runUntilIdle();
        EXPECT_FALSE(panel->isRecordingHotkey);
        EXPECT_FALSE(hotkeys->isListeningForHotkey) << "watching resumed";
        EXPECT_EQ(sim.keyboard.globalCount(), 1u);
        EXPECT_EQ(hotkeys->currentHotkey.get() == before, !way.taken);
        EXPECT_EQ(sim.keyboard.localCount(), 1u) << "the panel's monitor is gone";
    }
}

TEST_F(MenuBarViewTest, TheStartAtLoginMarkIsWhatIsOnDiskAfterEveryClick) {
    const struct {
        const char* name;
        bool onDisk;
        const char* error;  // why the entry cannot be changed
        bool shownAfterClick;
    } cases[] = {{"turned on", false, nullptr, true},
                 {"turned off", true, nullptr, false},
                 {"cannot be written", false, "无法写入 x（Permission denied）", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.loginItem = {}, sim.loginItem.enabled = c.onDisk, panel = open();
        std::string errors;
        panel->onError = [&](const std::string& message) { errors += message; };
        EXPECT_EQ(panel->startsAtLogin.get(), c.onDisk) << "read at every opening";
        if (c.error) sim.loginItem.error = PlatformError{"XdgAutostart", 1, c.error};
        panel->toggleStartAtLogin();
        EXPECT_EQ(panel->startsAtLogin.get(), c.shownAfterClick);
        EXPECT_EQ(errors, c.error ? std::string("无法更改开机启动：") + c.error : "");
    }
}

class FloatingIndicatorViewTest : public ViewTest {
protected:
    void advance(double s) { sim.scheduler.advance(s); }

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
