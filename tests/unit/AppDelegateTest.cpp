#include <gtest/gtest.h>

#include <algorithm>

#include "SimPlatform.h"
#include "app/AppDelegate.h"
#include "paste/TypeSimulator.h"

namespace sayvo {
namespace {

using Messages = std::vector<std::pair<std::string, std::string>>;

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override { launch(); }
    // Launches on the same desktop, as again after a restart.
    void launch() {
        app.reset();
        manager =
            HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler, sim.translations);
        app = AppDelegate::create(sim.platform(), SpeechRecognizer::create(sim.platform(), cloud),
                                  *manager);
        app->applicationDidFinishLaunching();
    }
    SpeechRecognizer& recognizer() { return app->speechRecognizer(); }
    sim::FakeTrayItem& tray() { return *sim.shell.trayItem; }
    sim::FakeFloatingWindow& indicator() { return *sim.shell.windows.at(0); }
    void run() { sim.scheduler.runUntilIdle(); }
    void advance(double s) { sim.scheduler.advance(s); }
    // The default fn hotkey in another application; settle runs what it queued.
    void fn(bool down, bool settle = true) {
        sim.keyboard.typeElsewhere({KeyEventType::flagsChanged, KeyCode::function,
                                    down ? ModifierFlag::function : 0, false});
        if (settle) run();
    }
    void click() { tray().click(TrayClick::left), run(); }
    void useCloud() { sim.preferences.raw["AliyunASRAPIKey"] = std::string("key"); }
    // Paste keystrokes posted into the focused application.
    long pastes() const {
        const auto& posted = sim.syntheticKeyboard.posted;
        return std::count_if(posted.begin(), posted.end(), [](auto& p) { return p.keyDown; });
    }
    void recordSaying(const std::string& text) { fn(true), recognizer().transcript = text; }

    sim::SimPlatform sim;
    sim::FakeCloudClient cloud;
    std::shared_ptr<HotkeyManager> manager;
    std::shared_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchLeavesOnlyTheTrayItemIfAnyAndAsksForTrustWithThePrompt) {
    EXPECT_TRUE(sim.shell.accessory);
    EXPECT_EQ(tray().images, std::vector<std::string>{"mic.fill"});
    EXPECT_EQ(tray().description, "Sayvo");
    EXPECT_EQ(sim.keyboard.globalCount(), 1u) << "watching the fn key from launch";
    EXPECT_TRUE(sim.shell.windows.empty()) << "the indicator is made at its first show";
    EXPECT_EQ(sim.accessibility.checks,
              (std::vector<TrustCheckOptions>{{{kTrustedCheckOptionPrompt, true}}}));

    sim.shell.trayAvailable = false;
    launch();
    fn(true);
    EXPECT_TRUE(recognizer().isRecording) << "without a tray the hotkey still records";
    EXPECT_TRUE(tray().images.empty());
}

// Vanilla GNOME: the first launch shows the panel and where to find it again.
TEST_F(AppDelegateTest, WithoutATrayTheFirstLaunchOpensThePanelAndSaysHowToReachIt) {
    sim.shell.trayShown = false;
    for (const bool first : {true, false}) {
        launch();
        run();
        EXPECT_EQ(sim.shell.popover->shown, first);
        const auto& said = tray().messages;
        EXPECT_EQ(std::count(
                      said.begin(), said.end(),
                      std::pair{std::string("Sayvo"), std::string(AppDelegate::noTrayText.source)}),
                  first ? 1 : 0);
        if (sim.shell.popover->shown) sim.shell.popover->close();
    }
}

