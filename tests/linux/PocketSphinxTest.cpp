#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <mutex>
#include <numbers>
#include <sstream>
#include <thread>
#include <vector>

#include "platform/linux/PocketSphinxSpeechService.h"
#include "platform/linux/SoxrConverter.h"

namespace sayvo {
namespace {

const std::string testData = "/usr/share/pocketsphinx/test/data/";
const std::string goForwardText = "go forward ten meters";
constexpr double rate16k = 16000;

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

std::vector<char> readBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

std::vector<std::int16_t> samplesOf(const char* data, std::size_t bytes) {
    std::vector<std::int16_t> samples(bytes / 2);
    std::memcpy(samples.data(), data, samples.size() * 2);
    return samples;
}

std::vector<std::int16_t> readRaw(const std::string& path) {
    const auto bytes = readBytes(path);
    return samplesOf(bytes.data(), bytes.size());
}

// The samples of a 16 kHz mono 16-bit WAV file; empty if it is anything else.
std::vector<std::int16_t> readWav(const std::string& path) {
    const auto bytes = readBytes(path);
    auto u32 = [&](std::size_t at) {
        std::uint32_t v;
        std::memcpy(&v, bytes.data() + at, 4);
        return v;
    };
    auto u16 = [&](std::size_t at) {
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
            return samplesOf(bytes.data() + at + 8,
                             std::min<std::size_t>(size, bytes.size() - at - 8));
        }
        at += 8 + size + (size & 1);
    }
    return {};
}

std::vector<std::int16_t> goForward() {
    auto samples = readRaw(testData + "goforward.raw");
    EXPECT_FALSE(samples.empty()) << "pocketsphinx-testdata is not installed";
    return samples;
}

AudioPCMBuffer int16Buffer(const std::vector<std::int16_t>& samples, std::size_t from,
                           std::size_t count, double rate = rate16k) {
    AudioPCMBuffer buffer({rate, 1, SampleType::int16}, static_cast<std::uint32_t>(count));
    std::copy_n(samples.begin() + from, count, buffer.mutableInt16ChannelData(0));
    return buffer;
}

AudioPCMBuffer floatBuffer(const std::vector<float>& samples, std::size_t from, std::size_t count,
                           double rate) {
    AudioPCMBuffer buffer({rate, 1, SampleType::float32}, static_cast<std::uint32_t>(count));
    std::copy_n(samples.begin() + from, count, buffer.mutableFloatChannelData(0));
    return buffer;
}

std::vector<float> sine(double frequency, double rate, std::size_t frames, float amplitude) {
    std::vector<float> out(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        out[i] =
            amplitude * static_cast<float>(std::sin(2 * std::numbers::pi * frequency * i / rate));
    }
    return out;
}

// Feeds `samples` through a converter in chunks of `chunk` frames, then flushes.
std::vector<std::int16_t> convertInChunks(SoxrConverter& converter,
                                          const std::vector<float>& samples, std::size_t chunk) {
    std::vector<std::int16_t> out;
    const double rate = converter.inputFormat().sampleRate;
    for (std::size_t at = 0; at < samples.size(); at += chunk) {
        const auto part =
            converter.process(floatBuffer(samples, at, std::min(chunk, samples.size() - at), rate));
        out.insert(out.end(), part.begin(), part.end());
    }
    const auto tail = converter.flush();
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

double rms(const std::vector<std::int16_t>& s, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(to - from));
}

// 16 kHz speech as a 48 kHz float capture would bring it: linear interpolation,
// whose images above 8 kHz the converter's filter removes again.
std::vector<float> upsampleTo48k(const std::vector<std::int16_t>& s) {
    std::vector<float> out(s.size() * 3);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const float a = s[i] / 32768.0f;
        const float b = (i + 1 < s.size() ? s[i + 1] : s[i]) / 32768.0f;
        for (int k = 0; k < 3; ++k) out[3 * i + k] = a + (b - a) * float(k) / 3.0f;
    }
    return out;
}

