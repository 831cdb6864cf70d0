#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <fstream>
#include <numbers>
#include <thread>

#include "platform/linux/PocketSphinxSpeechService.h"
#include "platform/linux/PulseAudioCapture.h"
#include "platform/linux/SoxrConverter.h"

using namespace sayvo;
using Samples = std::vector<std::int16_t>;
const AudioFormat kMic{48000, 1, SampleType::float32};

TEST(PulseAudioEngineTest, NoTapCallOutlivesRemoveTapOrStopAndTheEngineStartsAgain) {
    PulseAudioEngine engine;
    AudioInputNode& node = engine.inputNode();
    const AudioFormat source = node.outputFormat(0);
    ASSERT_GT(source.sampleRate, 0);
    // A slow tap is usually mid-call when removeTap comes. Whatever format a
    // tap names, it gets the source's, in buffers of its size.
    std::atomic<bool> inside{false}, asAsked{true};
    std::atomic<int> slowCalls{0}, calls{0};
    node.installTap(0, 256, {16000, 2, SampleType::int16}, [&](auto buffer) {
        inside = true;
        asAsked = asAsked && buffer->frameLength() == 256 && buffer->format() == source;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        ++slowCalls;
        inside = false;
    });
    ASSERT_FALSE(engine.start());
    ASSERT_TRUE(QTest::qWaitFor([&] { return slowCalls >= 3 && inside; }));
    node.removeTap(0);
    EXPECT_FALSE(inside);
    const int afterRemove = slowCalls;
    node.installTap(0, 1024, source, [&](auto) { ++calls; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls >= 3; })) << "a new tap takes over";
    EXPECT_EQ(slowCalls, afterRemove);
    EXPECT_TRUE(asAsked);
    engine.stop();
    EXPECT_FALSE(engine.isRunning());
    const int afterStop = calls;
    QTest::qWait(200);
    EXPECT_EQ(calls, afterStop);
    ASSERT_FALSE(engine.start());
    EXPECT_TRUE(QTest::qWaitFor([&] { return calls >= afterStop + 3; }));
}

TEST(PulseAudioEngineTest, WithoutAServerStartFailsAndTheMicrophoneIsDenied) {
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
    PulseAudioEngine engine;
    EXPECT_EQ(engine.inputNode().outputFormat(0).sampleRate, 0);
    const auto error = engine.start();
    EXPECT_EQ(error ? error->domain : "no error", "PulseAudio");
    EXPECT_FALSE(engine.isRunning());
    std::optional<bool> granted;
    PulseMicrophoneAuthorization().requestAccess([&](bool g) { granted = g; });
    EXPECT_EQ(granted, false) << "the microphone is denied";
    qputenv("PULSE_SERVER", server);
}

// `frames` of a 1 kHz tone at half scale from frame `first` on, on the last
// channel only: averaged, the channels keep a voice a mono headset puts on one.
AudioPCMBuffer tone(AudioFormat format, std::size_t frames, std::size_t first = 0) {
    AudioPCMBuffer buffer(format, std::uint32_t(frames));
    const std::uint32_t c = format.channelCount - 1;
    for (std::size_t i = 0; i < frames; ++i) {
        const double v =
            0.5 * std::sin(2000 * std::numbers::pi * double(first + i) / format.sampleRate);
        if (format.sampleType == SampleType::int16) {
            buffer.mutableInt16ChannelData(c)[i] = std::int16_t(std::lround(v * 32767));
        } else {
            buffer.mutableFloatChannelData(c)[i] = float(v);
        }
    }
    return buffer;
}

