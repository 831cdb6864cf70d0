#pragma once

#include <optional>
#include <vector>

#include "platform/AccessibilityTrust.h"
#include "platform/SyntheticKeyboard.h"

namespace sayvo::sim {

// Records posted events with where they were posted and which source state
// they were made from; can fail any creation.
class FakeSyntheticKeyboard final : public SyntheticKeyboard {
public:
    struct Posted {
        int tap = -1;
        SyntheticKeyEvent event;
        std::optional<int> sourceState;  // nothing when made without a source
    };

    std::uint64_t userHeldFlags = 0;  // what new events carry until changed
    bool failSource = false;
    bool failKeyDown = false;
    bool failKeyUp = false;
    std::vector<Posted> posted;

    std::unique_ptr<KeyEventSource> createEventSource(int stateID) override {
        if (failSource) return nullptr;
        return std::make_unique<Source>(stateID);
    }
    std::optional<SyntheticKeyEvent> createKeyboardEvent(const KeyEventSource* source,
                                                         std::uint16_t keyCode,
                                                         bool keyDown) override {
        if (keyDown ? failKeyDown : failKeyUp) return std::nullopt;
        const auto* ours = dynamic_cast<const Source*>(source);
        madeFrom_.push_back(ours ? std::optional<int>(ours->state) : std::nullopt);
        return SyntheticKeyEvent{keyCode, keyDown, userHeldFlags};
    }
    void post(int tapLocation, const SyntheticKeyEvent& event) override {
        // Events are posted in the order they were made.
        std::optional<int> state;
        if (posted.size() < madeFrom_.size()) state = madeFrom_[posted.size()];
        posted.push_back({tapLocation, event, state});
    }

private:
    struct Source final : KeyEventSource {
        explicit Source(int s) : state(s) {}
        int state;
    };
    std::vector<std::optional<int>> madeFrom_;
};

// Trust as the test sets it; keeps every check's options.
class FakeAccessibilityTrust final : public AccessibilityTrust {
public:
    bool trusted = true;
    std::vector<TrustCheckOptions> checks;

    bool isProcessTrustedWithOptions(const TrustCheckOptions& options) override {
        checks.push_back(options);
        return trusted;
    }
};

}  // namespace sayvo::sim