// ---------------------------------------------------------------- converter

TEST(SoxrConverter, OutputLengthFollowsTheRateRatio) {
    SoxrConverter fromFloat48k({48000, 1, SampleType::float32});
    ASSERT_TRUE(fromFloat48k.isValid());
    const auto out48 = convertInChunks(fromFloat48k, sine(440, 48000, 48000, 0.3f), 1024);
    EXPECT_NEAR(double(out48.size()), 16000, 2);

    SoxrConverter fromInt44k({44100, 1, SampleType::int16});
    std::vector<std::int16_t> second(44100, 1000);
    auto out44 = fromInt44k.process(int16Buffer(second, 0, second.size(), 44100));
    const auto tail = fromInt44k.flush();
    out44.insert(out44.end(), tail.begin(), tail.end());
    EXPECT_NEAR(double(out44.size()), 16000, 2);
    // A constant stays constant once the filter has settled.
    EXPECT_NEAR(out44[8000], 1000, 2);
}

TEST(SoxrConverter, KeepsTheFrequencyAndLevelOfATone) {
    SoxrConverter converter({48000, 1, SampleType::float32});
    const auto out = convertInChunks(converter, sine(1000, 48000, 3 * 48000, 0.5f), 1600);
    ASSERT_GE(out.size(), std::size_t(3 * 16000 - 2));
    // The middle second, clear of the filter's start and end.
    int crossings = 0;
    for (std::size_t i = 16000; i < 32000; ++i) {
        if ((out[i - 1] < 0) != (out[i] < 0)) ++crossings;
    }
    EXPECT_NEAR(crossings, 2000, 4);
    EXPECT_NEAR(rms(out, 16000, 32000), 0.5 * 32768 / std::sqrt(2.0), 0.02 * 11585);
}

TEST(SoxrConverter, StateCarriesAcrossBuffersAndFlushStartsAfresh) {
    const auto tone = sine(1000, 48000, 48000, 0.5f);
    SoxrConverter whole({48000, 1, SampleType::float32});
    const auto reference = convertInChunks(whole, tone, tone.size());
    for (std::size_t chunk : {1600u, 1024u, 333u}) {
        SoxrConverter chunked({48000, 1, SampleType::float32});
        EXPECT_EQ(convertInChunks(chunked, tone, chunk), reference) << "chunks of " << chunk;
    }
    // After a flush the same converter takes a new stream like a fresh one.
    EXPECT_EQ(convertInChunks(whole, tone, 1600), reference);
}

TEST(SoxrConverter, SixteenKilohertzPassesThroughWithoutDelay) {
    std::vector<std::int16_t> ramp(1000);
    for (std::size_t i = 0; i < ramp.size(); ++i) ramp[i] = std::int16_t(i * 61 - 30000);
    SoxrConverter int16Mono({16000, 1, SampleType::int16});
    EXPECT_EQ(int16Mono.process(int16Buffer(ramp, 0, ramp.size())), ramp);
    EXPECT_TRUE(int16Mono.flush().empty());

    SoxrConverter floatMono({16000, 1, SampleType::float32});
    const std::vector<float> levels = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, 1e-5f};
    EXPECT_EQ(floatMono.process(floatBuffer(levels, 0, levels.size(), 16000)),
              (std::vector<std::int16_t>{0, 16384, -16384, 32767, -32768, 32767, 0}));
}

