#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <chrono>
#include <string>
#include <thread>
#include <utility>

#include "../backend/XTestKeys.h"
#include "E2eSupport.h"
#include "XWindows.h"

// A third-party GTK text entry (zenity --entry) holding the keyboard focus,
// as the application a user dictates into. Its caret does not blink, so any
// change of its pixels is text arriving.
class GtkEntry : QProcess {
public:
    GtkEntry(XWindows& x, XTestKeys& keys) : x_(x), keys_(keys) {}
    ~GtkEntry() override {
        kill();
        waitForFinished(3000);
    }

    // Starts it, gives it the focus and remembers how it looks when empty;
    // what went wrong, or nothing.
    std::string open() {
        QDir(config_.path()).mkpath("gtk-3.0");
        QFile settings(config_.filePath("gtk-3.0/settings.ini"));
        if (!settings.open(QIODevice::WriteOnly) ||
            settings.write("[Settings]\ngtk-cursor-blink=false\ngtk-enable-animations=false\n") < 0)
            return "cannot write the GTK settings";
        settings.close();
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("XDG_CONFIG_HOME", config_.path());
        env.insert("GDK_BACKEND", "x11");
        env.insert("NO_AT_BRIDGE", "1");
        env.insert("LC_ALL", "C.UTF-8");  // it prints the text in the locale's encoding
        setProcessEnvironment(env);
        // GTK's chatter about dialogs without a parent is not ours to show.
        setStandardErrorFile(QProcess::nullDevice());
        start("zenity", {"--entry", "--title", "Dictation target", "--text", "Dictate here"});
        std::optional<XWindowInfo> window;
        if (!waitUntil(
                [&] {
                    return (window = x_.findViewable("Dictation target", processId())).has_value();
                },
                10000))
            return "no zenity window";
        window_ = window->id;
        focus();
        if (!waitUntil([&] { return hasFocus(); }, 3000)) return "zenity did not take the focus";
        if ((empty_ = settledLook()).empty()) return "zenity's window keeps changing";
        // While the hotkey is held, Sayvo's grab takes the focus events and GTK
        // draws the entry unfocused until just after the release: empty as well.
        keys_.grabKeyboard();
        waitUntil([&] { return x_.pixels(window_) != empty_; }, 1000);
        emptyDuringGrab_ = settledLook();
        keys_.ungrabKeyboard();
        waitUntil([&] { return x_.pixels(window_) == empty_; }, 1000);
        return {};
    }
    bool hasFocus() { return x_.hasFocus(window_); }
    // Gives it the keyboard focus again, as clicking into it would.
    void focus() { keys_.focusWindow(window_); }
    // True once the entry looks different from when it was opened.
    bool showsText() {
        const std::string now = x_.pixels(window_);
        if (now.empty() || now == empty_ || now == emptyDuringGrab_) return false;
        // A look caught mid-redraw (the focus coming back) is no text: it must hold.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return x_.pixels(window_) == now;
    }
    // Presses Return, as the user confirming the dialog, and returns the text
    // the entry held.
    std::string submit() {
        keys_.press("Return");
        keys_.release("Return");
        if (!waitForFinished(5000)) return "(the entry did not close)";
        QByteArray text = readAllStandardOutput();
        if (text.endsWith('\n')) text.chop(1);
        return text.toStdString();
    }

private:
    // How it looks once two looks a moment apart agree; empty if it keeps changing.
    std::string settledLook() {
        std::string look, previous;
        const auto settled = [&] {
            previous = std::exchange(look, x_.pixels(window_));
            return !look.empty() && look == previous;
        };
        return waitUntil(settled, 5000, 150) ? look : std::string();
    }

    XWindows& x_;
    XTestKeys& keys_;
    QTemporaryDir config_;
    unsigned long window_ = 0;
    std::string empty_;
    std::string emptyDuringGrab_;
};
