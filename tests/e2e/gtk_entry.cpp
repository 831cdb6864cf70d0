#include "gtk_entry.h"

#include <QDir>
#include <QFile>
#include <chrono>
#include <thread>

#include "../linux/XTestKeys.h"
#include "e2e_support.h"
#include "x_windows.h"

namespace {
const char kTitle[] = "Dictation target";
}

GtkEntry::~GtkEntry() {
    if (process_.state() != QProcess::NotRunning) {
        process_.kill();
        process_.waitForFinished(3000);
    }
}

bool GtkEntry::open(QString* error) {
    QDir(config_.path()).mkpath(QStringLiteral("gtk-3.0"));
    QFile settings(config_.filePath(QStringLiteral("gtk-3.0/settings.ini")));
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[Settings]\ngtk-cursor-blink=false\ngtk-enable-animations=false\n") < 0) {
        *error = QStringLiteral("cannot write the GTK settings");
        return false;
    }
    settings.close();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), config_.path());
    env.insert(QStringLiteral("GDK_BACKEND"), QStringLiteral("x11"));
    env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
    // It prints the entry's text in the locale's encoding.
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C.UTF-8"));
    process_.setProcessEnvironment(env);
    // GTK's chatter about dialogs without a parent is not ours to show.
    process_.setStandardErrorFile(QProcess::nullDevice());
    process_.start(QStringLiteral("zenity"), {QStringLiteral("--entry"), QStringLiteral("--title"),
                                              QString::fromLatin1(kTitle), QStringLiteral("--text"),
                                              QStringLiteral("Dictate here")});
    if (!process_.waitForStarted(5000)) {
        *error = QStringLiteral("zenity did not start");
        return false;
    }
    const long pid = static_cast<long>(process_.processId());
    if (!waitUntil([&] { return x_.findViewable(kTitle, pid).has_value(); }, 10000)) {
        *error = QStringLiteral("no zenity window");
        return false;
    }
    window_ = x_.findViewable(kTitle, pid)->id;
    keys_.focusWindow(window_);
    if (!waitUntil([&] { return hasFocus(); }, 3000)) {
        *error = QStringLiteral("zenity did not take the focus");
        return false;
    }
    empty_ = settledLook();
    if (empty_.empty()) {
        *error = QStringLiteral("zenity's window keeps changing");
        return false;
    }
    // While the hotkey is held, Sayvo's grab takes the focus events and GTK
    // draws the entry unfocused until just after the release: empty as well.
    keys_.grabKeyboard();
    waitUntil([&] { return looksOtherThan(empty_); }, 1000);
    emptyDuringGrab_ = settledLook();
    keys_.ungrabKeyboard();
    waitUntil([&] { return !looksOtherThan(empty_); }, 1000);
    return true;
}

std::string GtkEntry::settledLook() {
    // Settled once two looks a moment apart agree.
    std::string previous;
    const bool settled = waitUntil(
        [&] {
            std::string now = x_.pixels(window_);
            const bool same = !now.empty() && now == previous;
            previous = std::move(now);
            return same;
        },
        5000, 150);
    return settled ? previous : std::string();
}

void GtkEntry::focus() {
    keys_.focusWindow(window_);
}

bool GtkEntry::hasFocus() {
    return window_ != 0 && x_.hasFocus(window_);
}

bool GtkEntry::showsText() {
    const std::string now = x_.pixels(window_);
    if (now.empty() || now == empty_ || now == emptyDuringGrab_) return false;
    // A look caught mid-redraw (the focus coming back) is no text: it must hold.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    return x_.pixels(window_) == now;
}

bool GtkEntry::looksOtherThan(const std::string& look) {
    const std::string now = x_.pixels(window_);
    return !now.empty() && now != look;
}

std::string GtkEntry::submit() {
    keys_.press("Return");
    keys_.release("Return");
    if (!process_.waitForFinished(5000)) return "(the entry did not close)";
    std::string text = process_.readAllStandardOutput().toStdString();
    if (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}
