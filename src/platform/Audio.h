#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/PlatformError.h"

namespace sayvo {

enum class SampleType { float32, int16 };

struct AudioFormat {
    double sampleRate = 0;
    std::uint32_t channelCount = 1;
    SampleType sampleType = SampleType::float32;

    bool operator==(const AudioFormat&) const = default;
};

// One buffer of captured audio, samples stored channel after channel
// (non-interleaved). Immutable once delivered; shared across threads.
class AudioPCMBuffer {
public:
    AudioPCMBuffer(AudioFormat format, std::uint32_t frameLength)
        : format_(format), frameLength_(frameLength) {
        const std::size_t n = std::size_t(frameLength) * format.channelCount;
        if (format.sampleType == SampleType::float32) {
            floats_.resize(n);
        } else {
            int16s_.resize(n);
        }
    }

    const AudioFormat& format() const { return format_; }
    std::uint32_t frameLength() const { return frameLength_; }

    // Channel data of the buffer's own sample type; null for the other type.
    const float* floatChannelData(std::uint32_t channel) const {
        return floats_.empty() || channel >= format_.channelCount
                   ? nullptr
                   : floats_.data() + std::size_t(channel) * frameLength_;
    }
    const std::int16_t* int16ChannelData(std::uint32_t channel) const {
        return int16s_.empty() || channel >= format_.channelCount
                   ? nullptr
                   : int16s_.data() + std::size_t(channel) * frameLength_;
    }
    float* mutableFloatChannelData(std::uint32_t channel) {
        return const_cast<float*>(floatChannelData(channel));
    }
    std::int16_t* mutableInt16ChannelData(std::uint32_t channel) {
        return const_cast<std::int16_t*>(int16ChannelData(channel));
    }

private:
    AudioFormat format_;
    std::uint32_t frameLength_;
    std::vector<float> floats_;
    std::vector<std::int16_t> int16s_;
};

using AudioTapBlock = std::function<void(std::shared_ptr<const AudioPCMBuffer> buffer)>;

// The microphone side of an audio engine.
// Thread: main thread, except that the tap block runs on the audio thread.
class AudioInputNode {
public:
    virtual ~AudioInputNode() = default;
    // The device's native format for a bus; a sample rate of 0 when unknown.
    virtual AudioFormat outputFormat(int bus) = 0;
    // Delivers every captured buffer to `block` on the audio thread while the
    // engine runs. The buffer size is a request; other sizes may arrive.
    // Replaces an earlier tap on the same bus.
    virtual void installTap(int bus, std::uint32_t bufferSize, AudioFormat format,
                            AudioTapBlock block) = 0;
    // After it returns, the removed block is never called again.
    virtual void removeTap(int bus) = 0;
};

// Microphone capture. Thread: main thread.
// Failure: start() returns the error (no device, no server); the engine then
// does not run. A capture that fails later says so through the failure handler.
class AudioEngine {
public:
    virtual ~AudioEngine() = default;
    virtual AudioInputNode& inputNode() = 0;
    virtual void prepare() = 0;
    virtual std::optional<PlatformError> start() = 0;
    virtual bool isRunning() const = 0;
    // Stops capture; no tap block runs after it returns.
    virtual void stop() = 0;
    // Called at most once per start, on any thread, when capture ends by
    // itself (the sound server or the microphone went away); isRunning() is
    // false by then. Never called once stop() has returned. Set before start().
    virtual void setFailureHandler(std::function<void(const PlatformError&)> handler) = 0;
};

// Converts a stream of buffers from one format to another, keeping its
// filter state from buffer to buffer.
// Thread: one thread at a time (the audio thread).
class AudioConverter {
public:
    virtual ~AudioConverter() = default;
    // The converted int16 samples, the channels averaged to one, at most
    // `capacity` frames;
    // nothing when the conversion failed.
    virtual std::optional<std::vector<std::int16_t>> convert(const AudioPCMBuffer& input,
                                                             std::uint32_t capacity) = 0;
};

// Makes audio engines and converters. Thread: main thread (the engines'
// own rule); converters may be made on any thread. Failure: returns null.
class AudioSystem {
public:
    virtual ~AudioSystem() = default;
    virtual std::unique_ptr<AudioEngine> makeAudioEngine() = 0;
    // Only conversions to int16 are offered.
    virtual std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                          const AudioFormat& to) = 0;
};

}  // namespace sayvo