TEST(SoxrConverter, AveragesTheChannels) {
    AudioPCMBuffer stereo16k({16000, 2, SampleType::int16}, 3);
    std::copy_n(std::vector<std::int16_t>{1000, -2000, 30000}.begin(), 3,
                stereo16k.mutableInt16ChannelData(0));
    std::copy_n(std::vector<std::int16_t>{3000, 0, 30000}.begin(), 3,
                stereo16k.mutableInt16ChannelData(1));
    SoxrConverter pass({16000, 2, SampleType::int16});
    EXPECT_EQ(pass.process(stereo16k), (std::vector<std::int16_t>{2000, -1000, 30000}));

    // A voice on channel 0 only arrives at half its level; the same voice on
    // both channels arrives exactly as from a mono input.
    const auto tone = sine(1000, 48000, 48000, 0.5f);
    SoxrConverter mono({48000, 1, SampleType::float32});
    const auto monoOut = convertInChunks(mono, tone, tone.size());
    auto stereoOut = [&](bool voiceOnBoth) {
        AudioPCMBuffer buffer({48000, 2, SampleType::float32}, std::uint32_t(tone.size()));
        std::copy(tone.begin(), tone.end(), buffer.mutableFloatChannelData(0));
        if (voiceOnBoth) std::copy(tone.begin(), tone.end(), buffer.mutableFloatChannelData(1));
        SoxrConverter converter(buffer.format());
        auto out = converter.process(buffer);
        const auto tail = converter.flush();
        out.insert(out.end(), tail.begin(), tail.end());
        return out;
    };
    EXPECT_EQ(stereoOut(true), monoOut);
    const auto half = stereoOut(false);
    ASSERT_EQ(half.size(), monoOut.size());
    EXPECT_NEAR(rms(half, 4000, 12000) / rms(monoOut, 4000, 12000), 0.5, 0.01);
}

// ---------------------------------------------------------------- recognition

// What a task's handler was called with, in order.
struct Event {
    std::optional<RecognitionResult> result;
    std::optional<PlatformError> error;
    std::uint64_t samplesDecoded = 0;
    std::thread::id thread;
};

// Runs one task and collects its handler calls; the test thread waits for
// the task's end. Going out of scope cancels the task, so a failed test
// leaves nothing running into the next.
class Recording {
public:
    explicit Recording(std::shared_ptr<PocketSphinxRecognitionRequest> request)
        : request_(std::move(request)) {}
    ~Recording() { cancel(); }

    bool start(OnDeviceRecognizer& recognizer) {
        auto task = recognizer.recognitionTask(request_, [this](auto result, auto error) {
            std::lock_guard lock(mutex_);
            events_.push_back(
                {result, error, request_->samplesDecoded(), std::this_thread::get_id()});
            if (onEvent && task_) onEvent(events_.back(), *task_);
            changed_.notify_all();
        });
        std::lock_guard lock(mutex_);
        task_ = task;
        return task_ != nullptr;
    }

    void cancel() {
        std::shared_ptr<RecognitionTask> task;
        {
            std::lock_guard lock(mutex_);
            task = task_;
        }
        if (task) task->cancel();
    }

    // Waits for a final result or an error; false if none came in time.
    bool waitForEnd(double seconds = 30) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds), [this] {
            return !events_.empty() && (events_.back().error || events_.back().result->isFinal);
        });
    }

    // Waits for a first handler call of any kind.
    bool waitForAnyEvent(double seconds = 30) {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                 [this] { return !events_.empty(); });
    }

    std::vector<Event> events() {
        std::lock_guard lock(mutex_);
        return events_;
    }

    PocketSphinxRecognitionRequest* request() { return request_.get(); }

    // Called on the handler's thread under the recording's lock.
    std::function<void(const Event&, RecognitionTask&)> onEvent;

private:
    std::shared_ptr<PocketSphinxRecognitionRequest> request_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Event> events_;
    std::shared_ptr<RecognitionTask> task_;
};

std::shared_ptr<PocketSphinxRecognitionRequest> newRequest(SpeechRecognitionService& service) {
    auto request =
        std::dynamic_pointer_cast<PocketSphinxRecognitionRequest>(service.makeRecognitionRequest());
    EXPECT_NE(request, nullptr);
    return request;
}

void feed16k(AudioBufferRecognitionRequest& request, const std::vector<std::int16_t>& samples,
             std::size_t from = 0, std::size_t to = SIZE_MAX, std::size_t chunk = 1024) {
    to = std::min(to, samples.size());
    for (std::size_t at = from; at < to; at += chunk) {
        request.append(int16Buffer(samples, at, std::min(chunk, to - at)));
    }
}

