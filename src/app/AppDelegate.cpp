#include "app/AppDelegate.h"

#include <random>
#include <string>
#include <utility>

#include "core/Utf8.h"
#include "speech/RecognitionEngine.h"

namespace sayvo {

namespace {
const std::string kIdleIcon = "mic.fill";
const std::string kRecordingIcon = "waveform";
const std::string kIconDescription = "Sayvo";
const std::string kErrorTitle = "Sayvo";
// Set once the user has been told which key to hold.
const std::string kHotkeyHintShown = "hotkeyHintShown";
// Set once a user without a tray has been shown the panel.
const std::string kIntroducedWithoutTray = "introducedWithoutTray";
constexpr Text kPreferencesNotKept =
    SAYVO_TEXT("AppDelegate", "设置无法保存：本次运行中的更改在退出后不会保留");
constexpr double kPopoverWidth = 260;
constexpr double kPopoverHeight = 220;
}  // namespace

std::shared_ptr<AppDelegate> AppDelegate::create(const Platform& platform,
                                                 std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                                 HotkeyManager& hotkeyManager) {
    return std::shared_ptr<AppDelegate>(
        new AppDelegate(platform, std::move(speechRecognizer), hotkeyManager));
}

AppDelegate::AppDelegate(const Platform& platform,
                         std::shared_ptr<SpeechRecognizer> speechRecognizer,
                         HotkeyManager& hotkeyManager)
    : platform_(platform),
      speechRecognizer_(std::move(speechRecognizer)),
      hotkeyManager_(hotkeyManager) {}

void AppDelegate::applicationDidFinishLaunching() {
    checkAccessibilityPermission();
    setupStatusItem();
    connectHotkey();
    reportPreferencesReadProblem();
    reportPreferencesWriteFailure();
    loadAPIKey();
    hotkeyManager_.startListening();
    announceDefaultHotkey();
    introduceWithoutTray();
    observeRecognizer();
    reportUndeliveredPastes();
    platform_.shell.setAccessoryActivationPolicy();
}

void AppDelegate::connectHotkey() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    hotkeyManager_.setKeyDownCallback([weak] {
        if (auto self = weak.lock()) self->hotkeyPressed();
    });
    hotkeyManager_.setKeyUpCallback([weak] {
        if (auto self = weak.lock()) self->hotkeyReleased();
    });
    takenObserver_ = hotkeyManager_.isHotkeyTaken.values.subscribe([weak](bool taken) {
        if (auto self = weak.lock(); self && taken) self->reportHotkeyTaken();
    });
}

// Told at the launch that found the stored settings unreadable; the file
// has been moved aside, so the next launch is quiet.
void AppDelegate::reportPreferencesReadProblem() {
    const auto problem = platform_.preferences.readProblem();
    if (problem && statusItem_) statusItem_->showMessage(kErrorTitle, *problem);
}

// Said once: every later store fails the same way.
void AppDelegate::reportPreferencesWriteFailure() {
    platform_.preferences.onWriteFailed = [weak = weak_from_this()] {
        auto self = weak.lock();
        if (!self || std::exchange(self->preferencesFailureReported_, true)) return;
        if (self->statusItem_)
            self->statusItem_->showMessage(kErrorTitle, self->say(kPreferencesNotKept));
    };
}

// The keyring may put up its unlock prompt: the answer comes later.
void AppDelegate::loadAPIKey() {
    APIKeyStore& keys = speechRecognizer_->apiKeyStore();
    keys.onNotice = [weak = weak_from_this()](const std::string& message) {
        auto self = weak.lock();
        if (self && self->statusItem_) self->statusItem_->showMessage(kErrorTitle, message);
    };
    keys.load();
}

// Recordings also begin and end without a start or stop task (a permission
// answer, a silence stop, a late cloud stop): the icon must never say
// "recording" while nothing records.
void AppDelegate::observeRecognizer() {
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    recordingObserver_ = speechRecognizer_->isRecording.values.subscribe([weak](bool) {
        if (auto self = weak.lock()) self->updateStatusIcon();
    });
    errorObserver_ = speechRecognizer_->errorMessage.values.subscribe(
        [weak](const std::optional<std::string>& message) {
            if (auto self = weak.lock()) self->reportError(message);
        });
}

// A paste the desktop would not deliver is heard of even after the
// indicator has gone: the text waits on the clipboard for the user.
void AppDelegate::reportUndeliveredPastes() {
    platform_.syntheticKeyboard.setDeliveryFailureHandler(
        [weak = weak_from_this()](const std::string& message) {
            auto self = weak.lock();
            if (self && self->statusItem_) self->statusItem_->showMessage(kErrorTitle, message);
        });
}