TEST_F(AppDelegateTest, TheKeyToHoldIsToldOnceATakenKeyOnceAndAnUnusableOneAtEveryLaunch) {
    const std::uint64_t ctrlAlt = ModifierFlag::control | ModifierFlag::option;
    sim.keyboard.heldElsewhere.insert({2, ctrlAlt});
    for (int attempt = 0; attempt < 2; ++attempt) {
        manager->startRecordingHotkey();
        manager->recordHotkey({KeyEventType::keyDown, 2, ctrlAlt, false});
    }
    EXPECT_EQ(tray().messages,
              (Messages{{"Sayvo", "按住 fn 说话"}, {"Sayvo", "快捷键 ⌃⌥D 已被其他程序占用"}}));
    EXPECT_EQ(tray().kinds, (std::vector{NoticeKind::information, NoticeKind::warning}))
        << "a hint is no warning";

    for (const char* key : {"hotkeyKeyCode", "hotkeyModifiers", "hotkeyIsFnKey"})
        sim.preferences.raw.erase(key);
    launch();
    EXPECT_TRUE(tray().messages.empty()) << "the default again, but the hint was given";
    storeHotkey(sim.preferences, {56, 0, false});  // shift alone
    launch();
    EXPECT_EQ(tray().messages,
              (Messages{{"Sayvo", "保存的快捷键无法使用，请按住 fn 说话，或在设置中重新录制"}}));
}

TEST_F(AppDelegateTest, SettingsThatCannotBeReadOrWrittenAreSaidOnce) {
    sim.preferences.raw.clear();
    sim.preferences.refuseWrites = true;
    sim.preferences.problem = "设置文件无法读取";
    launch();  // whose hint is stored as shown
    for (const std::uint16_t key : {2, 3}) {
        manager->startRecordingHotkey();
        manager->recordHotkey({KeyEventType::keyDown, key, ModifierFlag::control, false});
    }
    EXPECT_EQ(tray().messages,
              (Messages{{"Sayvo", "设置文件无法读取"},
                        {"Sayvo", "按住 fn 说话"},
                        {"Sayvo", "设置无法保存：本次运行中的更改在退出后不会保留"}}));
    EXPECT_EQ(manager->currentHotkey.get().keyCode, 3);
}

TEST_F(AppDelegateTest, HotkeyCyclePastesOnTimeThenClearsHidesAndComesBackFresh) {
    recordSaying("hello world");
    EXPECT_TRUE(indicator().visible && indicator().content->isShown()) << "its animations run";
    EXPECT_EQ(tray().currentImage(), "waveform");
    advance(5.0);
    EXPECT_TRUE(recognizer().isRecording) << "a pause while holding never ends the dictation";
    const auto firstView = indicator().content;
    indicator().currentFrame.x = 12;  // dragged away
    fn(false);
    EXPECT_EQ(tray().currentImage(), "mic.fill");
    EXPECT_EQ(sim.pasteboard.writes, std::vector<std::string>{"hello world "});
    EXPECT_EQ(pastes(), 1);
    advance(0.39);
    EXPECT_TRUE(indicator().visible) << "stays up showing the inserted text";
    advance(0.01);
    EXPECT_EQ(recognizer().transcript.get(), "");
    EXPECT_FALSE(indicator().visible || indicator().content->isShown());

    // A desktop that asks before it takes keys must not find the indicator over its dialog.
    sim.syntheticKeyboard.asksTheUser = true;
    recordSaying("again");
    fn(false);
    EXPECT_FALSE(indicator().visible);
    EXPECT_EQ(pastes(), 2);
    advance(0.4);
    sim.syntheticKeyboard.asksTheUser = false;

    // Nothing said: the same window, with a fresh view at the bottom centre, goes without a paste.
    recordSaying("");
    EXPECT_EQ(sim.shell.windows.size(), 1u);
    EXPECT_NE(indicator().content, firstView);
    EXPECT_EQ(indicator().currentFrame, (Rect{540, 680, 360, 140}));
    fn(false);
    advance(0.5);
    EXPECT_FALSE(indicator().visible);
    EXPECT_EQ(pastes(), 2);
    // The decisions, for --verbose: counts, never the words.
    EXPECT_EQ(
        sim.log.notes,
        (std::vector<std::string>{
            "recording started, engine on-device", "recording stopped", "pasting 11 characters",
            "recording started, engine on-device", "recording stopped", "pasting 5 characters",
            "recording started, engine on-device", "recording stopped", "no text to paste"}));
}

