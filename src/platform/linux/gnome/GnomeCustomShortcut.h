#pragma once

#include <functional>
#include <string>

#include "hotkey/ShortcutRepeatReader.h"

// GLib's types, without its headers here: its macros clash with Qt's.
typedef struct _GSettings GSettings;

namespace sayvo {

// Sayvo's custom keyboard shortcut in GNOME's settings (the user's own), which
// gnome-settings-daemon runs at the press and at every autorepeat: it calls
// the running Sayvo over the session bus, a light command, not a new Sayvo.
// Thread: main thread only; its change notices need the GLib main loop that
// Qt runs on Linux.
// Failure: without GNOME's settings schemas, available() is false and
// nothing is read or written.
class GnomeCustomShortcut {
public:
    static inline const std::string path =
        "/org/gnome/settings-daemon/plugins/media-keys/custom-keybindings/sayvo/";

    // `applicationId` names the running Sayvo on the session bus.
    explicit GnomeCustomShortcut(const std::string& applicationId);
    ~GnomeCustomShortcut();
    GnomeCustomShortcut(const GnomeCustomShortcut&) = delete;
    GnomeCustomShortcut& operator=(const GnomeCustomShortcut&) = delete;

    bool available() const { return list_ != nullptr; }
    // Our entry's binding in GNOME's notation; empty while there is none.
    std::string accelerator() const;
    // Adds our entry with this binding, or rebinds it; false if GNOME's
    // settings refused the write.
    bool bind(const std::string& accelerator);
    // Told whenever the binding may have changed, in GNOME's settings too.
    std::function<void()> changed;

    // The command the entry runs.
    std::string command() const { return command_; }
    // The desktop's keyboard repeat, the defaults where it cannot be read.
    static ShortcutRepeatReader::Repeat keyboardRepeat();

private:
    static void notify(GSettings*, const char*, void* self);

    std::string command_;
    GSettings* list_ = nullptr;   // the list of custom entries
    GSettings* entry_ = nullptr;  // ours, whether listed or not
};

}  // namespace sayvo