// Asks once, at launch, and goes on whatever the answer: without trust the
// hotkey only works in Sayvo's own windows and the text waits on the clipboard.
void AppDelegate::checkAccessibilityPermission() {
    platform_.accessibility.isProcessTrustedWithOptions({{kTrustedCheckOptionPrompt, true}});
}

void AppDelegate::setupStatusItem() {
    statusItem_ = platform_.shell.makeTrayItem();
    if (statusItem_->hasButton()) {
        statusItem_->setImage(kIdleIcon, kIconDescription);
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        statusItem_->onClick = [weak](TrayClick click) {
            if (auto self = weak.lock()) self->statusItemClicked(click);
        };
    }
    popover_ = platform_.shell.makePopover();
    popover_->setContentSize(kPopoverWidth, kPopoverHeight);
    std::weak_ptr<AppDelegate> weak = weak_from_this();
    popover_->onClose = [weak] {
        if (auto self = weak.lock()) self->popoverDidClose();
    };
    // The panel itself is built at each opening, fresh.
}

void AppDelegate::statusItemClicked(TrayClick click) {
    if (click == TrayClick::right) {
        showPopover();
    } else {
        toggleRecording();
    }
}

void AppDelegate::showPopover() {
    if (!statusItem_ || !statusItem_->hasButton() || !popover_) return;
    // A right click on an open panel shows it where it is, as it is.
    if (popover_->isShown()) return;
    menuBarView_ = MenuBarView::create(platform_, speechRecognizer_, hotkeyManager_);
    menuBarView_->onError = [weak = weak_from_this()](const std::string& message) {
        auto self = weak.lock();
        if (self && self->statusItem_) self->statusItem_->showMessage(kErrorTitle, message);
    };
    popover_->setContent(menuBarView_);
    menuBarView_->appear();
    popover_->showRelativeToTrayItem();
}

void AppDelegate::openPanelWhenIdle() {
    if (std::exchange(panelRequested_, true)) return;
    openRequestedPanel();
}

void AppDelegate::openRequestedPanel() {
    if (speechRecognizer_->isRecording || startQueued_ || pendingFinish_) {
        platform_.scheduler.postAfter(panelRequestRecheck, [weak = weak_from_this()] {
            if (auto self = weak.lock()) self->openRequestedPanel();
        });
        return;
    }
    panelRequested_ = false;
    showPopover();
}

// The panel drops an unsaved edit and ends a capture, so the hotkey keeps
// working after the panel is gone.
void AppDelegate::popoverDidClose() {
    if (menuBarView_) menuBarView_->disappear();
}

void AppDelegate::updateStatusIcon() {
    if (!statusItem_ || !statusItem_->hasButton()) return;
    statusItem_->setImage(speechRecognizer_->isRecording ? kRecordingIcon : kIdleIcon,
                          kIconDescription);
}

void AppDelegate::toggleRecording() {
    if (speechRecognizer_->isRecording) {
        stopRecording();
    } else if (!finishWaitingText()) {
        startedByHold_ = false;
        startRecording();
    }
}

void AppDelegate::hotkeyPressed() {
    startedByHold_ = true;
    pressStartedRecording_ = !speechRecognizer_->isRecording && !startQueued_;
    startRecording();
}

void AppDelegate::hotkeyTapped() {
    if (!pressStartedRecording_) {
        hotkeyReleased();
        return;
    }
    pressStartedRecording_ = false;
    startedByHold_ = false;
    speechRecognizer_->stopsOnSilence = true;
}

// A held dictation whose recording ended early (the service finished or
// failed the task, the connection dropped) still ends at the release, with
// the text recognised so far pasted.
void AppDelegate::hotkeyReleased() {
    if (speechRecognizer_->isRecording || startQueued_) {
        stopRecording();
    } else if (startedByHold_ && !finishWaitingText() && speechRecognizer_->errorMessage.get() &&
               speechRecognizer_->transcript.get().empty()) {
        hideFloatingIndicatorAfterError();
    }
}

// The recording stopped by itself and its text waits in the indicator: the
// dictation ends as a release would, with a paste. False when nothing waits.
bool AppDelegate::finishWaitingText() {
    if (pendingFinish_ || startQueued_ || !floatingWindow_ || !floatingWindow_->isVisible() ||
        speechRecognizer_->transcript.get().empty()) {
        return false;
    }
    pendingFinish_ = Finish{++lastFinishId_, false, platform_.scheduler.now()};
    finishAfterTextSettled(lastFinishId_);
    return true;
}

