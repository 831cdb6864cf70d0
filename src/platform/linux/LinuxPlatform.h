#pragma once

#include <QString>
#include <memory>

#include "platform/Platform.h"

namespace sayvo {

// Every service the logic runs on, on an X11 session or, when there is a
// compositor to talk to, with a Wayland session's own hotkey, paste and
// clipboard. Built in the order they depend on each other and torn down in
// reverse; says on standard error what the session will not allow.
// Thread: main thread only; made after the QApplication, gone before it.
class LinuxPlatform {
public:
    // The translations are installed before the first text is made.
    LinuxPlatform(const Translations& translations, bool wayland, bool verbose,
                  const QString& applicationId);
    ~LinuxPlatform();
    LinuxPlatform(const LinuxPlatform&) = delete;
    LinuxPlatform& operator=(const LinuxPlatform&) = delete;

    const Platform& platform() const;

private:
    struct Services;
    std::unique_ptr<Services> services_;
};

}  // namespace sayvo