TEST_F(AppDelegateTest, ALeftClickTogglesARightClickOpensAFreshPanel) {
    click();
    EXPECT_TRUE(recognizer().isRecording);
    sim::FakePopover& popover = *sim.shell.popover;
    recognizer().setAliyunAPIKey("stored");
    tray().click(TrayClick::right);
    ASSERT_TRUE(popover.isShown());
    const MenuBarView* first = popover.content.get();
    EXPECT_EQ(first, app->menuBarView());
    EXPECT_EQ(first->apiKeyInput.get(), "stored") << "loaded at opening";
    popover.content->toggleHotkeyRecording();
    tray().click(TrayClick::right);
    EXPECT_EQ(popover.content.get(), first) << "an open panel stays as it is";
    popover.close();
    EXPECT_FALSE(first->isRecordingHotkey) << "closing ends a capture";
    tray().click(TrayClick::right);
    EXPECT_NE(popover.content.get(), first);
}

// A second launch during a dictation must not move the focus its paste goes to.
TEST_F(AppDelegateTest, AnotherLaunchOpensThePanelOnceTheDictationIsPasted) {
    app->openPanelWhenIdle();
    sim::FakePopover& popover = *sim.shell.popover;
    EXPECT_TRUE(popover.isShown()) << "at once when idle";
    popover.close();

    recordSaying("held");
    app->openPanelWhenIdle();
    app->openPanelWhenIdle();
    advance(2);
    EXPECT_FALSE(popover.isShown()) << "not while the hotkey is held";
    fn(false);
    EXPECT_EQ(pastes(), 1);
    EXPECT_FALSE(popover.isShown()) << "not before the paste has settled";
    advance(AppDelegate::pasteSettleDelay + AppDelegate::panelRequestRecheck);
    EXPECT_TRUE(popover.isShown());
    EXPECT_EQ(pastes(), 1);
    EXPECT_EQ(sim.pasteboard.contents, "held ");

    // Its start-at-login failures are told like every other.
    sim.loginItem.error = PlatformError{"XdgAutostart", 1, "只读"};
    popover.content->toggleStartAtLogin();
    EXPECT_EQ(tray().messages.back(),
              (std::pair<std::string, std::string>{"Sayvo", "无法更改开机启动：只读"}));
}

TEST_F(AppDelegateTest, AFailedStartShowsItsErrorUntilClosedOrForAMomentAfterTheRelease) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::denied;
    click();
    advance(10.0);
    ASSERT_TRUE(indicator().visible) << "a clicked start waits for the close";
    EXPECT_EQ(indicator().content->content(), IndicatorContent::error);
    EXPECT_EQ(indicator().content->errorText(), recognizer().errorMessage.get());
    indicator().pressClose();
    EXPECT_FALSE(indicator().visible);

    for (int attempt = 0; attempt < 2; ++attempt) {
        fn(true);
        fn(false);
        advance(AppDelegate::errorShownDuration - 0.5);
    }
    EXPECT_TRUE(indicator().visible) << "the first attempt's timer leaves the second alone";
    advance(0.6);
    EXPECT_FALSE(indicator().visible);

    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::authorized;
    recordSaying("closed early");
    indicator().pressClose();
    EXPECT_FALSE(indicator().visible);
    run();
    advance(0.5);
    EXPECT_EQ(sim.pasteboard.contents, "closed early ");
}

