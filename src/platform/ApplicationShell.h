#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Geometry.h"

namespace sayvo {

enum class TrayClick { left, right };

// A notice that something went wrong, or one that only informs (a hint).
enum class NoticeKind { information, warning };

// The item in the system tray (menu bar). Thread: main thread only.
class TrayItem {
public:
    virtual ~TrayItem() = default;

    // False when the item can never be shown; it then ignores images and
    // never reports clicks. An item waiting for a tray to appear counts as
    // shown: it appears with the tray.
    virtual bool hasButton() const = 0;
    // Whether a tray shows the item now; vanilla GNOME has none at all.
    virtual bool isInTray() const { return hasButton(); }

    // Shows one of the application's own symbol images: "mic.fill" or "waveform".
    // Unknown names keep the current image.
    virtual void setImage(const std::string& symbolName,
                          const std::string& accessibilityDescription) = 0;

    // Tells the user something: a desktop notification, with an icon that
    // says which kind, and always a line on standard error.
    virtual void showMessage(const std::string& title, const std::string& message,
                             NoticeKind kind = NoticeKind::warning) = 0;

    // Called on the main thread after a left or right mouse-up on the item.
    std::function<void(TrayClick)> onClick;
};

// ui/FloatingIndicatorView.h: the view state a floating window draws and the
// actions its buttons call.
class FloatingIndicatorView;
// ui/MenuBarView.h: the tray panel's view state and actions.
class MenuBarView;

// A borderless window that floats above others, never takes keyboard focus and
// still takes clicks; dragging its background moves it.
// Thread: main thread only.
class FloatingWindow {
public:
    virtual ~FloatingWindow() = default;
    // Places the window. Once content is set, its height follows the content
    // and frame() reports it; a height change keeps the lower edge in place.
    virtual void setFrame(const Rect& frame) = 0;
    virtual Rect frame() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    // Draws this view from now on; the window keeps it alive while it shows it.
    virtual void setContent(std::shared_ptr<FloatingIndicatorView> view) = 0;
};

// A transient panel anchored at the tray item: it takes focus while open and
// closes itself when the user clicks elsewhere. Thread: main thread only.
class Popover {
public:
    virtual ~Popover() = default;
    // The width is kept; the height follows the content where the panel can.
    virtual void setContentSize(double width, double height) = 0;
    // Draws this panel from now on; the popover keeps it alive while it shows it.
    virtual void setContent(std::shared_ptr<MenuBarView> view) = 0;
    // Opens the panel next to the tray item (or near the pointer where the tray
    // cannot tell where its item is).
    virtual void showRelativeToTrayItem() = 0;
    virtual void close() = 0;
    virtual bool isShown() const = 0;

    // Called on the main thread once the shown panel has closed, whether
    // close() or the user closed it.
    std::function<void()> onClose;
};

// The application's own process-wide surfaces. Thread: main thread only.
// Failure: nothing here reports failure. A desktop without a tray keeps the
// item until one appears; a window the display cannot show stays invisible.
class ApplicationShell {
public:
    virtual ~ApplicationShell() = default;

    // No taskbar entry and no main window: the process lives in the tray only.
    virtual void setAccessoryActivationPolicy() = 0;

    // The one tray item. Never null; see TrayItem::hasButton.
    virtual std::unique_ptr<TrayItem> makeTrayItem() = 0;
    virtual std::unique_ptr<Popover> makePopover() = 0;
    virtual std::unique_ptr<FloatingWindow> makeFloatingWindow() = 0;

    // The area not covered by panels and docks of the screen the user works on:
    // the one holding the focused window, else the one under the pointer, else
    // the primary one. Empty when there is no screen.
    virtual Rect visibleScreenFrame() const = 0;

    // Ends the event loop; the process exits after the current task.
    virtual void quit() = 0;
};

}  // namespace sayvo
