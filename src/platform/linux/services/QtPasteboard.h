#pragma once

#include "platform/Pasteboard.h"

namespace sayvo {

// The X11 CLIPBOARD and PRIMARY selections through QClipboard. Sayvo stays the owner after a
// write and serves the text from the GUI thread's event loop.
// Thread: main (GUI) thread only; needs a QGuiApplication.
class QtPasteboard final : public Pasteboard {
public:
    void clearContents() override;
    bool setString(const std::string& text) override;
    std::optional<std::string> string() const override;
    bool hasPrimarySelection() const override;
    bool setPrimarySelection(const std::string& text) override;
};

}  // namespace sayvo
