#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "FakeServices.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/audio/SoxrResampler.h"

using namespace sayvo;
using Samples = std::vector<std::int16_t>;
const AudioFormat kMic{48000, 1, SampleType::float32};

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

TEST(SoxrResamplerTest, AToneKeepsItsLengthFrequencyAndLevelInBuffersOfAnySize) {
    sim::SourceTranslations source;
    PulseAudioSystem audio(source);
    const AudioFormat to16k{16000, 1, SampleType::int16};
    EXPECT_FALSE(audio.makeConverter(kMic, {16000, 1, SampleType::float32}));
    EXPECT_FALSE(audio.makeConverter({0, 1, SampleType::float32}, to16k));
    for (const AudioFormat& format : {kMic, AudioFormat{44100, 2, SampleType::int16},
                                      AudioFormat{16000, 1, SampleType::float32}}) {
        SoxrResampler converter(format);
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
