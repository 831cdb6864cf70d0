#include "ui/FloatingIndicatorView.h"

#include "paste/TypeSimulator.h"

namespace sayvo {

IndicatorContent indicatorContentFor(const std::string& transcript, bool isProcessing,
                                     bool hasError) {
    if (!transcript.empty()) return IndicatorContent::text;
    if (hasError) return IndicatorContent::error;
    if (isProcessing) return IndicatorContent::waitingForText;
    return IndicatorContent::placeholder;
}

IndicatorPhase indicatorPhaseFor(bool isRecording, bool isProcessing, bool hasText, bool hasError) {
    if (hasError) return IndicatorPhase::failed;
    if (isRecording) return IndicatorPhase::listening;
    if (isProcessing) return IndicatorPhase::recognising;
    return hasText ? IndicatorPhase::textWaiting : IndicatorPhase::nothingHeard;
}

std::shared_ptr<FloatingIndicatorView> FloatingIndicatorView::create(
    const Platform& platform, std::shared_ptr<SpeechRecognizer> speechRecognizer,
    std::function<void()> onClose, std::uint64_t randomSeed) {
    std::shared_ptr<FloatingIndicatorView> view(new FloatingIndicatorView(
        platform, std::move(speechRecognizer), std::move(onClose), randomSeed));
    view->observeRecognizer();
    return view;
}

FloatingIndicatorView::FloatingIndicatorView(const Platform& platform,
                                             std::shared_ptr<SpeechRecognizer> speechRecognizer,
                                             std::function<void()> onClose,
                                             std::uint64_t randomSeed)
    : platform_(platform),
      speechRecognizer_(std::move(speechRecognizer)),
      onClose_(std::move(onClose)),
      waveform_(platform_.scheduler, true, randomSeed),
      lastLevel_(speechRecognizer_->audioLevel) {}

FloatingIndicatorView::~FloatingIndicatorView() = default;

void FloatingIndicatorView::observeRecognizer() {
    std::weak_ptr<FloatingIndicatorView> weak = weak_from_this();
    auto changed = [weak] {
        if (auto self = weak.lock()) self->recognizerDidChange();
    };
    transcriptObserver_ = speechRecognizer_->transcript.values.subscribe(
        [changed](const std::string&) { changed(); });
    processingObserver_ =
        speechRecognizer_->isProcessing.values.subscribe([changed](bool) { changed(); });
    recordingObserver_ =
        speechRecognizer_->isRecording.values.subscribe([changed](bool) { changed(); });
    errorObserver_ = speechRecognizer_->errorMessage.values.subscribe(
        [changed](const std::optional<std::string>&) { changed(); });
    levelObserver_ = speechRecognizer_->audioLevel.values.subscribe([weak](float level) {
        auto self = weak.lock();
        if (!self) return;
        // A level is stored for every measured buffer, equal ones too; only a
        // new value moves the bars.
        if (level != self->lastLevel_) {
            self->lastLevel_ = level;
            self->waveform_.updateWaveform(level);
        }
    });
}

IndicatorPhase FloatingIndicatorView::phase() const {
    return indicatorPhaseFor(speechRecognizer_->isRecording, speechRecognizer_->isProcessing,
                             !transcript().empty(), !errorText().empty());
}

std::string FloatingIndicatorView::title() const {
    return titleAndHint().first;
}

std::string FloatingIndicatorView::hint() const {
    return titleAndHint().second;
}

std::pair<std::string, std::string> FloatingIndicatorView::titleAndHint() const {
    const auto pair = [this](Text title, Text hint) { return std::pair{say(title), say(hint)}; };
    switch (phase()) {
        case IndicatorPhase::listening:
            break;
        case IndicatorPhase::recognising:
            return pair(SAYVO_TEXT("FloatingIndicatorView", "正在识别..."),
                        SAYVO_TEXT("FloatingIndicatorView", "马上就好"));
        case IndicatorPhase::textWaiting:
            return pair(SAYVO_TEXT("FloatingIndicatorView", "识别完成"),
                        SAYVO_TEXT("FloatingIndicatorView", "可插入或复制文字"));
        case IndicatorPhase::nothingHeard:
            return pair(SAYVO_TEXT("FloatingIndicatorView", "没有听到说话"),
                        SAYVO_TEXT("FloatingIndicatorView", "按住快捷键再说一次"));
        case IndicatorPhase::failed:
            return pair(SAYVO_TEXT("FloatingIndicatorView", "未能完成识别"),
                        transcript().empty()
                            ? SAYVO_TEXT("FloatingIndicatorView", "原因见下方")
                            : SAYVO_TEXT("FloatingIndicatorView", "已识别的文字仍可插入或复制"));
    }
    return pair(SAYVO_TEXT("FloatingIndicatorView", "正在聆听..."),
                SAYVO_TEXT("FloatingIndicatorView", "松开快捷键或静音自动停止"));
}

IndicatorContent FloatingIndicatorView::content() const {
    return indicatorContentFor(speechRecognizer_->transcript, speechRecognizer_->isProcessing,
                               !errorText().empty());
}

std::string FloatingIndicatorView::errorText() const {
    return speechRecognizer_->errorMessage.get().value_or("");
}

const std::string& FloatingIndicatorView::transcript() const {
    return speechRecognizer_->transcript;
}

void FloatingIndicatorView::recognizerDidChange() {
    updateDotsAnimation();
    recognizerChanged.fire();
}

void FloatingIndicatorView::copyText() {
    const bool written = TypeSimulator::writePasteboard(platform_, speechRecognizer_->transcript);
    reportPasteboard(written);
    if (!written) return;
    showCopied = true;
    resetAfterConfirmation(&FloatingIndicatorView::showCopied);
}

void FloatingIndicatorView::insertText() {
    const bool written = TypeSimulator::typeText(platform_, speechRecognizer_->transcript);
    reportPasteboard(written);
    if (!written) return;
    showInserted = true;
    resetAfterConfirmation(&FloatingIndicatorView::showInserted);
}

// A refused write confirms nothing and is reported like any other failure; a
// later write that works takes that report back.
void FloatingIndicatorView::reportPasteboard(bool written) {
    if (!written) {
        speechRecognizer_->errorMessage = say(TypeSimulator::pasteboardRefused);
    } else if (speechRecognizer_->errorMessage.get() == say(TypeSimulator::pasteboardRefused)) {
        speechRecognizer_->errorMessage = std::nullopt;
    }
}

void FloatingIndicatorView::close() {
    if (onClose_) onClose_();
}

void FloatingIndicatorView::resetAfterConfirmation(Published<bool> FloatingIndicatorView::*flag) {
    // Each click schedules its own reset and none is cancelled, so the look
    // ends 1.5 s after the first of several quick clicks.
    std::weak_ptr<FloatingIndicatorView> weak = weak_from_this();
    platform_.scheduler.postAfter(confirmationDuration, [weak, flag] {
        if (auto self = weak.lock()) (self.get()->*flag) = false;
    });
}

void FloatingIndicatorView::setShown(bool shown) {
    shown_ = shown;
    if (shown) {
        waveform_.appear();
    } else {
        waveform_.disappear();
    }
    updateDotsAnimation();
}

void FloatingIndicatorView::updateDotsAnimation() {
    const bool waitingShown = shown_ && content() == IndicatorContent::waitingForText;
    if (waitingShown && !dotsTimer_) {
        startDotsAnimation();
    } else if (!waitingShown) {
        dotsTimer_.reset();
    }
}

void FloatingIndicatorView::startDotsAnimation() {
    dotsTimer_ = platform_.scheduler.scheduleRepeating(dotsInterval, [this] {
        const std::string current = dots;
        dots = current.size() < 3 ? current + "." : "";
    });
}

}  // namespace sayvo
