#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "core/Observable.h"
#include "platform/Scheduler.h"
#include "ui/UniformRandom.h"

namespace sayvo {

// The indicator's five-bar level meter: bars jump with each level change and
// shimmer low between them. Heights are fractions of the full bar height.
// Thread: main thread only.
class WaveformView : public Observable {
public:
    static constexpr int barCount = 5;
    static constexpr double barWidth = 3;
    static constexpr double barSpacing = 3;
    static constexpr double cornerRadius = 2;
    static constexpr double fullHeight = 24;
    static constexpr float levelGain = 2.5f;
    static constexpr float levelCap = 1.0f;
    static constexpr double minimumBase = 0.15;
    static constexpr double levelSpread = 0.5;
    static constexpr double levelAnimationDuration = 0.08;  // ease-out
    static constexpr double idlePeriod = 0.12;
    static constexpr double idleAnimationDuration = 0.12;  // ease-in-out
    static constexpr double idleLow = 0.12;
    static constexpr double idleHigh = 0.25;
    static constexpr double initialHeight = 0.2;

    using Heights = std::array<double, barCount>;
    // Which transition the latest heights ask the drawing for.
    enum class Animation { none, level, idle };

    WaveformView(Scheduler& scheduler, bool isAnimating, std::uint64_t randomSeed);

    Published<Heights> animationValues{
        *this, Heights{initialHeight, initialHeight, initialHeight, initialHeight, initialHeight}};
    Animation lastAnimation() const { return lastAnimation_; }

    void updateWaveform(float level);
    // The meter became visible or hidden: the idle animation runs only between.
    void appear();
    void disappear();
    bool isIdleAnimationRunning() const { return idleTimer_ != nullptr; }

private:
    void startIdleAnimation();
    void store(const Heights& heights, Animation animation);

    Scheduler& scheduler_;
    const bool isAnimating_;
    UniformRandom random_;
    std::unique_ptr<RepeatingTimer> idleTimer_;
    Animation lastAnimation_ = Animation::none;
};

}  // namespace sayvo
