// From a capture's start to its first buffer, on the sound server the
// environment names: connecting, finding the default source, opening the
// record stream and filling the first 1024-frame buffer (21.3 ms at 48 kHz).
// Run it with a source that delivers at once, such as module-sine-source.
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/SourceTexts.h"
#include "platform/linux/audio/PulseAudioCapture.h"

namespace sayvo {
namespace {

const SourceTexts kTexts;

void BM_CaptureStartToFirstBuffer(benchmark::State& state) {
    for (auto _ : state) {
        PulseAudioEngine engine{kTexts};
        std::atomic<bool> delivered{false};
        const auto began = std::chrono::steady_clock::now();
        engine.inputNode().installTap(0, 1024, {}, [&](auto) { delivered = true; });
        if (engine.start()) {
            state.SkipWithError("no capture");
            return;
        }
        while (!delivered) std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count());
        engine.stop();
    }
}
BENCHMARK(BM_CaptureStartToFirstBuffer)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(20);

}  // namespace
}  // namespace sayvo
