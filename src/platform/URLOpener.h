#pragma once

#include <string>

namespace sayvo {

// Opens web addresses in the user's default browser.
// Thread: main thread only.
// Failure: returns false when the address is malformed or no handler exists.
class URLOpener {
public:
    virtual ~URLOpener() = default;
    virtual bool open(const std::string& url) = 0;
};

}  // namespace sayvo