void AppDelegate::startRecording() {
    if (speechRecognizer_->isRecording) return;
    startQueued_ = true;
    platform_.scheduler.post([self = shared_from_this()] { self->runStartTask(); });
}

void AppDelegate::runStartTask() {
    startQueued_ = false;
    const bool stopAfterStart = std::exchange(stopAfterStart_, false);
    // Two starts can be queued before either runs (a key-down and a click); the
    // recognizer treats a start while recording as a stop, so only the first may run.
    if (speechRecognizer_->isRecording) return;
    // A superseded paste that fails is its own failure, said apart from this start's.
    errorReported_ = false;
    supersedePendingFinish();
    ++startCount_;
    errorReported_ = false;
    speechRecognizer_->stopsOnSilence = !startedByHold_;
    // The microphone opens before the window draws: words begin with the press.
    speechRecognizer_->startRecording();
    if (speechRecognizer_->isRecording) {
        platform_.log.note(std::string("recording started, engine ") +
                           (speechRecognizer_->currentEngine.get() == RecognitionEngine::aliyun
                                ? "cloud"
                                : "on-device"));
    }
    showFloatingIndicator();
    if (stopAfterStart) stopRecording();
}

void AppDelegate::stopRecording() {
    if (!speechRecognizer_->isRecording) {
        // A release that came with its press (an on-screen keyboard sends
        // both at once) still ends the recording that press starts.
        if (startQueued_) stopAfterStart_ = true;
        return;
    }
    platform_.scheduler.post([self = shared_from_this()] { self->runStopTask(); });
}

void AppDelegate::runStopTask() {
    // A key-up and a click can both queue a stop for the same recording; a
    // second finish would paste the text twice.
    if (pendingFinish_) return;
    platform_.log.note("recording stopped");
    speechRecognizer_->stopRecording();
    pendingFinish_ = Finish{++lastFinishId_, false, platform_.scheduler.now()};
    finishAfterTextSettled(lastFinishId_);
}

void AppDelegate::finishAfterTextSettled(std::uint64_t finishId) {
    // A paste already made leaves only the clearing: a wake-up left over from
    // the wait must not paste again.
    if (!pendingFinish_ || pendingFinish_->id != finishId || pendingFinish_->textPasted) return;
    const double waited = platform_.scheduler.now() - pendingFinish_->stoppedAt;
    // Both engines say when their last words are in: the paste goes then, at
    // once, and only an engine that never says is waited out.
    if (speechRecognizer_->awaitsFinalText() && waited < finalTextWait) {
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        finalTextObserver_ = speechRecognizer_->finalTextSettled.subscribe([weak, finishId] {
            if (auto self = weak.lock()) self->finishAfterTextSettled(finishId);
        });
        platform_.scheduler.postAfter(finalTextWait - waited, [weak, finishId] {
            if (auto self = weak.lock()) self->finishAfterTextSettled(finishId);
        });
        return;
    }
    finalTextObserver_.reset();
    const std::string text = speechRecognizer_->transcript;
    // The paste lets go of held modifiers: with one of the hotkey's down, the
    // user is on the way to the next dictation, and its key would then type
    // bare. Wait until it is let go, or until that dictation's start takes
    // over this paste; not for ever.
    const std::uint64_t hotkeyModifiers = hotkeyManager_.currentHotkey.get().modifiers;
    const bool nextHotkeyUnderWay = !text.empty() &&
                                    (platform_.keyboard.currentModifierFlags() & hotkeyModifiers) &&
                                    waited < modifierReleaseWait;
    if (nextHotkeyUnderWay) {
        platform_.scheduler.postAfter(0.05, [self = shared_from_this(), finishId] {
            self->finishAfterTextSettled(finishId);
        });
        return;
    }
    if (text.empty()) {
        platform_.log.note("no text to paste");
        pendingFinish_.reset();
        hideFloatingIndicatorAfterError();
        return;
    }
    if (!pasteTranscript(text)) {
        // The text stays in the indicator, for "复制" or another try.
        pendingFinish_.reset();
        return;
    }
    pendingFinish_->textPasted = true;
    platform_.scheduler.postAfter(pasteSettleDelay, [self = shared_from_this(), finishId] {
        self->finishAfterPasteSettled(finishId);
    });
}

void AppDelegate::finishAfterPasteSettled(std::uint64_t finishId) {
    if (!pendingFinish_ || pendingFinish_->id != finishId) return;
    pendingFinish_.reset();
    speechRecognizer_->clearTranscript();
    hideFloatingIndicator();
}

void AppDelegate::supersedePendingFinish() {
    if (!pendingFinish_) return;
    // The new start is about to clear the transcript: deliver the old
    // recording's text now rather than lose it.
    if (!pendingFinish_->textPasted) {
        const std::string text = speechRecognizer_->transcript;
        if (!text.empty()) pasteTranscript(text);
    }
    pendingFinish_.reset();
}

