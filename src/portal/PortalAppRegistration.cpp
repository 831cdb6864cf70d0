#include "portal/PortalAppRegistration.h"

#include <utility>

namespace sayvo {

PortalAppRegistration::PortalAppRegistration(HostRegistryPortal& registry, std::string appId)
    : registry_(registry), appId_(std::move(appId)) {}

void PortalAppRegistration::afterRegistration(std::function<void()> work) {
    if (state_ == State::settled) {
        work();
        return;
    }
    waiting_.push_back(std::move(work));
    if (state_ == State::asking) return;
    if (!registry_.available()) {
        settle();
        return;
    }
    state_ = State::asking;
    registry_.registerApp(appId_, [this](PortalOutcome) { settle(); });
}

void PortalAppRegistration::settle() {
    state_ = State::settled;
    // Work run now may queue more; it runs at once, as the state is settled.
    for (auto& work : std::exchange(waiting_, {})) work();
}

}  // namespace sayvo