bool isNoSpeech(const Event& event) {
    return event.error && event.error->domain == SpeechError::assistantDomain &&
           event.error->code == SpeechError::noSpeech &&
           event.error->localizedDescription == "No speech detected" && !event.result;
}

// The audio position (seconds) of the last 10 ms that is within 20 dB of the loudest.
double lastSpeechSeconds(const std::vector<std::int16_t>& samples) {
    double loudest = 0;
    std::size_t last = 0;
    std::vector<double> levels;
    for (std::size_t at = 0; at + 160 <= samples.size(); at += 160) {
        levels.push_back(rms(samples, at, at + 160));
        loudest = std::max(loudest, levels.back());
    }
    for (std::size_t i = 0; i < levels.size(); ++i) {
        if (levels[i] >= loudest / 10) last = i;
    }
    return (last + 1) * 0.01;
}

// One service for the recognition tests: its decoder loads once, and the
// tests' tasks follow one another on it as a dictation's do.
class PocketSphinxRecognition : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service_ = new PocketSphinxSpeechService(); }
    static void TearDownTestSuite() {
        delete service_;
        service_ = nullptr;
    }

    void SetUp() override {
        recognizer_ = service_->recognizerForDefaultLocale();
        ASSERT_NE(recognizer_, nullptr);
        ASSERT_TRUE(recognizer_->isAvailable())
            << "the en-US model of pocketsphinx-en-us is missing under "
            << PocketSphinxSpeechService::defaultModelDirectory();
    }

    // Checks a task's events: partials only before one final, on the decoder thread.
    static void expectWellFormed(const std::vector<Event>& events) {
        ASSERT_FALSE(events.empty());
        for (std::size_t i = 0; i + 1 < events.size(); ++i) {
            ASSERT_TRUE(events[i].result.has_value()) << "only the last call may end the task";
            EXPECT_FALSE(events[i].result->isFinal);
            EXPECT_FALSE(events[i].error.has_value());
        }
        for (const auto& e : events) {
            EXPECT_NE(e.thread, std::this_thread::get_id()) << "handlers run on the decoder thread";
        }
    }

    static PocketSphinxSpeechService* service_;
    std::shared_ptr<OnDeviceRecognizer> recognizer_;
};

PocketSphinxSpeechService* PocketSphinxRecognition::service_ = nullptr;

TEST(PocketSphinxSpeechService, AnswersForPermissionLocalesAndModel) {
    PocketSphinxSpeechService service;
    EXPECT_EQ(service.authorizationStatus(), SpeechAuthorizationStatus::authorized);
    int answers = 0;
    service.requestAuthorization([&](SpeechAuthorizationStatus status) {
        ++answers;
        EXPECT_EQ(status, SpeechAuthorizationStatus::authorized);
    });
    EXPECT_EQ(answers, 1);

    EXPECT_EQ(service.recognizerForLocale("zh-CN"), nullptr) << "there is no Chinese model";
    for (const char* locale : {"en-US", "en"}) {
        auto recognizer = service.recognizerForLocale(locale);
        ASSERT_NE(recognizer, nullptr) << locale;
        EXPECT_TRUE(recognizer->isAvailable());
        EXPECT_EQ(recognizer->localeIdentifier(), "en-US");
    }
    ASSERT_NE(service.recognizerForDefaultLocale(), nullptr);
    EXPECT_NE(service.makeRecognitionRequest(), nullptr);

    PocketSphinxSpeechService noModel("/nonexistent/model");
    auto recognizer = noModel.recognizerForDefaultLocale();
    ASSERT_NE(recognizer, nullptr);
    EXPECT_FALSE(recognizer->isAvailable());
    EXPECT_EQ(recognizer->recognitionTask(noModel.makeRecognitionRequest(), [](auto, auto) {}),
              nullptr);
}

