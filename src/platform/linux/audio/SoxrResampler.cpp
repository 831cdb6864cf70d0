#include "platform/linux/audio/SoxrResampler.h"

#include <soxr.h>

#include <algorithm>
#include <cmath>

namespace sayvo {

namespace {

// libsoxr's own float-to-int16 mapping, so both paths give the same levels.
std::int16_t toInt16(float sample) {
    const float scaled = std::nearbyint(sample * 32768.0f);
    return static_cast<std::int16_t>(std::clamp(scaled, -32768.0f, 32767.0f));
}

}  // namespace

void SoxrResampler::SoxrDeleter::operator()(soxr* resampler) const {
    soxr_delete(resampler);
}

SoxrResampler::SoxrResampler(AudioFormat input) : input_(input) {
    if (input.channelCount == 0 || !(input.sampleRate > 0)) return;
    if (input.sampleRate == outputRate) {
        valid_ = true;
        return;
    }
    soxr_error_t error = nullptr;
    soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_INT16_I);
    io.flags |= SOXR_NO_DITHER;
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    resampler_.reset(soxr_create(input.sampleRate, outputRate, 1, &error, &io, &quality, nullptr));
    valid_ = resampler_ != nullptr && error == nullptr;
    if (!valid_) resampler_.reset();
}

SoxrResampler::~SoxrResampler() = default;

void SoxrResampler::mixToMono(const AudioPCMBuffer& buffer) {
    const std::uint32_t frames = buffer.frameLength();
    const std::uint32_t channels = input_.channelCount;
    mono_.assign(frames, 0.0f);
    for (std::uint32_t c = 0; c < channels; ++c) {
        if (input_.sampleType == SampleType::float32) {
            const float* data = buffer.floatChannelData(c);
            for (std::uint32_t i = 0; i < frames; ++i) mono_[i] += data[i];
        } else {
            const std::int16_t* data = buffer.int16ChannelData(c);
            for (std::uint32_t i = 0; i < frames; ++i) mono_[i] += data[i] / 32768.0f;
        }
    }
    if (channels > 1) {
        const float scale = 1.0f / static_cast<float>(channels);
        for (float& sample : mono_) sample *= scale;
    }
}

std::vector<std::int16_t> SoxrResampler::process(const AudioPCMBuffer& buffer) {
    std::vector<std::int16_t> out;
    if (!valid_ || buffer.format() != input_ || buffer.frameLength() == 0) return out;

    // The common case at 16 kHz: a mono int16 stream is already the output.
    if (!resampler_ && input_.channelCount == 1 && input_.sampleType == SampleType::int16) {
        const std::int16_t* data = buffer.int16ChannelData(0);
        out.assign(data, data + buffer.frameLength());
        return out;
    }

    mixToMono(buffer);
    if (!resampler_) {
        out.resize(mono_.size());
        std::transform(mono_.begin(), mono_.end(), out.begin(), toInt16);
        return out;
    }

    const double ratio = outputRate / input_.sampleRate;
    const std::size_t room = static_cast<std::size_t>(std::ceil(mono_.size() * ratio)) + 64;
    std::size_t consumed = 0;
    std::size_t produced = 0;
    for (;;) {
        out.resize(produced + room);
        std::size_t inDone = 0;
        std::size_t outDone = 0;
        if (soxr_process(resampler_.get(), mono_.data() + consumed, mono_.size() - consumed,
                         &inDone, out.data() + produced, room, &outDone) != nullptr) {
            break;
        }
        consumed += inDone;
        produced += outDone;
        // A full output buffer may mean more is waiting.
        if (consumed == mono_.size() && outDone < room) break;
    }
    out.resize(produced);
    return out;
}

std::vector<std::int16_t> SoxrResampler::flush() {
    std::vector<std::int16_t> out;
    if (!resampler_) return out;
    constexpr std::size_t room = 4096;
    std::size_t produced = 0;
    for (;;) {
        out.resize(produced + room);
        std::size_t outDone = 0;
        if (soxr_process(resampler_.get(), nullptr, 0, nullptr, out.data() + produced, room,
                         &outDone) != nullptr) {
            break;
        }
        produced += outDone;
        if (outDone < room) break;
    }
    out.resize(produced);
    soxr_clear(resampler_.get());
    return out;
}

}  // namespace sayvo
