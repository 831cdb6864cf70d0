#include "platform/linux/ui/QtTranslations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

namespace sayvo {

QtTranslations::QtTranslations(UiLanguage language) {
    // Qt's own few texts (the command line's "Usage:") are English already;
    // their Chinese comes with qt6-translations-l10n, where installed.
    const bool loaded =
        language == UiLanguage::english
            ? translator_.load(QStringLiteral(":/i18n/sayvo_en.qm"))
            : translator_.load(QStringLiteral("qtbase_zh_CN"),
                               QLibraryInfo::path(QLibraryInfo::TranslationsPath));
    if (loaded) installed_ = QCoreApplication::installTranslator(&translator_);
}

QtTranslations::~QtTranslations() {
    if (installed_) QCoreApplication::removeTranslator(&translator_);
}

std::string translated(const Text& text) {
    return QCoreApplication::translate(text.context, text.source).toStdString();
}

std::string QtTranslations::text(const Text& marked) const {
    return translated(marked);
}

}  // namespace sayvo
