// Capture against the headless PulseAudio of the backend test run: a null sink
// "mic" at 48 kHz mono float32 whose monitor is the default source.
#include <gtest/gtest.h>

#include <QProcess>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <mutex>
#include <thread>

#include "Spin.h"
#include "platform/linux/PulseAudioCapture.h"

namespace sayvo {
namespace {

constexpr const char* kRecording = "/usr/share/pocketsphinx/test/data/goforward.raw";
const AudioFormat kSourceFormat{48000, 1, SampleType::float32};

// Everything a tap saw, filled on the capture thread.
struct Recorder {
    std::mutex mutex;
    std::vector<float> samples;
    std::atomic<int> calls{0};
    bool allOfTheSourceFormat = true;

    AudioTapBlock tap() {
        return [this](std::shared_ptr<const AudioPCMBuffer> buffer) {
            std::lock_guard lock(mutex);
            const float* data = buffer->floatChannelData(0);
            samples.insert(samples.end(), data, data + buffer->frameLength());
            allOfTheSourceFormat &=
                buffer->frameLength() == 1024 && buffer->format() == kSourceFormat;
            ++calls;
        };
    }
};

// Where the sound above silence begins and ends, and its energy.
struct Sound {
    std::size_t first, end;
    double energy = 0;
};
Sound soundIn(const std::vector<float>& s) {
    const auto loud = [](float v) { return std::fabs(v) > 1e-4f; };
    Sound sound{std::size_t(std::find_if(s.begin(), s.end(), loud) - s.begin()),
                std::size_t(s.rend() - std::find_if(s.rbegin(), s.rend(), loud))};
    for (std::size_t i = sound.first; i < sound.end; ++i) sound.energy += s[i] * s[i];
    return sound;
}

TEST(PulseAudioEngineTest, CapturesAPlayedRecordingWholeInTheSourceFormat) {
    std::vector<float> played;
    std::ifstream file(kRecording, std::ios::binary);
    for (std::int16_t s; file.read(reinterpret_cast<char*>(&s), 2);) played.push_back(s / 32768.0f);
    ASSERT_FALSE(played.empty()) << "missing " << kRecording;

    PulseMicrophoneAuthorization authorization;
    EXPECT_EQ(authorization.status(), MicrophoneAuthorizationStatus::authorized);
    std::optional<bool> granted;
    authorization.requestAccess([&](bool g) { granted = g; });
    EXPECT_EQ(granted, true);

    PulseAudioEngine engine;
    EXPECT_EQ(engine.inputNode().outputFormat(0), kSourceFormat);
    EXPECT_EQ(engine.inputNode().outputFormat(1).sampleRate, 0) << "there is only bus 0";
    Recorder recorder;
    // Whatever format a tap names, it gets the source's.
    engine.inputNode().installTap(0, 1024, {16000, 2, SampleType::int16}, recorder.tap());
    engine.prepare();
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(engine.isRunning());
    ASSERT_TRUE(spinUntil([&] { return recorder.calls > 0; }));
    ASSERT_EQ(QProcess::execute("paplay", {"-d", "mic", "--raw", "--format=s16le", "--rate=16000",
                                           "--channels=1", kRecording}),
              0);
    // The tail is in once half a second of silence follows the sound.
    const bool tailIn = spinUntil([&] {
        std::lock_guard lock(recorder.mutex);
        const Sound sound = soundIn(recorder.samples);
        return sound.end > sound.first && recorder.samples.size() - sound.end > 24000;
    });
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    ASSERT_TRUE(tailIn);

    std::lock_guard lock(recorder.mutex);
    EXPECT_TRUE(recorder.allOfTheSourceFormat);
    // 16 kHz played, 48 kHz captured: three samples for each, of the same energy.
    const Sound sound = soundIn(played), captured = soundIn(recorder.samples);
    const double length = double(sound.end - sound.first);
    EXPECT_NEAR(double(captured.end - captured.first), 3 * length, 0.06 * length);
    EXPECT_NEAR(captured.energy, 3 * sound.energy, 0.15 * sound.energy);
}

TEST(PulseAudioEngineTest, NoTapCallOutlivesRemoveTapOrStopAndTheEngineStartsAgain) {
    PulseAudioEngine engine;
    AudioInputNode& node = engine.inputNode();
    // A slow tap is usually mid-call when removeTap comes.
    std::atomic<bool> inside{false};
    std::atomic<int> slowCalls{0};
    node.installTap(0, 256, kSourceFormat, [&](auto) {
        inside = true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++slowCalls;
        inside = false;
    });
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(spinUntil([&] { return slowCalls >= 3 && inside; }));
    node.removeTap(0);
    EXPECT_FALSE(inside);
    const int afterRemove = slowCalls;
    spin(200);
    EXPECT_EQ(slowCalls, afterRemove);

    Recorder recorder;
    node.installTap(0, 1024, kSourceFormat, recorder.tap());
    ASSERT_TRUE(spinUntil([&] { return recorder.calls >= 3; })) << "a new tap takes over";
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    const int afterStop = recorder.calls;
    spin(200);
    EXPECT_EQ(recorder.calls, afterStop);
    ASSERT_FALSE(engine.start());
    EXPECT_TRUE(spinUntil([&] { return recorder.calls >= afterStop + 3; }));
}

TEST(PulseAudioEngineTest, WithoutAServerStartFailsAndTheMicrophoneIsDenied) {
    struct Restore {
        QByteArray server = qgetenv("PULSE_SERVER");
        ~Restore() {
            server.isNull() ? qunsetenv("PULSE_SERVER") : qputenv("PULSE_SERVER", server);
        }
    } restore;
    qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
    PulseAudioEngine engine;
    EXPECT_EQ(engine.inputNode().outputFormat(0).sampleRate, 0);
    engine.prepare();
    const auto error = engine.start();
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain, "PulseAudio");
    EXPECT_NE(error->localizedDescription.find("PulseAudio server"), std::string::npos);
    EXPECT_FALSE(engine.isRunning());

    PulseMicrophoneAuthorization authorization;
    EXPECT_EQ(authorization.status(), MicrophoneAuthorizationStatus::denied);
    std::optional<bool> granted;
    authorization.requestAccess([&](bool g) { granted = g; });
    EXPECT_EQ(granted, false);
}

}  // namespace
}  // namespace sayvo
