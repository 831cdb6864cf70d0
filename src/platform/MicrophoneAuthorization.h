#pragma once

#include <functional>

namespace sayvo {

enum class MicrophoneAuthorizationStatus { notDetermined, restricted, denied, authorized, other };

// Whether the process may capture from the microphone.
// Thread: called on the main thread; the answer to a request comes on any thread.
// Failure: a status the platform cannot tell is reported as `other`.
class MicrophoneAuthorization {
public:
    virtual ~MicrophoneAuthorization() = default;

    virtual MicrophoneAuthorizationStatus status() const = 0;

    // Asks the user (or the system) for access. `answer` is called exactly once,
    // on any thread, with whether access was granted; a request that cannot be
    // made answers false.
    virtual void requestAccess(std::function<void(bool granted)> answer) = 0;
};

}  // namespace sayvo
