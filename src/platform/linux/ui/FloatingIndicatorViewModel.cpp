#include "platform/linux/ui/FloatingIndicatorViewModel.h"

#include <cmath>

namespace sayvo {

void FloatingIndicatorViewModel::setView(std::shared_ptr<FloatingIndicatorView> view) {
    view_ = std::move(view);
    viewObserver_.reset();
    recognizerObserver_.reset();
    barsObserver_.reset();
    if (view_) {
        viewObserver_ = view_->objectWillChange.subscribe([this] { textUpdate_.request(); });
        recognizerObserver_ = view_->recognizerChanged.subscribe([this] { textUpdate_.request(); });
        barsObserver_ =
            view_->waveform().objectWillChange.subscribe([this] { barsUpdate_.request(); });
    }
    // A fresh view shows its fresh state at once, not a turn later.
    textUpdate_.runNow();
    barsUpdate_.runNow();
}

void FloatingIndicatorViewModel::setShown(bool shown) {
    if (shown_ == shown) return;
    shown_ = shown;
    emit shownChanged();
}

void FloatingIndicatorViewModel::updateText() {
    if (!view_) return;
    switch (view_->content()) {
        case IndicatorContent::waitingForText:
            content_ = QStringLiteral("waiting");
            break;
        case IndicatorContent::text:
            content_ = QStringLiteral("text");
            break;
        case IndicatorContent::error:
            content_ = QStringLiteral("error");
            break;
        case IndicatorContent::placeholder:
            content_ = QStringLiteral("placeholder");
            break;
    }
    transcript_ = qs(view_->transcript());
    errorText_ = qs(view_->errorText());
    dots_ = qs(view_->dots);
    showCopied_ = view_->showCopied;
    showInserted_ = view_->showInserted;
    emit textChanged();
}

void FloatingIndicatorViewModel::updateBars() {
    if (!view_) return;
    const WaveformView& waveform = view_->waveform();
    QVariantList bars;
    for (double h : waveform.animationValues.get()) bars.append(h);
    bars_ = bars;
    const bool idle = waveform.lastAnimation() == WaveformView::Animation::idle;
    if (idle != barsIdle_) {
        barsIdle_ = idle;
        emit barsIdleChanged();
    }
    emit barsChanged();
}

QVariantMap FloatingIndicatorViewModel::meter() const {
    return {
        {QStringLiteral("barCount"), WaveformView::barCount},
        {QStringLiteral("barWidth"), WaveformView::barWidth},
        {QStringLiteral("barSpacing"), WaveformView::barSpacing},
        {QStringLiteral("barRadius"), WaveformView::cornerRadius},
        {QStringLiteral("barFullHeight"), WaveformView::fullHeight},
        {QStringLiteral("levelAnimationMs"),
         int(std::lround(WaveformView::levelAnimationDuration * 1000))},
        {QStringLiteral("idleAnimationMs"),
         int(std::lround(WaveformView::idleAnimationDuration * 1000))},
    };
}

QString FloatingIndicatorViewModel::title() const {
    return view_ ? qs(view_->title()) : QString();
}
QString FloatingIndicatorViewModel::hint() const {
    return view_ ? qs(view_->hint()) : QString();
}
QString FloatingIndicatorViewModel::waitingText() const {
    return translated(FloatingIndicatorView::waitingText);
}
QString FloatingIndicatorViewModel::placeholderText() const {
    return translated(FloatingIndicatorView::placeholderText);
}

void FloatingIndicatorViewModel::copy() {
    if (view_) view_->copyText();
}
void FloatingIndicatorViewModel::insert() {
    if (view_) view_->insertText();
}
void FloatingIndicatorViewModel::close() {
    if (view_) view_->close();
}

}  // namespace sayvo
