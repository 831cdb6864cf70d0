#pragma once

#include <functional>
#include <string>
#include <vector>

#include "portal/HostRegistryPortal.h"

namespace sayvo {

// Puts the app id's registration before every other portal call of the
// process: the first piece of portal work asks for it, and each piece waits
// for the answer. A refusal (a run from the build tree has no installed
// entry) only means the portals know no app id.
// Thread: main thread only.
class PortalAppRegistration {
public:
    PortalAppRegistration(HostRegistryPortal& registry, std::string appId);
    PortalAppRegistration(const PortalAppRegistration&) = delete;
    PortalAppRegistration& operator=(const PortalAppRegistration&) = delete;

    // Runs `work` once the registration is settled, at once if it already is.
    void afterRegistration(std::function<void()> work);

private:
    enum class State { unasked, asking, settled };

    void settle();

    HostRegistryPortal& registry_;
    std::string appId_;
    State state_ = State::unasked;
    std::vector<std::function<void()>> waiting_;
};

}  // namespace sayvo
