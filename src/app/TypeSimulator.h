#pragma once

namespace sayvo {

// Inserts text into the focused application by its paste command.
// Thread: main thread only.
class TypeSimulator {
public:
    virtual ~TypeSimulator() = default;
    // Posts the paste keystroke; the text must already be on the pasteboard.
    // Until synthetic keyboard events exist this posts nothing and the text
    // waits on the pasteboard for the user.
    virtual void pasteText() {}
};

}  // namespace sayvo