TEST(PocketSphinxSpeechService, RefusesRequestsItCannotServe) {
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizerForDefaultLocale();
    struct ForeignRequest final : AudioBufferRecognitionRequest {
        void setShouldReportPartialResults(bool) override {}
        void setTaskHint(RecognitionTaskHint) override {}
        void setRequiresOnDeviceRecognition(bool) override {}
        void append(const AudioPCMBuffer&) override {}
        void endAudio() override {}
    };
    EXPECT_EQ(recognizer->recognitionTask(std::make_shared<ForeignRequest>(), [](auto, auto) {}),
              nullptr);
    EXPECT_EQ(recognizer->recognitionTask(nullptr, [](auto, auto) {}), nullptr);

    auto request = service.makeRecognitionRequest();
    auto first = recognizer->recognitionTask(request, [](auto, auto) {});
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(recognizer->recognitionTask(request, [](auto, auto) {}), nullptr)
        << "one request feeds one task";
    first->cancel();
}

TEST(PocketSphinxSpeechService, DestroyingTheServiceEndsItsTasks) {
    const auto speech = goForward();
    std::shared_ptr<OnDeviceRecognizer> recognizer;
    auto request = std::make_shared<PocketSphinxRecognitionRequest>();
    Recording recording(request);
    std::atomic<bool> destroyed{false};
    std::atomic<int> callsAfter{0};
    recording.onEvent = [&](const Event&, RecognitionTask&) {
        if (destroyed) ++callsAfter;
    };
    {
        PocketSphinxSpeechService service;
        recognizer = service.recognizerForDefaultLocale();
        ASSERT_TRUE(recording.start(*recognizer));
        feed16k(*request, speech, 0, speech.size() / 2);
        // Mid-utterance: the decoder is busy with this task.
        ASSERT_TRUE(recording.waitForAnyEvent()) << "no partial result";
    }
    destroyed = true;
    feed16k(*request, speech, speech.size() / 2);
    request->endAudio();
    recording.cancel();
    EXPECT_EQ(callsAfter, 0);
    EXPECT_FALSE(recognizer->isAvailable()) << "a recogniser outliving its service takes no tasks";
    EXPECT_EQ(recognizer->recognitionTask(std::make_shared<PocketSphinxRecognitionRequest>(),
                                          [](auto, auto) {}),
              nullptr);
}

TEST_F(PocketSphinxRecognition, SpeechAt16kHzGivesPartialsThenTheFinalAtTheUtteranceEnd) {
    const auto speech = goForward();
    auto request = newRequest(*service_);
    Recording recording(request);
    ASSERT_TRUE(recording.start(*recognizer_));
    feed16k(*request, speech);
    // No endAudio: the pause after the last word alone must end the utterance.
    ASSERT_TRUE(recording.waitForEnd()) << "no final result from the utterance end";

    const auto events = recording.events();
    expectWellFormed(events);
    const Event& final = events.back();
    ASSERT_TRUE(final.result.has_value());
    EXPECT_TRUE(final.result->isFinal);
    EXPECT_EQ(final.result->formattedString, goForwardText);

    std::vector<std::string> partials;
    for (std::size_t i = 0; i + 1 < events.size(); ++i) {
        partials.push_back(events[i].result->formattedString);
    }
    ASSERT_GE(partials.size(), 2u) << "partial results come as the words do";
    for (std::size_t i = 0; i < partials.size(); ++i) {
        EXPECT_FALSE(partials[i].empty());
        if (i > 0) {
            EXPECT_NE(partials[i], partials[i - 1]) << "reported only when it changes";
        }
    }
    EXPECT_LT(partials.front().size(), goForwardText.size()) << "the hypothesis grows";
    EXPECT_EQ(goForwardText.rfind(partials.back(), 0), 0u)
        << "the last partial leads to the final: " << partials.back();

    const double speechEnd = lastSpeechSeconds(speech);
    const double finalAt = double(final.samplesDecoded) / rate16k;
    std::printf(
        "MEASURE: goforward.raw last speech at %.2f s of audio, final result at %.2f s "
        "(%.2f s of audio after the speech)\n",
        speechEnd, finalAt, finalAt - speechEnd);
    EXPECT_LT(final.samplesDecoded, speech.size()) << "the final came from the pause, not the end";
}

