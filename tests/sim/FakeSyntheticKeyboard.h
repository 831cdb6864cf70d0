#pragma once

#include <optional>
#include <vector>

#include "platform/AccessibilityTrust.h"
#include "platform/SyntheticKeyboard.h"

namespace sayvo::sim {

struct FakeSyntheticKeyboard final : SyntheticKeyboard {
    std::uint64_t userHeldFlags = 0;  // what new events carry until changed
    bool failSource = false, failKeyDown = false, failKeyUp = false, asksTheUser = false;
    std::vector<SyntheticKeyEvent> posted;
    std::unique_ptr<KeyEventSource> createEventSource() override {
        return failSource ? nullptr : std::make_unique<KeyEventSource>();
    }
    std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource*,
                                                         std::uint16_t keyCode,
                                                         bool keyDown) override {
        if (keyDown ? failKeyDown : failKeyUp) return std::nullopt;
        return SyntheticKeyEvent{keyCode, keyDown, userHeldFlags};
    }
    void post(const SyntheticKeyEvent& event) override { posted.push_back(event); }
    bool mayAskTheUser() const override { return asksTheUser; }
};

// Always trusted; keeps every check's options.
struct FakeAccessibilityTrust final : AccessibilityTrust {
    std::vector<TrustCheckOptions> checks;
    bool isProcessTrustedWithOptions(const TrustCheckOptions& options) override {
        return checks.push_back(options), true;
    }
};

}  // namespace sayvo::sim
