// The Linux desktop entry: real services on the Qt event loop.
#include <QApplication>
#include <QCommandLineParser>
#include <optional>
#include <string_view>

#include "app/SayvoApp.h"
#include "cloud/AliyunASR.h"
#include "hotkey/ShortcutRepeatReader.h"
#include "platform/linux/LinuxPlatform.h"
#include "platform/linux/StderrLine.h"
#include "platform/linux/desktop/QuitOnSignal.h"
#include "platform/linux/desktop/SingleInstance.h"
#include "platform/linux/gnome/GnomeCustomShortcut.h"
#include "platform/linux/ui/QtTranslations.h"
#include "platform/linux/wayland/WaylandSession.h"

namespace {

QString say(const char* source) {
    return QCoreApplication::translate("CommandLine", source);
}

// Made once the translations are installed: its texts are in the user's language.
struct CommandLine : QCommandLineParser {
    const QCommandLineOption verbose{
        QStringLiteral("verbose"),
        say(QT_TRANSLATE_NOOP("CommandLine",
                              "把每次录音的决定（引擎、开始、停止、文字长度）写到标准错误输出；"
                              "从不写出文字或 API Key。错误总会写出。"))};

    // For the desktop's own key bindings, where Sayvo cannot watch the keyboard.
    const QCommandLineOption toggle{
        QStringLiteral("toggle"),
        say(QT_TRANSLATE_NOOP("CommandLine",
                              "让正在运行的 Sayvo 开始录音，或停止录音并粘贴，和点按托盘图标一样；"
                              "然后退出。"))};
    const QCommandLineOption start{
        QStringLiteral("start"),
        say(QT_TRANSLATE_NOOP("CommandLine", "告诉正在运行的 Sayvo 快捷键已按下；然后退出。"))};
    const QCommandLineOption stop{
        QStringLiteral("stop"),
        say(QT_TRANSLATE_NOOP(
            "CommandLine", "告诉正在运行的 Sayvo 快捷键已松开：录音停止，文字被粘贴；然后退出。"))};

    CommandLine() {
        setApplicationDescription(
            say(QT_TRANSLATE_NOOP("CommandLine",
                                  "按住说话的听写工具：按住快捷键说话，松开后文字粘贴到当前应用。Sa"
                                  "yvo 位于系统托盘中。")));
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

// The desktop entry, its icon, the tray item, the bus name and the autostart
// entry are named after it.
const QString kApplicationId = QStringLiteral("app.sayvo.Sayvo");

// A command entry: hands the running Sayvo its request and ends.
int sendToRunningInstance(const CommandLine& commandLine) {
    if (commandLine.requestCount() != 1) {
        sayvo::printToStderr(
            say(QT_TRANSLATE_NOOP("CommandLine", "--toggle、--start 和 --stop 一次只能用一个"))
                .toStdString());
        return 2;
    }
    sayvo::SingleInstance running(kApplicationId);
    if (const auto error = running.send(*commandLine.request())) {
        sayvo::printToStderr(error->toStdString());
        return 1;
    }
    return 0;
}

// Before the hotkey is grabbed: a second copy would paste every dictation
// twice. The exit code when this process is not to run on.
std::optional<int> claimTheOneInstance(sayvo::SingleInstance& instance) {
    switch (instance.claim()) {
        case sayvo::SingleInstance::Claim::anotherRuns:
            if (const auto error = instance.send(sayvo::InstanceRequest::showPanel)) {
                sayvo::printToStderr(
                    say(QT_TRANSLATE_NOOP("CommandLine", "Sayvo 已在运行，但没有回应：%1"))
                        .arg(*error)
                        .toStdString());
                return 1;
            }
            sayvo::printToStderr(
                say(QT_TRANSLATE_NOOP("CommandLine", "Sayvo 已在运行，已打开它的设置面板"))
                    .toStdString());
            return 0;
        case sayvo::SingleInstance::Claim::unguarded:
            sayvo::printToStderr(
                say(QT_TRANSLATE_NOOP("CommandLine", "无法确保只运行一个 Sayvo（%1）"))
                    .arg(instance.unguardedReason())
                    .toStdString());
            break;
        case sayvo::SingleInstance::Claim::first:
            break;
    }
    return std::nullopt;
}

void answer(sayvo::AppDelegate& delegate, sayvo::ShortcutRepeatReader& shortcutRuns,
            sayvo::InstanceRequest request) {
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
        case sayvo::InstanceRequest::hotkeyRun:
            shortcutRuns.run();
            break;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const sayvo::UiLanguage language = sayvo::uiLanguage(std::getenv);
    if (needsNoDisplay(argc, argv)) {
        QCoreApplication answering(argc, argv);
        const sayvo::QtTranslations translations(language);
        CommandLine commandLine;
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
    // Before the first text: every one below is in the user's language.
    const sayvo::QtTranslations translations(language);
    CommandLine commandLine;
    // Qt has taken its own options by now: anything left unknown is a mistake.
    commandLine.process(application);
    QApplication::setApplicationName(QStringLiteral("Sayvo"));
    QApplication::setDesktopFileName(kApplicationId);
    sayvo::SingleInstance instance(kApplicationId);
    if (const auto exitCode = claimTheOneInstance(instance)) return *exitCode;
    sayvo::QuitOnSignal quitOnSignal;
    const sayvo::LinuxPlatform services(translations, wayland,
                                        commandLine.isSet(commandLine.verbose), kApplicationId);
    const sayvo::Platform& platform = services.platform();

    // The process-wide instances live exactly as long as the services above.
    // The service's address is fixed when Sayvo is built; nothing at run time changes it.
    sayvo::SharedInstance<sayvo::AliyunASR>::Scope cloudScope(
        sayvo::AliyunASR::create({platform.scheduler, platform.webSockets, platform.uuids,
                                  platform.audio, platform.log, platform.translations},
                                 SAYVO_CLOUD_ENDPOINT));
    sayvo::SharedInstance<sayvo::HotkeyManager>::Scope hotkeyScope(sayvo::HotkeyManager::create(
        platform.preferences, platform.keyboard, platform.scheduler, platform.translations));
    sayvo::SayvoApp app(platform, sayvo::AliyunASR::shared(), sayvo::HotkeyManager::shared());
    app.launch();
    // GNOME's custom shortcut runs at the press and at every autorepeat.
    sayvo::AppDelegate& delegate = app.appDelegate();
    sayvo::ShortcutRepeatReader shortcutRuns(
        platform.scheduler, sayvo::GnomeCustomShortcut::keyboardRepeat(),
        {[&delegate] { delegate.hotkeyPressed(); }, [&delegate] { delegate.hotkeyReleased(); },
         [&delegate] { delegate.hotkeyTapped(); }});
    instance.onRequest = [&delegate, &shortcutRuns](sayvo::InstanceRequest request) {
        answer(delegate, shortcutRuns, request);
    };
    return QApplication::exec();
}