TEST_F(PocketSphinxRecognition, FloatCaptureAt48kHzFromAnAudioThreadIsRecognised) {
    const auto speech = upsampleTo48k(goForward());
    for (bool partialsOn : {true, false}) {
        SCOPED_TRACE(partialsOn ? "with partial results" : "without partial results");
        auto request = newRequest(*service_);
        request->setShouldReportPartialResults(partialsOn);
        request->setTaskHint(RecognitionTaskHint::dictation);
        request->setRequiresOnDeviceRecognition(true);
        Recording recording(request);
        ASSERT_TRUE(recording.start(*recognizer_));
        std::thread::id audioThreadId;
        double totalAppend = 0;
        double longestAppend = 0;
        std::size_t appends = 0;
        std::thread audioThread([&] {
            audioThreadId = std::this_thread::get_id();
            for (std::size_t at = 0; at < speech.size(); at += 1024, ++appends) {
                const auto buffer =
                    floatBuffer(speech, at, std::min<std::size_t>(1024, speech.size() - at), 48000);
                const auto start = Clock::now();
                request->append(buffer);
                const double took = secondsSince(start);
                totalAppend += took;
                longestAppend = std::max(longestAppend, took);
            }
        });
        audioThread.join();
        std::printf(
            "MEASURE: append of a 1024-frame 48 kHz float buffer while decoding: mean %.1f us, "
            "longest %.1f us\n",
            totalAppend / double(appends) * 1e6, longestAppend * 1e6);
        request->endAudio();
        ASSERT_TRUE(recording.waitForEnd());

        const auto events = recording.events();
        expectWellFormed(events);
        ASSERT_TRUE(events.back().result.has_value());
        EXPECT_EQ(events.back().result->formattedString, goForwardText);
        EXPECT_EQ(events.size() > 1, partialsOn);
        for (const auto& e : events) EXPECT_NE(e.thread, audioThreadId);
    }
}

TEST_F(PocketSphinxRecognition, AudioEndingMidUtteranceGivesTheTextSoFar) {
    const auto speech = goForward();
    auto request = newRequest(*service_);
    Recording recording(request);
    ASSERT_TRUE(recording.start(*recognizer_));
    // Released during "ten": the words before it are already heard.
    feed16k(*request, speech, 0, std::size_t(1.6 * rate16k));
    request->endAudio();
    ASSERT_TRUE(recording.waitForEnd());
    const auto events = recording.events();
    expectWellFormed(events);
    ASSERT_TRUE(events.back().result.has_value());
    EXPECT_TRUE(events.back().result->isFinal);
    EXPECT_EQ(events.back().result->formattedString.rfind("go forward", 0), 0u)
        << events.back().result->formattedString;
}

TEST_F(PocketSphinxRecognition, SilenceEndsWithNoSpeech) {
    const auto speech = goForward();
    std::vector<std::int16_t> noise(3 * 16000);
    std::uint32_t seed = 1;
    for (auto& s : noise) {
        seed = seed * 1664525u + 1013904223u;
        s = std::int16_t(int(seed >> 27) - 16);
    }
    const std::vector<std::int16_t> faintNoise = noise;
    const std::vector<std::int16_t> digitalSilence(3 * 16000, 0);
    for (const std::vector<std::int16_t>* silence : {&digitalSilence, &faintNoise}) {
        SCOPED_TRACE(silence == &faintNoise ? "faint noise" : "digital silence");
        auto request = newRequest(*service_);
        Recording recording(request);
        ASSERT_TRUE(recording.start(*recognizer_));
        feed16k(*request, *silence);
        request->endAudio();
        // Too late: audio after endAudio is not heard.
        feed16k(*request, speech);
        ASSERT_TRUE(recording.waitForEnd());
        const auto events = recording.events();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_TRUE(isNoSpeech(events[0]));
        EXPECT_LE(events[0].samplesDecoded, silence->size());
    }
}

