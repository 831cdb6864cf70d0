#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "core/Observable.h"
#include "hotkey/HotkeyManager.h"
#include "paste/TypeSimulator.h"
#include "platform/Platform.h"
#include "speech/SpeechRecognizer.h"
#include "ui/FloatingIndicatorWindow.h"
#include "ui/MenuBarView.h"

namespace sayvo {

// The recording cycle: hotkey or tray click starts a recording and shows the
// indicator; the stop waits for the last text, pastes it into the focused
// application, then clears and hides. Also keeps the tray icon in step.
// Thread: main thread only. Make it with create(): handlers hold it weakly.
class AppDelegate : public Observable, public std::enable_shared_from_this<AppDelegate> {
public:
    static constexpr double pasteSettleDelay = 0.4;
    // How long a due paste waits for the hotkey's modifiers to be let go.
    static constexpr double modifierReleaseWait = 1.5;
    // How long a due paste waits at most for an engine's last words.
    static constexpr double finalTextWait = 3.0;
    // How long an indicator showing only an error stays after the dictation ends.
    static constexpr double errorShownDuration = 3.0;

    static std::shared_ptr<AppDelegate> create(const Platform& platform,
                                               std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                               HotkeyManager& hotkeyManager);

    void applicationDidFinishLaunching();
    void statusItemClicked(TrayClick click);
    void updateStatusIcon();
    void toggleRecording();
    // The hotkey held and let go; also what a desktop's own key binding asks for.
    void hotkeyPressed();
    void hotkeyReleased();
    // The press turned out to be a tap (a desktop shortcut that reports no
    // release): the recording it started goes on, to end on silence or at
    // the next press, as a tray click's; one it did not start stops.
    void hotkeyTapped();
    void startRecording();
    void stopRecording();
    void showFloatingIndicator();
    void hideFloatingIndicator();
    // Another launch of Sayvo asks for the panel. It opens once no dictation
    // is under way, so it never takes the focus a paste is headed for.
    void openPanelWhenIdle();
    static constexpr double panelRequestRecheck = 0.25;
    static constexpr Text noTrayText = SAYVO_TEXT(
        "AppDelegate", "桌面没有系统托盘，看不到 Sayvo 的图标：再次启动 Sayvo 即可打开设置面板");

    SpeechRecognizer& speechRecognizer() { return *speechRecognizer_; }
    // A text of Sayvo's in the user's language.
    std::string say(const Text& text) const { return platform_.translations.text(text); }
    FloatingIndicatorWindow* floatingWindow() { return floatingWindow_.get(); }
    // The panel in the popover; a fresh one at every opening.
    MenuBarView* menuBarView() { return menuBarView_.get(); }

private:
    // A stop in progress. A new start supersedes it: the start hands over the
    // text so far and the old finish leaves the new recording alone.
    struct Finish {
        std::uint64_t id = 0;
        bool textPasted = false;
        double stoppedAt = 0;  // on the scheduler's clock
    };

    AppDelegate(const Platform& platform, std::shared_ptr<SpeechRecognizer> speechRecognizer,
                HotkeyManager& hotkeyManager);

    void setupStatusItem();
    void connectHotkey();
    void reportPreferencesReadProblem();
    void reportPreferencesWriteFailure();
    void loadAPIKey();
    void observeRecognizer();
    void reportUndeliveredPastes();
    void showPopover();
    void popoverDidClose();
    void openRequestedPanel();
    void checkAccessibilityPermission();
    void runStartTask();
    void runStopTask();
    void finishAfterTextSettled(std::uint64_t finishId);
    void finishAfterPasteSettled(std::uint64_t finishId);
    void supersedePendingFinish();
    bool finishWaitingText();
    bool pasteTranscript(const std::string& text);  // false, and said, when the pasteboard refused
    void hideFloatingIndicatorAfterError();
    void reportError(const std::optional<std::string>& message);
    void announceDefaultHotkey();
    void introduceWithoutTray();
    void reportHotkeyTaken();

    Platform platform_;
    std::shared_ptr<SpeechRecognizer> speechRecognizer_;
    HotkeyManager& hotkeyManager_;
    std::unique_ptr<FloatingIndicatorWindow> floatingWindow_;
    std::unique_ptr<TrayItem> statusItem_;
    std::unique_ptr<Popover> popover_;
    std::shared_ptr<MenuBarView> menuBarView_;
    Subscription recordingObserver_;
    Subscription finalTextObserver_;
    Subscription errorObserver_;
    Subscription takenObserver_;
    std::optional<HotkeyCombo> reportedTakenHotkey_;
    bool errorReported_ = false;
    bool preferencesFailureReported_ = false;
    bool startQueued_ = false;
    bool startedByHold_ = false;          // the next start comes from the held hotkey
    bool pressStartedRecording_ = false;  // the last hotkey press began the recording
    bool stopAfterStart_ = false;
    bool panelRequested_ = false;
    std::optional<Finish> pendingFinish_;
    std::uint64_t lastFinishId_ = 0;
    std::uint64_t startCount_ = 0;
};

}  // namespace sayvo
