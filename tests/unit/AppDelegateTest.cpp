#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "SimPlatform.h"
#include "app/AppDelegate.h"

namespace sayvo {
namespace {

using sim::SimPlatform;

// The user's fn key, pressed in another application.
struct FnKey {
    sim::SimPlatform& sim;
    std::shared_ptr<HotkeyManager> manager =
        HotkeyManager::create(sim.preferences, sim.keyboard, sim.scheduler);
    void press() {
        sim.keyboard.typeElsewhere(
            {KeyEventType::flagsChanged, KeyCode::function, ModifierFlag::function, false});
    }
    void release() {
        sim.keyboard.typeElsewhere({KeyEventType::flagsChanged, KeyCode::function, 0, false});
    }
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        app = AppDelegate::create(sim.platform(), SpeechRecognizer::create(sim.platform(), cloud),
                                  *hotkey.manager);
        app->applicationDidFinishLaunching();
    }
    SpeechRecognizer& recognizer() { return app->speechRecognizer(); }
    sim::FakeTrayItem& tray() { return *sim.shell.trayItem; }
    sim::FakeFloatingWindow& indicator() { return *sim.shell.windows.at(0); }
    void run() { sim.scheduler.runUntilIdle(); }
    void advance(double s) { sim.scheduler.advance(s); }
    // Paste keystrokes posted into the focused application.
    long pastes() const {
        return std::count_if(sim.syntheticKeyboard.posted.begin(),
                             sim.syntheticKeyboard.posted.end(),
                             [](const auto& p) { return p.event.keyDown; });
    }
    void recordSaying(const std::string& text) {
        hotkey.press();
        run();
        recognizer().transcript = text;
    }

