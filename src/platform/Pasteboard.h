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

    // Whether the desktop also has a primary selection (X11, most Wayland
    // compositors): the text a middle click or Shift+Insert pastes, and the
    // one terminals paste from. Where it has one, Shift+Insert pastes in
    // every kind of application, terminals included.
    virtual bool hasPrimarySelection() const { return false; }
    // Puts `text` in the primary selection; false when refused or there is none.
    virtual bool setPrimarySelection(const std::string& text) {
        (void)text;
        return false;
    }
};

}  // namespace sayvo