// Every paste, a superseded one too, is one line in the log.
bool AppDelegate::pasteTranscript(const std::string& text) {
    platform_.log.note("pasting " + std::to_string(utf8CharacterCount(text)) + " characters");
    const auto keys = TypeSimulator::preparePaste(platform_, text);
    if (!keys) {
        speechRecognizer_->errorMessage = say(TypeSimulator::pasteboardRefused);
        return false;
    }
    // The keys go once the user has answered, into the window they return to.
    if (platform_.syntheticKeyboard.mayAskTheUser()) hideFloatingIndicator();
    TypeSimulator::pasteText(platform_, *keys);
    return true;
}

void AppDelegate::showFloatingIndicator() {
    if (!floatingWindow_) {
        floatingWindow_ = std::make_unique<FloatingIndicatorWindow>(platform_, speechRecognizer_,
                                                                    std::random_device{}());
        std::weak_ptr<AppDelegate> weak = weak_from_this();
        floatingWindow_->onClose = [weak] {
            if (auto self = weak.lock()) {
                self->stopRecording();
                self->hideFloatingIndicator();
            }
        };
    } else {
        floatingWindow_->updateContent();
    }
    floatingWindow_->show();
}

// A new user has no way to know which key to hold: say it at the first
// launch. The default is not stored, so a later keyboard may change it.
void AppDelegate::announceDefaultHotkey() {
    const std::string key = hotkeyManager_.displayString();
    // Said at every launch until the user captures a hotkey that works.
    if (hotkeyManager_.storedHotkeyIsUnusable()) {
        if (statusItem_) {
            statusItem_->showMessage(
                kErrorTitle,
                withArguments(
                    say(SAYVO_TEXT("AppDelegate",
                                   "保存的快捷键无法使用，请按住 %1 说话，或在设置中重新录制")),
                    {key}));
        }
        return;
    }
    if (!hotkeyManager_.usesDefaultHotkey() ||
        platform_.preferences.boolForKey(kHotkeyHintShown).value_or(false))
        return;
    if (statusItem_) {
        statusItem_->showMessage(
            kErrorTitle, withArguments(say(SAYVO_TEXT("AppDelegate", "按住 %1 说话")), {key}),
            NoticeKind::information);
    }
    platform_.preferences.setBool(kHotkeyHintShown, true);
}

// Without a tray (GNOME without its AppIndicator extension) nothing shows
// that Sayvo runs, nor where its settings are: the first such launch opens
// the panel and says how to reach it again.
void AppDelegate::introduceWithoutTray() {
    if (statusItem_->isInTray() ||
        platform_.preferences.boolForKey(kIntroducedWithoutTray).value_or(false))
        return;
    platform_.preferences.setBool(kIntroducedWithoutTray, true);
    statusItem_->showMessage(kErrorTitle, say(noTrayText), NoticeKind::information);
    openPanelWhenIdle();
}

// Once per combination: watching again after a cancelled capture finds the
// same one taken.
void AppDelegate::reportHotkeyTaken() {
    const HotkeyCombo& hotkey = hotkeyManager_.currentHotkey;
    if (reportedTakenHotkey_ == hotkey) return;
    reportedTakenHotkey_ = hotkey;
    const std::string key = hotkeyManager_.displayString();
    if (statusItem_) {
        statusItem_->showMessage(
            kErrorTitle,
            withArguments(say(SAYVO_TEXT("AppDelegate", "快捷键 %1 已被其他程序占用")), {key}));
    }
}

// One failure often reports several times (a refused task, then the closed
// connection): the user hears about the first one of each recording only.
void AppDelegate::reportError(const std::optional<std::string>& message) {
    if (!message || message->empty() || errorReported_) return;
    errorReported_ = true;
    if (statusItem_) statusItem_->showMessage(kErrorTitle, *message);
}

// A dictation that failed without text ends with its error in view for a
// moment, not with an indicator that vanishes or one that stays for good.
void AppDelegate::hideFloatingIndicatorAfterError() {
    if (!speechRecognizer_->errorMessage.get()) {
        hideFloatingIndicator();
        return;
    }
    platform_.scheduler.postAfter(errorShownDuration, [weak = weak_from_this(), id = startCount_] {
        auto self = weak.lock();
        if (self && self->startCount_ == id) self->hideFloatingIndicator();
    });
}

void AppDelegate::hideFloatingIndicator() {
    if (floatingWindow_) floatingWindow_->hide();
}

}  // namespace sayvo
