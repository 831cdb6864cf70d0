#include "ui/WaveformView.h"

#include <algorithm>
#include <cmath>

namespace sayvo {

WaveformView::WaveformView(Scheduler& scheduler, bool isAnimating, std::uint64_t randomSeed)
    : scheduler_(scheduler), isAnimating_(isAnimating), random_(randomSeed) {}

void WaveformView::updateWaveform(float level) {
    if (std::isnan(level)) level = 0;  // a broken buffer must not reach the drawing
    const double n = std::min(level * levelGain, levelCap);
    const double base = std::max(n, minimumBase);
    Heights heights{};
    for (double& h : heights) h = base + random_.next(0, levelSpread) * n;
    store(heights, Animation::level);
}

void WaveformView::appear() {
    if (isAnimating_) startIdleAnimation();
}

void WaveformView::disappear() {
    idleTimer_.reset();
}

void WaveformView::startIdleAnimation() {
    // One timer at a time: appearing twice must not double the tick rate.
    idleTimer_ = scheduler_.scheduleRepeating(idlePeriod, [this] {
        Heights heights{};
        for (double& h : heights) h = random_.next(idleLow, idleHigh);
        store(heights, Animation::idle);
    });
}

void WaveformView::store(const Heights& heights, Animation animation) {
    lastAnimation_ = animation;
    animationValues = heights;
}

}  // namespace sayvo
