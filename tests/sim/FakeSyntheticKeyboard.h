#pragma once

#include <optional>
#include <vector>

#include "platform/AccessibilityTrust.h"
#include "platform/SyntheticKeyboard.h"

namespace sayvo::sim {

// Records posted events; can fail any creation.
class FakeSyntheticKeyboard final : public SyntheticKeyboard {
public:
    std::uint64_t userHeldFlags = 0;  // what new events carry until changed
    bool failSource = false;
    bool failKeyDown = false;
    bool failKeyUp = false;
    std::vector<SyntheticKeyEvent> posted;

    std::unique_ptr<KeyEventSource> createEventSource() override {
        if (failSource) return nullptr;
        return std::make_unique<KeyEventSource>();
    }
    std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource*,
                                                         std::uint16_t keyCode,
                                                         bool keyDown) override {
        if (keyDown ? failKeyDown : failKeyUp) return std::nullopt;
        return SyntheticKeyEvent{keyCode, keyDown, userHeldFlags};
    }
    void post(const SyntheticKeyEvent& event) override { posted.push_back(event); }
};

// Always trusted; keeps every check's options.
class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    std::vector<TrustCheckOptions> checks;

    bool isProcessTrustedWithOptions(const TrustCheckOptions& options) override {
        checks.push_back(options);
        return true;
    }
};

}  // namespace sayvo::sim
