#include "platform/linux/audio/SoxrAudioConverter.h"

#include <utility>

namespace sayvo {

std::optional<std::vector<std::int16_t>> SoxrAudioConverter::convert(const AudioPCMBuffer& input,
                                                                     std::uint32_t capacity) {
    if (!converter_.isValid() || input.format() != converter_.inputFormat()) return std::nullopt;
    std::vector<std::int16_t> out = std::move(carried_);
    carried_.clear();
    const std::vector<std::int16_t> fresh = converter_.process(input);
    out.insert(out.end(), fresh.begin(), fresh.end());
    if (out.size() > capacity) {
        carried_.assign(out.begin() + capacity, out.end());
        out.resize(capacity);
    }
    return out;
}

}  // namespace sayvo
