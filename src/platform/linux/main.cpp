// The Linux desktop entry: real services on the Qt event loop.
#include <QApplication>
#include <QCommandLineParser>
#include <optional>
#include <string_view>

#include "app/SayvoApp.h"
#include "cloud/AliyunASR.h"
#include "platform/linux/StderrLine.h"
#include "platform/linux/audio/PulseAudioCapture.h"
#include "platform/linux/desktop/DesktopSystemPermissions.h"
#include "platform/linux/desktop/QuitOnSignal.h"
#include "platform/linux/desktop/SingleInstance.h"
#include "platform/linux/desktop/XdgAutostart.h"
#include "platform/linux/services/JsonFilePreferences.h"
#include "platform/linux/services/QtPasteboard.h"
#include "platform/linux/services/QtScheduler.h"
#include "platform/linux/services/QtURLOpener.h"
#include "platform/linux/services/QtUUIDGenerator.h"
#include "platform/linux/services/QtWebSocketService.h"
#include "platform/linux/services/StderrDecisionLog.h"
#include "platform/linux/speech/PocketSphinxSpeechService.h"
#include "platform/linux/ui/QtApplicationShell.h"
#include "platform/linux/wayland/WaylandSession.h"
#include "platform/linux/x11/X11AccessibilityTrust.h"
#include "platform/linux/x11/X11KeyboardMonitor.h"
#include "platform/linux/x11/X11SyntheticKeyboard.h"

namespace {

struct CommandLine : QCommandLineParser {
    const QCommandLineOption verbose{
        QStringLiteral("verbose"),
        QStringLiteral("Log each recording's decisions (engine, start, stop, text length) to "
                       "standard error; never the text or the API key. Errors are always "
                       "logged.")};

    // For the desktop's own key bindings, where Sayvo cannot watch the keyboard.
    const QCommandLineOption toggle{
        QStringLiteral("toggle"),
        QStringLiteral("Tell the running Sayvo to start a recording, or to stop it and paste, "
                       "as a click on its tray icon does; then exit.")};
    const QCommandLineOption start{
        QStringLiteral("start"),
        QStringLiteral("Tell the running Sayvo that the hotkey is pressed; then exit.")};
    const QCommandLineOption stop{
        QStringLiteral("stop"),
        QStringLiteral("Tell the running Sayvo that the hotkey is let go: the recording stops "
                       "and its text is pasted; then exit.")};

    CommandLine() {
        setApplicationDescription(QStringLiteral(
            "Push-to-talk dictation: hold the hotkey, speak, let go, and the words are pasted "
            "into the focused application. Sayvo lives in the system tray."));
        addHelpOption();
        addVersionOption();
        addOptions({verbose, toggle, start, stop});
    }

    // The one request for a running Sayvo on this command line, if any.
    std::optional<sayvo::InstanceRequest> request() const {
        std::optional<sayvo::InstanceRequest> asked;
        for (const auto& [option, request] : {std::pair{&toggle, sayvo::InstanceRequest::toggle},
                                              std::pair{&start, sayvo::InstanceRequest::start},
                                              std::pair{&stop, sayvo::InstanceRequest::stop}}) {
            if (isSet(*option)) asked = request;
        }
        return asked;
    }
    int requestCount() const { return isSet(toggle) + isSet(start) + isSet(stop); }
};

// Only these are answered without a display: a package check has none, and
// a command entry needs none. A second application object after a first one
// would find Qt's D-Bus connections gone, so the choice is made beforehand.
bool needsNoDisplay(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "-h" || argument == "--help" || argument == "-?" ||
            argument == "--help-all" || argument == "-v" || argument == "--version" ||
            argument == "--toggle" || argument == "--start" || argument == "--stop")
            return true;
    }
    return false;
}

const QString kApplicationId = QStringLiteral("app.sayvo.Sayvo");

