#pragma once

#include <functional>
#include <string>

namespace sayvo {

// How the desktop's keyring answered.
enum class SecretOutcome {
    done,         // read: the secret is in `secret`; write or erase: confirmed
    notFound,     // read only: no secret is stored
    locked,       // the keyring stayed locked: the user did not unlock it when asked
    refused,      // the keyring is there but would not do it
    unavailable,  // no keyring service is running, or it went away
};

// The desktop's keyring (the Secret Service), holding Sayvo's one secret: the
// cloud API key. An operation may show the keyring's own unlock prompt, and
// then answers only once the user has dealt with it.
// Thread: main thread; each operation answers exactly once, on the main
// thread, never from within the call. Nothing blocks meanwhile.
// Failure: every failure is one of the outcomes above; none carries the secret.
class SecretStore {
public:
    using Answer = std::function<void(SecretOutcome)>;
    using ReadAnswer = std::function<void(SecretOutcome, const std::string& secret)>;

    virtual ~SecretStore() = default;
    virtual void read(ReadAnswer answer) = 0;
    // Replaces the stored secret.
    virtual void write(const std::string& secret, Answer answer) = 0;
    // Removing a secret that is not there is done.
    virtual void erase(Answer answer) = 0;
};

}  // namespace sayvo
