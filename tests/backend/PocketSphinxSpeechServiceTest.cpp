#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <mutex>
#include <set>
#include <thread>

#include "Spin.h"
#include "platform/linux/PocketSphinxSpeechService.h"

namespace sayvo {
namespace {

using Samples = std::vector<std::int16_t>;
const std::string goForwardFinal = "final go forward ten meters";
const std::string noSpeech = SpeechError::assistantDomain + " " +
                             std::to_string(SpeechError::noSpeech) + " No speech detected";

Samples goForward() {
    std::ifstream file("/usr/share/pocketsphinx/test/data/goforward.raw", std::ios::binary);
    Samples samples;
    for (std::int16_t s; file.read(reinterpret_cast<char*>(&s), 2);) samples.push_back(s);
    EXPECT_FALSE(samples.empty()) << "pocketsphinx-testdata is not installed";
    return samples;
}

// Appends 16 kHz samples[from, to) as a 48 kHz float capture brings them
// (each sample three times; the converter filters the images out).
void feed(AudioBufferRecognitionRequest& request, const Samples& samples, std::size_t from = 0,
          std::size_t to = SIZE_MAX) {
    for (to = std::min(to, samples.size()); from < to; from += 1024) {
        AudioPCMBuffer buffer({48000, 1, SampleType::float32},
                              3 * std::uint32_t(std::min<std::size_t>(1024, to - from)));
        for (std::size_t i = 0; i < buffer.frameLength(); ++i) {
            buffer.mutableFloatChannelData(0)[i] = samples[from + i / 3] / 32768.0f;
        }
        request.append(buffer);
    }
}

// One task and its handler calls ("partial <text>", "final <text>" or
// "<domain> <code> <description>"), with their audio positions and threads.
// Going out of scope cancels it, so a failed test leaves nothing running.
struct Recording {
    explicit Recording(SpeechRecognitionService& service, bool partials = true)
        : request(std::dynamic_pointer_cast<PocketSphinxRecognitionRequest>(
              service.makeRecognitionRequest())) {
        request->setShouldReportPartialResults(partials);
    }
    ~Recording() {
        if (task) task->cancel();
    }
    bool start(OnDeviceRecognizer& recognizer) {
        task = recognizer.recognitionTask(request, [this](auto result, auto error) {
            if (onCall) onCall();
            std::lock_guard lock(mutex);
            calls.push_back(result ? (result->isFinal ? "final " : "partial ") +
                                         result->formattedString
                                   : error->domain + " " + std::to_string(error->code) + " " +
                                         error->localizedDescription);
            positions.push_back(request->samplesDecoded());
            threads.push_back(std::this_thread::get_id());
            ended = !result || result->isFinal;
        });
        return task != nullptr;
    }
    bool waitForEnd() {
        return spinUntil([this] { return ended.load(); }, 30000);
    }

    std::shared_ptr<PocketSphinxRecognitionRequest> request;
    std::shared_ptr<RecognitionTask> task;
    std::function<void()> onCall;  // on the decoder thread, before the call is recorded
    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::uint64_t> positions;
    std::vector<std::thread::id> threads;
    std::atomic<bool> ended{false};
};

// One service for the suite: its decoder loads once, and the tests' tasks
// follow one another on it as a dictation's do.
class PocketSphinxSpeechServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { service = new PocketSphinxSpeechService(); }
    static void TearDownTestSuite() { delete service; }
    void SetUp() override { ASSERT_TRUE(recognizer->isAvailable()) << "no en-US model"; }

