#pragma once

#include <map>
#include <string>

namespace sayvo {

// Option of the trust check: ask the user to grant trust when it is missing.
inline constexpr const char* kTrustedCheckOptionPrompt = "AXTrustedCheckOptionPrompt";

using TrustCheckOptions = std::map<std::string, bool>;

// Whether this process may observe other applications' keyboard events and
// post synthetic ones into them.
// Thread: main thread only.
class AccessibilityTrust {
public:
    virtual ~AccessibilityTrust() = default;

    // With the prompt option true and no trust, the system shows its own
    // request where it has one; the call never waits for the user.
    virtual bool isProcessTrustedWithOptions(const TrustCheckOptions& options) = 0;
};

}  // namespace sayvo
