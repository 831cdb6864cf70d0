#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "core/Observable.h"
#include "platform/Platform.h"
#include "speech/SpeechRecognizer.h"
#include "ui/WaveformView.h"

namespace sayvo {

// What the indicator's content area shows, chosen from the recognizer alone.
// An error with text keeps the text (and its buttons) and adds the error line.
enum class IndicatorContent { waitingForText, text, error, placeholder };
IndicatorContent indicatorContentFor(const std::string& transcript, bool isProcessing,
                                     bool hasError);

// Where the dictation stands, for the title and hint: a failure wins, then
// the microphone, then the recogniser still working, then what came of it.
enum class IndicatorPhase { listening, recognising, textWaiting, nothingHeard, failed };
IndicatorPhase indicatorPhaseFor(bool isRecording, bool isProcessing, bool hasText, bool hasError);

// The indicator's view state and actions: what the drawing code shows and what
// its buttons do. One instance per dictation; a fresh one starts from scratch.
// Thread: main thread only. Make it with create(): delayed work holds it weakly.
class FloatingIndicatorView : public Observable,
                              public std::enable_shared_from_this<FloatingIndicatorView> {
public:
    static constexpr double dotsInterval = 0.4;
    static constexpr double confirmationDuration = 1.5;
    static constexpr Text waitingText = SAYVO_TEXT("FloatingIndicatorView", "识别中");
    static constexpr Text placeholderText = SAYVO_TEXT("FloatingIndicatorView", "请开始说话...");

    static std::shared_ptr<FloatingIndicatorView> create(
        const Platform& platform, std::shared_ptr<SpeechRecognizer> speechRecognizer,
        std::function<void()> onClose, std::uint64_t randomSeed);
    ~FloatingIndicatorView();

    Published<bool> showCopied{*this, false};
    Published<bool> showInserted{*this, false};
    Published<std::string> dots{*this, ""};

    IndicatorContent content() const;
    IndicatorPhase phase() const;
    std::string title() const;
    std::string hint() const;
    // A text of the indicator's in the user's language.
    std::string say(const Text& text) const { return platform_.translations.text(text); }
    const std::string& transcript() const;
    // The recording's failure, or empty.
    std::string errorText() const;
    WaveformView& waveform() { return waveform_; }
    // Fires after the recognizer's transcript, processing flag or error changed;
    // level changes show in the waveform.
    Signal<> recognizerChanged;

    // The buttons. Neither copy nor insert touches the recording.
    void copyText();
    void insertText();
    void close();

    // The window holding the view was ordered front or out.
    void setShown(bool shown);
    bool isShown() const { return shown_; }
    bool isDotsAnimationRunning() const { return dotsTimer_ != nullptr; }

private:
    FloatingIndicatorView(const Platform& platform,
                          std::shared_ptr<SpeechRecognizer> speechRecognizer,
                          std::function<void()> onClose, std::uint64_t randomSeed);
    void observeRecognizer();
    std::pair<std::string, std::string> titleAndHint() const;
    void recognizerDidChange();
    void updateDotsAnimation();
    void startDotsAnimation();
    void resetAfterConfirmation(Published<bool> FloatingIndicatorView::*flag);
    void reportPasteboard(bool written);

    Platform platform_;
    std::shared_ptr<SpeechRecognizer> speechRecognizer_;
    std::function<void()> onClose_;
    WaveformView waveform_;
    std::unique_ptr<RepeatingTimer> dotsTimer_;
    bool shown_ = false;
    float lastLevel_;
    Subscription transcriptObserver_;
    Subscription processingObserver_;
    Subscription recordingObserver_;
    Subscription errorObserver_;
    Subscription levelObserver_;
};

}  // namespace sayvo