// The paste goes when the engine has said its last word, and an engine that
// never does is waited out for three seconds, no longer.
TEST_F(AppDelegateTest, AStopPastesAsSoonAsTheEngineHasSaidItsLastWords) {
    const struct {
        bool cloudEngine;
        std::optional<double> answersAfter;  // never, without
        double pastedAt;
        const char* pasted;
    } cases[] = {{true, 0.0, 0.0, "go somewhere and do something "},
                 {true, 0.3, 0.3, "go somewhere and do something "},
                 {true, std::nullopt, 3.0, "go somewhere and do some "},
                 {false, 0.0, 0.0, "go somewhere and do something "},
                 {false, 0.3, 0.3, "go somewhere and do something "},
                 {false, std::nullopt, 3.0, "go somewhere and do some "}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cloudEngine << " " << c.answersAfter.value_or(-1));
        launch();
        cloud.holdFinish = true;
        if (c.cloudEngine) useCloud();
        if (!c.cloudEngine) sim.speech.made.back()->answersEndOfAudio = false;
        fn(true);
        const auto say = [&](const std::string& text, bool final) {
            c.cloudEngine ? cloud.fireTranscript(text, final)
                          : sim.speech.made.back()->currentTask().result(text, final);
            run();
        };
        say("go somewhere and do some", false);
        const long before = pastes();
        fn(false);
        const double stoppedAt = sim.scheduler.now();
        std::optional<double> pastedAt;
        for (double waited = 0; waited < 4 && !pastedAt; waited += 0.01) {
            if (c.answersAfter && std::abs(waited - *c.answersAfter) < 0.005) {
                say("go somewhere and do something", true);
                if (c.cloudEngine) cloud.fireFinished(), run();
            }
            if (pastes() > before) pastedAt = sim.scheduler.now() - stoppedAt;
            advance(0.01);
        }
        ASSERT_TRUE(pastedAt);
        EXPECT_NEAR(*pastedAt, c.pastedAt, 0.015);
        EXPECT_EQ(sim.pasteboard.contents, c.pasted);
        advance(1.0);
        sim.preferences.raw.erase("AliyunASRAPIKey");
    }
}

// A desktop shortcut that reports no release (GNOME's custom shortcuts).
TEST_F(AppDelegateTest, ATappedHotkeyRecordsUntilSilenceOrTheNextTap) {
    for (const bool tapAgain : {false, true}) {
        SCOPED_TRACE(tapAgain);
        launch();
        const long before = pastes();
        app->hotkeyPressed(), run(), app->hotkeyTapped();
        sim.speech.made.back()->currentTask().result("kept");
        if (tapAgain) app->hotkeyPressed(), run(), app->hotkeyTapped(), run();
        advance(tapAgain ? 0.5 : 3.6);
        EXPECT_FALSE(recognizer().isRecording);
        EXPECT_EQ(pastes() - before, tapAgain ? 1 : 0)
            << "ended by a tap, pasted; by silence, kept";
    }
}

TEST_F(AppDelegateTest, ARecordingThatStopsOnSilenceKeepsItsTextForInsertOrTheNextClick) {
    click();
    sim.speech.made.back()->currentTask().result("kept");
    advance(3.6);
    ASSERT_FALSE(recognizer().isRecording) << "a clicked recording ends on silence";
    advance(1.0);
    EXPECT_EQ(pastes(), 0) << "nothing pasted by itself";
    ASSERT_TRUE(indicator().visible);
    indicator().content->insertText();
    advance(0.1);
    EXPECT_EQ(sim.pasteboard.contents, "kept ");
    EXPECT_EQ(pastes(), 1);
    // The button's confirmation lasts 1.5 s from the click.
    EXPECT_TRUE(indicator().content->showInserted);
    advance(1.39);
    EXPECT_TRUE(indicator().content->showInserted);
    advance(0.02);
    EXPECT_FALSE(indicator().content->showInserted);

    click();
    advance(1.0);
    EXPECT_FALSE(recognizer().isRecording) << "the click ends the dictation, starts nothing";
    EXPECT_EQ(pastes(), 2);
    EXPECT_FALSE(indicator().visible);
}

TEST_F(AppDelegateTest, APressAndReleaseDeliveredTogetherStillEndTheRecording) {
    fn(true, false);
    fn(false);
    EXPECT_FALSE(recognizer().isRecording) << "the microphone stayed open";
    advance(1.0);
    fn(true);
    EXPECT_TRUE(recognizer().isRecording) << "the next dictation is an ordinary one";
}

