// Capture against the headless PulseAudio of the backend test run: a null sink
// "mic" at 48 kHz mono float32 whose monitor is the default source.
#include <gtest/gtest.h>

#include <QProcess>
#include <QStringList>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/linux/PulseAudioCapture.h"

namespace sayvo {
namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kRecording = "/usr/share/pocketsphinx/test/data/goforward.raw";
constexpr std::uint32_t kFrames = 1024;
constexpr float kSilence = 1e-4f;

template <typename Done>
bool waitUntil(Done done, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = Clock::now() + limit;
    while (!done()) {
        if (Clock::now() > deadline) return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Everything a tap saw, filled on the capture thread.
struct Recorder {
    std::mutex mutex;
    std::vector<float> samples;
    std::vector<std::uint32_t> frameLengths;
    std::vector<AudioFormat> formats;
    std::optional<Clock::time_point> firstBuffer;
    std::atomic<int> calls{0};

    AudioTapBlock tap() {
        return [this](std::shared_ptr<const AudioPCMBuffer> buffer) {
            std::lock_guard lock(mutex);
            if (!firstBuffer) firstBuffer = Clock::now();
            const float* data = buffer->floatChannelData(0);
            samples.insert(samples.end(), data, data + buffer->frameLength());
            frameLengths.push_back(buffer->frameLength());
            formats.push_back(buffer->format());
            ++calls;
        };
    }
};

std::vector<float> readRecording() {
    std::ifstream file(kRecording, std::ios::binary);
    std::vector<float> samples;
    std::int16_t sample;
    while (file.read(reinterpret_cast<char*>(&sample), sizeof sample)) {
        samples.push_back(sample / 32768.0f);
    }
    return samples;
}

struct Span {
    std::size_t first = 0, last = 0;
    double energy = 0;
    std::size_t length() const { return last - first + 1; }
};
std::optional<Span> soundIn(const std::vector<float>& samples) {
    std::optional<Span> span;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        if (std::fabs(samples[i]) <= kSilence) continue;
        if (!span) span = Span{i, i, 0};
        span->last = i;
    }
    if (span) {
        for (std::size_t i = span->first; i <= span->last; ++i)
            span->energy += samples[i] * samples[i];
    }
    return span;
}

TEST(PulseAudioCaptureTest, ReportsTheDefaultSourceAndAuthorizesIt) {
    PulseAudioEngine engine;
    const AudioFormat format = engine.inputNode().outputFormat(0);
    EXPECT_EQ(format.sampleRate, 48000);
    EXPECT_EQ(format.channelCount, 1u);
    EXPECT_EQ(format.sampleType, SampleType::float32);
    EXPECT_EQ(engine.inputNode().outputFormat(1).sampleRate, 0);

    PulseMicrophoneAuthorization authorization;
    EXPECT_EQ(authorization.status(), MicrophoneAuthorizationStatus::authorized);
    std::optional<bool> granted;
    authorization.requestAccess([&](bool g) { granted = g; });
    EXPECT_EQ(granted, true);
}

TEST(PulseAudioCaptureTest, CapturesAPlayedRecordingWhole) {
    const std::vector<float> played = readRecording();
    const auto playedSound = soundIn(played);
    ASSERT_TRUE(playedSound) << "missing " << kRecording;

    PulseAudioEngine engine;
    Recorder recorder;
    engine.inputNode().installTap(0, kFrames, engine.inputNode().outputFormat(0), recorder.tap());
    engine.prepare();
    const auto started = Clock::now();
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(engine.isRunning());
    ASSERT_TRUE(waitUntil([&] { return recorder.calls > 0; }));
    {
        std::lock_guard lock(recorder.mutex);
        std::printf(
            "MEASURE: start() to first buffer: %.1f ms\n",
            std::chrono::duration<double, std::milli>(*recorder.firstBuffer - started).count());
    }

    const int exitCode = QProcess::execute("paplay", {"-d", "mic", "--raw", "--format=s16le",
                                                      "--rate=16000", "--channels=1", kRecording});
    ASSERT_EQ(exitCode, 0);
    // The tail is in once half a second of silence follows the sound.
    const bool tailIn = waitUntil([&] {
        std::lock_guard lock(recorder.mutex);
        const auto sound = soundIn(recorder.samples);
        return sound && recorder.samples.size() - sound->last > 24000;
    });
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    ASSERT_TRUE(tailIn);

    std::lock_guard lock(recorder.mutex);
    for (std::size_t i = 0; i < recorder.frameLengths.size(); ++i) {
        ASSERT_EQ(recorder.frameLengths[i], kFrames) << "buffer " << i;
        ASSERT_EQ(recorder.formats[i], (AudioFormat{48000, 1, SampleType::float32}));
    }
    const auto captured = soundIn(recorder.samples);
    ASSERT_TRUE(captured);
    // 16 kHz played, 48 kHz captured: three samples for each one, and the same
    // energy per sample at unity volume.
    const double expectedLength = 3.0 * double(playedSound->length());
    const double expectedEnergy = 3.0 * playedSound->energy;
    std::printf(
        "MEASURE: captured %zu sound samples (expected %.0f), energy %.2f (expected %.2f)\n",
        captured->length(), expectedLength, captured->energy, expectedEnergy);
    EXPECT_NEAR(double(captured->length()), expectedLength, 0.02 * expectedLength);
    EXPECT_NEAR(captured->energy, expectedEnergy, 0.05 * expectedEnergy);
}

TEST(PulseAudioCaptureTest, NoTapCallOutlivesRemoveTapOrStop) {
    PulseAudioEngine engine;
    AudioInputNode& node = engine.inputNode();

    // A slow tap is usually mid-call when removeTap comes.
    std::atomic<bool> inside{false};
    std::atomic<int> slowCalls{0};
    node.installTap(0, 256, node.outputFormat(0), [&](std::shared_ptr<const AudioPCMBuffer>) {
        inside = true;
        std::this_thread::sleep_for(20ms);
        ++slowCalls;
        inside = false;
    });
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(waitUntil([&] { return slowCalls >= 3; }));
    ASSERT_TRUE(waitUntil([&] { return inside.load(); }));
    node.removeTap(0);
    EXPECT_FALSE(inside);
    const int afterRemove = slowCalls;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(slowCalls, afterRemove);

    // A tap installed while running takes over.
    Recorder recorder;
    node.installTap(0, kFrames, node.outputFormat(0), recorder.tap());
    ASSERT_TRUE(waitUntil([&] { return recorder.calls >= 3; }));
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    const int afterStop = recorder.calls;
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(recorder.calls, afterStop);

    // And the same engine records again.
    ASSERT_FALSE(engine.start());
    EXPECT_TRUE(engine.isRunning());
    EXPECT_TRUE(waitUntil([&] { return recorder.calls >= afterStop + 3; }));
}

// Points libpulse at a server that does not exist for one scope.
class NoServer {
public:
    NoServer() {
        if (const char* value = std::getenv("PULSE_SERVER")) saved_ = value;
        setenv("PULSE_SERVER", "unix:/nonexistent/pulse/native", 1);
    }
    ~NoServer() {
        if (saved_) {
            setenv("PULSE_SERVER", saved_->c_str(), 1);
        } else {
            unsetenv("PULSE_SERVER");
        }
    }
    NoServer(const NoServer&) = delete;
    NoServer& operator=(const NoServer&) = delete;

private:
    std::optional<std::string> saved_;
};

TEST(PulseAudioCaptureTest, WithoutAServerFailsPromptlyAndDenies) {
    NoServer noServer;
    const auto began = Clock::now();

    PulseAudioEngine engine;
    Recorder recorder;
    engine.inputNode().installTap(0, kFrames, AudioFormat{}, recorder.tap());
    EXPECT_EQ(engine.inputNode().outputFormat(0).sampleRate, 0);
    engine.prepare();
    const auto error = engine.start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "PulseAudio");
    EXPECT_NE(error->code, 0);
    EXPECT_NE(error->localizedDescription.find("PulseAudio server"), std::string::npos)
        << error->localizedDescription;
    EXPECT_FALSE(engine.isRunning());
    engine.stop();

    PulseMicrophoneAuthorization authorization;
    EXPECT_EQ(authorization.status(), MicrophoneAuthorizationStatus::denied);
    std::optional<bool> granted;
    authorization.requestAccess([&](bool g) { granted = g; });
    EXPECT_EQ(granted, false);
    EXPECT_EQ(recorder.calls, 0);
    std::printf("MEASURE: every call without a server took %.1f ms in all\n",
                std::chrono::duration<double, std::milli>(Clock::now() - began).count());
}

}  // namespace
}  // namespace sayvo
