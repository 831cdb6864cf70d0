#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "platform/Audio.h"
#include "platform/PlatformError.h"
#include "platform/Scheduler.h"

namespace sayvo {

// The microphone of one recording, for both engines: its audio engine, one
// tap on the input that serves the whole recording, the level meter and the
// end of capture.
// Threads: every member function runs on the main thread. onBuffer runs on the
// audio thread; levels and the end of capture are posted from there to the
// main queue. Across threads go only the handlers (fixed before the tap is
// installed) and the metering flag (atomic); the audio thread only posts and
// never waits on the main thread or the network.
class MicrophoneTap {
public:
    // All three are required.
    struct Handlers {
        // Audio thread: every captured buffer. Must not block.
        std::function<void(const AudioPCMBuffer& buffer)> onBuffer;
        // Main thread: the level of a buffer with float samples, 0 to 1, while
        // metering. May arrive after a stop: the receiver checks its recording.
        std::function<void(float level)> onLevel;
        // Main thread: the sound server or the microphone went away. Checked
        // the same way.
        std::function<void()> onEnded;
    };

    MicrophoneTap(AudioSystem& audio, Scheduler& scheduler)
        : audio_(audio), scheduler_(scheduler) {}

    // A fresh engine, once the last one is closed; false when none could be made.
    bool open();
    // The microphone's native format; a sample rate of 0 when unknown. Once open.
    AudioFormat inputFormat();
    // Installs the tap, watches for the end of capture and starts; the
    // engine's error when it does not run. The engine then stays open, tap
    // and all, until close().
    std::optional<PlatformError> start(const AudioFormat& format, std::uint32_t bufferFrames,
                                       Handlers handlers);
    // Buffers still reach onBuffer, but no more levels are measured until the
    // next start.
    void stopMetering();
    // Stops capture, removes the tap and releases the engine: no handler runs
    // on the audio thread after it returns. Nothing to do when not open.
    void close();

private:
    struct Feed;

    AudioSystem& audio_;
    Scheduler& scheduler_;
    std::unique_ptr<AudioEngine> engine_;
    std::shared_ptr<Feed> feed_;  // shared with the audio thread
};

}  // namespace sayvo
