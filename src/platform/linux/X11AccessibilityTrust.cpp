#include "platform/linux/X11AccessibilityTrust.h"

#include <cstdio>

namespace sayvo {

bool X11AccessibilityTrust::isProcessTrustedWithOptions(const TrustCheckOptions& options) {
    const bool trusted = monitor_.canObserveGlobally() && monitor_.connection().canPost();
    const auto prompt = options.find(kTrustedCheckOptionPrompt);
    if (!trusted && prompt != options.end() && prompt->second && !told_) {
        told_ = true;
        std::fputs(
            "Sayvo: this display does not offer XInput2 and XTEST. The hotkey works only in "
            "Sayvo's own windows, and recognised text is left on the clipboard to paste by "
            "hand.\n",
            stderr);
    }
    return trusted;
}

}  // namespace sayvo