TEST_F(PocketSphinxRecognition, HearingNothingForTenSecondsEndsWithNoSpeech) {
    const std::vector<std::int16_t> silence(12 * 16000, 0);
    auto request = newRequest(*service_);
    Recording recording(request);
    ASSERT_TRUE(recording.start(*recognizer_));
    feed16k(*request, silence);
    // No endAudio: the task must end on its own.
    ASSERT_TRUE(recording.waitForEnd());
    const auto events = recording.events();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_TRUE(isNoSpeech(events[0]));
    const double at = double(events[0].samplesDecoded) / rate16k;
    EXPECT_GE(at, PocketSphinxSpeechService::noSpeechTimeout);
    EXPECT_LE(at, PocketSphinxSpeechService::noSpeechTimeout + 0.2);
}

TEST_F(PocketSphinxRecognition, NoHandlerCallAfterCancelReturns) {
    const auto speech = goForward();
    auto request = newRequest(*service_);
    Recording recording(request);
    std::mutex gate;
    std::condition_variable gateChanged;
    bool inFirstCall = false;
    bool cancelling = false;
    std::atomic<bool> firstCallDone{false};
    std::atomic<bool> cancelReturned{false};
    std::atomic<int> callsAfterCancel{0};
    recording.onEvent = [&](const Event&, RecognitionTask&) {
        if (cancelReturned) ++callsAfterCancel;
        std::unique_lock lock(gate);
        if (inFirstCall) return;
        inFirstCall = true;
        gateChanged.notify_all();
        // Still inside this call when cancel() starts: it must wait for us.
        gateChanged.wait(lock, [&] { return cancelling; });
        lock.unlock();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstCallDone = true;
    };
    ASSERT_TRUE(recording.start(*recognizer_));
    feed16k(*request, speech, 0, speech.size() / 2);
    {
        std::unique_lock lock(gate);
        ASSERT_TRUE(
            gateChanged.wait_for(lock, std::chrono::seconds(30), [&] { return inFirstCall; }));
        cancelling = true;
        gateChanged.notify_all();
    }
    recording.cancel();
    cancelReturned = true;
    EXPECT_TRUE(firstCallDone) << "cancel returned while the handler was still running";

    feed16k(*request, speech, speech.size() / 2);
    request->endAudio();
    // Tasks run in order: once the next one ends, the cancelled one is long over.
    auto next = newRequest(*service_);
    Recording nextRecording(next);
    ASSERT_TRUE(nextRecording.start(*recognizer_));
    feed16k(*next, std::vector<std::int16_t>(16000, 0));
    next->endAudio();
    ASSERT_TRUE(nextRecording.waitForEnd());
    EXPECT_EQ(callsAfterCancel, 0);
    EXPECT_EQ(recording.events().size(), 1u);
}

// Dictates `samples` as the application does: one task after another on the
// same stream, a new request as soon as a task ends. Returns the finals.
std::vector<std::string> transcribe(SpeechRecognitionService& service,
                                    OnDeviceRecognizer& recognizer,
                                    const std::vector<std::int16_t>& samples) {
    std::vector<std::string> finals;
    auto recording = std::make_unique<Recording>(newRequest(service));
    EXPECT_TRUE(recording->start(recognizer));
    auto harvest = [&] {
        const auto events = recording->events();
        if (events.empty() || !(events.back().error || events.back().result->isFinal)) return false;
        if (events.back().result && events.back().result->isFinal) {
            finals.push_back(events.back().result->formattedString);
        }
        return true;
    };
    constexpr std::size_t kChunk = 1024;
    for (std::size_t at = 0; at < samples.size(); at += kChunk) {
        if (harvest()) {
            recording = std::make_unique<Recording>(newRequest(service));
            EXPECT_TRUE(recording->start(recognizer));
        }
        feed16k(*recording->request(), samples, at, at + kChunk);
        // Paced like capture: a real microphone never runs ahead of the decoder.
        std::this_thread::sleep_for(std::chrono::milliseconds(64));
    }
    recording->request()->endAudio();
    EXPECT_TRUE(recording->waitForEnd());
    harvest();
    return finals;
}

