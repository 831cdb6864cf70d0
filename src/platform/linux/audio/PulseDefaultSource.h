#pragma once

#include <chrono>
#include <string>

namespace sayvo {

// What the sound server says about the source a recording would use.
struct PulseDefaultSource {
    enum class State {
        unreachable,      // no server, or none answered in time
        noDefaultSource,  // the server answered but has nothing to record from
        found,
    };
    State state = State::unreachable;
    std::string description;  // when found: the name people see, else the source name
};

// Asks the PulseAudio server on a short private connection of its own and
// returns within `limit` whatever the server does. Never spawns a server.
// Thread: any thread; it runs its own mainloop on the calling thread.
PulseDefaultSource queryPulseDefaultSource(std::chrono::milliseconds limit);

}  // namespace sayvo
