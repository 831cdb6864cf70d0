#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTest>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <thread>

#include "FakeServices.h"
#include "platform/linux/speech/PocketSphinxSpeechService.h"

using namespace sayvo;
using Samples = std::vector<std::int16_t>;

// "go forward ten meters", 16 kHz mono, as the test data package ships it.
Samples goForward() {
    Samples speech;
    std::ifstream file("/usr/share/pocketsphinx/test/data/goforward.raw", std::ios::binary);
    for (std::int16_t s; file.read(reinterpret_cast<char*>(&s), 2);) speech.push_back(s);
    return speech;
}

// In buffers as a capture brings them.
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
    const Samples speech = goForward();
    const std::size_t half = speech.size() / 2;
    ASSERT_GT(half, 0u) << "pocketsphinx-testdata is not installed";
    std::atomic<int> calls{0}, abandonedCalls{0}, callsAfter{0};
    std::atomic<bool> cancelling{false}, firstCallDone{false}, cancelReturned{false}, gone{false};
    // Made after the flags its handlers use, so it goes first when a check fails.
    const sim::SourceTranslations source;
    auto service = std::make_unique<PocketSphinxSpeechService>(source);
    EXPECT_EQ(service->recognizerForLocale("zh-CN"), nullptr) << "there is no Chinese model";
    EXPECT_FALSE(
        PocketSphinxSpeechService(source, "/none").recognizerForDefaultLocale()->isAvailable());
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
    cancelling = true, cancelled->cancel(), cancelReturned = true;
    EXPECT_TRUE(firstCallDone) << "cancel returned while the handler was still running";
    // The next task is mid-utterance when the service goes.
    feed(*second, speech, 0, half);
    ASSERT_TRUE(QTest::qWaitFor([&] { return abandonedCalls > 0; }, 30000));
    service.reset(), gone = true;
    for (const auto& request : {first, second})
        feed(*request, speech, half, speech.size()), request->endAudio();
    QTest::qWait(100);
    EXPECT_EQ(callsAfter, 0);
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(recognizer->isAvailable()) << "a recogniser outliving its service takes no tasks";
    PocketSphinxSpeechService other(source);
    EXPECT_FALSE(recognizer->recognitionTask(other.makeRecognitionRequest(), [](auto, auto) {}));
}

long residentKilobytes() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0) return std::stol(line.substr(6));
    return 0;
}

// An idle model is released; the next task loads it again while its audio,
// all of it given at once, waits: no word is lost.
TEST(PocketSphinxSpeechServiceTest, AnIdleModelIsReleasedAndReloadedWithoutLosingWords) {
    const Samples speech = goForward();
    sim::SourceTranslations source;
    PocketSphinxSpeechService service(source, PocketSphinxSpeechService::defaultModelDirectory(),
                                      0.5);
    const auto recognizer = service.recognizerForDefaultLocale();
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        std::mutex mutex;
        std::string heard;
        std::atomic<bool> ended{false};
        const auto request = service.makeRecognitionRequest();
        QElapsedTimer timer;
        timer.start();
        const auto task = recognizer->recognitionTask(request, [&](auto result, auto error) {
            std::lock_guard lock(mutex);
            if (result) heard = result->formattedString;
            ended = ended || error || (result && result->isFinal);
        });
        feed(*request, speech, 0, speech.size()), request->endAudio();
        ASSERT_TRUE(QTest::qWaitFor([&] { return ended.load(); }, 30000));
        const long loaded = residentKilobytes();
        EXPECT_EQ(heard, "go forward ten meters");
        EXPECT_TRUE(service.isModelLoaded());
        EXPECT_TRUE(QTest::qWaitFor([&] { return !service.isModelLoaded(); }, 3000));
        std::printf(
            "MEASURE: pocketsphinx_load_and_decode = %lld ms\n"
            "MEASURE: pocketsphinx_rss_loaded = %ld kB\n"
            "MEASURE: pocketsphinx_rss_released = %ld kB\n",
            timer.elapsed(), loaded, residentKilobytes());
    }
}