    SimPlatform sim;
    sim::FakeCloudClient cloud;
    FnKey hotkey{sim};
    std::shared_ptr<AppDelegate> app;
};

TEST_F(AppDelegateTest, LaunchLeavesOnlyTheTrayItem) {
    EXPECT_TRUE(sim.shell.accessory);
    EXPECT_EQ(tray().currentImage(), "mic.fill");
    EXPECT_EQ(tray().description, "Sayvo");
    EXPECT_EQ(sim.keyboard.globalCount(), 1u) << "watching the fn key from launch";
    EXPECT_TRUE(sim.shell.windows.empty()) << "the indicator is made at its first show";
    EXPECT_FALSE(sim.shell.popover->isShown());
}

TEST_F(AppDelegateTest, TheFirstLaunchSaysWhichKeyToHoldAndATakenKeyIsReportedOnce) {
    SimPlatform desktop;
    desktop.keyboard.functionKey = false;
    desktop.keyboard.notation = {"Ctrl", "Alt", "Shift", "Super", "+"};
    desktop.keyboard.heldElsewhere.insert({2, ModifierFlag::control | ModifierFlag::option});
    const auto launch = [&] {
        auto manager =
            HotkeyManager::create(desktop.preferences, desktop.keyboard, desktop.scheduler);
        auto delegate = AppDelegate::create(
            desktop.platform(), SpeechRecognizer::create(desktop.platform(), cloud), *manager);
        delegate->applicationDidFinishLaunching();
        return std::pair(manager, delegate);
    };
    auto [manager, delegate] = launch();
    const sim::FakeTrayItem& tray = *desktop.shell.trayItem;
    // Ctrl+Alt+D, held by another program, captured twice: told once.
    for (int attempt = 0; attempt < 2; ++attempt) {
        manager->startRecordingHotkey();
        manager->recordHotkey(
            {KeyEventType::keyDown, 2, ModifierFlag::control | ModifierFlag::option, false});
    }
    using Messages = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(tray.messages, (Messages{{"Sayvo", "按住 Ctrl+Alt+Space 说话"},
                                       {"Sayvo", "快捷键 Ctrl+Alt+D 已被其他程序占用"}}));

    for (const char* key : {"hotkeyKeyCode", "hotkeyModifiers", "hotkeyIsFnKey"}) {
        desktop.preferences.raw.erase(key);
    }
    const auto again = launch();
    EXPECT_TRUE(desktop.shell.trayItem->messages.empty()) << "said once, not at every launch";

    // A stored shift key alone can never work: the default stands in, and the user hears why.
    storeHotkey(desktop.preferences, {56, 0, false});
    const auto broken = launch();
    EXPECT_EQ(desktop.shell.trayItem->messages,
              (Messages{{"Sayvo",
                         "保存的快捷键无法使用，请按住 Ctrl+Alt+Space 说话，或在设置中重新录制"}}));
}

TEST_F(AppDelegateTest, LaunchAsksForTrustOnceWithThePrompt) {
    ASSERT_EQ(sim.accessibility.checks.size(), 1u);
    EXPECT_EQ(sim.accessibility.checks[0], (TrustCheckOptions{{kTrustedCheckOptionPrompt, true}}));
    EXPECT_EQ(sim.accessibility.promptsShown, 0) << "already trusted: nothing shown";

    SimPlatform untrusted;
    untrusted.accessibility.trusted = false;
    FnKey keys{untrusted};
    auto other = AppDelegate::create(
        untrusted.platform(), SpeechRecognizer::create(untrusted.platform(), cloud), *keys.manager);
    other->applicationDidFinishLaunching();
    untrusted.scheduler.runUntilIdle();
    EXPECT_EQ(untrusted.accessibility.promptsShown, 1);
    EXPECT_EQ(untrusted.shell.trayItem->currentImage(), "mic.fill") << "launch goes on";
    EXPECT_EQ(untrusted.microphone.requestCount, 0) << "no microphone request at launch";
    EXPECT_EQ(untrusted.speech.requestCount, 0);

    // Asked at launch only, not again when recording.
    keys.press();
    untrusted.scheduler.runUntilIdle();
    EXPECT_EQ(untrusted.accessibility.checks.size(), 1u);
}

TEST_F(AppDelegateTest, HotkeyCycleShowsPastesClearsAndHidesOnTime) {
    recordSaying("hello world");
    EXPECT_TRUE(indicator().visible);
    EXPECT_EQ(tray().currentImage(), "waveform");
    // Bottom centre of the visible area, 80 points above its lower edge.
    EXPECT_EQ(indicator().currentFrame, (Rect{540, 680, 360, 140}));

    sim.pasteboard.contents = "older clipboard";
    hotkey.release();
    run();
    EXPECT_EQ(tray().currentImage(), "mic.fill") << "system engine: icon back at once";
    advance(0.49);
    EXPECT_TRUE(sim.pasteboard.writes.empty());
    advance(0.01);
    EXPECT_EQ(sim.pasteboard.writes, std::vector<std::string>{"hello world"});
    EXPECT_EQ(sim.pasteboard.clearCount, 1);
    EXPECT_EQ(pastes(), 1);
    EXPECT_TRUE(indicator().visible) << "stays up showing the inserted text";
    advance(0.39);
    EXPECT_EQ(recognizer().transcript.get(), "hello world");
    advance(0.01);
    EXPECT_EQ(recognizer().transcript.get(), "");
    EXPECT_FALSE(indicator().visible);
    EXPECT_EQ(sim.pasteboard.contents, "hello world") << "the text stays on the pasteboard";
}

TEST_F(AppDelegateTest, EmptyRecordingHidesAndLeavesThePasteboardAlone) {
    recordSaying("");
    sim.pasteboard.contents = "keep me";
    hotkey.release();
    run();
    advance(0.5);
    EXPECT_FALSE(indicator().visible);
    EXPECT_EQ(sim.pasteboard.contents, "keep me");
    EXPECT_EQ(sim.pasteboard.clearCount, 0);
    EXPECT_EQ(pastes(), 0);
}

TEST_F(AppDelegateTest, TrayClicksToggleOrOpenAFreshPanel) {
    tray().click(TrayClick::left);
    run();
    EXPECT_TRUE(recognizer().isRecording);
    EXPECT_TRUE(indicator().visible);

    sim::FakePopover& popover = *sim.shell.popover;
    recognizer().setAliyunAPIKey("stored");
    tray().click(TrayClick::right);
    run();
    EXPECT_TRUE(recognizer().isRecording) << "a right click never toggles";
    ASSERT_TRUE(popover.isShown());
    ASSERT_EQ(popover.content.get(), app->menuBarView());
    EXPECT_EQ(popover.content->apiKeyInput.get(), "stored") << "loaded at opening";

    // Closing drops the unsaved edit and ends a capture; the next opening is fresh.
    popover.content->toggleAPIKeyEditing();
    popover.content->apiKeyInput = "unsaved";
    popover.content->toggleHotkeyRecording();
    const MenuBarView* first = popover.content.get();
    popover.close();
    EXPECT_FALSE(first->isRecordingHotkey);
    EXPECT_FALSE(first->showAPIKey);
    EXPECT_EQ(sim.keyboard.globalCount(), 1u) << "the hotkey is watched again";
    tray().click(TrayClick::right);
    EXPECT_NE(popover.content.get(), first);
    EXPECT_EQ(popover.content->apiKeyInput.get(), "stored");
    EXPECT_FALSE(popover.content->showAPIKey);

    recognizer().transcript = "clicked";
    tray().click(TrayClick::left);
    run();
    advance(0.5);
    EXPECT_EQ(sim.pasteboard.contents, "clicked");
}

TEST_F(AppDelegateTest, WithoutATrayTheHotkeyStillRecords) {
    SimPlatform bare;
    bare.shell.trayAvailable = false;
    FnKey keys{bare};
    auto other = AppDelegate::create(
        bare.platform(), SpeechRecognizer::create(bare.platform(), cloud), *keys.manager);
    other->applicationDidFinishLaunching();
    keys.press();
    bare.scheduler.runUntilIdle();
    EXPECT_TRUE(other->speechRecognizer().isRecording);
    EXPECT_TRUE(bare.shell.trayItem->images.empty());
}

TEST_F(AppDelegateTest, FailedStartKeepsThePlaceholderUpUntilClosed) {
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::denied;
    hotkey.press();
    run();
    EXPECT_TRUE(indicator().visible);
    EXPECT_FALSE(recognizer().isRecording);
    hotkey.release();
    run();
    advance(1.0);
    EXPECT_TRUE(indicator().visible);
    indicator().pressClose();
    run();
    EXPECT_FALSE(indicator().visible);
}

TEST_F(AppDelegateTest, ClosingTheIndicatorMidRecordingStillInsertsTheText) {
    recordSaying("closed early");
    indicator().pressClose();
    EXPECT_FALSE(indicator().visible);
    run();
    advance(0.5);
    EXPECT_EQ(sim.pasteboard.contents, "closed early");
}

TEST_F(AppDelegateTest, ACloudTaskEndingWhileHeldStillPastesAtTheRelease) {
    sim.preferences.raw["AliyunASRAPIKey"] = std::string("key");
    for (const bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "failed" : "finished by the service");
        const long before = pastes();
        hotkey.press();
        run();
        cloud.fireTranscript("recognised so far", true);
        if (failed) cloud.fireError("连接已断开");
        cloud.fireStoppedByService();
        run();
        advance(1.0);
        EXPECT_EQ(pastes(), before) << "nothing before the release";
        hotkey.release();
        run();
        advance(1.0);
        EXPECT_EQ(pastes(), before + 1);
        EXPECT_EQ(sim.pasteboard.contents, "recognised so far");
        EXPECT_FALSE(indicator().visible);
        EXPECT_FALSE(cloud.isRunning()) << "the microphone is closed";
    }
    EXPECT_EQ(tray().messages.back().second, "连接已断开") << "told about the failure";
}

