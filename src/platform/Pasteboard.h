#pragma once

#include <optional>
#include <string>

namespace sayvo {

// The system's general pasteboard (clipboard), plain UTF-8 text only.
// Thread: main thread only.
// Failure: setString returns false; the previous contents may already be gone.
class Pasteboard {
public:
    virtual ~Pasteboard() = default;

    // Drops whatever the pasteboard holds.
    virtual void clearContents() = 0;
    // Puts `text` on the pasteboard; returns false when the system refused.
    virtual bool setString(const std::string& text) = 0;
    // The plain text on the pasteboard, or nothing when it holds none.
    virtual std::optional<std::string> string() const = 0;
};

}  // namespace sayvo
