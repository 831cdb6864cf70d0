#pragma once

#include <QTranslator>

#include "core/UiLanguage.h"
#include "platform/Translations.h"

namespace sayvo {

// The user's language through Qt's translator, which the windows' qsTr reads
// too: one catalogue for the logic's texts and the QML's. Chinese is the
// source language and needs none of ours.
// Thread: made and destroyed on the main thread, after the application
// object and before the first window; text() from any thread.
// Failure: a catalogue that cannot be loaded leaves the source texts.
// The backend's own texts, from the same catalogue.
std::string translated(const Text& text);

class QtTranslations final : public Translations {
public:
    explicit QtTranslations(UiLanguage language);
    ~QtTranslations() override;
    QtTranslations(const QtTranslations&) = delete;
    QtTranslations& operator=(const QtTranslations&) = delete;

    std::string text(const Text& marked) const override;

private:
    QTranslator translator_;
    bool installed_ = false;
};

}  // namespace sayvo
