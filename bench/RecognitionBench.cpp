// The on-device recogniser's costs and quality: how long the first task
// waits for the model to load, how soon after the last word the final comes,
// and the word error rate and speed on the LibriVox recordings of Debian's
// pocketsphinx-testdata package. Each decodes real speech: run them with
// --benchmark_filter=Recognition when that is what you want to know.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

#include "platform/SourceTexts.h"
#include "platform/linux/speech/PocketSphinxSpeechService.h"

namespace sayvo {
namespace {

const SourceTexts kTexts;

using Samples = std::vector<std::int16_t>;
using Clock = std::chrono::steady_clock;
const std::string kTestData = "/usr/share/pocketsphinx/test/data/";

Samples readRaw(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    Samples samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// The samples of a 16 kHz mono 16-bit WAV file; empty if it is anything else.
Samples readWav(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    const std::vector<char> bytes{std::istreambuf_iterator<char>(file), {}};
    const auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    const auto u16 = [&](std::size_t at) {
        std::uint16_t v;
        std::memcpy(&v, bytes.data() + at, 2);
        return v;
    };
    if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0) return {};
    bool rightFormat = false;
    for (std::size_t at = 12; at + 8 <= bytes.size();) {
        const std::uint32_t size = u32(at + 4);
        if (std::memcmp(bytes.data() + at, "fmt ", 4) == 0) {
            rightFormat = u16(at + 8) == 1 && u16(at + 10) == 1 && u32(at + 12) == 16000 &&
                          u16(at + 22) == 16;
        } else if (std::memcmp(bytes.data() + at, "data", 4) == 0 && rightFormat) {
            Samples samples(std::min<std::size_t>(size, bytes.size() - at - 8) / 2);
            std::memcpy(samples.data(), bytes.data() + at + 8, samples.size() * 2);
            return samples;
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

struct Outcome {
    std::string text;  // empty: no speech or an error
    std::uint64_t samplesDecoded = 0;
};

// Runs one task over samples[from...] (16 kHz int16, appended as fast as the
// request takes them) and waits for its end. With `endToFinal`, the audio
// ends only once all of it is decoded, and the time from there to the final
// result goes there.
Outcome recognise(PocketSphinxSpeechService& service, OnDeviceRecognizer& recognizer,
                  const Samples& samples, std::size_t from = 0,
                  Clock::duration* endToFinal = nullptr) {
    auto request =
        std::dynamic_pointer_cast<PocketSphinxRecognitionRequest>(service.makeRecognitionRequest());
    request->setShouldReportPartialResults(false);
    std::mutex mutex;
    std::condition_variable ended;
    std::optional<Outcome> outcome;
    auto task = recognizer.recognitionTask(request, [&](auto result, auto) {
        std::lock_guard lock(mutex);
        if (result && !result->isFinal) return;
        outcome = Outcome{result ? result->formattedString : "", request->samplesDecoded()};
        ended.notify_all();
    });
    if (!task) return {};
    for (std::size_t at = from; at < samples.size(); at += 1024) {
        const std::size_t n = std::min<std::size_t>(1024, samples.size() - at);
        AudioPCMBuffer buffer({16000, 1, SampleType::int16}, std::uint32_t(n));
        std::copy_n(samples.begin() + at, n, buffer.mutableInt16ChannelData(0));
        request->append(buffer);
    }
    while (endToFinal && request->samplesDecoded() < samples.size() - from) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const auto audioEnded = Clock::now();
    request->endAudio();
    std::unique_lock lock(mutex);
    if (!ended.wait_for(lock, std::chrono::seconds(60), [&] { return outcome.has_value(); })) {
        task->cancel();
        return {};
    }
    if (endToFinal) *endToFinal = Clock::now() - audioEnded;
    return *outcome;
}

// Dictates as the application does: a new task as soon as one ends, taking
// the audio from where the one before stopped.
std::string dictate(PocketSphinxSpeechService& service, OnDeviceRecognizer& recognizer,
                    const Samples& samples) {
    std::string text;
    for (std::size_t at = 0; at < samples.size();) {
        const Outcome outcome = recognise(service, recognizer, samples, at);
        if (outcome.samplesDecoded == 0) break;
        if (!outcome.text.empty()) text += (text.empty() ? "" : " ") + outcome.text;
        at += outcome.samplesDecoded;
    }
    return text;
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        std::transform(w.begin(), w.end(), w.begin(),
                       [](unsigned char c) { return char(std::tolower(c)); });
        if (w != "<s>" && w != "</s>") out.push_back(w);
    }
    return out;
}

std::size_t wordEdits(const std::vector<std::string>& ref, const std::vector<std::string>& hyp) {
    std::vector<std::size_t> row(hyp.size() + 1);
    for (std::size_t j = 0; j <= hyp.size(); ++j) row[j] = j;
    for (std::size_t i = 1; i <= ref.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= hyp.size(); ++j) {
            const std::size_t above = row[j];
            row[j] = std::min(
                {row[j] + 1, row[j - 1] + 1, diagonal + (ref[i - 1] == hyp[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[hyp.size()];
}

// The first task of a service loads the model.
void BM_RecognitionModelLoad(benchmark::State& state) {
    const Samples tenthOfSilence(1600, 0);
    for (auto _ : state) {
        PocketSphinxSpeechService service{kTexts};
        auto recognizer = service.recognizerForDefaultLocale();
        if (!recognizer->isAvailable()) return state.SkipWithError("no en-US model");
        recognise(service, *recognizer, tenthOfSilence);
    }
}
BENCHMARK(BM_RecognitionModelLoad)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// A task on a loaded model, for comparison: what the load adds is the difference.
void BM_RecognitionTaskOnALoadedModel(benchmark::State& state) {
    const Samples tenthOfSilence(1600, 0);
    PocketSphinxSpeechService service{kTexts};
    auto recognizer = service.recognizerForDefaultLocale();
    if (!recognizer->isAvailable()) return state.SkipWithError("no en-US model");
    recognise(service, *recognizer, tenthOfSilence);
    for (auto _ : state) recognise(service, *recognizer, tenthOfSilence);
}
BENCHMARK(BM_RecognitionTaskOnALoadedModel)->Unit(benchmark::kMillisecond)->UseRealTime();

// How much audio after the last word the decoder needs to end the utterance:
// the part of the release-to-paste delay that is the recogniser's.
void BM_RecognitionUtteranceEnd(benchmark::State& state) {
    const Samples speech = readRaw(kTestData + "goforward.raw");
    if (speech.empty()) return state.SkipWithError("pocketsphinx-testdata is not installed");
    // The last 10 ms within 20 dB of the loudest.
    std::vector<double> levels;
    for (std::size_t at = 0; at + 160 <= speech.size(); at += 160) {
        double sum = 0;
        for (std::size_t i = at; i < at + 160; ++i) sum += double(speech[i]) * speech[i];
        levels.push_back(std::sqrt(sum / 160));
    }
    const double loudest = *std::max_element(levels.begin(), levels.end());
    std::size_t last = 0;
    for (std::size_t i = 0; i < levels.size(); ++i) last = levels[i] >= loudest / 10 ? i : last;
    const double speechEnd = double(last + 1) * 0.01;

    PocketSphinxSpeechService service{kTexts};
    auto recognizer = service.recognizerForDefaultLocale();
    if (!recognizer->isAvailable()) return state.SkipWithError("no en-US model");
    recognise(service, *recognizer, Samples(1600, 0));  // the load is measured above
    Outcome outcome;
    for (auto _ : state) outcome = recognise(service, *recognizer, speech);
    state.counters["audio_after_last_word_s"] = double(outcome.samplesDecoded) / 16000 - speechEnd;
    state.SetLabel(outcome.text);
}
BENCHMARK(BM_RecognitionUtteranceEnd)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

// A release in the middle of speech: from the end of the audio, all of it
// decoded, to the final result. What the paste waits for on this engine.
void BM_RecognitionEndOfAudioToFinal(benchmark::State& state) {
    const Samples speech = readRaw(kTestData + "goforward.raw");
    if (speech.empty()) return state.SkipWithError("pocketsphinx-testdata is not installed");
    PocketSphinxSpeechService service{kTexts};
    auto recognizer = service.recognizerForDefaultLocale();
    if (!recognizer->isAvailable()) return state.SkipWithError("no en-US model");
    recognise(service, *recognizer, Samples(1600, 0));  // the load is measured above
    // Up to "ten" of "go forward ten meters": still in speech when it ends.
    const Samples cut(speech.begin(),
                      speech.begin() + std::min<std::size_t>(speech.size(), 16000 * 1.9));
    std::vector<double> waits;
    std::string text;
    for (auto _ : state) {
        Clock::duration took{};
        text = recognise(service, *recognizer, cut, 0, &took).text;
        waits.push_back(std::chrono::duration<double, std::milli>(took).count());
        state.SetIterationTime(std::chrono::duration<double>(took).count());
    }
    std::sort(waits.begin(), waits.end());
    state.counters["median_ms"] = waits[waits.size() / 2];
    state.counters["slowest_ms"] = waits.back();
    state.SetLabel(text);
}
BENCHMARK(BM_RecognitionEndOfAudioToFinal)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(20);

// Word error rate and real-time factor over the LibriVox sentences.
void BM_RecognitionLibrivoxWordErrorRate(benchmark::State& state) {
    std::ifstream transcription(kTestData + "librivox/transcription");
    struct Sentence {
        std::vector<std::string> reference;
        Samples samples;
    };
    std::vector<Sentence> sentences;
    double audioSeconds = 0;
    for (std::string line; std::getline(transcription, line);) {
        const auto open = line.rfind('('), close = line.rfind(')');
        if (open == std::string::npos || close < open) continue;
        const std::string id = line.substr(open + 1, close - open - 1);
        sentences.push_back(
            {words(line.substr(0, open)), readWav(kTestData + "librivox/" + id + ".wav")});
        if (sentences.back().samples.empty())
            return state.SkipWithError(("unreadable " + id).c_str());
        audioSeconds += double(sentences.back().samples.size()) / 16000;
    }
    if (sentences.empty()) return state.SkipWithError("pocketsphinx-testdata is not installed");

    PocketSphinxSpeechService service{kTexts};
    auto recognizer = service.recognizerForDefaultLocale();
    if (!recognizer->isAvailable()) return state.SkipWithError("no en-US model");
    recognise(service, *recognizer, Samples(1600, 0));  // the load is measured above
    std::size_t errors = 0, referenceWords = 0;
    double decodeSeconds = 0;
    for (auto _ : state) {
        errors = referenceWords = 0;
        const auto start = Clock::now();
        for (const auto& sentence : sentences) {
            errors += wordEdits(sentence.reference,
                                words(dictate(service, *recognizer, sentence.samples)));
            referenceWords += sentence.reference.size();
        }
        decodeSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    }
    state.counters["word_error_rate"] = double(errors) / double(referenceWords);
    state.counters["word_errors"] = double(errors);
    state.counters["words"] = double(referenceWords);
    state.counters["real_time_factor"] = decodeSeconds / audioSeconds;
}
BENCHMARK(BM_RecognitionLibrivoxWordErrorRate)
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1);

}  // namespace
}  // namespace sayvo