TEST_F(AppDelegateTest, ADuePasteWaitsForTheHotkeysModifierToBeLetGoButNotForEver) {
    manager->currentHotkey = HotkeyCombo{49, ModifierFlag::option, false};
    for (const bool letsGo : {true, false}) {
        SCOPED_TRACE(letsGo ? "lets go of Alt" : "holds Alt on");
        const long before = pastes();
        click();
        recognizer().transcript = "words";
        sim.keyboard.heldModifiers = ModifierFlag::option | ModifierFlag::shift;
        click();
        advance(1.4);
        EXPECT_EQ(pastes(), before) << "pasted while Alt was down";
        if (letsGo) sim.keyboard.heldModifiers = 0;
        advance(0.06);
        EXPECT_EQ(pastes(), before + (letsGo ? 1 : 0));
        advance(0.1);
        EXPECT_EQ(pastes(), before + 1) << "not for ever";
        sim.keyboard.heldModifiers = 0;
        advance(1.0);
    }
}

TEST_F(AppDelegateTest, ANewStartDuringAFinishKeepsBothRecordingsIntact) {
    recordSaying("first");
    fn(false);
    advance(0.2);
    fn(true);  // before the finish has read the text
    EXPECT_EQ(sim.pasteboard.writes, std::vector<std::string>{"first "}) << "delivered, not lost";
    EXPECT_TRUE(recognizer().isRecording);
    recognizer().transcript = "second";
    advance(1.0);
    EXPECT_TRUE(indicator().visible) << "the old finish must not hide the new recording";
    EXPECT_EQ(sim.pasteboard.writes.size(), 1u);

    // After the paste the old finish only clears and hides: that is skipped too.
    fn(false);
    advance(0.6);
    EXPECT_EQ(sim.pasteboard.writes.back(), "second ");
    recordSaying("third");
    advance(1.0);
    EXPECT_TRUE(indicator().visible);
    EXPECT_EQ(recognizer().transcript.get(), "third");
    EXPECT_EQ(sim.pasteboard.writes.size(), 2u);
    EXPECT_EQ(std::count(sim.log.notes.begin(), sim.log.notes.end(), "pasting 5 characters"), 1)
        << "the superseded paste is logged too";
}

// A paste after a refused write would insert what the pasteboard held before.
TEST_F(AppDelegateTest, ARefusedPasteboardWritePastesNothingSaysSoAndKeepsTheText) {
    sim.pasteboard.refuse = true;
    recordSaying("kept");
    fn(false);
    advance(1.0);
    EXPECT_EQ(indicator().content->errorText(), TypeSimulator::pasteboardRefused.source);
    EXPECT_EQ(tray().messages.size(), 2u) << "the launch hint, then the release's";
    indicator().content->insertText();
    indicator().content->copyText();
    advance(1.0);
    EXPECT_EQ(pastes(), 0);
    EXPECT_FALSE(indicator().content->showInserted || indicator().content->showCopied);
    EXPECT_EQ(tray().messages.size(), 2u) << "once for the recording";
    EXPECT_EQ(tray().messages.back().second, TypeSimulator::pasteboardRefused.source);
    EXPECT_EQ(recognizer().transcript.get(), "kept");
    EXPECT_TRUE(indicator().visible);
    EXPECT_EQ(indicator().content->content(), IndicatorContent::text);
    sim.pasteboard.refuse = false;
    indicator().content->copyText();
    EXPECT_EQ(indicator().content->errorText(), "") << "a write that works takes it back";
    click();  // the text still waits for the next click
    advance(1.0);
    EXPECT_EQ(sim.pasteboard.contents, "kept ");
    EXPECT_EQ(pastes(), 1);

    // Refused again for a paste still due when the next press comes, after
    // that recording already said another failure.
    sim.pasteboard.refuse = true;
    sim.speech.made.back()->answersEndOfAudio = false;
    recordSaying("superseded");
    recognizer().errorMessage = std::string("heard badly");
    fn(false);
    advance(0.3);
    fn(true);
    EXPECT_EQ(tray().messages.size(), 4u) << "the superseded paste's refusal goes unsaid";
    fn(false);
    advance(5.0);  // nothing left queued that outlives the fakes
}

TEST_F(AppDelegateTest, ReportsThatOutliveTheControllerDoNothing) {
    recordSaying("text");
    const auto view = indicator().content;
    app.reset();
    fn(false);
    fn(true);
    view->close();
    advance(1.0);
    EXPECT_TRUE(sim.pasteboard.writes.empty());
}

}  // namespace
}  // namespace sayvo
