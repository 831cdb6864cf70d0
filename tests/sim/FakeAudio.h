#pragma once

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "FakeServices.h"
#include "Locked.h"
#include "platform/Audio.h"

namespace sayvo::sim {

// A microphone the test plays into. Buffers are delivered from a real second
// thread, as the capture thread does.
struct FakeInputNode final : AudioInputNode {
    AudioFormat format{48000, 1, SampleType::float32};
    int installCount = 0;
    std::uint32_t requestedBufferSize = 0;
    std::atomic<bool> running{false};
    std::mutex mutex_;
    AudioTapBlock tap_;
    AudioFormat outputFormat(int) override { return format; }
    void installTap(int, std::uint32_t bufferSize, AudioFormat, AudioTapBlock block) override {
        std::lock_guard lock(mutex_);
        ++installCount, requestedBufferSize = bufferSize, tap_ = std::move(block);
    }
    // Locked: waits for a delivery in flight.
    void removeTap(int) override {
        locked(mutex_, [&] { tap_ = nullptr; });
    }
    bool hasTap() {
        return locked(mutex_, [&] { return static_cast<bool>(tap_); });
    }
    void deliver(const std::shared_ptr<const AudioPCMBuffer>& buffer) {
        std::lock_guard lock(mutex_);
        if (tap_ && running) tap_(buffer);
    }
};

struct FakeAudioEngine final : AudioEngine {
    FakeInputNode input;
    std::optional<PlatformError> startError;
    int prepareCount = 0, stopCount = 0;
    bool released = false;
    std::function<void(const PlatformError&)> onFailure;
    AudioInputNode& inputNode() override { return input; }
    void prepare() override { ++prepareCount; }
    std::optional<PlatformError> start() override {
        return startError ? startError : (input.running = true, std::nullopt);
    }
    bool isRunning() const override { return input.running; }
    void stop() override { ++stopCount, input.running = false; }
    void setFailureHandler(std::function<void(const PlatformError&)> handler) override {
        onFailure = std::move(handler);
    }

    // The sound server goes away mid-capture; reported from the audio thread.
    void failFromAudioThread() {
        input.running = false;
        std::thread([&] { call(onFailure, PlatformError{"Audio", 1, "gone"}); }).join();
    }

    void playFromAudioThread(const std::vector<std::shared_ptr<const AudioPCMBuffer>>& buffers) {
        std::thread([&] {
            for (const auto& b : buffers) input.deliver(b);
        }).join();
    }
};

// Converts by taking every n-th sample of channel 0 (no filtering: tests
// check amounts and order, not sound quality).
struct FakeConverter final : AudioConverter {
    explicit FakeConverter(AudioFormat from) : from_(from) {}
    std::optional<std::vector<std::int16_t>> convert(const AudioPCMBuffer& input,
                                                     std::uint32_t capacity) override {
        if (!(input.format() == from_)) return std::nullopt;
        const double step = from_.sampleRate / 16000.0;
        std::vector<std::int16_t> out;
        for (double at = 0; at < input.frameLength() && out.size() < capacity; at += step) {
            const auto i = static_cast<std::size_t>(at);
            const float* f = input.floatChannelData(0);
            out.push_back(f ? std::int16_t(f[i] * 32767) : input.int16ChannelData(0)[i]);
        }
        return out;
    }
    AudioFormat from_;
};

// Keeps every engine it made, so a test can inspect one the logic released.
struct FakeAudioSystem final : AudioSystem {
    bool refuse = false;
    AudioFormat nextFormat{48000, 1, SampleType::float32};
    std::optional<PlatformError> nextStartError;
    std::vector<std::unique_ptr<FakeAudioEngine>> engines;

    std::unique_ptr<AudioEngine> makeAudioEngine() override {
        if (refuse) return nullptr;
        auto& engine = *engines.emplace_back(std::make_unique<FakeAudioEngine>());
        engine.input.format = nextFormat, engine.startError = nextStartError;
        return std::make_unique<Handle>(engine);
    }
    FakeAudioEngine& last() { return *engines.back(); }
    bool refuseConverters = false;
    std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                  const AudioFormat& to) override {
        if (refuseConverters || !(to == AudioFormat{16000, 1, SampleType::int16})) return nullptr;
        return std::make_unique<FakeConverter>(from);
    }
    // What the logic owns: releasing it marks the engine released.
    struct Handle final : AudioEngine {
        explicit Handle(FakeAudioEngine& engine) : engine_(engine) {}
        FakeAudioEngine& engine_;
        ~Handle() override { engine_.released = true; }
        AudioInputNode& inputNode() override { return engine_.inputNode(); }
        void prepare() override { engine_.prepare(); }
        std::optional<PlatformError> start() override { return engine_.start(); }
        bool isRunning() const override { return engine_.isRunning(); }
        void stop() override { engine_.stop(); }
        void setFailureHandler(std::function<void(const PlatformError&)> handler) override {
            engine_.setFailureHandler(std::move(handler));
        }
    };
};

// A mono float buffer whose samples all have the given value (sign alternating).
inline std::shared_ptr<const AudioPCMBuffer> floatBuffer(float amplitude,
                                                         std::uint32_t frames = 1024,
                                                         double rate = 48000) {
    auto b = std::make_shared<AudioPCMBuffer>(AudioFormat{rate, 1, SampleType::float32}, frames);
    float* samples = b->mutableFloatChannelData(0);
    for (std::uint32_t i = 0; i < frames; ++i) samples[i] = (i % 2 ? -amplitude : amplitude);
    return b;
}

inline std::shared_ptr<const AudioPCMBuffer> int16Buffer(std::uint32_t frames = 1024) {
    return std::make_shared<AudioPCMBuffer>(AudioFormat{16000, 1, SampleType::int16}, frames);
}

}  // namespace sayvo::sim
