#pragma once

#include <string>

namespace sayvo {

// An error as the platform reports it.
struct PlatformError {
    std::string domain;
    long code = 0;
    std::string localizedDescription;
};

}  // namespace sayvo
