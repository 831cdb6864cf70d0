#include <gtest/gtest.h>

#include <QTest>
#include <atomic>
#include <thread>

#include "FakeServices.h"
#include "platform/linux/audio/PulseAudioCapture.h"

using namespace sayvo;

TEST(PulseAudioEngineTest, NoTapCallOutlivesRemoveTapOrStopAndTheEngineStartsAgain) {
    sim::SourceTranslations texts;
    PulseAudioEngine engine(texts);
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
        ++slowCalls, inside = false;
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

TEST(PulseAudioEngineTest, WithoutAServerStartFails) {
    const QByteArray server = qgetenv("PULSE_SERVER");
    qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
    sim::SourceTranslations texts;
    PulseAudioEngine engine(texts);
    EXPECT_EQ(engine.inputNode().outputFormat(0).sampleRate, 0);
    const auto error = engine.start();
    EXPECT_EQ(error ? error->domain : "no error", "PulseAudio");
    EXPECT_FALSE(engine.isRunning());
    qputenv("PULSE_SERVER", server);
}
