#pragma once

#include <cstddef>
#include <optional>

namespace sayvo {

// Loudness of one captured buffer, 0 to 1: mean absolute sample times 5,
// capped at 1. An empty buffer has no level.
inline std::optional<float> audioLevel(const float* samples, std::size_t count) {
    if (samples == nullptr || count == 0) return std::nullopt;
    float sum = 0.0f;
    for (std::size_t i = 0; i < count; ++i) sum += samples[i] < 0 ? -samples[i] : samples[i];
    const float level = sum / static_cast<float>(count) * 5.0f;
    return level < 1.0f ? level : 1.0f;
}

}  // namespace sayvo
