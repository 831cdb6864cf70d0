#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <string>

class XTestKeys;
class XWindows;

// A third-party GTK text entry (zenity --entry) holding the keyboard focus,
// as the application a user dictates into. Its caret does not blink, so any
// change of its pixels is text arriving.
class GtkEntry {
public:
    GtkEntry(XWindows& x, XTestKeys& keys) : x_(x), keys_(keys) {}
    ~GtkEntry();
    GtkEntry(const GtkEntry&) = delete;
    GtkEntry& operator=(const GtkEntry&) = delete;

    // Starts it, gives it the focus and remembers how it looks when empty.
    bool open(QString* error);
    bool hasFocus();
    // Gives it the keyboard focus again, as clicking into it would.
    void focus();
    // True once the entry looks different from when it was opened.
    bool showsText();
    // How it looks once it stops changing; empty if it keeps changing.
    std::string settledLook();
    bool looksOtherThan(const std::string& look);
    // Presses Return, as the user confirming the dialog, and returns the text
    // the entry held.
    std::string submit();

private:
    XWindows& x_;
    XTestKeys& keys_;
    QTemporaryDir config_;
    QProcess process_;
    unsigned long window_ = 0;
    std::string empty_;
    std::string emptyDuringGrab_;
};
