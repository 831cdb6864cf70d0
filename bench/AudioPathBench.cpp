// The work done on the audio thread for every captured buffer: the level, the
// hand-over to the current recognition request, and the conversion the
// recogniser needs. One 1024-frame buffer at 48 kHz is 21.3 ms of sound; the
// real-time multiple is printed as a counter.
#include <benchmark/benchmark.h>

#include <cmath>

#include "platform/SourceTexts.h"
#include "platform/linux/audio/SoxrAudioConverter.h"
#include "platform/linux/audio/SoxrResampler.h"
#include "platform/linux/speech/PocketSphinxSpeechService.h"
#include "speech/AudioLevel.h"
#include "speech/RecognitionRequestSlot.h"

namespace sayvo {
namespace {

const SourceTexts kTexts;

constexpr std::uint32_t kFrames = 1024;
constexpr double kRate = 48000;
constexpr double kBufferSeconds = kFrames / kRate;

std::shared_ptr<AudioPCMBuffer> speechLikeBuffer() {
    auto buffer =
        std::make_shared<AudioPCMBuffer>(AudioFormat{kRate, 1, SampleType::float32}, kFrames);
    float* samples = buffer->mutableFloatChannelData(0);
    for (std::uint32_t i = 0; i < kFrames; ++i) {
        samples[i] = 0.3f * std::sin(2 * 3.14159265f * 440 * static_cast<float>(i) / kRate);
    }
    return buffer;
}

void reportRealTime(benchmark::State& state) {
    state.counters["x_real_time"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * kBufferSeconds, benchmark::Counter::kIsRate);
}

void BM_Level(benchmark::State& state) {
    const auto buffer = speechLikeBuffer();
    for (auto _ : state) {
        benchmark::DoNotOptimize(audioLevel(buffer->floatChannelData(0), buffer->frameLength()));
    }
    reportRealTime(state);
}
BENCHMARK(BM_Level);

void BM_AppendToRecognitionRequest(benchmark::State& state) {
    PocketSphinxSpeechService service{kTexts};
    RecognitionRequestSlot slot;
    const auto buffer = speechLikeBuffer();
    int appended = 0;
    for (auto _ : state) {
        // A fresh request now and then, so its queue does not grow without bound.
        if (appended++ % 4096 == 0) {
            if (auto old = slot.exchange(service.makeRecognitionRequest())) old->endAudio();
        }
        slot.appendToCurrent(*buffer);
    }
    if (auto old = slot.exchange(nullptr)) old->endAudio();
    reportRealTime(state);
}
BENCHMARK(BM_AppendToRecognitionRequest);

void BM_ConvertTo16kMono(benchmark::State& state) {
    const auto buffer = speechLikeBuffer();
    SoxrResampler converter(buffer->format());
    for (auto _ : state) benchmark::DoNotOptimize(converter.process(*buffer));
    reportRealTime(state);
}
BENCHMARK(BM_ConvertTo16kMono);

// The cloud engine's work per captured buffer: 1600 frames at 48 kHz (33 ms)
// give a level, a conversion to 533 frames at 16 kHz and a little-endian frame.
void BM_CloudBufferLevelConvertFrame(benchmark::State& state) {
    auto buffer =
        std::make_shared<AudioPCMBuffer>(AudioFormat{kRate, 1, SampleType::float32}, 1600);
    float* samples = buffer->mutableFloatChannelData(0);
    for (int i = 0; i < 1600; ++i) samples[i] = 0.3f * std::sin(0.0576f * static_cast<float>(i));
    SoxrAudioConverter converter(buffer->format());
    for (auto _ : state) {
        benchmark::DoNotOptimize(audioLevel(buffer->floatChannelData(0), buffer->frameLength()));
        const auto out = converter.convert(*buffer, 533);
        std::string frame(out->size() * 2, '\0');
        for (std::size_t i = 0; i < out->size(); ++i) {
            const auto v = static_cast<std::uint16_t>((*out)[i]);
            frame[2 * i] = static_cast<char>(v & 0xFF);
            frame[2 * i + 1] = static_cast<char>(v >> 8);
        }
        benchmark::DoNotOptimize(frame);
    }
    state.counters["x_real_time"] = benchmark::Counter(
        static_cast<double>(state.iterations()) * 1600 / kRate, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CloudBufferLevelConvertFrame);

}  // namespace
}  // namespace sayvo

BENCHMARK_MAIN();
