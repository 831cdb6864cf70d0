#pragma once

#include <gtest/gtest.h>

#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QFile>
#include <QTemporaryDir>
#include <memory>

#include "../linux/XTestKeys.h"
#include "app_process.h"
#include "e2e_support.h"
#include "private_bus.h"
#include "screen_reader.h"
#include "tray_watcher.h"
#include "x_windows.h"

// A dictation scene: an X display, the keyboard, a private session bus with
// a tray host, and Sayvo launched with Alt+Space as its hotkey (or, for a
// fresh profile, the desktop's default).
class DictationFixture : public ::testing::Test {
protected:
    static inline const QString kSpeech =
        QStringLiteral("/usr/share/pocketsphinx/test/data/goforward.raw");

    void SetUp() override {
        ASSERT_TRUE(QFile::exists(kSpeech)) << "the speech recordings are missing";
        ASSERT_TRUE(x_.connected() && keys_.isOpen()) << "no X display";
        QString error;
        ASSERT_TRUE(bus_.start(&error)) << error.toStdString();
        ASSERT_TRUE(watcher_.publish(bus_.connection(), &error)) << error.toStdString();
    }
    // Starts `binary` with the hotkey and any further preference members
    // (JSON, each with a leading comma), and waits for its tray item.
    void launch(const QString& binary, const QByteArray& morePreferences = {}) {
        app_ = std::make_unique<AppProcess>(binary);
        app_->addEnvironment(appEnvironment_);
        if (!freshProfile_) {
            ASSERT_TRUE(app_->writePreferences(
                R"({"hotkeyKeyCode": 49, "hotkeyModifiers": 524288, "hotkeyIsFnKey": false)" +
                morePreferences + "}"));
        }
        QString error;
        ASSERT_TRUE(app_->start(bus_.address(), &error)) << error.toStdString();
        ASSERT_TRUE(waitUntil([&] { return !watcher_.items().isEmpty(); }, 15000));
        ASSERT_TRUE(icon_.watch(bus_.connection(), watcher_.items().constFirst()));
    }
    // A click on the tray item as the tray host reports it: "Activate" for
    // the left button, "ContextMenu" for the right one.
    void clickTrayItem(const QString& method) {
        const TrayItemAddress item = watcher_.items().constFirst();
        QDBusMessage call = QDBusMessage::createMethodCall(
            item.service, item.path, QStringLiteral("org.kde.StatusNotifierItem"), method);
        call << 640 << 12;
        bus_.connection().asyncCall(call);
    }
    // The recording without its leading silence: the words begin at the press.
    QString speechFromTheFirstMoment() {
        QFile in(kSpeech);
        QFile out(scratch_.filePath(QStringLiteral("goforward-at-once.raw")));
        if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly)) return {};
        out.write(in.readAll().mid(int(0.45 * 16000) * 2));
        return out.fileName();
    }
    bool indicatorShown() { return x_.findViewable("Sayvo indicator", app_->pid()).has_value(); }

    // Added to Sayvo's environment by launch().
    QProcessEnvironment appEnvironment_;
    // Launch as a new user: no preferences file at all, so no stored hotkey.
    bool freshProfile_ = false;
    QTemporaryDir scratch_;
    XWindows x_;
    XTestKeys keys_;
    PrivateBus bus_;
    TrayWatcher watcher_;
    IconChangeCounter icon_;
    std::unique_ptr<AppProcess> app_;
};

// The same scene, with a screen reader reading Sayvo's windows through AT-SPI.
class ScreenReaderFixture : public DictationFixture {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(DictationFixture::SetUp());
        QString error;
        ASSERT_TRUE(reader_.start(bus_.connection(), bus_.address(), &error))
            << error.toStdString();
        appEnvironment_ = ScreenReader::applicationEnvironment();
    }

    ScreenReader reader_;
};
