#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "platform/linux/PulseAudioCapture.h"
#include "platform/linux/SoxrConverter.h"

namespace sayvo {
namespace {

using Samples = std::vector<std::int16_t>;
const AudioFormat mic48k{48000, 1, SampleType::float32}, to16k{16000, 1, SampleType::int16};

// `frames` of a 1 kHz tone at half scale from frame `first` on, on every channel.
AudioPCMBuffer tone(AudioFormat format, std::size_t frames, std::size_t first = 0) {
    AudioPCMBuffer buffer(format, std::uint32_t(frames));
    for (std::uint32_t c = 0; c < format.channelCount; ++c) {
        for (std::size_t i = 0; i < frames; ++i) {
            const double v =
                0.5 * std::sin(2000 * std::numbers::pi * double(first + i) / format.sampleRate);
            if (format.sampleType == SampleType::int16) {
                buffer.mutableInt16ChannelData(c)[i] = std::int16_t(std::lround(v * 32767));
            } else {
                buffer.mutableFloatChannelData(c)[i] = float(v);
            }
        }
    }
    return buffer;
}

// `seconds` of the tone through a converter in buffers of `chunk` frames, flushed.
Samples convert(SoxrConverter& converter, std::size_t chunk, std::size_t seconds = 1) {
    const std::size_t frames = seconds * std::size_t(converter.inputFormat().sampleRate);
    Samples out;
    for (std::size_t at = 0; at < frames; at += chunk) {
        const auto part =
            converter.process(tone(converter.inputFormat(), std::min(chunk, frames - at), at));
        out.insert(out.end(), part.begin(), part.end());
    }
    const auto tail = converter.flush();
    out.insert(out.end(), tail.begin(), tail.end());
    return out;
}

TEST(SoxrConverterTest, KeepsTheLengthFrequencyAndLevelOfATone) {
    for (const AudioFormat& format : {mic48k, AudioFormat{44100, 2, SampleType::int16}}) {
        SoxrConverter converter(format);
        ASSERT_TRUE(converter.isValid());
        const auto out = convert(converter, 1024, 3);
        ASSERT_NEAR(double(out.size()), 3 * 16000, 2);
        int crossings = 0;  // in the middle second, clear of the filter's start and end
        double power = 0;
        for (std::size_t i = 16000; i < 32000; ++i) {
            crossings += (out[i - 1] < 0) != (out[i] < 0);
            power += double(out[i]) * out[i] / 16000;
        }
        EXPECT_NEAR(crossings, 2000, 4);
        EXPECT_NEAR(std::sqrt(power), 0.5 * 32768 / std::sqrt(2.0), 0.02 * 11585);
    }
}

TEST(SoxrConverterTest, AnyBufferSizesGiveTheSameSamplesAndFlushStartsAfresh) {
    SoxrConverter whole(mic48k);
    const auto reference = convert(whole, 48000);
    for (std::size_t chunk : {1600u, 1024u, 333u}) {
        SoxrConverter chunked(mic48k);
        EXPECT_EQ(convert(chunked, chunk), reference) << "chunks of " << chunk;
    }
    EXPECT_EQ(convert(whole, 1600), reference) << "after a flush, as a fresh converter";
}

TEST(SoxrConverterTest, SixteenKilohertzPassesThroughWithTheChannelsAveraged) {
    AudioPCMBuffer stereo({16000, 2, SampleType::int16}, 3);
    std::copy_n(Samples{1000, -2000, 30000}.begin(), 3, stereo.mutableInt16ChannelData(0));
    std::copy_n(Samples{3000, 0, 30000}.begin(), 3, stereo.mutableInt16ChannelData(1));
    SoxrConverter int16Stereo(stereo.format());
    EXPECT_EQ(int16Stereo.process(stereo), (Samples{2000, -1000, 30000}));
    EXPECT_TRUE(int16Stereo.flush().empty()) << "no filter, no delay";

    const std::vector<float> levels = {0.0f, 0.5f, -0.5f, 1.0f, -1.0f, 2.0f, 1e-5f};
    AudioPCMBuffer floats({16000, 1, SampleType::float32}, std::uint32_t(levels.size()));
    std::copy(levels.begin(), levels.end(), floats.mutableFloatChannelData(0));
    EXPECT_EQ(SoxrConverter(floats.format()).process(floats),
              (Samples{0, 16384, -16384, 32767, -32768, 32767, 0}));
}

TEST(SoxrAudioConverterTest, MadeFor16kHzMonoInt16ItCarriesWhatExceedsTheCapacity) {
    PulseAudioSystem audio;
    for (const AudioFormat& to :
         {AudioFormat{16000, 1, SampleType::float32}, AudioFormat{8000, 1, SampleType::int16},
          AudioFormat{16000, 2, SampleType::int16}}) {
        EXPECT_FALSE(audio.makeConverter(mic48k, to));
    }
    EXPECT_FALSE(audio.makeConverter({0, 1, SampleType::float32}, to16k));
    auto converter = audio.makeConverter(mic48k, to16k);
    ASSERT_TRUE(converter);
    SoxrConverter reference(mic48k);
    Samples got, expected;
    for (std::size_t at = 0; at < 100 * 1600; at += 1600) {
        const auto out = converter->convert(tone(mic48k, 1600, at), 533);
        ASSERT_TRUE(out && out->size() <= 533);
        got.insert(got.end(), out->begin(), out->end());
        const auto whole = reference.process(tone(mic48k, 1600, at));
        expected.insert(expected.end(), whole.begin(), whole.end());
    }
    // An empty buffer with room hands over what was carried: the same stream.
    const auto rest = converter->convert(AudioPCMBuffer(mic48k, 0), 4096);
    ASSERT_TRUE(rest && !rest->empty());
    got.insert(got.end(), rest->begin(), rest->end());
    EXPECT_EQ(got, expected);
    EXPECT_FALSE(converter->convert(AudioPCMBuffer({44100, 1, SampleType::float32}, 16), 533))
        << "a buffer of another format";
}

}  // namespace
}  // namespace sayvo
