#pragma once

#include <string>

#include "platform/AccessibilityTrust.h"
#include "platform/Translations.h"
#include "platform/linux/x11/X11KeyboardMonitor.h"

namespace sayvo {

// X11 has no per-application trust: any client may observe the keyboard and
// post keys when the server has the XInput2 and XTEST extensions. There is no
// system request to show; a missing extension is reported once on stderr.
// Thread: main thread only.
class X11AccessibilityTrust final : public AccessibilityTrust {
public:
    X11AccessibilityTrust(const X11KeyboardMonitor& monitor, const Translations& translations)
        : monitor_(monitor), translations_(translations) {}
    bool isProcessTrustedWithOptions(const TrustCheckOptions& options) override;

private:
    const X11KeyboardMonitor& monitor_;
    const Translations& translations_;
    bool told_ = false;
};

// The stderr line naming the missing extensions and what the user loses; empty with both.
std::string missingExtensionWarning(bool hasXInput2, bool hasXTest,
                                    const Translations& translations);

}  // namespace sayvo
