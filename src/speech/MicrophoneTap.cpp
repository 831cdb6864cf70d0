#include "speech/MicrophoneTap.h"

#include <atomic>
#include <utility>

#include "speech/AudioLevel.h"

namespace sayvo {

namespace {
constexpr int kTapBus = 0;
}  // namespace

// What the audio thread holds: it outlives the tap, so a level posted just
// before a close still finds its handler.
struct MicrophoneTap::Feed {
    Feed(Handlers h, Scheduler& s) : handlers(std::move(h)), scheduler(s) {}

    const Handlers handlers;
    Scheduler& scheduler;
    std::atomic<bool> metering{true};
};

bool MicrophoneTap::open() {
    engine_ = audio_.makeAudioEngine();
    return engine_ != nullptr;
}

AudioFormat MicrophoneTap::inputFormat() {
    return engine_->inputNode().outputFormat(kTapBus);
}

std::optional<PlatformError> MicrophoneTap::start(const AudioFormat& format,
                                                  std::uint32_t bufferFrames, Handlers handlers) {
    auto feed = std::make_shared<Feed>(std::move(handlers), scheduler_);
    feed_ = feed;
    // The level goes out first: the meter need not wait for what the owner
    // does with the buffer.
    engine_->inputNode().installTap(
        kTapBus, bufferFrames, format, [feed](std::shared_ptr<const AudioPCMBuffer> buffer) {
            if (feed->metering) {
                if (const auto level =
                        audioLevel(buffer->floatChannelData(0), buffer->frameLength())) {
                    feed->scheduler.post([feed, level = *level] { feed->handlers.onLevel(level); });
                }
            }
            feed->handlers.onBuffer(*buffer);
        });
    engine_->setFailureHandler([feed](const PlatformError&) {
        feed->scheduler.post([feed] { feed->handlers.onEnded(); });
    });
    engine_->prepare();
    return engine_->start();
}

void MicrophoneTap::stopMetering() {
    if (feed_) feed_->metering = false;
}

void MicrophoneTap::close() {
    if (!engine_) return;
    if (engine_->isRunning()) engine_->stop();
    engine_->inputNode().removeTap(kTapBus);
    engine_.reset();
    feed_.reset();
}

}  // namespace sayvo
