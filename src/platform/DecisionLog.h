#pragma once

#include <string>

namespace sayvo {

// Where the logic notes what it decided about each recording (engine, start,
// stop, how much text) and the technical side of a failure the user was told
// of in plain words, for whoever diagnoses a problem. Never given the
// dictated text or the API key.
// Thread: main thread.
class DecisionLog {
public:
    virtual ~DecisionLog() = default;
    virtual void note(const std::string& line) = 0;
};

}  // namespace sayvo
