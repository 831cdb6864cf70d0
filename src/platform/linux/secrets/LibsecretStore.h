#pragma once

#include <memory>
#include <string>

#include "platform/Scheduler.h"
#include "platform/SecretStore.h"

namespace sayvo {

// The Secret Service (GNOME Keyring, KWallet, KeePassXC) through libsecret's
// asynchronous calls on the main thread's GLib main context, which Qt's event
// loop runs: no thread of its own, and an unlock prompt blocks nothing. The key
// is one item of the schema "app.sayvo.Sayvo" labelled "Sayvo API Key", in the
// default collection.
// Only a service already running on the session bus is used: starting one by
// D-Bus activation would ask a user whose desktop keeps no keyring to create one.
// Thread: main thread only; answers come there. `mainLoopRunsGLib` false (Qt
// built or run without its GLib dispatcher) makes every answer "unavailable".
// Failure: D-Bus and libsecret errors become outcomes; an operation still in
// flight at destruction is cancelled and never answers.
class LibsecretStore final : public SecretStore {
public:
    LibsecretStore(Scheduler& scheduler, bool mainLoopRunsGLib);
    ~LibsecretStore() override;
    LibsecretStore(const LibsecretStore&) = delete;
    LibsecretStore& operator=(const LibsecretStore&) = delete;

    void read(ReadAnswer answer) override;
    void write(const std::string& secret, Answer answer) override;
    void erase(Answer answer) override;

    static inline const std::string schemaName = "app.sayvo.Sayvo";
    static inline const std::string label = "Sayvo API Key";

    struct Call;  // one operation in flight

private:
    void start(std::unique_ptr<Call> call);

    Scheduler& scheduler_;
    const bool usable_;
    struct Cancellable;
    std::unique_ptr<Cancellable> cancellable_;
};

}  // namespace sayvo
