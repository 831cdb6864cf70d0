#pragma once

#include <string>

#include "platform/Translations.h"

namespace sayvo {

// The texts as written, for a program with no catalogue (a benchmark, a
// fuzzer, the simulated platform).
// Thread: any.
class SourceTexts final : public Translations {
public:
    std::string text(const Text& marked) const override { return marked.source; }
};

}  // namespace sayvo