    static inline PocketSphinxSpeechService* service = nullptr;
    std::shared_ptr<OnDeviceRecognizer> recognizer = service->recognizerForDefaultLocale();
    const Samples speech = goForward();
};

TEST_F(PocketSphinxSpeechServiceTest, AnswersForPermissionAndLocalesAndWithoutAModel) {
    EXPECT_EQ(service->authorizationStatus(), SpeechAuthorizationStatus::authorized);
    std::optional<SpeechAuthorizationStatus> answer;
    service->requestAuthorization([&](auto status) { answer = status; });
    EXPECT_EQ(answer, SpeechAuthorizationStatus::authorized) << "at once";
    EXPECT_EQ(service->recognizerForLocale("zh-CN"), nullptr) << "there is no Chinese model";
    EXPECT_EQ(service->recognizerForLocale("en")->localeIdentifier(), "en-US");
    Recording first(*service);
    ASSERT_TRUE(first.start(*recognizer));
    EXPECT_FALSE(recognizer->recognitionTask(first.request, [](auto, auto) {})) << "one task each";

    PocketSphinxSpeechService noModel("/nonexistent/model");
    EXPECT_FALSE(noModel.recognizerForDefaultLocale()->isAvailable());
    EXPECT_FALSE(Recording(noModel).start(*noModel.recognizerForDefaultLocale()));
}

TEST_F(PocketSphinxSpeechServiceTest, EachUtteranceGivesPartialsAndEndsItsTaskAtThePause) {
    Samples twice = speech;
    twice.insert(twice.end(), 16000, 0);  // a second's pause, as between two sentences
    twice.insert(twice.end(), speech.begin(), speech.end());
    // Dictates as the application does, a new task as soon as one ends, fed from
    // an audio thread; each task takes the audio from where the one before stopped.
    std::vector<std::vector<std::string>> tasks;
    std::set<std::thread::id> threads;
    for (std::size_t at = 0; at < twice.size() && tasks.size() < 4;) {
        Recording recording(*service);
        ASSERT_TRUE(recording.start(*recognizer));
        std::thread([&] { feed(*recording.request, twice, at); }).join();
        recording.request->endAudio();
        ASSERT_TRUE(recording.waitForEnd());
        tasks.push_back(recording.calls);
        threads.insert(recording.threads.begin(), recording.threads.end());
        at += recording.positions.back();
    }
    ASSERT_GE(tasks.size(), 2u) << "the pause alone ends the first task";
    for (std::size_t t = 0; t < tasks.size(); ++t) {
        EXPECT_EQ(tasks[t].back(), t < 2 ? goForwardFinal : noSpeech) << "then only silence";
        for (std::size_t i = 0; i + 1 < tasks[t].size(); ++i) {
            EXPECT_TRUE(tasks[t][i].starts_with("partial ") && tasks[t][i].size() > 8);
            EXPECT_NE(tasks[t][i], tasks[t][i + 1]) << "reported only when it changes";
        }
    }
    ASSERT_GE(tasks[0].size(), 3u) << "partial results come as the words do";
    EXPECT_TRUE(goForwardFinal.starts_with("final " + tasks[0][tasks[0].size() - 2].substr(8)));
    EXPECT_EQ(threads.size(), 1u) << "all calls on the decoder thread";
    EXPECT_FALSE(threads.contains(std::this_thread::get_id()));
}

TEST_F(PocketSphinxSpeechServiceTest, EndingAudioOrTenSecondsOfNothingEndTheTask) {
    Samples faintNoise(3 * 16000);
    std::uint32_t seed = 1;
    for (auto& s : faintNoise)
        s = std::int16_t(int((seed = seed * 1664525 + 1013904223) >> 27) - 16);
    const struct {
        Samples audio;
        bool endAudio;
        std::string end;
        double atLeast;  // seconds of audio before the end
    } cases[] = {
        {Samples(speech.begin(), speech.begin() + 25600), true, "final go forward", 0},  // in "ten"
        {Samples(3 * 16000, 0), true, noSpeech, 0},
        {faintNoise, true, noSpeech, 0},
        {Samples(12 * 16000, 0), false, noSpeech, PocketSphinxSpeechService::noSpeechTimeout},
    };
    for (const auto& c : cases) {
        Recording recording(*service, false);
        ASSERT_TRUE(recording.start(*recognizer));
        feed(*recording.request, c.audio);
        if (c.endAudio) recording.request->endAudio();
        feed(*recording.request, speech);  // too late: the task does not hear it
        ASSERT_TRUE(recording.waitForEnd());
        ASSERT_EQ(recording.calls.size(), 1u) << "no partial results when none are asked for";
        EXPECT_TRUE(recording.calls[0].starts_with(c.end)) << recording.calls[0];
        EXPECT_GE(recording.positions[0], c.atLeast * 16000);
        EXPECT_LE(recording.positions[0], std::min(c.audio.size(), std::size_t(10.2 * 16000)));
    }
}

TEST_F(PocketSphinxSpeechServiceTest, NoHandlerCallAfterCancelReturnsOrTheServiceIsGone) {
    auto own = std::make_unique<PocketSphinxSpeechService>();
    auto orphan = own->recognizerForDefaultLocale();
    Recording cancelled(*own), abandoned(*own);
    std::atomic<int> calls{0}, abandonedCalls{0}, callsAfter{0};
    std::atomic<bool> cancelling{false}, firstCallDone{false}, cancelReturned{false}, gone{false};
    cancelled.onCall = [&] {
        callsAfter += cancelReturned.load();
        if (++calls > 1) return;
        // Still inside this call when cancel() starts: it must wait for us.
        while (!cancelling) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        firstCallDone = true;
    };
    abandoned.onCall = [&] {
        ++abandonedCalls;
        callsAfter += gone.load();
    };
    ASSERT_TRUE(cancelled.start(*orphan) && abandoned.start(*orphan));
    feed(*cancelled.request, speech, 0, speech.size() / 2);
    ASSERT_TRUE(spinUntil([&] { return calls > 0; }, 30000));
    cancelling = true;
    cancelled.task->cancel();
    cancelReturned = true;
    EXPECT_TRUE(firstCallDone) << "cancel returned while the handler was still running";
    // The next task is mid-utterance when the service goes.
    feed(*abandoned.request, speech, 0, speech.size() / 2);
    ASSERT_TRUE(spinUntil([&] { return abandonedCalls > 0; }, 30000));
    own.reset();
    gone = true;
    for (Recording* r : {&cancelled, &abandoned}) {
        feed(*r->request, speech, speech.size() / 2);
        r->request->endAudio();
    }
    spin(100);
    EXPECT_EQ(callsAfter, 0);
    EXPECT_EQ(cancelled.calls.size(), 1u);
    EXPECT_FALSE(orphan->isAvailable()) << "a recogniser outliving its service takes no tasks";
    EXPECT_FALSE(Recording(*service).start(*orphan));
}

}  // namespace
}  // namespace sayvo