TEST_F(PocketSphinxRecognition, EachUtteranceEndsItsTaskAndTheNextTaskHearsTheNext) {
    auto speech = goForward();
    const auto once = speech;
    // A second's pause, as between two sentences: the next task starts within it.
    speech.insert(speech.end(), 16000, 0);
    speech.insert(speech.end(), once.begin(), once.end());
    EXPECT_EQ(transcribe(*service_, *recognizer_, speech),
              (std::vector<std::string>{goForwardText, goForwardText}));
}

std::vector<std::string> words(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string w; in >> w;) {
        std::transform(w.begin(), w.end(), w.begin(),
                       [](unsigned char c) { return std::tolower(c); });
        out.push_back(w);
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

TEST_F(PocketSphinxRecognition, LibrivoxWordErrorRate) {
    const std::string dir = testData + "librivox/";
    std::ifstream transcription(dir + "transcription");
    ASSERT_TRUE(transcription) << "pocketsphinx-testdata is not installed";
    std::size_t errors = 0;
    std::size_t referenceWords = 0;
    double audioSeconds = 0;
    double decodeSeconds = 0;
    int files = 0;
    for (std::string line; std::getline(transcription, line);) {
        const auto open = line.rfind('(');
        const auto close = line.rfind(')');
        ASSERT_NE(open, std::string::npos);
        const std::string id = line.substr(open + 1, close - open - 1);
        std::vector<std::string> reference;
        for (const auto& w : words(line.substr(0, open))) {
            if (w != "<s>" && w != "</s>") reference.push_back(w);
        }
        const auto samples = readWav(dir + id + ".wav");
        ASSERT_FALSE(samples.empty()) << id;
        const auto start = Clock::now();
        std::string text;
        for (const auto& final : transcribe(*service_, *recognizer_, samples)) {
            text += (text.empty() ? "" : " ") + final;
        }
        decodeSeconds += secondsSince(start);
        audioSeconds += samples.size() / rate16k;
        const std::size_t edits = wordEdits(reference, words(text));
        std::printf("MEASURE: %s: %zu word errors of %zu: \"%s\"\n", id.c_str(), edits,
                    reference.size(), text.c_str());
        errors += edits;
        referenceWords += reference.size();
        ++files;
    }
    ASSERT_EQ(files, 5);
    const double wer = double(errors) / double(referenceWords);
    std::printf("MEASURE: librivox word error rate %.3f (%zu errors in %zu words)\n", wer, errors,
                referenceWords);
    std::printf("MEASURE: real-time factor %.3f (%.2f s to recognise %.2f s of audio)\n",
                decodeSeconds / audioSeconds, decodeSeconds, audioSeconds);
    EXPECT_LT(wer, 0.6);
}

TEST(PocketSphinxSpeechService, MeasureDecoderLoadTime) {
    // The first task loads the model; the second finds it loaded.
    PocketSphinxSpeechService service;
    auto recognizer = service.recognizerForDefaultLocale();
    double seconds[2];
    for (double& s : seconds) {
        auto request = newRequest(service);
        Recording recording(request);
        const auto start = Clock::now();
        ASSERT_TRUE(recording.start(*recognizer));
        feed16k(*request, std::vector<std::int16_t>(1600, 0));
        request->endAudio();
        ASSERT_TRUE(recording.waitForEnd());
        s = secondsSince(start);
        ASSERT_TRUE(isNoSpeech(recording.events().back()));
    }
    std::printf(
        "MEASURE: first task (loads the decoder) %.0f ms, second task %.1f ms; "
        "decoder load about %.0f ms\n",
        seconds[0] * 1e3, seconds[1] * 1e3, (seconds[0] - seconds[1]) * 1e3);
}

}  // namespace
}  // namespace sayvo