TEST(SoxrConverterTest, AToneKeepsItsLengthFrequencyAndLevelInBuffersOfAnySize) {
    PulseAudioSystem audio;
    const AudioFormat to16k{16000, 1, SampleType::int16};
    EXPECT_FALSE(audio.makeConverter(kMic, {16000, 1, SampleType::float32}));
    EXPECT_FALSE(audio.makeConverter({0, 1, SampleType::float32}, to16k));
    for (const AudioFormat& format : {kMic, AudioFormat{44100, 2, SampleType::int16},
                                      AudioFormat{16000, 1, SampleType::float32}}) {
        SoxrConverter converter(format);
        ASSERT_TRUE(converter.isValid());
        const std::size_t end = 90 * 1600;  // frames, three seconds and more
        // In buffers of `chunk` frames, flushed.
        std::size_t held = 0;  // by the filter until the flush
        const auto convert = [&](std::size_t chunk) {
            Samples out;
            for (std::size_t at = 0; at < end; at += chunk) {
                const auto part = converter.process(tone(format, std::min(chunk, end - at), at));
                out.insert(out.end(), part.begin(), part.end());
            }
            const auto tail = converter.flush();
            out.insert(out.end(), tail.begin(), tail.end());
            held = tail.size();
            return out;
        };
        const Samples reference = convert(std::size_t(format.sampleRate));
        ASSERT_NEAR(double(reference.size()), end * 16000 / format.sampleRate, 2);
        int crossings = 0;  // in the middle second, clear of the filter's start and end
        double power = 0;
        for (std::size_t i = 16000; i < 32000; ++i) {
            crossings += (reference[i - 1] < 0) != (reference[i] < 0);
            power += double(reference[i]) * reference[i] / 16000;
        }
        EXPECT_NEAR(crossings, 2000, 4);
        EXPECT_NEAR(std::sqrt(power) * format.channelCount, 0.5 * 32768 / std::sqrt(2.0), 232);
        // The same converter, flushed, goes on as a fresh one.
        for (std::size_t chunk : {1600u, 1024u, 333u})
            EXPECT_EQ(convert(chunk), reference) << chunk;
        // The seam's converter, given less room than a buffer needs, carries the rest.
        const auto seam = audio.makeConverter(format, to16k);
        Samples got;
        for (std::size_t at = 0; at <= end; at += 1600) {  // then an empty buffer, more room
            const auto out = seam->convert(tone(format, std::min<std::size_t>(1600, end - at), at),
                                           at < end ? 533 : 1 << 20);
            ASSERT_TRUE(out && out->size() <= (at < end ? 533 : 1 << 20));
            got.insert(got.end(), out->begin(), out->end());
        }
        EXPECT_EQ(got, Samples(reference.begin(), reference.end() - held));
        EXPECT_FALSE(seam->convert(AudioPCMBuffer({8000, 1, SampleType::float32}, 16), 533));
    }
}

// Appends samples[from, to) in buffers as a capture brings them.
void feed(AudioBufferRecognitionRequest& request, const Samples& samples, std::size_t from,
          std::size_t to) {
    for (; from < to; from += 1024) {
        AudioPCMBuffer buffer({16000, 1, SampleType::int16},
                              std::min<std::uint32_t>(1024, to - from));
        std::copy_n(samples.begin() + from, buffer.frameLength(),
                    buffer.mutableInt16ChannelData(0));
        request.append(buffer);
    }
}

TEST(PocketSphinxSpeechServiceTest, NoHandlerCallAfterCancelReturnsOrTheServiceIsGone) {
    Samples speech;
    std::ifstream file("/usr/share/pocketsphinx/test/data/goforward.raw", std::ios::binary);
    for (std::int16_t s; file.read(reinterpret_cast<char*>(&s), 2);) speech.push_back(s);
    const std::size_t half = speech.size() / 2;
    ASSERT_GT(half, 0u) << "pocketsphinx-testdata is not installed";
    std::atomic<int> calls{0}, abandonedCalls{0}, callsAfter{0};
    std::atomic<bool> cancelling{false}, firstCallDone{false}, cancelReturned{false}, gone{false};
    // Made after the flags its handlers use, so it goes first when a check fails.
    auto service = std::make_unique<PocketSphinxSpeechService>();
    EXPECT_EQ(service->recognizerForLocale("zh-CN"), nullptr) << "there is no Chinese model";
    EXPECT_FALSE(PocketSphinxSpeechService("/none").recognizerForDefaultLocale()->isAvailable());
    const auto recognizer = service->recognizerForDefaultLocale();
    ASSERT_TRUE(recognizer->isAvailable()) << "no en-US model";
    const auto first = service->makeRecognitionRequest(),
               second = service->makeRecognitionRequest();
    for (const auto& request : {first, second}) request->setShouldReportPartialResults(true);
    const auto cancelled = recognizer->recognitionTask(first, [&](auto, auto) {
        callsAfter += cancelReturned.load();
        if (++calls > 1) return;
        // Still inside this call when cancel() starts: it must wait for us.
        while (!cancelling) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstCallDone = true;
    });
    const auto abandoned = recognizer->recognitionTask(second, [&](auto, auto) {
        ++abandonedCalls;
        callsAfter += gone.load();
    });
    ASSERT_TRUE(cancelled && abandoned);
    EXPECT_FALSE(recognizer->recognitionTask(second, [](auto, auto) {})) << "one task each";
    feed(*first, speech, 0, half);
    ASSERT_TRUE(QTest::qWaitFor([&] { return calls > 0; }, 30000));
    cancelling = true;
    cancelled->cancel();
    cancelReturned = true;
    EXPECT_TRUE(firstCallDone) << "cancel returned while the handler was still running";
    // The next task is mid-utterance when the service goes.
    feed(*second, speech, 0, half);
    ASSERT_TRUE(QTest::qWaitFor([&] { return abandonedCalls > 0; }, 30000));
    service.reset();
    gone = true;
    for (const auto& request : {first, second}) {
        feed(*request, speech, half, speech.size());
        request->endAudio();
    }
    QTest::qWait(100);
    EXPECT_EQ(callsAfter, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(recognizer->isAvailable()) << "a recogniser outliving its service takes no tasks";
    PocketSphinxSpeechService other;
    EXPECT_FALSE(recognizer->recognitionTask(other.makeRecognitionRequest(), [](auto, auto) {}));
}
