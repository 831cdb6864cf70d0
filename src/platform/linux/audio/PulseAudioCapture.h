#pragma once

#include <memory>

#include "platform/Audio.h"
#include "platform/MicrophoneAuthorization.h"
#include "platform/Translations.h"

namespace sayvo {

// Microphone capture from PulseAudio's default source, in the source's own rate
// and channel count as float32 (the server converts whatever the hardware
// does). Each engine has its own server connection and capture thread (a
// pa_threaded_mainloop); the connection lives from the first prepare(),
// outputFormat() or start() until stop().
//
// Thread: every member, the input node's included, on the main thread. The tap
// block runs on the capture thread, one call at a time, inside the stream's
// read callback; it must not call back into the engine and must not wait on
// the main thread. The main thread takes the capture thread's locks only for
// short non-blocking calls, so a tap never waits long for them.
// Buffers come in outputFormat(0)'s format (float32, non-interleaved) whatever
// format a tap names, each of exactly the tap's size in frames.
// Failure: start() returns a PlatformError with domain "PulseAudio" and leaves
// nothing running; outputFormat() reports a sample rate of 0 when no server or
// no source answers. No call waits longer than a few seconds for the server.
class PulseAudioEngine final : public AudioEngine {
public:
    // Thread: translations from any thread; they outlive the engine.
    explicit PulseAudioEngine(const Translations& translations);
    ~PulseAudioEngine() override;
    PulseAudioEngine(const PulseAudioEngine&) = delete;
    PulseAudioEngine& operator=(const PulseAudioEngine&) = delete;

    AudioInputNode& inputNode() override;
    // Connects early so that start() has less to do.
    void prepare() override;
    std::optional<PlatformError> start() override;
    // False once stopped, and also when the server dropped the stream.
    bool isRunning() const override;
    void stop() override;
    // Called on the capture thread, with the connection's lock held: it must
    // only hand the news on.
    void setFailureHandler(std::function<void(const PlatformError&)> handler) override;

    struct Impl;

private:
    PlatformError translated(PlatformError error) const;

    const Translations& translations_;
    std::unique_ptr<Impl> impl_;
};

// Thread: makeAudioEngine on the main thread; makeConverter on any thread.
class PulseAudioSystem final : public AudioSystem {
public:
    explicit PulseAudioSystem(const Translations& translations) : translations_(translations) {}
    std::unique_ptr<AudioEngine> makeAudioEngine() override;
    // A SoxrAudioConverter when `to` is 16 kHz mono int16 and `from` is a
    // format libsoxr takes; null otherwise.
    std::unique_ptr<AudioConverter> makeConverter(const AudioFormat& from,
                                                  const AudioFormat& to) override;

private:
    const Translations& translations_;
};

// Linux asks no one for microphone access: whoever can reach the sound server
// may record. A missing server or microphone is the capture's own error, said
// as what it is when the recording starts, not as a permission to grant.
// Thread: main thread; requestAccess answers before it returns.
class PulseMicrophoneAuthorization final : public MicrophoneAuthorization {
public:
    MicrophoneAuthorizationStatus status() const override;
    void requestAccess(std::function<void(bool granted)> answer) override;
};

}  // namespace sayvo
