#pragma once

#include <functional>
#include <memory>
#include <string>

#include "platform/Geometry.h"

namespace sayvo {

enum class TrayClick { left, right };

// The item in the system tray (menu bar). Thread: main thread only.
class TrayItem {
public:
    virtual ~TrayItem() = default;

    // False when the desktop offers no tray to put the item in; the item then
    // ignores images and never reports clicks.
    virtual bool hasButton() const = 0;

    // Shows one of the application's own symbol images: "mic.fill" or "waveform".
    // Unknown names keep the current image.
    virtual void setImage(const std::string& symbolName,
                          const std::string& accessibilityDescription) = 0;

    // Called on the main thread after a left or right mouse-up on the item.
    std::function<void(TrayClick)> onClick;
};

// What a surface shows. The backend draws each kind with its own view code and
// binds it to the observable objects it was given when the shell was made.
enum class SurfaceContent { floatingIndicator, menuPanel };

// A borderless window that floats above others and never takes keyboard focus.
// Thread: main thread only.
class FloatingWindow {
public:
    virtual ~FloatingWindow() = default;
    virtual void setFrame(const Rect& frame) = 0;
    virtual Rect frame() const = 0;
    virtual void show() = 0;
    virtual void hide() = 0;
    virtual bool isVisible() const = 0;
    // Rebuilds the drawn content with fresh view state.
    virtual void reloadContent() = 0;

    // Called on the main thread when the user presses the content's close button.
    std::function<void()> onCloseRequested;
};

// A transient panel anchored at the tray item: it takes focus while open and
// closes itself when the user clicks elsewhere. Thread: main thread only.
class Popover {
public:
    virtual ~Popover() = default;
    virtual void setContentSize(double width, double height) = 0;
    // Replaces the content with a freshly built one (fresh view state).
    virtual void setContent(SurfaceContent content) = 0;
    // Opens the panel next to the tray item (or near the pointer where the tray
    // cannot tell where its item is).
    virtual void showRelativeToTrayItem() = 0;
    virtual void close() = 0;
    virtual bool isShown() const = 0;
};

// The application's own process-wide surfaces. Thread: main thread only.
// Failure: nothing here reports failure. A desktop without a tray gives an item
// whose hasButton() is false; a window the display cannot show stays invisible.
class ApplicationShell {
public:
    virtual ~ApplicationShell() = default;

    // No taskbar entry and no main window: the process lives in the tray only.
    virtual void setAccessoryActivationPolicy() = 0;

    // The one tray item. Never null; see TrayItem::hasButton for a missing tray.
    virtual std::unique_ptr<TrayItem> makeTrayItem() = 0;
    virtual std::unique_ptr<Popover> makePopover() = 0;
    virtual std::unique_ptr<FloatingWindow> makeFloatingWindow(SurfaceContent content) = 0;

    // The main screen's area not covered by panels and docks.
    virtual Rect visibleScreenFrame() const = 0;

    // Ends the event loop; the process exits after the current task.
    virtual void quit() = 0;
};

}  // namespace sayvo
