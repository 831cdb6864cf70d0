#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/Audio.h"

struct soxr;

namespace sayvo {

// Streaming conversion of captured audio to what the recogniser decodes:
// 16 kHz mono int16. The filter state carries from buffer to buffer, so a
// stream cut into any buffer sizes converts to the same samples.
//
// Channels are averaged, not just channel 0 taken: some inputs carry the
// voice on one channel only (a mono headset on a stereo jack) and an average
// keeps it at half level, where channel 0 could be the dead one; on a mic
// array the voice is in phase on every channel, and averaging lowers the
// uncorrelated noise.
//
// Input already at 16 kHz skips libsoxr. Output is never dithered: a
// recogniser gains nothing from it, and the same input always gives the same
// samples.
//
// Thread: not thread-safe; one thread at a time uses it (the audio thread).
class SoxrResampler {
public:
    static constexpr double outputRate = 16000;

    explicit SoxrResampler(AudioFormat input);
    ~SoxrResampler();
    SoxrResampler(const SoxrResampler&) = delete;
    SoxrResampler& operator=(const SoxrResampler&) = delete;

    const AudioFormat& inputFormat() const { return input_; }
    // False when the input format cannot be converted (no channels, a rate
    // libsoxr refuses); process() and flush() then give nothing.
    bool isValid() const { return valid_; }

    // Converts one buffer of the input format; a buffer of another format
    // gives nothing. Output lags the input by the filter delay until flush().
    std::vector<std::int16_t> process(const AudioPCMBuffer& buffer);
    // Ends the stream: returns what the filter still holds and starts afresh.
    std::vector<std::int16_t> flush();

private:
    struct SoxrDeleter {
        void operator()(soxr* resampler) const;
    };

    void mixToMono(const AudioPCMBuffer& buffer);

    AudioFormat input_;
    bool valid_ = false;
    // Null when the input rate already is the output rate.
    std::unique_ptr<soxr, SoxrDeleter> resampler_;
    std::vector<float> mono_;
};

}  // namespace sayvo
