#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <numbers>

#include "platform/linux/PulseAudioCapture.h"
#include "platform/linux/SoxrConverter.h"

namespace sayvo {
namespace {

const AudioFormat to16k{16000, 1, SampleType::int16};
const AudioFormat mic48k{48000, 1, SampleType::float32};

TEST(SoxrAudioConverter, CarriesWhatExceedsTheCapacityToTheNextCall) {
    PulseAudioSystem audio;
    auto converter = audio.makeConverter(mic48k, to16k);
    ASSERT_TRUE(converter);
    SoxrConverter reference(mic48k);
    std::vector<std::int16_t> got, expected;
    constexpr int buffers = 100;
    for (int n = 0; n < buffers; ++n) {
        AudioPCMBuffer buffer(mic48k, 1600);
        for (int i = 0; i < 1600; ++i) {
            buffer.mutableFloatChannelData(0)[i] =
                0.5f * float(std::sin(2 * std::numbers::pi * 440 * (n * 1600 + i) / 48000));
        }
        const auto out = converter->convert(buffer, 533);
        ASSERT_TRUE(out);
        ASSERT_LE(out->size(), 533u);
        got.insert(got.end(), out->begin(), out->end());
        const auto whole = reference.process(buffer);
        expected.insert(expected.end(), whole.begin(), whole.end());
    }
    EXPECT_NEAR(double(got.size()) / (buffers * 1600), 1.0 / 3, 0.02);
    // An empty buffer with room hands over what was carried: the same stream.
    const auto rest = converter->convert(AudioPCMBuffer(mic48k, 0), 4096);
    ASSERT_TRUE(rest);
    std::printf("MEASURE: %zu samples carried after %d calls\n", rest->size(), buffers);
    got.insert(got.end(), rest->begin(), rest->end());
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(converter->convert(AudioPCMBuffer({44100, 1, SampleType::float32}, 16), 533));
}

TEST(SoxrAudioConverter, SixteenKilohertzInt16PassesThroughAndOtherTargetsAreRefused) {
    PulseAudioSystem audio;
    auto converter = audio.makeConverter(to16k, to16k);
    ASSERT_TRUE(converter);
    AudioPCMBuffer buffer(to16k, 320);
    std::int16_t* data = buffer.mutableInt16ChannelData(0);
    for (int i = 0; i < 320; ++i) data[i] = std::int16_t(i * 100 - 16000);
    EXPECT_EQ(converter->convert(buffer, 320), std::vector<std::int16_t>(data, data + 320));

    const AudioFormat stereo{48000, 2, SampleType::float32};
    EXPECT_TRUE(audio.makeConverter(stereo, to16k));
    EXPECT_FALSE(audio.makeConverter(stereo, {16000, 1, SampleType::float32}));
    EXPECT_FALSE(audio.makeConverter(stereo, {8000, 1, SampleType::int16}));
    EXPECT_FALSE(audio.makeConverter(stereo, {16000, 2, SampleType::int16}));
    EXPECT_FALSE(audio.makeConverter({0, 1, SampleType::float32}, to16k));
}

}  // namespace
}  // namespace sayvo