// A command entry: hands the running Sayvo its request and ends.
int sendToRunningInstance(const CommandLine& commandLine) {
    if (commandLine.requestCount() != 1) {
        sayvo::printToStderr("--toggle, --start and --stop go one at a time");
        return 2;
    }
    sayvo::SingleInstance running(kApplicationId);
    if (const auto error = running.send(*commandLine.request())) {
        sayvo::printToStderr(error->toStdString());
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    CommandLine commandLine;
    if (needsNoDisplay(argc, argv)) {
        QCoreApplication answering(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("sayvo"));
        QCoreApplication::setApplicationVersion(QStringLiteral(SAYVO_VERSION));
        commandLine.process(answering);  // --help and --version print and exit here
        return sendToRunningInstance(commandLine);
    }
    // Sayvo's windows stay on XWayland there: a Wayland client may neither
    // place its indicator nor keep it from taking the focus.
    const bool wayland = sayvo::WaylandSession::isCurrent();
    if (wayland && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "xcb");
    }
    QApplication application(argc, argv);
    // Qt has taken its own options by now: anything left unknown is a mistake.
    commandLine.process(application);
    const bool verbose = commandLine.isSet(commandLine.verbose);
    QApplication::setApplicationName(QStringLiteral("Sayvo"));
    // The application id: the desktop entry, its icon, the tray item, the bus
    // name and the autostart entry are named after it.
    const QString& applicationId = kApplicationId;
    QApplication::setDesktopFileName(applicationId);
    // Before the hotkey is grabbed: a second copy would paste every dictation twice.
    sayvo::SingleInstance instance(applicationId);
    switch (instance.claim()) {
        case sayvo::SingleInstance::Claim::anotherRuns:
            if (const auto error = instance.send(sayvo::InstanceRequest::showPanel)) {
                sayvo::printToStderr("Sayvo 已在运行，但没有回应：" + error->toStdString());
                return 1;
            }
            sayvo::printToStderr("Sayvo 已在运行，已打开它的设置面板");
            return 0;
        case sayvo::SingleInstance::Claim::unguarded:
            sayvo::printToStderr("无法确保只运行一个 Sayvo（" +
                                 instance.unguardedReason().toStdString() + "）");
            break;
        case sayvo::SingleInstance::Claim::first:
            break;
    }
    sayvo::QuitOnSignal quitOnSignal;
    if (!wayland && qgetenv("XDG_SESSION_TYPE") == "wayland") {
        // Without a compositor to talk to, Sayvo runs as an X11 client only:
        // better said at once than found out.
        sayvo::printToStderr(
            "Wayland 会话：快捷键只在 X11 窗口有焦点时有效，粘贴也只到达 X11 应用");
    }

    sayvo::QtScheduler scheduler;
    sayvo::JsonFilePreferences preferences(sayvo::JsonFilePreferences::defaultPath());
    sayvo::QtPasteboard x11Pasteboard;
    sayvo::PulseMicrophoneAuthorization microphone;
    sayvo::PulseAudioSystem audio;
    sayvo::QtWebSocketService webSockets;
    sayvo::QtUUIDGenerator uuids;
    // Only the tests point the on-device engine elsewhere, at a missing model.
    const QByteArray modelDirectory = qgetenv("SAYVO_TEST_MODEL_DIRECTORY");
    sayvo::PocketSphinxSpeechService speech(
        modelDirectory.isEmpty() ? sayvo::PocketSphinxSpeechService::defaultModelDirectory()
                                 : modelDirectory.toStdString());
    sayvo::QtApplicationShell shell;
    sayvo::X11KeyboardMonitor x11Keyboard(scheduler);
    sayvo::X11SyntheticKeyboard x11SyntheticKeyboard(x11Keyboard);
    sayvo::X11AccessibilityTrust accessibility(x11Keyboard);
    std::optional<sayvo::WaylandSession> waylandSession;
    if (wayland) waylandSession.emplace(x11Keyboard);
    sayvo::KeyboardMonitoring& keyboard = waylandSession ? waylandSession->keyboard() : x11Keyboard;
    sayvo::SyntheticKeyboard& syntheticKeyboard =
        waylandSession ? waylandSession->syntheticKeyboard() : x11SyntheticKeyboard;
    sayvo::Pasteboard& pasteboard = waylandSession ? waylandSession->pasteboard() : x11Pasteboard;
    sayvo::DesktopSystemPermissions permissions =
        waylandSession ? sayvo::DesktopSystemPermissions(
                             [&waylandSession] { return waylandSession->statusItems(); })
                       : sayvo::DesktopSystemPermissions();
    if (waylandSession) {
        if (const std::string warning = waylandSession->startupWarning(); !warning.empty()) {
            sayvo::printToStderr("Wayland 会话：" + warning);
        }
    }
    sayvo::QtURLOpener urls;
    sayvo::StderrDecisionLog log(verbose);
    sayvo::XdgAutostart autostart(applicationId, QCoreApplication::applicationFilePath());
    const sayvo::Platform platform{
        scheduler, preferences, pasteboard, microphone,        speech,        shell, keyboard,
        audio,     webSockets,  uuids,      syntheticKeyboard, accessibility, urls,  permissions,
        log,       autostart};

    // The process-wide instances live exactly as long as the services above.
    // The service's address is fixed when Sayvo is built; nothing at run time changes it.
    sayvo::SharedInstance<sayvo::AliyunASR>::Scope cloudScope(
        sayvo::AliyunASR::create({scheduler, webSockets, uuids, audio}, SAYVO_CLOUD_ENDPOINT));
    sayvo::SharedInstance<sayvo::HotkeyManager>::Scope hotkeyScope(
        sayvo::HotkeyManager::create(preferences, keyboard, scheduler));
    sayvo::SayvoApp app(platform, sayvo::AliyunASR::shared(), sayvo::HotkeyManager::shared());
    app.launch();
    instance.onRequest = [&app](sayvo::InstanceRequest request) {
        sayvo::AppDelegate& delegate = app.appDelegate();
        switch (request) {
            case sayvo::InstanceRequest::showPanel:
                delegate.openPanelWhenIdle();
                break;
            case sayvo::InstanceRequest::toggle:
                delegate.toggleRecording();
                break;
            case sayvo::InstanceRequest::start:
                delegate.hotkeyPressed();
                break;
            case sayvo::InstanceRequest::stop:
                delegate.hotkeyReleased();
                break;
        }
    };
    return QApplication::exec();
}
