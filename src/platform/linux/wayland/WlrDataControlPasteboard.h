#pragma once

#include <memory>
#include <string>

#include "platform/Pasteboard.h"
#include "platform/Translations.h"

namespace sayvo {

// The Wayland clipboard (the seat's selection) through the wlr-data-control
// protocol, on a Wayland connection of our own ($WAYLAND_DISPLAY) beside
// whatever Qt uses: the compositor lets a data-control client set the
// selection without keyboard focus, which our XWayland windows never have.
// Sayvo stays the owner after a write and serves pastes from the event loop
// with non-blocking writes, so a slow or stalled reader never holds it up;
// a reader that takes nothing for 10 s is dropped. Reading another client's
// text waits at most a second. The primary selection is written, never read.
// Thread: main thread only; needs a QCoreApplication whose loop runs.
// Failure: connect() gives nothing, with a reason for users, without a
// Wayland display, without the protocol (mutter, weston) or without a seat.
// Once the compositor is gone or drops the seat, setString returns false and
// string() returns nothing.
class WlrDataControlPasteboard final : public Pasteboard {
public:
    static constexpr Text kNoDisplayReason =
        SAYVO_TEXT("WlrDataControlPasteboard", "无法连接 Wayland 显示服务器");
    static constexpr Text kNoProtocolReason =
        SAYVO_TEXT("WlrDataControlPasteboard",
                   "合成器不支持 wlr-data-control 协议，无法在没有焦点时写入剪贴板");
    static constexpr Text kNoSeatReason = SAYVO_TEXT(
        "WlrDataControlPasteboard", "Wayland 显示服务器没有输入设备（seat），无法使用剪贴板");

    // Nothing, and one of the reasons above in `whyNot`, when it cannot work.
    static std::unique_ptr<WlrDataControlPasteboard> connect(std::string* whyNot = nullptr);
    ~WlrDataControlPasteboard() override;
    WlrDataControlPasteboard(const WlrDataControlPasteboard&) = delete;
    WlrDataControlPasteboard& operator=(const WlrDataControlPasteboard&) = delete;

    // Clears the selection only while it is ours.
    void clearContents() override;
    // Returns once the compositor has taken the new selection.
    bool setString(const std::string& text) override;
    // Ours without a transfer; another client's only when it offers plain text.
    std::optional<std::string> string() const override;
    // Where the compositor speaks version 2 of the protocol.
    bool hasPrimarySelection() const override;
    bool setPrimarySelection(const std::string& text) override;

private:
    struct Impl;
    explicit WlrDataControlPasteboard(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> impl_;
};

}  // namespace sayvo