TEST_F(AppDelegateTest, AStopPastesOnceTheEngineHasSaidItsLastWord) {
    cloud.holdFinish = true;
    sim.speech.made.front()->answersEndOfAudio = false;
    const struct {
        const char* name;
        bool onCloud;
        bool answers;
        const char* pasted;
    } cases[] = {
        {"service, late last sentence", true, true, "go somewhere and do something"},
        {"service, no answer at all", true, false, "go somewhere and do some"},
        {"on device, model still loading", false, true, "go somewhere and do something"},
        {"on device, no final result", false, false, "go somewhere and do some"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sim.preferences.raw["AliyunASRAPIKey"] = std::string(c.onCloud ? "key" : "");
        auto says = [&](const std::string& text, bool isFinal) {
            if (c.onCloud) {
                cloud.fireTranscript(text, isFinal);
                if (isFinal) cloud.fireFinished();
            } else {
                sim.speech.made.front()->currentTask().result(text, isFinal);
            }
            run();
        };
        const long before = pastes();
        hotkey.press();
        run();
        says("go somewhere and do some", false);
        hotkey.release();
        run();
        advance(1.2);
        EXPECT_EQ(pastes(), before) << "pasted before the engine had finished";
        if (c.answers) {
            says("go somewhere and do something", true);
            advance(0.1);
        } else {
            advance(AppDelegate::finalTextWait);
        }
        EXPECT_EQ(pastes(), before + 1);
        EXPECT_EQ(sim.pasteboard.contents, c.pasted);
        advance(1.0);
    }
}

TEST_F(AppDelegateTest, APauseWhileHoldingNeverEndsTheDictation) {
    hotkey.press();
    run();
    sim.speech.made.front()->currentTask().result("before the pause");
    advance(5.0);
    EXPECT_TRUE(recognizer().isRecording) << "the hold says: still dictating";
    hotkey.release();
    run();
    advance(1.0);
    EXPECT_EQ(sim.pasteboard.contents, "before the pause");
    EXPECT_EQ(pastes(), 1);
}

TEST_F(AppDelegateTest, ARecordingThatStopsItselfKeepsItsTextForInsertOrTheNextClick) {
    for (const bool useCloud : {false, true}) {
        SCOPED_TRACE(useCloud ? "cloud, ended by the service" : "on-device, silence");
        if (useCloud) sim.preferences.raw["AliyunASRAPIKey"] = std::string("key");
        const long before = pastes();
        tray().click(TrayClick::left);
        run();
        if (useCloud) {
            cloud.fireTranscript("kept", true);
            cloud.fireStoppedByService();
            run();
        } else {
            sim.speech.made.back()->currentTask().result("kept");
            advance(3.6);  // the silence check ends a clicked recording
        }
        ASSERT_FALSE(recognizer().isRecording);
        advance(1.0);
        EXPECT_EQ(pastes(), before) << "nothing pasted by itself";
        ASSERT_TRUE(indicator().visible);
        FloatingIndicatorView& view = *indicator().content;
        EXPECT_EQ(view.content(), IndicatorContent::text);
        view.insertText();
        advance(0.1);
        EXPECT_EQ(sim.pasteboard.contents, "kept");
        EXPECT_EQ(pastes(), before + 1);

        // The next click ends the dictation with a paste; it clears nothing first.
        tray().click(TrayClick::left);
        run();
        advance(1.0);
        EXPECT_FALSE(recognizer().isRecording);
        EXPECT_EQ(pastes(), before + 2);
        EXPECT_FALSE(indicator().visible);
    }
}

TEST_F(AppDelegateTest, APressAndReleaseDeliveredTogetherStillEndTheRecording) {
    hotkey.press();
    hotkey.release();
    run();
    EXPECT_FALSE(recognizer().isRecording) << "the microphone stayed open";
    advance(1.0);
    EXPECT_FALSE(indicator().visible);
    // The next dictation is an ordinary one.
    hotkey.press();
    run();
    EXPECT_TRUE(recognizer().isRecording);
}

TEST_F(AppDelegateTest, ADuePasteWaitsWhileAHotkeyModifierIsHeld) {
    hotkey.manager->currentHotkey = HotkeyCombo{49, ModifierFlag::option, false};
    const struct {
        const char* name;
        std::function<void()> thenTheUser;
        long pastesAfterOneSecond;
    } cases[] = {
        {"lets go of Alt", [&] { sim.keyboard.heldModifiers = 0; }, 1},
        {"holds Alt on", [] {}, 0},
        {"starts the next dictation", [&] { tray().click(TrayClick::left); }, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const long before = pastes();
        tray().click(TrayClick::left);
        run();
        recognizer().transcript = "words";
        tray().click(TrayClick::left);
        run();
        sim.keyboard.heldModifiers = ModifierFlag::option | ModifierFlag::shift;
        advance(1.5);
        EXPECT_EQ(pastes(), before) << "pasted while Alt was down";
        c.thenTheUser();
        advance(0.1);
        run();
        EXPECT_EQ(pastes(), before + c.pastesAfterOneSecond);
        advance(AppDelegate::modifierReleaseWait);
        EXPECT_EQ(pastes(), before + 1) << "pasted once, and not held back for ever";
        sim.keyboard.heldModifiers = 0;
        if (recognizer().isRecording) tray().click(TrayClick::left);
        advance(2.0);
    }
}

TEST_F(AppDelegateTest, EachFailedRecordingIsReportedOnce) {
    sim.preferences.raw["AliyunASRAPIKey"] = std::string("refused");
    tray().messages.clear();
    for (std::size_t recording = 1; recording <= 2; ++recording) {
        hotkey.press();
        run();
        cloud.fireError("API Key 无效");
        cloud.fireError("连接已关闭");
        cloud.fireStoppedByService();
        run();
        hotkey.release();
        run();
        ASSERT_EQ(tray().messages.size(), recording);
        EXPECT_EQ(tray().messages.back().second, "API Key 无效");
    }
}

TEST_F(AppDelegateTest, EachDictationStartsFreshAtTheBottomCentre) {
    recordSaying("one");
    const auto first = indicator().content;
    first->copyText();
    indicator().currentFrame.x = 12;  // dragged away
    hotkey.release();
    run();
    advance(1.0);
    hotkey.press();
    run();
    EXPECT_NE(indicator().content, first);
    EXPECT_FALSE(indicator().content->showCopied);
    EXPECT_EQ(indicator().currentFrame, (Rect{540, 680, 360, 140}));
    EXPECT_EQ(sim.shell.windows.size(), 1u) << "one window, made once";
}

TEST_F(AppDelegateTest, IconFollowsRecordingsThatBeginOrEndWithoutAStartOrStopTask) {
    // A start that waits for the microphone answer begins after the start task.
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::notDetermined;
    hotkey.press();
    run();
    EXPECT_EQ(tray().currentImage(), "mic.fill");
    sim.microphone.currentStatus = MicrophoneAuthorizationStatus::authorized;
    sim.microphone.answer(true);
    run();
    EXPECT_TRUE(recognizer().isRecording);
    EXPECT_EQ(tray().currentImage(), "waveform");
    tray().click(TrayClick::left);
    run();
    advance(1);

    // The cloud engine confirms its stop only after the stop task ran.
    sim.preferences.raw["AliyunASRAPIKey"] = std::string("key");
    hotkey.press();
    run();
    cloud.fireStoppedByService();
    run();
    EXPECT_FALSE(recognizer().isRecording);
    EXPECT_EQ(tray().currentImage(), "mic.fill");
}

TEST_F(AppDelegateTest, ANewStartDuringAFinishKeepsBothRecordingsIntact) {
    recordSaying("first");
    hotkey.release();
    run();
    advance(0.2);
    // The user starts again before the finish has read the text.
    hotkey.press();
    run();
    EXPECT_EQ(sim.pasteboard.writes, std::vector<std::string>{"first"}) << "delivered, not lost";
    EXPECT_TRUE(recognizer().isRecording);
    recognizer().transcript = "second";
    advance(1.0);
    EXPECT_TRUE(indicator().visible) << "the old finish must not hide the new recording";
    EXPECT_EQ(recognizer().transcript.get(), "second");
    EXPECT_EQ(sim.pasteboard.writes.size(), 1u);

    // Same during the second pause: the text was pasted, the clear and hide are skipped.
    hotkey.release();
    run();
    advance(0.6);
    EXPECT_EQ(sim.pasteboard.writes.back(), "second");
    hotkey.press();
    run();
    recognizer().transcript = "third";
    advance(1.0);
    EXPECT_TRUE(indicator().visible);
    EXPECT_EQ(recognizer().transcript.get(), "third");
    EXPECT_EQ(sim.pasteboard.writes.size(), 2u);
}

TEST_F(AppDelegateTest, DuplicateStartsAndStopsQueuedTogetherActOnce) {
    hotkey.press();
    tray().click(TrayClick::left);  // queued before the first start ran
    run();
    EXPECT_TRUE(recognizer().isRecording) << "the second start must not stop the recording";

    recognizer().transcript = "once";
    sim.preferences.raw["AliyunASRAPIKey"] = std::string("key");  // ignored mid-recording
    hotkey.release();
    tray().click(TrayClick::left);
    run();
    advance(1.0);
    EXPECT_EQ(sim.pasteboard.writes, std::vector<std::string>{"once"});
    EXPECT_EQ(pastes(), 1);
}

TEST_F(AppDelegateTest, ReportsThatOutliveTheControllerDoNothing) {
    recordSaying("text");
    std::weak_ptr<AppDelegate> weak = app;
    app.reset();
    EXPECT_TRUE(weak.expired());
    hotkey.release();
    hotkey.press();
    run();
    advance(1.0);
    EXPECT_TRUE(sim.pasteboard.writes.empty());
}

}  // namespace
}  // namespace sayvo
