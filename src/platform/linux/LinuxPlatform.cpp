#include "platform/linux/LinuxPlatform.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <cstdlib>

#include "platform/linux/StderrLine.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/desktop/DesktopSystemPermissions.h"
#include "platform/linux/desktop/XdgAutostart.h"
#include "platform/linux/secrets/LibsecretStore.h"
#include "platform/linux/services/JsonFilePreferences.h"
#include "platform/linux/services/QtPasteboard.h"
#include "platform/linux/services/QtScheduler.h"
#include "platform/linux/services/QtURLOpener.h"
#include "platform/linux/services/QtUUIDGenerator.h"
#include "platform/linux/services/QtWebSocketService.h"
#include "platform/linux/services/StderrDecisionLog.h"
#include "platform/linux/speech/PocketSphinxSpeechService.h"
#include "platform/linux/ui/QtApplicationShell.h"
#include "platform/linux/ui/QtTranslations.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11KeyboardMonitor.h"
#include "platform/linux/x11/X11SyntheticKeyboard.h"

namespace sayvo {
namespace {

// Only the tests point the on-device engine elsewhere, at a missing model.
std::string modelDirectory() {
    const QByteArray directory = qgetenv("SAYVO_TEST_MODEL_DIRECTORY");
    return directory.isEmpty() ? PocketSphinxSpeechService::defaultModelDirectory()
                               : directory.toStdString();
}

// libsecret answers on the GLib main context, which only Qt's GLib event
// dispatcher runs (Qt may be built or started without it: QT_NO_GLIB).
bool mainLoopRunsGLib() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->inherits("QEventDispatcherGlib");
}

}  // namespace

// In the order of construction: each takes only what comes before it.
struct LinuxPlatform::Services {
    Services(const Translations& translations, bool wayland, bool verbose,
             const QString& applicationId)
        : translations(translations),
          waylandSession(wayland ? std::make_unique<WaylandSession>(x11Keyboard, preferences,
                                                                    translations,
                                                                    applicationId.toStdString())
                                 : nullptr),
          log(verbose),
          autostart(applicationId, QCoreApplication::applicationFilePath()) {}

    const Translations& translations;
    QtScheduler scheduler;
    JsonFilePreferences preferences{JsonFilePreferences::defaultPath(), translations};
    QtPasteboard x11Pasteboard;
    PulseMicrophoneAuthorization microphone;
    PulseAudioSystem audio{translations};
    QtWebSocketService webSockets;
    QtUUIDGenerator uuids;
    PocketSphinxSpeechService speech{translations, modelDirectory()};
    QtApplicationShell shell;
    X11KeyboardMonitor x11Keyboard{scheduler};
    X11SyntheticKeyboard x11SyntheticKeyboard{x11Keyboard};
    X11AccessibilityTrust accessibility{x11Keyboard, translations};
    std::unique_ptr<WaylandSession> waylandSession;
    DesktopSystemPermissions permissions{
        waylandSession
            ? DesktopSystemPermissions::Items([this] { return waylandSession->statusItems(); })
            : DesktopSystemPermissions::Items(),
        [this] { return std::vector<PermissionStatus>{speech.modelStatus()}; }};
    QtURLOpener urls;
    StderrDecisionLog log;
    XdgAutostart autostart;
    LibsecretStore secrets{scheduler, mainLoopRunsGLib()};
    // A Wayland session's own hotkey, paste and clipboard where there is one.
    const Platform platform{
        scheduler,
        preferences,
        waylandSession ? waylandSession->pasteboard() : x11Pasteboard,
        microphone,
        speech,
        shell,
        waylandSession ? waylandSession->keyboard() : x11Keyboard,
        audio,
        webSockets,
        uuids,
        waylandSession ? waylandSession->syntheticKeyboard() : x11SyntheticKeyboard,
        accessibility,
        urls,
        permissions,
        log,
        autostart,
        secrets,
        translations,
    };
};

LinuxPlatform::LinuxPlatform(const Translations& translations, bool wayland, bool verbose,
                             const QString& applicationId) {
    if (!wayland && qgetenv("XDG_SESSION_TYPE") == "wayland") {
        // Without a compositor to talk to, Sayvo runs as an X11 client only:
        // better said at once than found out.
        printToStderr(translated(
            SAYVO_TEXT("LinuxPlatform",
                       "Wayland 会话：快捷键只在 X11 窗口有焦点时有效，粘贴也只到达 X11 应用")));
    }
    services_ = std::make_unique<Services>(translations, wayland, verbose, applicationId);
    if (const auto& session = services_->waylandSession) {
        if (const std::string warning = session->startupWarning(); !warning.empty()) {
            printToStderr(withArguments(translated(SAYVO_TEXT("LinuxPlatform", "Wayland 会话：%1")),
                                        {warning}));
        }
    }
}

LinuxPlatform::~LinuxPlatform() = default;

const Platform& LinuxPlatform::platform() const {
    return services_->platform;
}

}  // namespace sayvo
