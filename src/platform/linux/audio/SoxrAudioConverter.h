#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "platform/Audio.h"
#include "platform/linux/audio/SoxrResampler.h"

namespace sayvo {

// The seam's streaming converter on libsoxr: any valid input format to 16 kHz
// mono int16 (channels averaged, see SoxrResampler).
//
// Samples beyond a call's capacity are not dropped: they are carried and come
// first in the next call, so the stream stays intact whatever capacity the
// caller guesses. Output lags the input by the filter delay.
//
// Thread: one thread at a time (the audio thread).
class SoxrAudioConverter final : public AudioConverter {
public:
    // Check isValid() before use.
    explicit SoxrAudioConverter(AudioFormat from) : converter_(from) {}

    bool isValid() const { return converter_.isValid(); }

    // Nothing for a buffer of another format than the one given at construction.
    std::optional<std::vector<std::int16_t>> convert(const AudioPCMBuffer& input,
                                                     std::uint32_t capacity) override;

private:
    SoxrResampler converter_;
    std::vector<std::int16_t> carried_;
};

}  // namespace sayvo
