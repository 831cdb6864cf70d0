#pragma once

#include <optional>

#include "platform/PlatformError.h"

namespace sayvo {

// Whether the desktop starts Sayvo when the user logs in.
// Thread: main thread only.
// Failure: setEnabled returns the error and leaves the setting as it was on
// disk; isEnabled always reads the real state afresh.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    virtual bool isEnabled() const = 0;
    virtual std::optional<PlatformError> setEnabled(bool enabled) = 0;
};

}  // namespace sayvo
